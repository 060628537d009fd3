#include "CatalogueFixture.h"
#include "WindowTestHelpers.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "game_editor/EditGameID.h"
#include "game_editor/ForMadd.h"
#include "game_editor/MainWindowHooks.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBox.h"
#include "platform/Twips.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

GameRow game(const QString &name, const QString &type, const QString &id = QString())
{
    GameRow row;
    row.GameName = name;
    row.GameType = type;
    row.GameHot = u"否"_s;
    row.GamePath = u"/games/"_s + name + u'/';
    row.GameRun = name + u".exe"_s;
    row.GameID = id;
    return row;
}

void choose(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
}

void fill(ForMadd &editor, const GameRow &row)
{
    editor.TextGamePath->setText(row.GamePath);
    editor.TextGameRun->setText(row.GameRun);
    editor.TextGameName->setText(row.GameName);
    choose(editor.ComboGameType, row.GameType);
    choose(editor.ComboGameHot, row.GameHot);
    editor.TextGameIcon->setText(row.GameIcon);
    editor.TextGameCmd->setText(row.GameCmd);
}

void openAs(ForMadd &editor, const QString &caption)
{
    editor.setWindowTitle(caption);
    editor.Command1->setText(caption);
    editor.show();
}

QString writePicture(const QString &path, const QColor &color)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(color);
    if (!image.save(path, "PNG"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString expectedName(const QString &name)
{
#ifdef Q_OS_WIN
    return name.toLower();
#else
    return name;
#endif
}

} // namespace

class tst_ForMadd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startsFromTheDesignState();
    void checksTheFieldsInOrder();
    void addWritesOneRowWithNoneDefaults();
    void fieldsAreStoredWithoutTrimming();
    void modifyRewritesOnlyTheRowWithItsNumber();
    void onlyTheExactAddCaptionAdds();
    void modifyOfADeletedGameFailsAndKeepsTheInput();
    void lockedCatalogueFailsAndKeepsTheInput();
    void closeBoxWritesNothing();
    void escapeKeepsTheInput();
    void textBoxesTakeAnyLength();

    void folderPickerAddsOneTrailingSeparator();
    void folderPickerCleansTheFolder();
    void filePickersNeedADirectoryFirst();
    void filePickersStoreNamesRelativeToTheDirectory_data();
    void filePickersStoreNamesRelativeToTheDirectory();
    void storedNameRemovesOnlyALeadingDirectory();
    void cancelledPickersChangeNothing();
    void previewShowsTheLastChosenFilesIcon();
};

void tst_ForMadd::init()
{
    MessageBox::setTestMode(true);
    FileDialogs::setTestMode(true);
    EditGameID().clear();
}

void tst_ForMadd::cleanup()
{
    QVERIFY(MessageBox::takeShown().isEmpty());
    QVERIFY(FileDialogs::takeRequests().isEmpty());
}

void tst_ForMadd::startsFromTheDesignState()
{
    CatalogueFixture fixture({u"射击"_s, u"角色"_s, u"Racing"_s});
    ForMadd editor(nullptr);
    QCOMPARE(editor.size(), Twips::size(4245, 4215));
    QCOMPARE(editor.findChild<QLineEdit *>(u"TextGamePath"_s), editor.TextGamePath);
    QCOMPARE(editor.TextGamePath->geometry(), Twips::rect(960, 120, 2535, 375));
    QCOMPARE(editor.CommandGamePath->geometry(), Twips::rect(3600, 120, 615, 375));
    QCOMPARE(editor.CommandGameRun->text(), u"选择"_s);
    QCOMPARE(editor.ComboGameType->geometry(), Twips::rect(960, 2040, 2535, 300));
    QCOMPARE(editor.PicGetIco->geometry(), Twips::rect(3000, 3480, 495, 495));
    QCOMPARE(editor.Command1->geometry(), Twips::rect(1320, 3480, 1215, 495));
    QCOMPARE(editor.LabelGameHot->text(), u"热门推荐："_s);

    QStringList types;
    for (int i = 0; i < editor.ComboGameType->count(); ++i)
        types.append(editor.ComboGameType->itemText(i));
    QCOMPARE(types, (QStringList{u"射击"_s, u"角色"_s, u"Racing"_s}));
    QCOMPARE(editor.ComboGameHot->count(), 2);
    QCOMPARE(editor.ComboGameHot->itemText(0), u"是"_s);
    QCOMPARE(editor.ComboGameHot->itemText(1), u"否"_s);
    QCOMPARE(editor.ComboGameType->currentIndex(), -1);
    QCOMPARE(editor.ComboGameHot->currentIndex(), -1);
    QVERIFY(!editor.ComboGameType->isEditable());
    QVERIFY(!editor.ComboGameHot->isEditable());
    QVERIFY(editor.TextGamePath->text().isEmpty());
    QCOMPARE(editor.preview().size(), QSize(33, 33));
    QCOMPARE(editor.preview().pixel(0, 0), qRgb(255, 255, 255));
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMadd::checksTheFieldsInOrder()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openAs(editor, u"添加游戏"_s);
    const QString notice = u"提示"_s;

    editor.Command1_Click();
    compareShown({{u"游戏目录不能为空！"_s, 48, notice}});
    editor.TextGamePath->setText(u"/g/"_s);
    editor.Command1_Click();
    compareShown({{u"游戏执行文件不能为空！"_s, 48, notice}});
    editor.TextGameRun->setText(u"a.exe"_s);
    editor.Command1_Click();
    compareShown({{u"游戏名称不能为空！"_s, 48, notice}});
    editor.TextGameName->setText(u"甲"_s);
    editor.Command1_Click();
    compareShown({{u"游戏分类不能为空！"_s, 48, notice}});
    choose(editor.ComboGameType, u"射击"_s);
    QTest::mouseClick(editor.Command1, Qt::LeftButton);
    compareShown({{u"游戏是否为热门分类不能为空！"_s, 48, notice}});

    // Emptying an earlier field brings its message back first.
    editor.TextGamePath->clear();
    choose(editor.ComboGameHot, u"是"_s);
    editor.Command1_Click();
    compareShown({{u"游戏目录不能为空！"_s, 48, notice}});

    QVERIFY(editor.isVisible());
    QCOMPARE(editor.TextGameName->text(), u"甲"_s);
    QVERIFY(fixture.games().isEmpty());
    QCOMPARE(hooks.refills, 0);
}

void tst_ForMadd::addWritesOneRowWithNoneDefaults()
{
    const GameRow existing = game(u"旧"_s, u"射击"_s);
    CatalogueFixture fixture({u"射击"_s, u"角色"_s}, {existing});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openAs(editor, u"添加游戏"_s);
    GameRow added = game(u"新游戏"_s, u"角色"_s);
    added.GameHot = u"是"_s;
    added.GameIcon.clear();
    added.GameCmd.clear();
    fill(editor, added);

    QTest::mouseClick(editor.Command1, Qt::LeftButton);

    compareShown({{u"新游戏已经添加完成！"_s, 64, u"提示"_s}});
    QVERIFY(!editor.isVisible());
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    QCOMPARE(hooks.refills, 1);
    QCOMPARE(hooks.reloads, 0);
    const QList<GameRow> after = fixture.games();
    QCOMPARE(after.size(), 2);
    QCOMPARE(after.first(), before.first());
    added.GameIcon = u"无"_s;
    added.GameCmd = u"无"_s;
    added.GameID = after.last().GameID;
    QCOMPARE(after.last(), added);
    QVERIFY(after.last().GameID != before.first().GameID);
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMadd::fieldsAreStoredWithoutTrimming()
{
    CatalogueFixture fixture({u" 空格 "_s});
    ForMadd editor(nullptr);
    openAs(editor, u"添加游戏"_s);
    GameRow spaced;
    spaced.GamePath = u" "_s;
    spaced.GameRun = u" "_s;
    spaced.GameName = u" "_s;
    spaced.GameType = u" 空格 "_s;
    spaced.GameHot = u"否"_s;
    spaced.GameIcon = u" "_s;
    spaced.GameCmd = u"  -x "_s;
    fill(editor, spaced);
    editor.Command1_Click();
    compareShown({{u"新游戏已经添加完成！"_s, 64, u"提示"_s}});
    const QList<GameRow> rows = fixture.games();
    QCOMPARE(rows.size(), 1);
    spaced.GameID = rows.first().GameID;
    QCOMPARE(rows.first(), spaced);
}

void tst_ForMadd::modifyRewritesOnlyTheRowWithItsNumber()
{
    CatalogueFixture fixture({u"射击"_s, u"角色"_s},
                             {game(u"同名"_s, u"射击"_s), game(u"同名"_s, u"射击"_s), game(u"别的"_s, u"角色"_s)});
    const QList<GameRow> before = fixture.games();
    EditGameID() = before.at(1).GameID;
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openAs(editor, u"修改游戏"_s);
    GameRow changed = game(u"改名"_s, u"角色"_s);
    changed.GameHot = u"是"_s;
    changed.GameIcon = u"icon.ico"_s;
    changed.GameCmd = QString(); // an empty field goes back as "无"
    fill(editor, changed);

    editor.Command1_Click();

    compareShown({{u"游戏已经修改完成！"_s, 64, u"提示"_s}});
    QVERIFY(!editor.isVisible());
    QCOMPARE(hooks.refills, 1);
    changed.GameCmd = u"无"_s;
    changed.GameID = before.at(1).GameID;
    const QList<GameRow> after = fixture.games();
    QCOMPARE(after, (QList<GameRow>{before.at(0), changed, before.at(2)}));
}

void tst_ForMadd::onlyTheExactAddCaptionAdds()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    EditGameID() = before.first().GameID;
    ForMadd editor(nullptr);
    openAs(editor, u"添加游戏 "_s);
    QVERIFY(!editor.isAddMode());
    GameRow changed = game(u"乙"_s, u"射击"_s);
    fill(editor, changed);
    editor.Command1_Click();
    compareShown({{u"游戏已经修改完成！"_s, 64, u"提示"_s}});
    changed.GameID = before.first().GameID;
    QCOMPARE(fixture.games(), QList<GameRow>{changed});
}

void tst_ForMadd::modifyOfADeletedGameFailsAndKeepsTheInput()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"射击"_s)});
    const QList<GameRow> rows = fixture.games();
    EditGameID() = rows.first().GameID;
    Catalogue::ExecuteStatement(u"delete From GameList Where GameID= "_s + rows.first().GameID);
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openAs(editor, u"修改游戏"_s);
    fill(editor, game(u"丙"_s, u"射击"_s));

    editor.Command1_Click();

    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"保存失败："_s), qPrintable(shown.first().text));
    QCOMPARE(shown.first().style, 48);
    QCOMPARE(shown.first().title, u"错误"_s);
    QVERIFY(editor.isVisible());
    QCOMPARE(editor.TextGameName->text(), u"丙"_s);
    QCOMPARE(editor.ComboGameType->currentText(), u"射击"_s);
    QCOMPARE(fixture.games(), before);
    QCOMPARE(hooks.refills, 0);
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMadd::lockedCatalogueFailsAndKeepsTheInput()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openAs(editor, u"添加游戏"_s);
    const GameRow wanted = game(u"甲"_s, u"射击"_s);
    fill(editor, wanted);
    {
        // Another program holds the write lock for longer than the store waits.
        CatalogueConnection other;
        other.Open(fixture.path(), QString::fromUtf16(Catalogue::Password));
        other.BeginTrans();
        other.Execute(u"insert into TypeList (TypeName) values ('锁')"_s);
        editor.Command1_Click();
        other.RollbackTrans();
    }
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"保存失败："_s), qPrintable(shown.first().text));
    QCOMPARE(shown.first().style, 48);
    QCOMPARE(shown.first().title, u"错误"_s);
    QVERIFY(editor.isVisible());
    QCOMPARE(editor.TextGameRun->text(), wanted.GameRun);
    QVERIFY(fixture.games().isEmpty());
    QCOMPARE(hooks.refills, 0);

    // Once the lock is gone the same input saves.
    editor.Command1_Click();
    compareShown({{u"新游戏已经添加完成！"_s, 64, u"提示"_s}});
    QCOMPARE(fixture.games().size(), 1);
    QCOMPARE(hooks.refills, 1);
}

void tst_ForMadd::closeBoxWritesNothing()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openAs(editor, u"添加游戏"_s);
    fill(editor, game(u"甲"_s, u"射击"_s));
    QVERIFY(editor.close());
    QVERIFY(fixture.games().isEmpty());
    QCOMPARE(hooks.refills, 0);
    QCOMPARE(hooks.reloads, 0);
}

void tst_ForMadd::escapeKeepsTheInput()
{
    CatalogueFixture fixture({u"射击"_s});
    ForMadd editor(nullptr);
    openAs(editor, u"添加游戏"_s);
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.TextGameName->setFocus();
    QTest::keyClicks(editor.TextGameName, u"Half-Life"_s);
    QTest::keyClick(editor.TextGameName, Qt::Key_Escape);
    QVERIFY(editor.isVisible());
    QCOMPARE(editor.result(), int(QDialog::Rejected));
    QCOMPARE(editor.TextGameName->text(), u"Half-Life"_s);
    QVERIFY(fixture.games().isEmpty());
}

void tst_ForMadd::textBoxesTakeAnyLength()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    const QString longPath = u'/' + QString(40000, u'p') + u'/';
    for (QLineEdit *text : {editor.TextGamePath, editor.TextGameRun, editor.TextGameCmd, editor.TextGameName,
                            editor.TextGameIcon}) {
        text->setText(longPath);
        QCOMPARE(text->text().size(), longPath.size());
    }
}

void tst_ForMadd::folderPickerAddsOneTrailingSeparator()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    FileDialogs::setNextFolder(u"/games/cs"_s);
    QTest::mouseClick(editor.CommandGamePath, Qt::LeftButton);
    QCOMPARE(editor.TextGamePath->text(), u"/games/cs"_s + QDir::separator());
    FileDialogs::setNextFolder(u"/"_s);
    editor.CommandGamePath_Click();
    QCOMPARE(editor.TextGamePath->text(), u"/"_s);
    FileDialogs::setNextFolder(u"C:\\Games\\CS\\"_s);
    editor.CommandGamePath_Click();
    QCOMPARE(editor.TextGamePath->text(), u"C:\\Games\\CS\\"_s);

    const QList<FileDialogs::Request> requests = FileDialogs::takeRequests();
    QCOMPARE(requests.size(), 3);
    for (const FileDialogs::Request &request : requests) {
        QCOMPARE(request.kind, FileDialogs::Request::Folder);
        QCOMPARE(request.title, u"请选择游戏所在目录"_s);
    }
    QVERIFY(editor.TextGameRun->text().isEmpty());
}

void tst_ForMadd::folderPickerCleansTheFolder()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    FileDialogs::setNextFolder(u"/tmp/x/../games//g1/"_s);
    editor.CommandGamePath_Click();
    QCOMPARE(editor.TextGamePath->text(), u"/tmp/games/g1/"_s);
    FileDialogs::setNextFolder(u"/tmp/./games/g1/.."_s);
    editor.CommandGamePath_Click();
    QCOMPARE(editor.TextGamePath->text(), u"/tmp/games/"_s);

    // The picked file then lies under the shown folder, so its name is stored relative to it.
    FileDialogs::setNextFolder(u"/tmp/x/../games//g1/"_s);
    editor.CommandGamePath_Click();
    FileDialogs::setNextFileName(u"/tmp/games/g1/bin/Run.exe"_s);
    editor.CommandGameRun_Click();
    QCOMPARE(editor.TextGameRun->text(), expectedName(u"bin/Run.exe"_s));
    QCOMPARE(FileDialogs::takeRequests().size(), 4);
}

void tst_ForMadd::filePickersNeedADirectoryFirst()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    editor.TextGameRun->setText(u"keep.exe"_s);
    FileDialogs::setNextFileName(u"/games/x.exe"_s);
    editor.CommandGameRun_Click();
    compareShown({{u"请先选择游戏所在目录！"_s, 48, u"提示"_s}});
    QTest::mouseClick(editor.PicGetIco, Qt::LeftButton);
    compareShown({{u"请先选择游戏所在目录！"_s, 48, u"提示"_s}});
    QVERIFY(FileDialogs::takeRequests().isEmpty());
    QCOMPARE(editor.TextGameRun->text(), u"keep.exe"_s);
    QVERIFY(editor.TextGameIcon->text().isEmpty());
    FileDialogs::setTestMode(true); // drops the unused answer
}

void tst_ForMadd::filePickersStoreNamesRelativeToTheDirectory_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stored");
    QTest::newRow("inside") << u"/d/Games/CS/"_s << u"/d/Games/CS/HL.exe"_s << expectedName(u"HL.exe"_s);
    QTest::newRow("subfolder") << u"/d/Games/CS/"_s << u"/d/Games/CS/Bin/Start.EXE"_s
                               << expectedName(u"Bin/Start.EXE"_s);
    QTest::newRow("outside") << u"/d/Games/CS/"_s << u"/e/tools/X.exe"_s << expectedName(u"/e/tools/X.exe"_s);
    QTest::newRow("typed without separator") << u"/d/Games/CS"_s << u"/d/Games/CS/HL.exe"_s
                                             << expectedName(u"/HL.exe"_s);
    QTest::newRow("directory text further in") << u"/cs/"_s << u"/backup/cs/cs/hl.exe"_s
                                               << u"/backup/cs/cs/hl.exe"_s;
    QTest::newRow("windows style") << u"D:\\Games\\CS\\"_s << u"D:\\Games\\CS\\Bin\\Start.EXE"_s
                                   << expectedName(u"Bin\\Start.EXE"_s);
}

void tst_ForMadd::filePickersStoreNamesRelativeToTheDirectory()
{
    QFETCH(QString, directory);
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    editor.TextGamePath->setText(directory);
    editor.TextGameIcon->setText(u"icon.ico"_s);

    FileDialogs::setNextFileName(chosen);
    QTest::mouseClick(editor.CommandGameRun, Qt::LeftButton);
    QCOMPARE(editor.TextGameRun->text(), stored);
    QCOMPARE(editor.TextGameIcon->text(), u"icon.ico"_s);

    FileDialogs::setNextFileName(chosen);
    QTest::mouseClick(editor.PicGetIco, Qt::LeftButton);
    QCOMPARE(editor.TextGameIcon->text(), stored);
    QCOMPARE(editor.TextGamePath->text(), directory);

    const QList<FileDialogs::Request> requests = FileDialogs::takeRequests();
    QCOMPARE(requests.size(), 2);
    for (const FileDialogs::Request &request : requests) {
        QCOMPARE(request.kind, FileDialogs::Request::File);
        QCOMPARE(request.title, u"请选择游戏执行文件"_s);
        QCOMPARE(request.filter, u"所有文件 (*)"_s);
        QCOMPARE(request.initialDir, directory);
    }
}

void tst_ForMadd::storedNameRemovesOnlyALeadingDirectory()
{
    // Joining the directory and the stored name gives the chosen file again.
    const QString directory = u"/srv/a/"_s;
    for (const QString &file : {u"/srv/a/b.exe"_s, u"/srv/a/srv/a/b.exe"_s, u"/x/srv/a/b.exe"_s}) {
        const QString stored = ForMadd::storedName(file, directory);
        QCOMPARE(file.startsWith(directory) ? directory + stored : stored, expectedName(file));
    }
    QCOMPARE(ForMadd::storedName(u"/srv/a/srv/a/b.exe"_s, directory), u"srv/a/b.exe"_s);
    QCOMPARE(ForMadd::storedName(u"/srv/b.exe"_s, QString()), u"/srv/b.exe"_s);
#ifndef Q_OS_WIN
    // Case matters on this file system, so a differently cased directory is not a prefix.
    QCOMPARE(ForMadd::storedName(u"/SRV/a/b.exe"_s, directory), u"/SRV/a/b.exe"_s);
#endif
}

void tst_ForMadd::cancelledPickersChangeNothing()
{
    QTemporaryDir dir;
    const QString red = writePicture(dir.filePath(u"red.png"_s), Qt::red);
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    editor.TextGamePath->setText(dir.path() + u'/');
    editor.TextGameRun->setText(u"run.exe"_s);
    editor.TextGameIcon->setText(u"icon.ico"_s);
    editor.drawPreview(red);
    const QImage preview = editor.preview();

    FileDialogs::setNextFolder(QString());
    editor.CommandGamePath_Click();
    FileDialogs::setNextFileName(QString());
    editor.CommandGameRun_Click();
    FileDialogs::setNextFileName(QString());
    editor.PicGetIco_Click();

    QCOMPARE(FileDialogs::takeRequests().size(), 3);
    QCOMPARE(editor.TextGamePath->text(), dir.path() + u'/');
    QCOMPARE(editor.TextGameRun->text(), u"run.exe"_s);
    QCOMPARE(editor.TextGameIcon->text(), u"icon.ico"_s);
    QCOMPARE(editor.preview(), preview);
}

void tst_ForMadd::previewShowsTheLastChosenFilesIcon()
{
    QTemporaryDir dir;
    const QString red = writePicture(dir.filePath(u"game.png"_s), Qt::red);
    const QString blue = writePicture(dir.filePath(u"icon.png"_s), Qt::blue);
    const QString plain = dir.filePath(u"readme.txt"_s);
    QFile text(plain);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("no icon here");
    text.close();

    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    editor.TextGamePath->setText(dir.path() + u'/');

    FileDialogs::setNextFileName(red);
    editor.CommandGameRun_Click();
    QCOMPARE(editor.preview().pixel(5, 5), qRgb(255, 0, 0));
    QCOMPARE(editor.preview().pixel(32, 32), qRgb(255, 255, 255));

    FileDialogs::setNextFileName(blue);
    editor.PicGetIco_Click();
    QCOMPARE(editor.preview().pixel(5, 5), qRgb(0, 0, 255));
    QCOMPARE(editor.TextGameIcon->text(), expectedName(u"icon.png"_s));

    // The executable's icon replaces the preview; the icon field keeps its value.
    FileDialogs::setNextFileName(red);
    editor.CommandGameRun_Click();
    QCOMPARE(editor.preview().pixel(5, 5), qRgb(255, 0, 0));
    QCOMPARE(editor.TextGameIcon->text(), expectedName(u"icon.png"_s));

    // A file without an icon leaves the preview blank, and its name is stored anyway.
    FileDialogs::setNextFileName(plain);
    editor.CommandGameRun_Click();
    QCOMPARE(editor.preview().pixel(5, 5), qRgb(255, 255, 255));
    QCOMPARE(editor.TextGameRun->text(), expectedName(u"readme.txt"_s));
    QCOMPARE(FileDialogs::takeRequests().size(), 4);
}

QTEST_MAIN(tst_ForMadd)
#include "tst_ForMadd.moc"
