#include "BothStores.h"
#include "CatalogueFixture.h"
#include "WindowTestHelpers.h"

#include "FileDialogsScript.h"
#include "MessageBoxScript.h"
#include "PgTestDatabase.h"
#include "cafe/PgBackend.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueStatements.h"
#include "game_editor/ForMadd.h"
#include "game_editor/MainWindowHooks.h"
#include "widgets/Twips.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <libpq-fe.h>

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
    control<QLineEdit>(editor, u"TextGamePath"_s)->setText(row.GamePath);
    control<QLineEdit>(editor, u"TextGameRun"_s)->setText(row.GameRun);
    control<QLineEdit>(editor, u"TextGameName"_s)->setText(row.GameName);
    choose(control<QComboBox>(editor, u"ComboGameType"_s), row.GameType);
    choose(control<QComboBox>(editor, u"ComboGameHot"_s), row.GameHot);
    control<QLineEdit>(editor, u"TextGameIcon"_s)->setText(row.GameIcon);
    control<QLineEdit>(editor, u"TextGameCmd"_s)->setText(row.GameCmd);
}

void openForAdding(ForMadd &editor)
{
    editor.openForAdding();
    editor.show();
}

void openForModifying(ForMadd &editor, const GameRecord &game)
{
    QVERIFY(editor.openForModifying(game));
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
    void theCaptionShowsTheMode();
    void modifyOfADeletedGameFailsAndKeepsTheInput();
    void modifyOfAGameChangedMeanwhileIsRefused_data();
    void modifyOfAGameChangedMeanwhileIsRefused();
    void lockedCatalogueFailsAndKeepsTheInput_data();
    void lockedCatalogueFailsAndKeepsTheInput();
    void closeBoxWritesNothing();
    void escapeDoesWhatTheCloseBoxDoes();
    void textBoxesTakeAnyLength();

    void folderPickerAddsOneTrailingSeparator();
    void folderPickerCleansTheFolder();
    void filePickersNeedADirectoryFirst();
    void filePickersStoreNamesRelativeToTheDirectory_data();
    void filePickersStoreNamesRelativeToTheDirectory();
    void storedNameRemovesOnlyALeadingDirectory();
    void cancelledPickersChangeNothing();
    void iconPickerOpensFromTheKeyboard();
    void previewShowsTheLastChosenFilesIcon();
    void previewTakesAnAbsoluteIconAsItStands();
};

void tst_ForMadd::init()
{
    MessageBoxScript::setTestMode(true);
    FileDialogsScript::setTestMode(true);
}

void tst_ForMadd::cleanup()
{
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QVERIFY(FileDialogsScript::takeRequests().isEmpty());
}

void tst_ForMadd::startsFromTheDesignState()
{
    CatalogueFixture fixture({u"射击"_s, u"角色"_s, u"Racing"_s});
    ForMadd editor(nullptr);
    QCOMPARE(editor.size(), Twips::size(4245, 4215));
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->geometry(), Twips::rect(960, 120, 2535, 375));
    QCOMPARE(control<QPushButton>(editor, u"CommandGamePath"_s)->geometry(), Twips::rect(3600, 120, 615, 375));
    QCOMPARE(control<QPushButton>(editor, u"CommandGameRun"_s)->text(), u"选择"_s);
    QCOMPARE(control<QComboBox>(editor, u"ComboGameType"_s)->geometry(), Twips::rect(960, 2040, 2535, 300));
    QCOMPARE(control<QLabel>(editor, u"PicGetIco"_s)->geometry(), Twips::rect(3000, 3480, 495, 495));
    QCOMPARE(control<QPushButton>(editor, u"Command1"_s)->geometry(), Twips::rect(1320, 3480, 1215, 495));
    QCOMPARE(control<QLabel>(editor, u"LabelGameHot"_s)->text(), u"热门推荐："_s);
    // Screen readers name each field after the caption beside it.
    for (const QString &field : {u"TextGamePath"_s, u"TextGameRun"_s, u"TextGameCmd"_s, u"TextGameName"_s,
                                 u"ComboGameType"_s, u"ComboGameHot"_s, u"TextGameIcon"_s}) {
        const QString caption = control<QLabel>(editor, u"Label"_s + field.mid(field.indexOf(u"Game"_s)))->text();
        QCOMPARE(control<QWidget>(editor, field)->accessibleName() + u'：', caption);
    }

    QStringList types;
    for (int i = 0; i < control<QComboBox>(editor, u"ComboGameType"_s)->count(); ++i)
        types.append(control<QComboBox>(editor, u"ComboGameType"_s)->itemText(i));
    QCOMPARE(types, (QStringList{u"射击"_s, u"角色"_s, u"Racing"_s}));
    QCOMPARE(control<QComboBox>(editor, u"ComboGameHot"_s)->count(), 2);
    QCOMPARE(control<QComboBox>(editor, u"ComboGameHot"_s)->itemText(0), u"是"_s);
    QCOMPARE(control<QComboBox>(editor, u"ComboGameHot"_s)->itemText(1), u"否"_s);
    QCOMPARE(control<QComboBox>(editor, u"ComboGameType"_s)->currentIndex(), -1);
    QCOMPARE(control<QComboBox>(editor, u"ComboGameHot"_s)->currentIndex(), -1);
    QVERIFY(!control<QComboBox>(editor, u"ComboGameType"_s)->isEditable());
    QVERIFY(!control<QComboBox>(editor, u"ComboGameHot"_s)->isEditable());
    QVERIFY(control<QLineEdit>(editor, u"TextGamePath"_s)->text().isEmpty());
    QCOMPARE(picture(editor, u"PicGetIco"_s).size(), QSize(33, 33));
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(0, 0), qRgb(255, 255, 255));
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMadd::checksTheFieldsInOrder()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openForAdding(editor);
    const QString notice = u"提示"_s;

    editor.Command1_Click();
    compareShown({{u"游戏目录不能为空！"_s, 48, notice}});
    control<QLineEdit>(editor, u"TextGamePath"_s)->setText(u"/g/"_s);
    editor.Command1_Click();
    compareShown({{u"游戏执行文件不能为空！"_s, 48, notice}});
    control<QLineEdit>(editor, u"TextGameRun"_s)->setText(u"a.exe"_s);
    editor.Command1_Click();
    compareShown({{u"游戏名称不能为空！"_s, 48, notice}});
    control<QLineEdit>(editor, u"TextGameName"_s)->setText(u"甲"_s);
    editor.Command1_Click();
    compareShown({{u"游戏分类不能为空！"_s, 48, notice}});
    choose(control<QComboBox>(editor, u"ComboGameType"_s), u"射击"_s);
    QTest::mouseClick(control<QPushButton>(editor, u"Command1"_s), Qt::LeftButton);
    compareShown({{u"游戏是否为热门分类不能为空！"_s, 48, notice}});

    // Emptying an earlier field brings its message back first.
    control<QLineEdit>(editor, u"TextGamePath"_s)->clear();
    choose(control<QComboBox>(editor, u"ComboGameHot"_s), u"是"_s);
    editor.Command1_Click();
    compareShown({{u"游戏目录不能为空！"_s, 48, notice}});

    QVERIFY(editor.isVisible());
    QCOMPARE(control<QLineEdit>(editor, u"TextGameName"_s)->text(), u"甲"_s);
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
    openForAdding(editor);
    GameRow added = game(u"新游戏"_s, u"角色"_s);
    added.GameHot = u"是"_s;
    added.GameIcon.clear();
    added.GameCmd.clear();
    fill(editor, added);

    QTest::mouseClick(control<QPushButton>(editor, u"Command1"_s), Qt::LeftButton);

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
    openForAdding(editor);
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
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openForModifying(editor, before.at(1));
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

void tst_ForMadd::theCaptionShowsTheMode()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    ForMadd adding(nullptr);
    adding.openForAdding();
    QCOMPARE(adding.windowTitle(), u"添加游戏"_s);
    QCOMPARE(control<QPushButton>(adding, u"Command1"_s)->text(), u"添加游戏"_s);

    ForMadd editor(nullptr);
    openForModifying(editor, before.first());
    QCOMPARE(editor.windowTitle(), u"修改游戏"_s);
    QCOMPARE(control<QPushButton>(editor, u"Command1"_s)->text(), u"修改游戏"_s);
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
    Catalogue::ExecuteStatement(u"delete From GameList Where GameID= "_s + rows.first().GameID);
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openForModifying(editor, rows.first());
    fill(editor, game(u"丙"_s, u"射击"_s));

    editor.Command1_Click();

    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"保存失败："_s), qPrintable(shown.first().text));
    QCOMPARE(shown.first().style, 48);
    QCOMPARE(shown.first().title, u"错误"_s);
    QVERIFY(editor.isVisible());
    QCOMPARE(control<QLineEdit>(editor, u"TextGameName"_s)->text(), u"丙"_s);
    QCOMPARE(control<QComboBox>(editor, u"ComboGameType"_s)->currentText(), u"射击"_s);
    QCOMPARE(fixture.games(), before);
    QCOMPARE(hooks.refills, 0);
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMadd::modifyOfAGameChangedMeanwhileIsRefused_data()
{
    BothStores::addRows();
}

void tst_ForMadd::modifyOfAGameChangedMeanwhileIsRefused()
{
    JYT_BOTH_STORES(stores, fixture, {u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const GameRow opened = fixture.games().first();
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openForModifying(editor, opened);
    {
        // A second operator saves the same game while this editor is open.
        CatalogueConnection other;
        fixture.openOther(other);
        CatalogueRecordset rs;
        rs.Open(CatalogueStatements::selectGameById(opened.GameID), other);
        rs.setField(u"GamePath"_s, u"/其他/"_s);
        rs.Update();
    }
    fill(editor, game(u"乙"_s, u"射击"_s));

    editor.Command1_Click();

    compareShown({{u"该游戏已被修改，请关闭后重新打开。"_s, 48, u"提示"_s}});
    QVERIFY(editor.isVisible());
    QCOMPARE(hooks.refills, 0);
    GameRow theirs = opened;
    theirs.GamePath = u"/其他/"_s;
    QCOMPARE(fixture.games(), QList<GameRow>{theirs});
}

void tst_ForMadd::lockedCatalogueFailsAndKeepsTheInput_data()
{
    BothStores::addRows();
}

void tst_ForMadd::lockedCatalogueFailsAndKeepsTheInput()
{
    JYT_BOTH_STORES(stores, fixture, {u"射击"_s});
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openForAdding(editor);
    const GameRow wanted = game(u"甲"_s, u"射击"_s);
    fill(editor, wanted);
    if (stores.onServer()) {
        // Another session holds a lock the insert waits for, longer than a statement may wait.
        PGconn *admin = PQconnectdb(stores.server()->adminUri().toUtf8().constData());
        QCOMPARE(PQstatus(admin), CONNECTION_OK);
        QCOMPARE(PgTestDatabase::firstColumn(admin, u"BEGIN"_s), QStringList());
        QCOMPARE(PgTestDatabase::firstColumn(admin, u"LOCK TABLE GameList IN EXCLUSIVE MODE"_s), QStringList());
        PgBackend::setStatementTimeoutMs(500);
        editor.Command1_Click();
        PgBackend::setStatementTimeoutMs(PgBackend::StatementTimeoutMs);
        PgTestDatabase::firstColumn(admin, u"COMMIT"_s);
        // The abandoned statement is over once the server has let its session go.
        QTRY_COMPARE(
            PgTestDatabase::firstColumn(admin,
                                        u"SELECT count(*) FROM pg_stat_activity"
                                        " WHERE datname = current_database() AND usename = 'juyoutai_operator'"_s),
            QStringList{u"0"_s});
        PQfinish(admin);
    } else {
        fixture.whileFileLocked([&editor] { editor.Command1_Click(); });
    }
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"保存失败："_s), qPrintable(shown.first().text));
    QCOMPARE(shown.first().style, 48);
    QCOMPARE(shown.first().title, u"错误"_s);
    QVERIFY(editor.isVisible());
    QCOMPARE(control<QLineEdit>(editor, u"TextGameRun"_s)->text(), wanted.GameRun);
    QVERIFY(fixture.games().isEmpty());
    QCOMPARE(hooks.refills, 0);

    // Once the lock is gone the same input saves, once.
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
    openForAdding(editor);
    fill(editor, game(u"甲"_s, u"射击"_s));
    QVERIFY(editor.close());
    QVERIFY(fixture.games().isEmpty());
    QCOMPARE(hooks.refills, 0);
    QCOMPARE(hooks.reloads, 0);
}

void tst_ForMadd::escapeDoesWhatTheCloseBoxDoes()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMadd editor(&hooks);
    openForAdding(editor);
    fill(editor, game(u"甲"_s, u"射击"_s));
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    control<QLineEdit>(editor, u"TextGameName"_s)->setFocus();
    QTest::keyClick(control<QLineEdit>(editor, u"TextGameName"_s), Qt::Key_Escape);
    QVERIFY(!editor.isVisible());
    QCOMPARE(editor.result(), int(QDialog::Rejected));
    QVERIFY(fixture.games().isEmpty());
    QCOMPARE(hooks.refills, 0);
    QVERIFY(MessageBoxScript::shown().isEmpty());
}

void tst_ForMadd::textBoxesTakeAnyLength()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    const QString longPath = u'/' + QString(40000, u'p') + u'/';
    for (const QString &name :
         {u"TextGamePath"_s, u"TextGameRun"_s, u"TextGameCmd"_s, u"TextGameName"_s, u"TextGameIcon"_s}) {
        QLineEdit *text = control<QLineEdit>(editor, name);
        text->setText(longPath);
        QCOMPARE(text->text().size(), longPath.size());
    }
}

void tst_ForMadd::folderPickerAddsOneTrailingSeparator()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    FileDialogsScript::setNextFolder(u"/games/cs"_s);
    QTest::mouseClick(control<QPushButton>(editor, u"CommandGamePath"_s), Qt::LeftButton);
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), u"/games/cs"_s + QDir::separator());
    FileDialogsScript::setNextFolder(u"/"_s);
    editor.CommandGamePath_Click();
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), u"/"_s);
    FileDialogsScript::setNextFolder(u"C:\\Games\\CS\\"_s);
    editor.CommandGamePath_Click();
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), u"C:\\Games\\CS\\"_s);

    const QList<FileDialogs::Request> requests = FileDialogsScript::takeRequests();
    QCOMPARE(requests.size(), 3);
    for (const FileDialogs::Request &request : requests) {
        QCOMPARE(request.kind, FileDialogs::Request::Folder);
        QCOMPARE(request.title, u"请选择游戏所在目录"_s);
    }
    QVERIFY(control<QLineEdit>(editor, u"TextGameRun"_s)->text().isEmpty());
}

void tst_ForMadd::folderPickerCleansTheFolder()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    FileDialogsScript::setNextFolder(u"/tmp/x/../games//g1/"_s);
    editor.CommandGamePath_Click();
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), u"/tmp/games/g1/"_s);
    FileDialogsScript::setNextFolder(u"/tmp/./games/g1/.."_s);
    editor.CommandGamePath_Click();
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), u"/tmp/games/"_s);

    // The picked file then lies under the shown folder, so its name is stored relative to it.
    FileDialogsScript::setNextFolder(u"/tmp/x/../games//g1/"_s);
    editor.CommandGamePath_Click();
    FileDialogsScript::setNextFileName(u"/tmp/games/g1/bin/Run.exe"_s);
    editor.CommandGameRun_Click();
    QCOMPARE(control<QLineEdit>(editor, u"TextGameRun"_s)->text(), expectedName(u"bin/Run.exe"_s));
    QCOMPARE(FileDialogsScript::takeRequests().size(), 4);
}

void tst_ForMadd::filePickersNeedADirectoryFirst()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    control<QLineEdit>(editor, u"TextGameRun"_s)->setText(u"keep.exe"_s);
    FileDialogsScript::setNextFileName(u"/games/x.exe"_s);
    editor.CommandGameRun_Click();
    compareShown({{u"请先选择游戏所在目录！"_s, 48, u"提示"_s}});
    QTest::mouseClick(control<QLabel>(editor, u"PicGetIco"_s), Qt::LeftButton);
    compareShown({{u"请先选择游戏所在目录！"_s, 48, u"提示"_s}});
    QVERIFY(FileDialogsScript::takeRequests().isEmpty());
    QCOMPARE(control<QLineEdit>(editor, u"TextGameRun"_s)->text(), u"keep.exe"_s);
    QVERIFY(control<QLineEdit>(editor, u"TextGameIcon"_s)->text().isEmpty());
    FileDialogsScript::setTestMode(true); // drops the unused answer
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
    QTest::newRow("typed without separator")
        << u"/d/Games/CS"_s << u"/d/Games/CS/HL.exe"_s << expectedName(u"/HL.exe"_s);
    QTest::newRow("directory text further in") << u"/cs/"_s << u"/backup/cs/cs/hl.exe"_s << u"/backup/cs/cs/hl.exe"_s;
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
    control<QLineEdit>(editor, u"TextGamePath"_s)->setText(directory);
    control<QLineEdit>(editor, u"TextGameIcon"_s)->setText(u"icon.ico"_s);

    FileDialogsScript::setNextFileName(chosen);
    QTest::mouseClick(control<QPushButton>(editor, u"CommandGameRun"_s), Qt::LeftButton);
    QCOMPARE(control<QLineEdit>(editor, u"TextGameRun"_s)->text(), stored);
    QCOMPARE(control<QLineEdit>(editor, u"TextGameIcon"_s)->text(), u"icon.ico"_s);

    FileDialogsScript::setNextFileName(chosen);
    QTest::mouseClick(control<QLabel>(editor, u"PicGetIco"_s), Qt::LeftButton);
    QCOMPARE(control<QLineEdit>(editor, u"TextGameIcon"_s)->text(), stored);
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), directory);

    const QList<FileDialogs::Request> requests = FileDialogsScript::takeRequests();
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
    control<QLineEdit>(editor, u"TextGamePath"_s)->setText(dir.path() + u'/');
    control<QLineEdit>(editor, u"TextGameIcon"_s)->setText(u"icon.ico"_s);
    FileDialogsScript::setNextFileName(red);
    editor.CommandGameRun_Click();
    control<QLineEdit>(editor, u"TextGameRun"_s)->setText(u"run.exe"_s);
    QCOMPARE(FileDialogsScript::takeRequests().size(), 1);
    const QImage preview = picture(editor, u"PicGetIco"_s);

    FileDialogsScript::setNextFolder(QString());
    editor.CommandGamePath_Click();
    FileDialogsScript::setNextFileName(QString());
    editor.CommandGameRun_Click();
    FileDialogsScript::setNextFileName(QString());
    editor.PicGetIco_Click();

    QCOMPARE(FileDialogsScript::takeRequests().size(), 3);
    QCOMPARE(control<QLineEdit>(editor, u"TextGamePath"_s)->text(), dir.path() + u'/');
    QCOMPARE(control<QLineEdit>(editor, u"TextGameRun"_s)->text(), u"run.exe"_s);
    QCOMPARE(control<QLineEdit>(editor, u"TextGameIcon"_s)->text(), u"icon.ico"_s);
    QCOMPARE(picture(editor, u"PicGetIco"_s), preview);
}

void tst_ForMadd::iconPickerOpensFromTheKeyboard()
{
    CatalogueFixture fixture;
    ForMadd editor(nullptr);
    openForAdding(editor);
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    control<QLineEdit>(editor, u"TextGamePath"_s)->setText(u"/games/"_s);
    QLineEdit *icon = control<QLineEdit>(editor, u"TextGameIcon"_s);
    icon->setFocus();
    QTest::keyClick(icon, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control<QLabel>(editor, u"PicGetIco"_s));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        FileDialogsScript::setNextFileName(u"/games/own"_s + QString::number(key) + u".ico"_s);
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(icon->text(), u"own"_s + QString::number(key) + u".ico"_s);
    }
    QCOMPARE(FileDialogsScript::takeRequests().size(), 2);
}

// Imported games keep a theme's icon outside their folder as an absolute path.
void tst_ForMadd::previewTakesAnAbsoluteIconAsItStands()
{
    QTemporaryDir dir;
    GameRow imported = game(u"导入"_s, u"射击"_s);
    imported.GamePath = dir.filePath(u"game/"_s);
    imported.GameIcon = writePicture(dir.filePath(u"red.png"_s), Qt::red);
    CatalogueFixture fixture({u"射击"_s}, {imported});
    ForMadd editor(nullptr);
    openForModifying(editor, fixture.games().first());
    QCOMPARE(control<QLineEdit>(editor, u"TextGameIcon"_s)->text(), imported.GameIcon);
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(5, 5), qRgb(255, 0, 0));
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
    control<QLineEdit>(editor, u"TextGamePath"_s)->setText(dir.path() + u'/');

    FileDialogsScript::setNextFileName(red);
    editor.CommandGameRun_Click();
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(5, 5), qRgb(255, 0, 0));
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(32, 32), qRgb(255, 255, 255));

    FileDialogsScript::setNextFileName(blue);
    editor.PicGetIco_Click();
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(5, 5), qRgb(0, 0, 255));
    QCOMPARE(control<QLineEdit>(editor, u"TextGameIcon"_s)->text(), expectedName(u"icon.png"_s));

    // The executable's icon replaces the preview; the icon field keeps its value.
    FileDialogsScript::setNextFileName(red);
    editor.CommandGameRun_Click();
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(5, 5), qRgb(255, 0, 0));
    QCOMPARE(control<QLineEdit>(editor, u"TextGameIcon"_s)->text(), expectedName(u"icon.png"_s));

    // A file without an icon leaves the preview blank, and its name is stored anyway.
    FileDialogsScript::setNextFileName(plain);
    editor.CommandGameRun_Click();
    QCOMPARE(picture(editor, u"PicGetIco"_s).pixel(5, 5), qRgb(255, 255, 255));
    QCOMPARE(control<QLineEdit>(editor, u"TextGameRun"_s)->text(), expectedName(u"readme.txt"_s));
    QCOMPARE(FileDialogsScript::takeRequests().size(), 4);
}

QTEST_MAIN(tst_ForMadd)
#include "tst_ForMadd.moc"
