#include "CatalogueFixture.h"
#include "MessageBoxScript.h"

#include "catalogue/Catalogue.h"
#include "main_window/ForMain.h"
#include "tab_strip/SSTab.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// With JYT_WRITE_REFERENCE set, the pictures are written as the new references instead.
bool writingReferences()
{
    return qEnvironmentVariableIsSet("JYT_WRITE_REFERENCE");
}

QString referencePath(const QString &name)
{
    return QStringLiteral(JYT_TEST_DATA) + u"/tab_strip/"_s + name + u".png"_s;
}

QStringList categories(int count)
{
    static const QStringList names = {u"网络游戏"_s, u"单机游戏"_s, u"非常非常长的游戏分类名称"_s,
                                      u"休闲游戏"_s, u"对战平台"_s, u"棋牌游戏"_s};
    QStringList result;
    for (int i = 0; i < count; ++i)
        result.append(i < names.size() ? names.at(i) : names.at(i % names.size()) + QString::number(i));
    return result;
}

void moveTo(QWidget *widget, QPoint pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

// The main window's tab strip, pixel for pixel, against pictures of the strip as it was designed.
class tst_TabStripPixels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void stripMatchesReference_data();
    void stripMatchesReference();
};

void tst_TabStripPixels::initTestCase()
{
    MessageBoxScript::setTestMode(true);
    // The captions' face is the tab control's; pin it so the pictures do not follow the machine's defaults.
    QApplication::setFont(QFont(u"WenQuanYi Zen Hei"_s));
}

void tst_TabStripPixels::cleanup()
{
    Catalogue::CloseCatalogue();
}

void tst_TabStripPixels::stripMatchesReference_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("categoryCount");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("hovered"); // -1: the pointer is elsewhere
    const QSize designed(0, 0); // the window's own starting size
    const QSize larger(1600, 1000);
    for (const auto &[name, size] : {std::pair{"design", designed}, std::pair{"large", larger}}) {
        const QByteArray prefix(name);
        QTest::newRow((prefix + "_normal").constData()) << size << 6 << 0 << -1;
        QTest::newRow((prefix + "_hover").constData()) << size << 6 << 0 << 3;
        QTest::newRow((prefix + "_selected").constData()) << size << 6 << 2 << -1;
        QTest::newRow((prefix + "_selected_hover").constData()) << size << 6 << 2 << 2;
    }
    QTest::newRow("design_scrolled") << designed << 30 << 25 << 20;
}

void tst_TabStripPixels::stripMatchesReference()
{
    QFETCH(QSize, size);
    QFETCH(int, categoryCount);
    QFETCH(int, current);
    QFETCH(int, hovered);
    CatalogueFixture fixture(categories(categoryCount));
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (!size.isEmpty())
        window.resize(size);
    QTRY_COMPARE(window.MenuSStab->size(), window.size());
    window.MenuSStab->setTab(current);
    if (hovered >= 0) {
        const QRect cell = window.MenuSStab->cellRect(hovered);
        QVERIFY(window.MenuSStab->rect().contains(cell));
        moveTo(window.MenuSStab, cell.center());
    }
    const QImage shot = window.MenuSStab->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    if (writingReferences()) {
        QDir().mkpath(QFileInfo(referencePath(name)).path());
        QVERIFY(shot.save(referencePath(name)));
        return;
    }
    const QImage reference = QImage(referencePath(name)).convertToFormat(QImage::Format_RGB32);
    QVERIFY2(!reference.isNull(), qPrintable(referencePath(name)));
    QCOMPARE(shot.size(), reference.size());
    int differing = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != reference.pixel(x, y) && differing++ == 0)
                first = QPoint(x, y);
        }
    }
    if (differing > 0) {
        const QString actual = QDir::temp().filePath(u"tst_TabStripPixels_"_s + name + u".png"_s);
        shot.save(actual);
        QFAIL(qPrintable(u"%1 pixels differ, the first at (%2, %3); the picture is in %4"_s.arg(differing)
                             .arg(first.x())
                             .arg(first.y())
                             .arg(actual)));
    }
}

QTEST_MAIN(tst_TabStripPixels)
#include "tst_TabStripPixels.moc"
