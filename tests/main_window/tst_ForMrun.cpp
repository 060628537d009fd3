#include "main_window/ForMrun.h"

#include "MessageBoxScript.h"
#include "RecordingShell.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Twips to pixels at the screen's logical dpi: 1440 twips make one inch.
int px(int twips)
{
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

QRect designRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

} // namespace

class tst_ForMrun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void designState();
    void captionAndChosenGame();
    void runPassesFileArgumentsAndDirectory_data();
    void runPassesFileArgumentsAndDirectory();
    void directoryIsJoinedWithoutSeparator();
    void failedLaunchShowsErrorThenCloses();
    void modalRunReturnsAccepted();
    void closeBoxStartsNothing();
    void opensCentredOnTheScreen();
    void heldKeyOrASecondDialogStartsTheGameOnce();

private:
    QPushButton *runButton(ForMrun &dialog);

    RecordingShell m_shell;
    qint64 m_now = 0;
};

void tst_ForMrun::init()
{
    MessageBoxScript::setTestMode(true);
    Shell::setInstance(&m_shell);
    m_shell.takeCalls();
    ForMrun::setClock([this] { return m_now; });
}

void tst_ForMrun::cleanup()
{
    Shell::setInstance(nullptr);
    MessageBoxScript::setTestMode(false);
    ForMrun::setClock({});
}

QPushButton *tst_ForMrun::runButton(ForMrun &dialog)
{
    return dialog.findChild<QPushButton *>(u"CmdRunGame"_s);
}

void tst_ForMrun::designState()
{
    ForMrun dialog;
    QCOMPARE(dialog.objectName(), u"ForMrun"_s);
    QCOMPARE(dialog.size(), QSize(px(6300), px(3120)));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);

    auto *label1 = dialog.findChild<QLabel *>(u"Label1"_s);
    QVERIFY(label1);
    QCOMPARE(label1->text(), u"欢迎光临"_s);
    QCOMPARE(label1->geometry(), designRect(120, 120, 6015, 2175));
    QVERIFY(label1->font().pointSizeF() > dialog.font().pointSizeF());

    auto *label2 = dialog.findChild<QLabel *>(u"Label2"_s);
    QVERIFY(label2);
    QCOMPARE(label2->text(), u"聚游台 "_s + QLatin1String(JYT_VERSION));
    QCOMPARE(label2->geometry(), designRect(120, 2640, 3855, 255));

    QPushButton *button = runButton(dialog);
    QVERIFY(button);
    QCOMPARE(button->text(), u"运行游戏"_s);
    QCOMPARE(button->geometry(), designRect(4680, 2400, 1455, 615));
}

void tst_ForMrun::captionAndChosenGame()
{
    ForMrun dialog;
    dialog.setGame(u"穿梭时空"_s, u"/games/cs/"_s, u"cs.exe"_s, u"-x"_s);
    QCOMPARE(dialog.windowTitle(), u"穿梭时空"_s);
    QCOMPARE(dialog.directory(), u"/games/cs/"_s);
    QCOMPARE(dialog.executable(), u"cs.exe"_s);
    QCOMPARE(dialog.arguments(), u"-x"_s);

    dialog.setGame(u"CS反恐精英"_s, u"/g/"_s, u"hl"_s, u"无"_s);
    QCOMPARE(dialog.windowTitle(), u"CS反恐精英"_s);
    QCOMPARE(dialog.executable(), u"hl"_s);
    QVERIFY(m_shell.calls().isEmpty());
}

void tst_ForMrun::runPassesFileArgumentsAndDirectory_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("placeholder") << u"无"_s << QStringList();
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("spaces and quotes") << u"-game cstrike -name \"老 王\""_s
                                       << QStringList{u"-game"_s, u"cstrike"_s, u"-name"_s, u"老 王"_s};
    QTest::newRow("shell syntax") << u"$(touch x) `id`;a|b && c"_s
                                  << QStringList{u"$(touch"_s, u"x)"_s, u"`id`;a|b"_s, u"&&"_s, u"c"_s};
}

void tst_ForMrun::runPassesFileArgumentsAndDirectory()
{
    QFETCH(QString, arguments);
    QFETCH(QStringList, expected);
    ForMrun dialog;
    dialog.setGame(u"穿梭时空"_s, u"/游戏/穿梭 时空/"_s, u"game.exe"_s, arguments);
    dialog.show();
    QSignalSpy started(&dialog, &ForMrun::started);
    QTest::mouseClick(runButton(dialog), Qt::LeftButton);
    QCOMPARE(started.count(), 1);

    const QList<RecordingShell::Call> calls = m_shell.takeCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].verb, RecordingShell::Verb::Open);
    QCOMPARE(calls[0].file, u"/游戏/穿梭 时空/game.exe"_s);
    QCOMPARE(calls[0].argumentText, arguments);
    QCOMPARE(calls[0].arguments, expected);
    QCOMPARE(calls[0].workingDir, u"/游戏/穿梭 时空/"_s);
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void tst_ForMrun::directoryIsJoinedWithoutSeparator()
{
    ForMrun dialog;
    dialog.setGame(u"x"_s, u"/games/cs"_s, u"game"_s, u"无"_s);
    runButton(dialog)->click();
    const QList<RecordingShell::Call> calls = m_shell.takeCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].file, u"/games/csgame"_s);
    QCOMPARE(calls[0].workingDir, u"/games/cs"_s);
}

void tst_ForMrun::failedLaunchShowsErrorThenCloses()
{
    m_shell.setNextResult({false, u"文件不存在"_s});
    ForMrun dialog;
    dialog.setGame(u"坏游戏"_s, u"/games/bad/"_s, u"missing.exe"_s, u"无"_s);
    dialog.show();
    QSignalSpy started(&dialog, &ForMrun::started);
    runButton(dialog)->click();
    QCOMPARE(started.count(), 0);

    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, u"无法启动游戏：/games/bad/missing.exe\n文件不存在"_s);
    QCOMPARE(shown[0].style, 48);
    QCOMPARE(shown[0].title, u"错误"_s);
    QCOMPARE(m_shell.takeCalls().size(), 1);
    QVERIFY(!dialog.isVisible());
}

void tst_ForMrun::modalRunReturnsAccepted()
{
    ForMrun dialog;
    dialog.setGame(u"穿梭时空"_s, u"/g/"_s, u"a"_s, u"无"_s);
    QTimer::singleShot(0, &dialog, [&dialog] {
        QVERIFY(dialog.isModal());
        dialog.findChild<QPushButton *>(u"CmdRunGame"_s)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(m_shell.takeCalls().size(), 1);
}

void tst_ForMrun::closeBoxStartsNothing()
{
    ForMrun dialog;
    dialog.setGame(u"穿梭时空"_s, u"/g/"_s, u"a"_s, u"无"_s);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.close());
    QCOMPARE(rejected.size(), 1);
    QVERIFY(m_shell.calls().isEmpty());
    QVERIFY(MessageBoxScript::shown().isEmpty());
}

void tst_ForMrun::opensCentredOnTheScreen()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget owner;
    owner.setGeometry(available.left() + 10, available.top() + 10, 300, 200);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    ForMrun dialog(&owner);
    dialog.setGame(u"穿梭时空"_s, u"/g/"_s, u"a"_s, u"无"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint offset = dialog.frameGeometry().center() - available.center();
    QVERIFY2(offset.manhattanLength() <= 2, qPrintable(u"%1,%2"_s.arg(offset.x()).arg(offset.y())));
}

void tst_ForMrun::heldKeyOrASecondDialogStartsTheGameOnce()
{
    ForMrun dialog;
    dialog.setGame(u"穿梭时空"_s, u"/g/"_s, u"a"_s, u"无"_s);
    dialog.show();
    for (QWidget *target : {static_cast<QWidget *>(runButton(dialog)), static_cast<QWidget *>(&dialog)}) {
        QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(target, &repeated);
    }
    QVERIFY(dialog.isVisible());
    QVERIFY(m_shell.calls().isEmpty());
    runButton(dialog)->click();
    QCOMPARE(m_shell.takeCalls().size(), 1);

    // How many starts a new dialog's button made; -1 when the dialog stayed or its signal disagreed.
    const auto startFromANewDialog = [this](const QString &executable) -> qsizetype {
        ForMrun again;
        again.setGame(u"穿梭时空"_s, u"/g/"_s, executable, u"无"_s);
        again.show();
        QSignalSpy started(&again, &ForMrun::started);
        runButton(again)->click();
        if (again.isVisible() || started.size() != m_shell.calls().size())
            return -1;
        return m_shell.takeCalls().size();
    };
    m_now += ForMrun::RestartGuardMs - 1;
    QCOMPARE(startFromANewDialog(u"a"_s), 0);
    QCOMPARE(startFromANewDialog(u"b"_s), 1);
    m_now += 1;
    QCOMPARE(startFromANewDialog(u"a"_s), 1);
}

QTEST_MAIN(tst_ForMrun)
#include "tst_ForMrun.moc"
