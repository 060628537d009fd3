#include "CatalogueFixture.h"

#include "IconFile.h"
#include "MessageBoxScript.h"
#include "PasswordDialogScript.h"
#include "PgTestDatabase.h"
#include "PrivatePgServer.h"
#include "RecordingShell.h"
#include "WindowTestHelpers.h"
#include "app/StartUp.h"
#include "cafe/CafeMode.h"
#include "cafe/PgBackend.h"
#include "cafe/ServerSchema.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueStatements.h"
#include "category_manager/ForMtype.h"
#include "game_editor/ForMadd.h"
#include "icons/IconCache.h"
#include "main_window/ForMain.h"
#include "main_window/ForMrun.h"
#include "main_window/GameListModel.h"
#include "main_window/ImageList.h"
#include "main_window/WebPane.h"
#include "operator/OperatorSession.h"
#include "operator_gate/OperatorGate.h"
#include "room_console/ForMroom.h"
#include "tab_strip/CSSTab.h"
#include "tab_strip/SSTab.h"
#include "web/WebSearch.h"
#include "widgets/BusyWork.h"
#include "widgets/Modal.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>
#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

GameRow game(const QString &name, const QString &type, const QString &hot, const QString &icon = u"无"_s)
{
    GameRow row;
    row.GameName = name;
    row.GameType = type;
    row.GameHot = hot;
    row.GamePath = u"/games/"_s + name + u'/';
    row.GameRun = u"run.exe"_s;
    row.GameIcon = icon;
    return row;
}

GameListModel *listModel(const ForMain &window)
{
    return window.findChild<GameListModel *>();
}

CafeMode *cafeMode(const ForMain &window)
{
    return window.findChild<CafeMode *>();
}

// False while a menu in café mode has lost its server.
bool catalogueOnline(const ForMain &window)
{
    const CafeMode *cafe = cafeMode(window);
    return !cafe || cafe->online();
}

QStringList tabCaptions(const ForMain &window)
{
    QStringList captions;
    for (int i = 0; i < window.MenuSStab->Tabs(); ++i)
        captions.append(window.MenuSStab->TabCaption(i));
    return captions;
}

QStringList listedNames(const ForMain &window)
{
    QStringList names;
    const GameListModel *model = listModel(window);
    for (int row = 0; row < model->rowCount(); ++row)
        names.append(model->item(row).text);
    return names;
}

// Runs SQL on the catalogue file through the sqlcipher shell, as another program would; returns
// what the shell prints.
QString sqlcipherShell(const QString &file, const QString &sql)
{
    QProcess shell;
    shell.start(u"sqlcipher"_s, {u"-batch"_s, file});
    if (!shell.waitForStarted())
        return u"sqlcipher did not start"_s;
    shell.write((u"PRAGMA key='"_s + QString::fromUtf16(Catalogue::Password) + u"';\n"_s + sql).toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished();
    return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError()).remove(u"ok\n"_s);
}

// The names a statement selects, read through the shared cursor.
QStringList selectedNames(const QString &statement)
{
    QStringList names;
    CatalogueRecordset &rs = Catalogue::OpenQuery(statement);
    for (; !rs.Eof(); rs.MoveNext())
        names.append(rs.Field(u"GameName"_s));
    rs.Close();
    return names;
}

void selectRow(ForMain &window, int row)
{
    window.GameList->setCurrentIndex(listModel(window)->index(row, 0));
}

// Runs the operator tool; its exit code, or -1 when it did not finish.
int runCatalogueTool(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess tool;
    tool.start(QStringLiteral(JYT_CATALOGUE_TOOL), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    return tool.exitCode();
}

// Records what the main window asks of its operator session and answers as told.
struct RecordingSession : OperatorSession
{
    QStringList calls;
    bool required = false;
    Result answer{Outcome::Granted, QString()};

    bool passwordRequired() override { return required; }
    Result begin(const QString &password) override
    {
        calls.append(u"begin "_s + password);
        return answer;
    }
    void end() noexcept override { calls.append(u"end"_s); }
};

QString selectedName(const ForMain &window)
{
    const QModelIndexList selected = window.GameList->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : listModel(window)->item(selected.first().row()).text;
}

void writeSettings(const QString &directory, const QByteArray &contents)
{
    QFile file(directory + u"/juyoutai.ini"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

// A program folder whose settings point the menu at a test database, in use until the object goes.
struct CafeFolder
{
    explicit CafeFolder(const PgTestDatabase &db)
    {
        Catalogue::setProgramDirectory(dir.path());
        writeSettings(dir.path(), "[catalogue]\nserver=" + db.menuUri().toUtf8() + '\n');
    }
    ~CafeFolder() { Catalogue::setProgramDirectory(QString()); }
    QTemporaryDir dir;
};

// The server's rows for the games of these tests: "name|type|hot" each.
QString insertGames(const QStringList &games)
{
    QStringList values;
    for (const QString &g : games) {
        const QStringList f = g.split(u'|');
        values.append(u"('%1', '%2', '%3', '/games/%1/', 'run.exe', '无', '无')"_s.arg(f.at(0), f.at(1), f.at(2)));
    }
    return u"INSERT INTO GameList (GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon) VALUES "_s
        + values.join(u", "_s);
}

// Counts the turns of the event loop while a handler runs, and the busy texts shown meanwhile.
struct LoopWatch
{
    LoopWatch()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            ++turns;
            for (QWidget *widget : QApplication::allWidgets()) {
                const auto *label = qobject_cast<QLabel *>(widget);
                if (label && label->objectName() == QLatin1String(BusyWork::BusyTextName)
                    && !texts.contains(label->text()))
                    texts.append(label->text());
                // A note of its own stands over the middle of the window it belongs to.
                if (over && label && label->objectName() == QLatin1String(BusyWork::BusyTextName) && label->isWindow()
                    && (label->frameGeometry().center() - over->frameGeometry().center()).manhattanLength() > 2)
                    offCentre.append(label->text());
            }
        });
        timer.start(20);
    }
    // The turns and texts since the last call.
    int takeTurns() { return std::exchange(turns, 0); }
    QStringList takeTexts() { return std::exchange(texts, {}); }

    QTimer timer;
    int turns = 0;
    QStringList texts;
    const QWidget *over = nullptr;
    QStringList offCentre;
};

} // namespace

class tst_ForMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void setUpLeavesCaptionsAsSet();
    void setUpLoadsQtsChineseTexts();
    void windowSystemIsX11WhereThereIsADisplay_data();
    void windowSystemIsX11WhereThereIsADisplay();
    void missingCatalogueIsReportedWithoutCreatingAFile();
    void damageOutsideTheListsEndsTheProgramOnceTheWindowIsPainted();
    void emptyCatalogueGivesOnlyTheHotTab();
    void tabsFollowTheCategoryTable();
    void hotTabListsExactlyTheHotGames();
    void startUpStartsNoWebHelper();
    void categoryTabListsItsGamesAndHidesTheWebPane();
    void hotCaptionCategoryListsTheHotGames();
    void iconSourcesFollowTheIconColumn();
    void iconsArriveInTheBackground();
    void reloadRebuildsTheTabs_data();
    void reloadRebuildsTheTabs();
    void reloadForMainRedrawsTheStripAtOnce();
    void pressingTheCurrentTabLeavesTheWebPane();
    void refillKeepsTheCurrentTab();
    void searchMatchesPinyinInitialsAndKeepsTheTab();
    void emptySearchListsEveryNamedGame();
    void webSearchShowsThePaneAndALocalSearchHidesIt();
    void relatedSearchUsesTheSelectedName();
    void aboutLabelOpensFromTheKeyboard();
    void doubleClickOpensTheRunDialogForTheSelectedGame();
    void enterOnASelectedItemOpensTheRunDialog();
    void folderBrowsingOpensTheGameDirectory();
    void rightButtonReleaseShowsThePopupMenu();
    void assistiveTechnologySeesTabsAndGames();
    void assistiveTechnologyHearsEachGameOnce();
    void operatorAddsACategoryAndAGameThroughTheWindows();
    void operatorPasswordGuardsTheOperatorWindows_data();
    void operatorPasswordGuardsTheOperatorWindows();
    void operatorSessionLastsWhileItsWindowsAreOpen();
    void damagedOperatorPasswordIsReportedAndOpensNothing();
    void wrongPasswordsWaitLongerEachTimeWithoutFreezing();
    void failingCatalogueGivesAnErrorAndAnEmptyList();
    void listsAreWhatTheStatementsSelectAndFollowOtherWriters();
    void numericTypeColumnListsWhatTheStatementSelects();
    void resizingScalesTheControlsAndTheTabsCoverTheWindow();
    void theWindowNeverShrinksOverTheTabRow();
    void malformedCafeSettingsAreReportedAndTheFileIsUsed();
    void unreachableServerShowsTheLastCopyOffline();
    void unreachableServerWithoutAUsableCopyEndsAsAMissingFileDoes_data();
    void unreachableServerWithoutAUsableCopyEndsAsAMissingFileDoes();
    void refusingServerIsToldApartFromAnOutage_data();
    void refusingServerIsToldApartFromAnOutage();
    void serverChangesRefreshTheMenuKeepingThePlace();
    void refreshWaitsUntilTheModalDialogCloses();
    void cafeOperatorWritesThroughTheServerUntilTheManagerCloses();
    void cafeGameStartIsCountedUnderThePcsName();
    void cafeHotTabFollowsTheRoomsRule();
    void cafeRoomConsoleOpensFromThePopupWithTheOperatorPassword();
    void searchResultsStaySearchResultsAfterARefresh();
    void changedLargeCataloguesAreReadOnAWorker();
    void searchOfManyGamesWaitsForTheirInitialsOnAWorker();
    void frozenServerLeavesTheMainWindowAnswering();

private:
    RecordingShell m_shell;
    QList<QString> m_dialogs;
};

void tst_ForMain::initTestCase()
{
    MessageBoxScript::setTestMode(true);
    Shell::setInstance(&m_shell);
    // The run dialog is recorded instead of being shown modally.
    Modal::setRunner([this](QDialog &dialog) {
        m_dialogs.append(dialog.windowTitle());
        return 0;
    });
}

void tst_ForMain::init()
{
    MessageBoxScript::setTestMode(true);
    PasswordDialogScript::setTestMode(true);
    m_shell.takeCalls();
    m_dialogs.clear();
}

void tst_ForMain::cleanup()
{
    Catalogue::CloseCatalogue();
}

void tst_ForMain::setUpLeavesCaptionsAsSet()
{
    StartUp::setUpApplication();
    // Qt appends a display name, once one is set, to every caption the window system shows
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void tst_ForMain::setUpLoadsQtsChineseTexts()
{
    StartUp::setUpApplication();
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), u"取消"_s);
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), u"查找范围："_s);
}

void tst_ForMain::windowSystemIsX11WhereThereIsADisplay_data()
{
    QTest::addColumn<QByteArray>("asked");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("chosen");
    QTest::newRow("Wayland session with X") << QByteArray() << QByteArray(":0") << QByteArray("xcb");
    QTest::newRow("asked for") << QByteArray("wayland") << QByteArray(":0") << QByteArray("wayland");
    QTest::newRow("no X display") << QByteArray() << QByteArray() << QByteArray();
}

void tst_ForMain::windowSystemIsX11WhereThereIsADisplay()
{
    QFETCH(QByteArray, asked);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, chosen);
    const QByteArray savedPlatform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    const auto set = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    set("QT_QPA_PLATFORM", asked);
    set("DISPLAY", display);
    StartUp::chooseWindowSystem();
    const QByteArray result = qgetenv("QT_QPA_PLATFORM");
    set("QT_QPA_PLATFORM", savedPlatform);
    set("DISPLAY", savedDisplay);
    QCOMPARE(result, chosen);
}

void tst_ForMain::missingCatalogueIsReportedWithoutCreatingAFile()
{
    QTemporaryDir dir;
    Catalogue::setProgramDirectory(dir.path());
    ForMain window;
    QVERIFY(!window.Form_Load());
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().text.startsWith(u"数据库连接出错:\n错误代码:"_s));
    QCOMPARE(shown.first().title, u"错误"_s);
    QCOMPARE(shown.first().style, 64);
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    Catalogue::setProgramDirectory(QString());
}

void tst_ForMain::damageOutsideTheListsEndsTheProgramOnceTheWindowIsPainted()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s)});
    // A table no list reads, whose first page is then garbled: only reading every page finds it.
    sqlite3 *db = Catalogue::CatalogueConnectionObject().handle();
    QCOMPARE(sqlite3_exec(db, "CREATE TABLE Notes(Body TEXT); INSERT INTO Notes VALUES (hex(randomblob(200)));",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    const auto number = [db](const char *sql) {
        sqlite3_stmt *stmt = nullptr;
        qint64 value = -1;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return value;
    };
    const qint64 page = number("SELECT rootpage FROM sqlite_master WHERE name = 'Notes'");
    const qint64 pageSize = number("PRAGMA page_size");
    QVERIFY(page > 1 && pageSize > 0);
    const qint64 offset = (page - 1) * pageSize + 200;
    Catalogue::CloseCatalogue();
    QFile file(fixture.path());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    QByteArray bytes = file.peek(16);
    for (char &byte : bytes)
        byte = char(byte ^ 0x5a);
    QCOMPARE(file.write(bytes), 16);
    file.close();

    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(listedNames(window), QStringList{u"一"_s});
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    window.show();
    QList<MessageBox::Shown> shown;
    QTRY_VERIFY((shown += MessageBoxScript::takeShown(), !shown.isEmpty()));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"数据库连接出错:\n错误代码:"_s), qPrintable(shown.first().text));
    QCOMPARE(shown.first().title, u"错误"_s);
    QVERIFY(!Catalogue::CatalogueConnectionObject().isOpen());
    QVERIFY(!window.isVisible());
}

void tst_ForMain::emptyCatalogueGivesOnlyTheHotTab()
{
    CatalogueFixture fixture;
    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(tabCaptions(window), QStringList{u"热门推荐"_s});
    QCOMPARE(listModel(window)->rowCount(), 0);
    QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(window.windowTitle(), u"聚游台"_s);
}

void tst_ForMain::tabsFollowTheCategoryTable()
{
    CatalogueFixture fixture({u"网络游戏"_s, u"射击游戏"_s, u"射击游戏"_s, u"热门推荐"_s});
    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(tabCaptions(window),
             (QStringList{u"热门推荐"_s, u"网络游戏"_s, u"射击游戏"_s, u"射击游戏"_s, u"热门推荐"_s}));
    QCOMPARE(window.MenuSStab->Tab(), 0);
}

void tst_ForMain::hotTabListsExactlyTheHotGames()
{
    CatalogueFixture fixture({u"a"_s},
                             {game(u"一"_s, u"a"_s, u"是"_s), game(u"二"_s, u"a"_s, u"否"_s),
                              game(u"三"_s, u"a"_s, u""_s), game(u"四"_s, u"a"_s, u"是 "_s),
                              game(u"五"_s, u"none"_s, u"是"_s), game(u"六"_s, u"a"_s, u"yes"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(listedNames(window), (QStringList{u"一"_s, u"五"_s}));
    // Every row read gets an image, listed or not.
    QCOMPARE(window.imageList1().Count(), 6);
    QCOMPARE(listModel(window)->item(1).icon, 5);
}

void tst_ForMain::startUpStartsNoWebHelper()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.WebBrowserQN->url(), QUrl(u"about:blank"_s));
    QVERIFY(window.WebBrowserQN->isSilent());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(!window.WebBrowserQN->isEngineStarted());
    // The player turning to the web search starts it, before the words are typed
    window.TextNetSerch->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(window.WebBrowserQN->isEngineStarted());
    QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
}

void tst_ForMain::categoryTabListsItsGamesAndHidesTheWebPane()
{
    CatalogueFixture fixture({u"a"_s, u"b"_s},
                             {game(u"一"_s, u"a"_s, u"是"_s), game(u"二"_s, u"b"_s, u"否"_s),
                              game(u"三"_s, u"a"_s, u"否"_s), game(u"四"_s, u"c"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.CommandNetSerch_Click();
    QVERIFY(window.WebBrowserQN->isVisibleTo(&window));
    window.MenuSStab->setTab(1);
    QCOMPARE(listedNames(window), (QStringList{u"一"_s, u"三"_s}));
    QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
    QVERIFY(window.GameList->isVisibleTo(&window));
    window.MenuSStab->setTab(2);
    QCOMPARE(listedNames(window), QStringList{u"二"_s});
    const GameListModel::Item &item = listModel(window)->item(0);
    QCOMPARE(item.subItem1, u"/games/二/"_s);
    QCOMPARE(item.subItem2, u"无"_s);
    QCOMPARE(item.subItem3, u"run.exe"_s);
}

void tst_ForMain::hotCaptionCategoryListsTheHotGames()
{
    CatalogueFixture fixture({u"热门推荐"_s}, {game(u"一"_s, u"x"_s, u"是"_s), game(u"二"_s, u"热门推荐"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.MenuSStab->setTab(1);
    QCOMPARE(listedNames(window), QStringList{u"一"_s});
}

void tst_ForMain::iconSourcesFollowTheIconColumn()
{
    QTemporaryDir games;
    const QString dir = games.path() + u'/';
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QVERIFY(IconFile::writeIco(red, dir + u"own.ico"_s));
    QImage blue(32, 32, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    QFile exe(dir + u"run.exe"_s);
    QVERIFY(exe.open(QIODevice::WriteOnly));
    exe.write(IconFile::makePeWithIcon(blue));
    exe.close();

    GameRow withIcon = game(u"有图标"_s, u"a"_s, u"是"_s, u"own.ico"_s);
    GameRow fromExe = game(u"无图标"_s, u"a"_s, u"是"_s);
    GameRow missing = game(u"缺文件"_s, u"a"_s, u"是"_s, u"gone.ico"_s);
    GameRow elsewhere = game(u"别处"_s, u"a"_s, u"是"_s, dir + u"own.ico"_s);
    for (GameRow *row : {&withIcon, &fromExe, &missing, &elsewhere})
        row->GamePath = dir + u"sub/"_s.repeated(row == &elsewhere);
    CatalogueFixture fixture({u"a"_s}, {withIcon, fromExe, missing, elsewhere});
    ForMain window;
    QVERIFY(window.Form_Load());
    const ImageList &images = window.imageList1();
    QCOMPARE(images.source(1), dir + u"own.ico"_s);
    QCOMPARE(images.source(2), dir + u"run.exe"_s);
    QCOMPARE(images.source(3), dir + u"gone.ico"_s);
    QCOMPARE(images.source(4), dir + u"own.ico"_s);
    const auto canvas = [&](int index) { return IconCache::shared().canvas(images.source(index)); };
    QCOMPARE(canvas(1).size(), QSize(33, 33));
    QCOMPARE(canvas(1).pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(canvas(1).pixelColor(32, 32), QColor(Qt::white));
    QCOMPARE(canvas(2).pixelColor(5, 5), QColor(Qt::blue));
    QCOMPARE(canvas(3).pixelColor(5, 5), QColor(Qt::white));
}

void tst_ForMain::iconsArriveInTheBackground()
{
    QTemporaryDir games;
    const QString dir = games.path() + u'/';
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QVERIFY(IconFile::writeIco(red, dir + u"own.ico"_s));
    QVERIFY(QFile::copy(QStringLiteral(JYT_TEST_DATA "/icons/big-2048.png"), dir + u"big.png"_s));
    GameRow small = game(u"小"_s, u"a"_s, u"是"_s, u"own.ico"_s);
    GameRow big = game(u"大"_s, u"a"_s, u"是"_s, u"big.png"_s);
    small.GamePath = big.GamePath = dir;
    CatalogueFixture fixture({u"a"_s}, {small, big});
    ForMain window;
    QVERIFY(window.Form_Load());
    const GameListModel *model = listModel(window);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    const int smallRow = listedNames(window).indexOf(u"小"_s);
    const int bigRow = listedNames(window).indexOf(u"大"_s);
    const auto pixel = [model](int row) {
        return model->index(row, 0).data(Qt::DecorationRole).value<QImage>().pixelColor(5, 5);
    };
    // The first answer is the white canvas: nothing is decoded on the window's thread.
    QCOMPARE(pixel(smallRow), QColor(Qt::white));
    QCOMPARE(pixel(bigRow), QColor(Qt::white));
    QTRY_COMPARE(pixel(smallRow), QColor(Qt::red));
    QTRY_COMPARE(model->pendingIcons(), 0);
    QVERIFY(!changed.isEmpty());
    // A picture declared larger than 1024 x 1024 is refused and keeps the white canvas.
    QCOMPARE(pixel(bigRow), QColor(Qt::white));
}

// A category change rebuilds the tabs: the manager's reload goes back to the Hot tab, an import's keeps the
// player's tab.
void tst_ForMain::reloadRebuildsTheTabs_data()
{
    QTest::addColumn<bool>("keepingTab");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("back to the Hot tab") << false << 0 << QStringList{u"一"_s};
    QTest::newRow("keeping the tab") << true << 1 << QStringList{u"一"_s, u"二"_s};
}

void tst_ForMain::reloadRebuildsTheTabs()
{
    QFETCH(bool, keepingTab);
    QFETCH(int, tab);
    QFETCH(QStringList, listed);
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s), game(u"二"_s, u"a"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.MenuSStab->setTab(1);
    CatalogueFixture::addCategory(u"b"_s);
    if (keepingTab)
        window.ReloadKeepingTab();
    else
        window.ReloadForMain();
    QCOMPARE(tabCaptions(window), (QStringList{u"热门推荐"_s, u"a"_s, u"b"_s}));
    QCOMPARE(window.MenuSStab->Tab(), tab);
    QCOMPARE(listedNames(window), listed);
}

void tst_ForMain::reloadForMainRedrawsTheStripAtOnce()
{
    CatalogueFixture fixture({u"a"_s});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.MenuSStab->setTab(1);
    CatalogueFixture::addCategory(u"新类"_s);
    window.ReloadForMain();
    // No pointer crosses the strip: its next picture already holds both category tabs.
    const QImage shown = window.MenuSStab->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Right of the last tab the strip shows its bare background, the band.
    const QImage band = shown.copy(QRect(70 * 3, 0, 70, 30));
    for (int tab : {1, 2}) {
        const QRect cell(70 * tab, 0, 70, 30);
        QVERIFY2(shown.copy(cell) != band, qPrintable(QString::number(tab)));
    }
}

void tst_ForMain::pressingTheCurrentTabLeavesTheWebPane()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s), game(u"二"_s, u"a"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    const QPoint hotTab(35, 15);
    const auto pressHotTab = [&] {
        QMouseEvent press(QEvent::MouseButtonPress, hotTab, window.MenuSStab->mapToGlobal(hotTab), Qt::LeftButton,
                          Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.MenuSStab, &press);
    };
    // Also after a local search, with or without a web search after it: the tab's own list
    for (const bool search : {false, true}) {
        if (search) {
            window.SerchText->setText(u"二"_s);
            window.SerchCommand_Click();
            QCOMPARE(listedNames(window), QStringList{u"二"_s});
            pressHotTab();
            QCOMPARE(listedNames(window), QStringList{u"一"_s});
            window.SerchCommand_Click();
        }
        window.CommandNetSerch_Click();
        QVERIFY(window.WebBrowserQN->isVisibleTo(&window));
        pressHotTab();
        QCOMPARE(window.MenuSStab->Tab(), 0);
        QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
        QVERIFY(window.GameList->isVisibleTo(&window));
        QCOMPARE(listedNames(window), QStringList{u"一"_s});
    }
}

void tst_ForMain::refillKeepsTheCurrentTab()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.MenuSStab->setTab(1);
    CatalogueFixture::addGame(game(u"新"_s, u"a"_s, u"否"_s));
    window.CommandNetSerch_Click();
    window.REloadMenuSStab();
    QCOMPARE(window.MenuSStab->Tab(), 1);
    QCOMPARE(listedNames(window), (QStringList{u"一"_s, u"新"_s}));
    QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
}

void tst_ForMain::searchMatchesPinyinInitialsAndKeepsTheTab()
{
    CatalogueFixture fixture({u"a"_s},
                             {game(u"穿梭时空"_s, u"a"_s, u"否"_s), game(u"Counter Strike"_s, u"a"_s, u"否"_s),
                              game(u"CS反恐精英"_s, u"b"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.MenuSStab->setTab(1);
    QSignalSpy tabClicks(window.MenuSStab, &SSTab::Click);
    for (const QString &text : {u"cs"_s, u"CS"_s}) {
        window.SerchText->setText(text);
        window.SerchCommand_Click();
        QCOMPARE(listedNames(window), (QStringList{u"穿梭时空"_s, u"CS反恐精英"_s}));
    }
    window.SerchText->setText(u"反恐"_s);
    QTest::keyClick(window.SerchText, Qt::Key_Return);
    QCOMPARE(listedNames(window), QStringList{u"CS反恐精英"_s});
    QCOMPARE(window.MenuSStab->Tab(), 1);
    QCOMPARE(tabClicks.count(), 0);
    QCOMPARE(window.imageList1().Count(), 3);
}

void tst_ForMain::emptySearchListsEveryNamedGame()
{
    CatalogueFixture fixture(
        {}, {game(u"b"_s, u"a"_s, u"否"_s), game(u""_s, u"a"_s, u"否"_s), game(u"a"_s, u"x"_s, u"否"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.SerchCommand_Click();
    QCOMPARE(listedNames(window), (QStringList{u"b"_s, u"a"_s}));
}

void tst_ForMain::webSearchShowsThePaneAndALocalSearchHidesIt()
{
    CatalogueFixture fixture;
    ForMain window;
    QVERIFY(window.Form_Load());
    window.TextNetSerch->setText(u"C&C #1"_s);
    QTest::keyClick(window.TextNetSerch, Qt::Key_Return);
    QVERIFY(window.WebBrowserQN->isVisibleTo(&window));
    QCOMPARE(window.WebBrowserQN->geometry(), window.GameList->geometry());
    QCOMPARE(window.WebBrowserQN->url(), WebSearch::searchAddress(u"C&C #1"_s));
    QTest::keyClick(window.SerchText, Qt::Key_Return);
    QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
    QVERIFY(window.GameList->isVisibleTo(&window));
}

void tst_ForMain::relatedSearchUsesTheSelectedName()
{
    CatalogueFixture fixture({}, {game(u"穿梭时空"_s, u"a"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.Xiangguansousuo_Click();
    QVERIFY(!window.WebBrowserQN->isVisibleTo(&window)); // nothing selected: nothing happens
    selectRow(window, 0);
    window.Xiangguansousuo_Click();
    QVERIFY(window.WebBrowserQN->isVisibleTo(&window));
    QCOMPARE(window.WebBrowserQN->url(), WebSearch::searchAddress(u"穿梭时空"_s));
}

void tst_ForMain::aboutLabelOpensFromTheKeyboard()
{
    CatalogueFixture fixture;
    ForMain window;
    QVERIFY(window.Form_Load());
    QVERIFY(window.LabelAbout->focusPolicy() & Qt::TabFocus);
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        QTest::keyClick(window.SerchText, Qt::Key_Return);
        QVERIFY(!window.WebBrowserQN->isVisibleTo(&window));
        QTest::keyClick(window.LabelAbout, key);
        QVERIFY(window.WebBrowserQN->isVisibleTo(&window));
        QCOMPARE(window.WebBrowserQN->url(), WebSearch::aboutAddress());
    }
}

void tst_ForMain::doubleClickOpensTheRunDialogForTheSelectedGame()
{
    CatalogueFixture fixture({}, {game(u"穿梭时空"_s, u"a"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.GameList_DblClick();
    QVERIFY(m_dialogs.isEmpty());
    selectRow(window, 0);
    window.GameList_DblClick();
    QCOMPARE(m_dialogs, QList<QString>{u"穿梭时空"_s});
    window.Caidan->actions().at(0)->trigger(); // 立即运行
    QCOMPARE(m_dialogs.size(), 2);
}

void tst_ForMain::enterOnASelectedItemOpensTheRunDialog()
{
    CatalogueFixture fixture({}, {game(u"穿梭时空"_s, u"a"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    selectRow(window, 0);
    QTest::keyClick(window.GameList, Qt::Key_Return);
    QCOMPARE(m_dialogs, QList<QString>{u"穿梭时空"_s});
    // A held key opens no further dialog, whether its repeats are flagged or arrive as plain presses.
    QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(window.GameList, &repeated);
    QCOMPARE(m_dialogs.size(), 1);
    QTest::keyPress(window.GameList, Qt::Key_Return);
    QTest::keyPress(window.GameList, Qt::Key_Return);
    QTest::keyRelease(window.GameList, Qt::Key_Return);
    QCOMPARE(m_dialogs.size(), 2);
}

void tst_ForMain::folderBrowsingOpensTheGameDirectory()
{
    GameRow row = game(u"穿梭时空"_s, u"a"_s, u"是"_s);
    row.GameCmd = u"-window"_s;
    CatalogueFixture fixture({}, {row});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.Mululiulan_Click();
    QVERIFY(m_shell.calls().isEmpty());
    selectRow(window, 0);
    window.Caidan->actions().at(1)->trigger();
    const QList<RecordingShell::Call> calls = m_shell.takeCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().verb, RecordingShell::Verb::OpenFolder);
    QCOMPARE(calls.first().file, u"/games/穿梭时空/"_s);
}

void tst_ForMain::rightButtonReleaseShowsThePopupMenu()
{
    CatalogueFixture fixture;
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList captions;
    for (const QAction *action : window.Caidan->actions())
        captions.append(action->text());
    QCOMPARE(captions, (QStringList{u"立即运行"_s, u"目录浏览"_s, u"相关搜索"_s, u"添加游戏"_s, u"游戏管理"_s}));
    QTest::mouseClick(window.GameList->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(!window.Caidan->isVisible());
    QTest::mouseClick(window.GameList->viewport(), Qt::RightButton, {}, QPoint(50, 50));
    QTRY_VERIFY(window.Caidan->isVisible());
    window.Caidan->hide();
}

void tst_ForMain::assistiveTechnologySeesTabsAndGames()
{
    CatalogueFixture fixture({u"网络游戏"_s}, {game(u"穿梭时空"_s, u"网络游戏"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAccessibleInterface *tabs = QAccessible::queryAccessibleInterface(window.MenuSStab);
    QVERIFY(tabs);
    QCOMPARE(tabs->role(), QAccessible::PageTabList);
    QCOMPARE(tabs->childCount(), 2);
    QCOMPARE(tabs->child(1)->text(QAccessible::Name), u"网络游戏"_s);
    QVERIFY(tabs->child(0)->state().selected);
    QCOMPARE(QAccessible::queryAccessibleInterface(window.SerchText)->text(QAccessible::Name), u"搜索"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(window.TextNetSerch)->text(QAccessible::Name), u"百度搜索"_s);

    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(window.GameList);
    QVERIFY(list);
    bool found = false;
    for (int i = 0; i < list->childCount() && !found; ++i)
        found = list->child(i)->text(QAccessible::Name) == u"穿梭时空"_s;
    QVERIFY(found);
}

void tst_ForMain::assistiveTechnologyHearsEachGameOnce()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s), game(u"二"_s, u"a"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(window.GameList);
    QVERIFY(list);
    QCOMPARE(list->childCount(), 2);
    QCOMPARE(list->child(0)->text(QAccessible::Name), u"一"_s);
    QCOMPARE(list->child(1)->text(QAccessible::Name), u"二"_s);
    QVERIFY(list->child(1)->text(QAccessible::Description).contains(u"/games/二/"_s));
}

void tst_ForMain::operatorAddsACategoryAndAGameThroughTheWindows()
{
    CatalogueFixture fixture({u"网络游戏"_s}, {game(u"穿梭时空"_s, u"网络游戏"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());

    window.Caidan->actions().at(4)->trigger(); // 游戏管理
    QPointer<ForMtype> manager = ForMtype::instance();
    QVERIFY(manager);
    QCOMPARE(PasswordDialogScript::takeAsked(), 0); // a file without a password asks for none
    window.FenLeiGuanLi_Click();
    QCOMPARE(ForMtype::instance(), manager.data()); // one manager only
    control<QLineEdit>(*manager, u"NewTypeText"_s)->setText(u"射击游戏"_s);
    manager->NewTypeCmd_Click();
    QCOMPARE(tabCaptions(window), (QStringList{u"热门推荐"_s, u"网络游戏"_s, u"射击游戏"_s}));

    // The editor opened from the main window's menu is filled in and saved by the operator.
    Modal::setRunner([](QDialog &dialog) {
        auto &editor = static_cast<ForMadd &>(dialog);
        control<QLineEdit>(editor, u"TextGamePath"_s)->setText(u"/games/cs/"_s);
        control<QLineEdit>(editor, u"TextGameRun"_s)->setText(u"hl"_s);
        control<QLineEdit>(editor, u"TextGameName"_s)->setText(u"CS反恐精英"_s);
        auto *type = control<QComboBox>(editor, u"ComboGameType"_s);
        type->setCurrentIndex(type->findText(u"射击游戏"_s));
        auto *hot = control<QComboBox>(editor, u"ComboGameHot"_s);
        hot->setCurrentIndex(hot->findText(u"否"_s));
        editor.Command1_Click();
        return int(editor.result());
    });
    window.MenuSStab->setTab(2);
    window.Caidan->actions().at(3)->trigger(); // 添加游戏
    Modal::setRunner([this](QDialog &dialog) {
        m_dialogs.append(dialog.windowTitle());
        return 0;
    });
    QCOMPARE(listedNames(window), QStringList{u"CS反恐精英"_s});
    QCOMPARE(fixture.categories(), (QStringList{u"网络游戏"_s, u"射击游戏"_s}));
    const QList<GameRow> rows = fixture.games();
    QCOMPARE(rows.size(), 2);
    GameRow expected = game(u"CS反恐精英"_s, u"射击游戏"_s, u"否"_s);
    expected.GamePath = u"/games/cs/"_s;
    expected.GameRun = u"hl"_s;
    expected.GameID = rows.at(1).GameID;
    QCOMPARE(rows.at(1), expected);
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, u"新游戏已经添加完成！"_s);
    delete manager.data();
}

void tst_ForMain::operatorPasswordGuardsTheOperatorWindows_data()
{
    QTest::addColumn<int>("item"); // of the popup menu
    QTest::addColumn<QString>("answer"); // what the operator types; empty for Cancel
    QTest::addColumn<bool>("opens");
    for (const int item : {3, 4}) {
        const QString name = item == 3 ? u"添加游戏"_s : u"游戏管理"_s;
        QTest::addRow("%s, right", qPrintable(name)) << item << u"店长 pass"_s << true;
        QTest::addRow("%s, wrong", qPrintable(name)) << item << u"店长 Pass"_s << false;
        QTest::addRow("%s, cancel", qPrintable(name)) << item << QString() << false;
    }
}

void tst_ForMain::operatorPasswordGuardsTheOperatorWindows()
{
    QFETCH(int, item);
    QFETCH(QString, answer);
    QFETCH(bool, opens);
    QTemporaryDir directory;
    QCOMPARE(runCatalogueTool({u"init"_s, directory.path()}), 0);
    QCOMPARE(runCatalogueTool({u"set-operator-password"_s, directory.path()}, u"店长 pass\n"_s.toUtf8()), 0);
    Catalogue::setProgramDirectory(directory.path());
    const auto restore = qScopeGuard([] { Catalogue::setProgramDirectory(QString()); });
    ForMain window;
    QVERIFY(window.Form_Load());

    if (answer.isEmpty())
        PasswordDialogScript::setNextCancel();
    else
        PasswordDialogScript::setNextAnswer(answer);
    window.Caidan->actions().at(item)->trigger();
    QCOMPARE(PasswordDialogScript::takeAsked(), 1);
    const bool wrong = !opens && !answer.isEmpty();
    compareShown(wrong ? QList<Box>{{u"管理员密码错误！"_s, 48, u"错误"_s}} : QList<Box>{});
    QCOMPARE(m_dialogs, opens && item == 3 ? QList<QString>{u"添加游戏"_s} : QList<QString>{});
    QPointer<ForMtype> manager = ForMtype::instance();
    QCOMPARE(!manager.isNull(), opens && item == 4);
    delete manager.data();
}

void tst_ForMain::operatorSessionLastsWhileItsWindowsAreOpen()
{
    CatalogueFixture fixture({u"网络游戏"_s});
    ForMain window;
    QVERIFY(window.Form_Load());
    auto owned = std::make_unique<RecordingSession>();
    RecordingSession &session = *owned;
    window.operatorGate().setSession(std::move(owned));

    // Asked for the password only when the session needs one.
    session.required = true;
    PasswordDialogScript::setNextAnswer(u"p"_s);
    window.TianJiaYouXi_Click();
    QCOMPARE(PasswordDialogScript::takeAsked(), 1);
    QCOMPARE(session.calls, (QStringList{u"begin p"_s, u"end"_s}));
    QCOMPARE(m_dialogs, QList<QString>{u"添加游戏"_s});

    // An editor that fails still ends its session.
    session.calls.clear();
    session.required = false;
    Modal::setRunner([](QDialog &) -> int { throw std::runtime_error("editor failed"); });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, window.TianJiaYouXi_Click());
    Modal::setRunner([this](QDialog &dialog) {
        m_dialogs.append(dialog.windowTitle());
        return 0;
    });
    QCOMPARE(session.calls, (QStringList{u"begin "_s, u"end"_s}));

    // The manager holds one session until it is gone; an editor opened meanwhile shares it.
    session.calls.clear();
    window.FenLeiGuanLi_Click();
    QPointer<ForMtype> manager = ForMtype::instance();
    QVERIFY(manager);
    window.TianJiaYouXi_Click();
    window.FenLeiGuanLi_Click();
    QCOMPARE(session.calls, QStringList{u"begin "_s});
    delete manager.data();
    QCOMPARE(session.calls, (QStringList{u"begin "_s, u"end"_s}));

    // A session that cannot begin says why, and nothing opens.
    session.calls.clear();
    m_dialogs.clear();
    session.answer = {OperatorSession::Outcome::Unavailable, u"无法连接服务器。"_s};
    window.TianJiaYouXi_Click();
    window.FenLeiGuanLi_Click();
    compareShown({{u"无法连接服务器。"_s, 48, u"错误"_s}, {u"无法连接服务器。"_s, 48, u"错误"_s}});
    QCOMPARE(session.calls, (QStringList{u"begin "_s, u"begin "_s}));
    QVERIFY(m_dialogs.isEmpty());
    QVERIFY(!ForMtype::instance());
}

void tst_ForMain::damagedOperatorPasswordIsReportedAndOpensNothing()
{
    CatalogueFixture fixture;
    Catalogue::ExecuteStatement(u"CREATE TABLE Settings(Name TEXT PRIMARY KEY, Value TEXT);"
                                "INSERT INTO Settings VALUES('OperatorPassword', 'plain text');"_s);
    ForMain window;
    QVERIFY(window.Form_Load());
    PasswordDialogScript::setNextAnswer(u"plain text"_s);
    window.TianJiaYouXi_Click();
    QCOMPARE(PasswordDialogScript::takeAsked(), 1);
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.contains(u"管理员密码已损坏"_s), qPrintable(shown.first().text));
    QVERIFY(m_dialogs.isEmpty());
}

void tst_ForMain::wrongPasswordsWaitLongerEachTimeWithoutFreezing()
{
    QTemporaryDir directory;
    QCOMPARE(runCatalogueTool({u"init"_s, directory.path()}), 0);
    QCOMPARE(runCatalogueTool({u"set-operator-password"_s, directory.path()}, u"right\n"_s.toUtf8()), 0);
    Catalogue::setProgramDirectory(directory.path());
    const auto restore = qScopeGuard([] { Catalogue::setProgramDirectory(QString()); });
    ForMain window;
    QVERIFY(window.Form_Load());
    window.operatorGate().setPasswordDelayMs(400);
    // Shown away from the screen's middle and not active, as right after the password dialog closed.
    window.setAttribute(Qt::WA_ShowWithoutActivating);
    window.move(5, 5);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LoopWatch watch;
    watch.over = &window;
    QElapsedTimer clock;
    qint64 took = 0;
    for (const qint64 delay : {400, 800}) {
        PasswordDialogScript::setNextAnswer(u"wrong"_s);
        clock.start();
        window.TianJiaYouXi_Click();
        took = clock.elapsed();
        QVERIFY2(took >= delay, qPrintable(QString::number(took)));
        QVERIFY2(watch.takeTurns() >= delay / 40, "the window stood still while waiting");
        QCOMPARE(watch.takeTexts(), (QStringList{u"正在验证密码…"_s, u"管理员密码错误，1 秒后可以再试…"_s}));
        compareShown({{u"管理员密码错误！"_s, 48, u"错误"_s}});
    }
    QCOMPARE(watch.offCentre, QStringList());
    // The right one opens and starts the count again.
    PasswordDialogScript::setNextAnswer(u"right"_s);
    window.TianJiaYouXi_Click();
    QCOMPARE(m_dialogs, QList<QString>{u"添加游戏"_s});
    PasswordDialogScript::setNextAnswer(u"wrong"_s);
    clock.start();
    window.TianJiaYouXi_Click();
    // Back to the first wait: shorter than the doubled one, with room for a loaded machine's checks.
    QVERIFY2(clock.elapsed() < took, qPrintable(QString::number(clock.elapsed())));
    compareShown({{u"管理员密码错误！"_s, 48, u"错误"_s}});
    QCOMPARE(PasswordDialogScript::takeAsked(), 4);
}

void tst_ForMain::failingCatalogueGivesAnErrorAndAnEmptyList()
{
    CatalogueFixture fixture({}, {game(u"穿梭时空"_s, u"a"_s, u"是"_s)});
    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(listModel(window)->rowCount(), 1);
    Catalogue::CloseCatalogue();
    window.SerchCommand_Click();
    QCOMPARE(listModel(window)->rowCount(), 0);
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, u"错误"_s);
    QCOMPARE(shown.first().style, 48);
    QVERIFY(shown.first().text.startsWith(u"读取游戏目录出错："_s));
}

void tst_ForMain::listsAreWhatTheStatementsSelectAndFollowOtherWriters()
{
    CatalogueFixture fixture;
    // Blobs, invalid UTF-8, NULLs, case and trailing spaces, written by another program.
    QCOMPARE(
        sqlcipherShell(fixture.path(),
                       u"INSERT INTO TypeList VALUES ('abc'), ('ABC'), ('射击'), ('射击 '), (CAST(X'61FF62' AS TEXT)),"
                       " ('a' || char(65533) || 'b'), ('none');"
                       "INSERT INTO GameList (GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon) VALUES"
                       " ('g1', 'abc', '是', '/g/', 'g1.exe', '无', '无'),"
                       " ('g2', 'ABC', '否', '/g/', 'g2.exe', '无', '无'),"
                       " ('g3', '射击', X'E698AF', '/g/', 'g3.exe', '无', '无'),"
                       " ('g4', '射击 ', '是 ', '/g/', 'g4.exe', '无', '无'),"
                       " ('g5', NULL, NULL, '/g/', 'g5.exe', NULL, NULL),"
                       " ('g6', X'616263', '是', '/g/', 'g6.exe', '无', '无'),"
                       " ('g7', CAST(X'61FF62' AS TEXT), '否', '/g/', 'g7.exe', '无', '无'),"
                       " ('g8', 'a' || char(65533) || 'b', '否', '/g/', 'g8.exe', '无', '无'),"
                       " ('g9', 'abc', '否', '/g/', 'g9.exe', '无', 'x.ico');"_s),
        QString());
    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(listedNames(window), (QStringList{u"g1"_s, u"g3"_s, u"g6"_s}));
    const auto checkTabs = [&] {
        for (int tab = 1; tab < window.MenuSStab->Tabs(); ++tab) {
            window.MenuSStab->setTab(tab);
            const QStringList listed = listedNames(window);
            QCOMPARE(listed, selectedNames(CatalogueStatements::selectGamesByType(window.MenuSStab->TabCaption(tab))));
            QCOMPARE(window.imageList1().Count(), listed.size());
        }
    };
    checkTabs();
    window.MenuSStab->setTab(1);
    QCOMPARE(listedNames(window), (QStringList{u"g1"_s, u"g9"_s}));
    QCOMPARE(listModel(window)->item(1).icon, 2);
    QCOMPARE(window.imageList1().source(2), u"/g/x.ico"_s);
    window.MenuSStab->setTab(6);
    QCOMPARE(listedNames(window), QStringList{u"g8"_s});

    // Another program's change is listed by the next fill and found by the next search.
    QCOMPARE(sqlcipherShell(fixture.path(),
                            u"UPDATE GameList SET GameType = 'abc', GameHot = '是' WHERE GameName = 'g2';"
                            "INSERT INTO GameList (GameName, GameType, GameHot) VALUES ('g10', 'none', '否');"_s),
             QString());
    window.MenuSStab->setTab(1);
    QCOMPARE(listedNames(window), (QStringList{u"g1"_s, u"g2"_s, u"g9"_s}));
    checkTabs();
    window.MenuSStab->setTab(0);
    QCOMPARE(listedNames(window), (QStringList{u"g1"_s, u"g2"_s, u"g3"_s, u"g6"_s}));
    window.SerchText->setText(u"G1"_s);
    window.SerchCommand_Click();
    QCOMPARE(listedNames(window), (QStringList{u"g1"_s, u"g10"_s}));
    QCOMPARE(window.imageList1().Count(), 10);
    QCOMPARE(listModel(window)->item(1).icon, 10);
}

void tst_ForMain::numericTypeColumnListsWhatTheStatementSelects()
{
    CatalogueFixture fixture;
    // Another program's table: '5' and '05' are stored as the number 5 and all three equal '5'.
    QCOMPARE(sqlcipherShell(fixture.path(),
                            u"DROP TABLE GameList;"
                            "CREATE TABLE GameList(GameID INTEGER PRIMARY KEY, GameName TEXT, GameType NUMERIC,"
                            " GameHot TEXT, GamePath TEXT, GameRun TEXT, GameCmd TEXT, GameIcon TEXT);"
                            "INSERT INTO TypeList VALUES ('5');"
                            "INSERT INTO GameList (GameName, GameType) VALUES ('n1', 5), ('n2', '5'), ('n3', '05'),"
                            " ('n4', 'x');"_s),
             QString());
    ForMain window;
    QVERIFY(window.Form_Load());
    window.MenuSStab->setTab(1);
    QCOMPARE(listedNames(window), (QStringList{u"n1"_s, u"n2"_s, u"n3"_s}));
    QCOMPARE(listedNames(window), selectedNames(CatalogueStatements::selectGamesByType(u"5"_s)));
}

void tst_ForMain::resizingScalesTheControlsAndTheTabsCoverTheWindow()
{
    CatalogueFixture fixture({u"网络游戏"_s});
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize designed = window.size();
    const QRect list = window.GameList->geometry();
    QCOMPARE(window.WebBrowserQN->geometry(), list);

    window.resize(designed.width() * 2, designed.height());
    QTRY_COMPARE(window.MenuSStab->geometry(), QRect(QPoint(0, 0), window.size()));
    QCOMPARE(window.GameList->geometry(), QRect(list.left() * 2, list.top(), list.width() * 2, list.height()));
    QCOMPARE(window.WebBrowserQN->geometry(), window.GameList->geometry());

    window.resize(designed);
    QTRY_COMPARE(window.GameList->geometry(), list);
    QCOMPARE(window.MenuSStab->geometry(), QRect(QPoint(0, 0), designed));
    QCOMPARE(window.c_SSTab->hWnd(), window.MenuSStab); // the strip stays attached through resizes
}

void tst_ForMain::theWindowNeverShrinksOverTheTabRow()
{
    CatalogueFixture fixture;
    ForMain window;
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(50, 60);
    QTRY_COMPARE(window.MenuSStab->size(), window.size());
    QVERIFY(window.width() >= 70);
    for (const QWidget *control :
         {static_cast<QWidget *>(window.SerchText), static_cast<QWidget *>(window.TextNetSerch),
          static_cast<QWidget *>(window.GameList), window.Picture1})
        QVERIFY2(control->y() >= window.c_SSTab->TabHeight(), qPrintable(control->objectName()));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    tst_ForMain test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ForMain.moc"

void tst_ForMain::malformedCafeSettingsAreReportedAndTheFileIsUsed()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s)});
    writeSettings(fixture.directory(), "[catalogue\nserver=postgresql://127.0.0.1/juyoutai\n");
    ForMain window;
    QVERIFY(window.Form_Load());
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"配置文件 juyoutai.ini 有误，本次使用本机的游戏目录。"_s),
             qPrintable(shown.first().text));
    QCOMPARE(shown.first().title, u"错误"_s);
    QCOMPARE(cafeMode(window), nullptr);
    QVERIFY(catalogueOnline(window));
    QCOMPARE(listedNames(window), QStringList{u"一"_s});
}

void tst_ForMain::unreachableServerShowsTheLastCopyOffline()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s)});
    // Nothing listens on port 1: refused at once, well inside the start-up wait.
    writeSettings(fixture.directory(), "[catalogue]\nserver=postgresql://juyoutai_menu:x@127.0.0.1:1/juyoutai\n");
    ForMain window;
    QVERIFY(window.Form_Load());
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QVERIFY(!catalogueOnline(window));
    QCOMPARE(window.LabelGG->text(), u"离线模式：暂时无法连接服务器，显示的是上次同步的游戏目录。"_s);
    QVERIFY2(window.LabelGG->toolTip().contains(u"127.0.0.1"_s), qPrintable(window.LabelGG->toolTip()));
    QCOMPARE(tabCaptions(window), (QStringList{u"热门推荐"_s, u"a"_s}));
    QCOMPARE(listedNames(window), QStringList{u"一"_s});

    // The operator windows are refused before a password is typed that nobody could check.
    for (const int item : {3, 4}) {
        window.Caidan->actions().at(item)->trigger();
        QCOMPARE(PasswordDialogScript::takeAsked(), 0);
        const QList<MessageBox::Shown> refused = MessageBoxScript::takeShown();
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.first().text.startsWith(u"离线模式"_s), qPrintable(refused.first().text));
    }
    QVERIFY(m_dialogs.isEmpty());
    QVERIFY(!ForMtype::instance());
}

void tst_ForMain::unreachableServerWithoutAUsableCopyEndsAsAMissingFileDoes_data()
{
    QTest::addColumn<QByteArray>("copy");
    QTest::newRow("no copy") << QByteArray();
    QTest::newRow("damaged copy") << QByteArray(4096, '\x5a');
}

void tst_ForMain::unreachableServerWithoutAUsableCopyEndsAsAMissingFileDoes()
{
    QFETCH(QByteArray, copy);
    QTemporaryDir dir;
    Catalogue::setProgramDirectory(dir.path());
    const auto restore = qScopeGuard([] { Catalogue::setProgramDirectory(QString()); });
    writeSettings(dir.path(), "[catalogue]\nserver=postgresql://juyoutai_menu:x@127.0.0.1:1/juyoutai\n");
    if (!copy.isEmpty()) {
        QFile file(Catalogue::DatabasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(copy);
    }
    ForMain window;
    QVERIFY(!window.Form_Load());
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(
        shown.first().text.startsWith(u"无法连接服务器，本机也没有可用的游戏目录副本。\n数据库连接出错:\n错误代码:"_s),
        qPrintable(shown.first().text));
    // The damaged copy is left for the next sync to replace, not deleted.
    QCOMPARE(QFileInfo(Catalogue::DatabasePath()).size(), qint64(copy.size()));
}

void tst_ForMain::refusingServerIsToldApartFromAnOutage_data()
{
    QTest::addColumn<bool>("withCopy");
    QTest::newRow("no copy") << false;
    QTest::newRow("copy") << true;
}

void tst_ForMain::refusingServerIsToldApartFromAnOutage()
{
    QFETCH(bool, withCopy);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    const QByteArray wrongPassword = db.uriFor(QString::fromLatin1(ServerSchema::MenuRole), u"wrong"_s).toUtf8();
    std::optional<CatalogueFixture> fixture;
    QTemporaryDir dir;
    if (withCopy)
        fixture.emplace(QStringList{u"a"_s}, QList<GameRow>{game(u"一"_s, u"a"_s, u"是"_s)});
    else
        Catalogue::setProgramDirectory(dir.path());
    const auto restore = qScopeGuard([] { Catalogue::setProgramDirectory(QString()); });
    writeSettings(withCopy ? fixture->directory() : dir.path(), "[catalogue]\nserver=" + wrongPassword + '\n');
    ForMain window;
    QCOMPARE(window.Form_Load(), withCopy);
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    if (withCopy) {
        QVERIFY(shown.isEmpty());
        QCOMPARE(window.LabelGG->text(), u"离线模式：服务器拒绝了菜单的用户名或密码，显示的是上次同步的游戏目录。"_s);
    } else {
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().text.startsWith(u"服务器拒绝了菜单的用户名或密码（见 juyoutai.ini 中的 server），"_s),
                 qPrintable(shown.first().text));
    }
}

void tst_ForMain::serverChangesRefreshTheMenuKeepingThePlace()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(
        db.run(u"INSERT INTO TypeList (TypeName) VALUES ('a'), ('b');"_s + insertGames({u"一|b|否"_s, u"二|b|否"_s}))
            .isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    QVERIFY(catalogueOnline(window));
    QCOMPARE(tabCaptions(window), (QStringList{u"热门推荐"_s, u"a"_s, u"b"_s}));
    window.MenuSStab->setTab(2);
    selectRow(window, 1);

    QVERIFY(db.run(u"INSERT INTO TypeList (TypeName) VALUES ('c');"_s + insertGames({u"三|b|否"_s})).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), (QStringList{u"一"_s, u"二"_s, u"三"_s}), 2000);
    QCOMPARE(tabCaptions(window), (QStringList{u"热门推荐"_s, u"a"_s, u"b"_s, u"c"_s}));
    QCOMPARE(window.MenuSStab->Tab(), 2);
    QCOMPARE(selectedName(window), u"二"_s);

    // The shown category goes: back to the Hot tab, where the selected game is still listed.
    QVERIFY(db.run(u"DELETE FROM TypeList WHERE TypeName = 'b'; UPDATE GameList SET GameHot = '是'"_s).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(tabCaptions(window), (QStringList{u"热门推荐"_s, u"a"_s, u"c"_s}), 2000);
    QCOMPARE(window.MenuSStab->Tab(), 0);
    QCOMPARE(listedNames(window), (QStringList{u"一"_s, u"二"_s, u"三"_s}));
    QCOMPARE(selectedName(window), u"二"_s);
    QCOMPARE(window.LabelGG->text(), u"公告：感谢您使用本聚游台系统，您可以使用查找方式快速找到您要运行的游戏！"_s);
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
}

void tst_ForMain::refreshWaitsUntilTheModalDialogCloses()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(insertGames({u"一|a|是"_s})).isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    QDialog dialog(&window);
    dialog.setModal(true);
    dialog.show();
    QTRY_COMPARE(QApplication::activeModalWidget(), &dialog);

    QSignalSpy synced(cafeMode(window), &CafeMode::synced);
    QVERIFY(db.run(insertGames({u"二|a|是"_s})).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(synced.count() > 0, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(listedNames(window), QStringList{u"一"_s});

    dialog.close();
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), (QStringList{u"一"_s, u"二"_s}), 2000);
}

void tst_ForMain::cafeGameStartIsCountedUnderThePcsName()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(insertGames({u"一|a|是"_s, u"二|a|是"_s})).isEmpty());
    const CafeFolder folder(db);
    writeSettings(folder.dir.path(), "[catalogue]\nserver=" + db.menuUri().toUtf8() + "\n[client]\nname=A区-07\n");
    ForMain window;
    QVERIFY(window.Form_Load());
    Modal::setRunner([](QDialog &dialog) {
        dialog.findChild<QPushButton *>(u"CmdRunGame"_s)->click();
        return int(dialog.result());
    });
    selectRow(window, 1);
    window.GameList_DblClick();
    Modal::setRunner([this](QDialog &dialog) {
        m_dialogs.append(dialog.windowTitle());
        return 0;
    });
    QCOMPARE(m_shell.takeCalls().size(), 1);
    PGconn *conn = PQconnectdb(db.adminUri().toUtf8().constData());
    QTRY_COMPARE_WITH_TIMEOUT(
        PgTestDatabase::firstColumn(conn, u"SELECT GameID || ' ' || GameName || ' ' || ClientName FROM GameLaunch"_s),
        QStringList{u"2 二 A区-07"_s}, 5000);
    PQfinish(conn);
}

void tst_ForMain::cafeHotTabFollowsTheRoomsRule()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(insertGames({u"一|a|是"_s, u"二|a|否"_s, u"三|a|否"_s})
                   + u";INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, LaunchedAt)"
                     " SELECT gen_random_uuid(), g, '', 'PC', now() - i * interval '1 minute'"
                     " FROM (VALUES (3, 1), (3, 2), (2, 3)) AS t(g, i);"
                     "SELECT room_rebuild_rollups()"_s)
                .isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    QCOMPARE(listedNames(window), QStringList{u"一"_s});
    const QString op = db.operatorUri();
    PGconn *conn = PQconnectdb(op.toUtf8().constData());
    QCOMPARE(PgTestDatabase::firstColumn(conn, u"SELECT room_set_hot(5, 7)"_s), QStringList{QString()});
    // Each menu reads the new ranking at a moment of its own within a couple of seconds.
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), (QStringList{u"三"_s, u"二"_s}), 5000);
    QCOMPARE(PgTestDatabase::firstColumn(conn, u"SELECT room_set_hot(NULL, NULL)"_s), QStringList{QString()});
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), QStringList{u"一"_s}, 2000);
    PQfinish(conn);
}

void tst_ForMain::cafeRoomConsoleOpensFromThePopupWithTheOperatorPassword()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(insertGames({u"一|a|是"_s})).isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    QStringList captions;
    for (const QAction *action : window.Caidan->actions())
        captions.append(action->text());
    QCOMPARE(captions,
             (QStringList{u"立即运行"_s, u"目录浏览"_s, u"相关搜索"_s, u"添加游戏"_s, u"游戏管理"_s, u"机房状态"_s}));

    PasswordDialogScript::setNextAnswer(QString::fromLatin1(PgTestDatabase::MenuPassword));
    window.Caidan->actions().at(5)->trigger();
    QCOMPARE(PasswordDialogScript::takeAsked(), 1);
    compareShown({{u"管理员密码错误！"_s, 48, u"错误"_s}});
    QVERIFY(ForMroom::instance() == nullptr);

    PasswordDialogScript::setNextAnswer(QString::fromLatin1(PgTestDatabase::OperatorPassword));
    window.Caidan->actions().at(5)->trigger();
    QPointer<ForMroom> console = ForMroom::instance();
    QVERIFY(console);
    QVERIFY(console->parent() == nullptr && !console->isModal());
    QCOMPARE(console->windowTitle(), u"机房状态"_s);
    QTRY_VERIFY_WITH_TIMEOUT(console->report().has_value(), 5000);
    // The console reads on its own connection: the menu goes on reading its copy.
    QVERIFY(!Catalogue::CatalogueConnectionObject().isServer());
    // Open already: brought to the front without asking again.
    window.Caidan->actions().at(5)->trigger();
    QCOMPARE(PasswordDialogScript::takeAsked(), 1);
    QCOMPARE(ForMroom::instance(), console.data());
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    delete console.data();
}

void tst_ForMain::cafeOperatorWritesThroughTheServerUntilTheManagerCloses()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(insertGames({u"一|a|是"_s})).isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();

    PasswordDialogScript::setNextAnswer(QString::fromLatin1(PgTestDatabase::MenuPassword));
    window.FenLeiGuanLi_Click();
    compareShown({{u"管理员密码错误！"_s, 48, u"错误"_s}});
    QVERIFY(ForMtype::instance() == nullptr);

    PasswordDialogScript::setNextAnswer(QString::fromLatin1(PgTestDatabase::OperatorPassword));
    window.FenLeiGuanLi_Click();
    QPointer<ForMtype> manager = ForMtype::instance();
    QVERIFY(manager);
    QVERIFY(connection.isServer());
    // A change arriving meanwhile must not take the manager's connection back to the copy.
    QSignalSpy synced(cafeMode(window), &CafeMode::synced);
    QVERIFY(db.run(insertGames({u"二|a|是"_s})).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!synced.isEmpty(), 2000); // turns the loop even after an earlier exit()
    QVERIFY(connection.isServer());
    // Meanwhile the main window's own fills read the server as the operator.
    window.ReloadForMain();
    QCOMPARE(listedNames(window), (QStringList{u"一"_s, u"二"_s}));
    QVERIFY(MessageBoxScript::takeShown().isEmpty());

    delete manager.data();
    QVERIFY(!connection.isServer());
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), (QStringList{u"一"_s, u"二"_s}), 2000);
    QVERIFY(!connection.isServer());
}

void tst_ForMain::searchResultsStaySearchResultsAfterARefresh()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(insertGames({u"扫雷|a|是"_s, u"纸牌|a|是"_s})).isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    window.SerchText->setText(u"sl"_s);
    window.SerchCommand_Click();
    QCOMPARE(listedNames(window), QStringList{u"扫雷"_s});
    window.SerchText->setText(u"typed, not searched yet"_s);

    QVERIFY(db.run(insertGames({u"水浒|a|是"_s, u"双龙|a|是"_s})).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), (QStringList{u"扫雷"_s, u"双龙"_s}), 2000);
}

void tst_ForMain::changedLargeCataloguesAreReadOnAWorker()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"一"_s, u"a"_s, u"是"_s)});
    ForMain window;
    window.setBackgroundReadRows(1);
    QVERIFY(window.Form_Load());
    CatalogueConnection other;
    fixture.openOther(other);
    const QString insert = u"INSERT INTO GameList (GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon)"
                           " VALUES ('%1', 'a', '是', '/g/', 'r.exe', '无', '无')"_s;
    other.Execute(insert.arg(u"二"_s));

    window.MenuSStab->setTab(1);
    QVERIFY(window.readingGames());
    QVERIFY(listedNames(window).isEmpty());
    // The latest request wins; a change landing during the read is not taken for the state before it.
    window.SerchText->setText(u"e"_s);
    window.SerchCommand_Click();
    other.Execute(insert.arg(u"耳"_s));
    QTRY_VERIFY(!window.readingGames());
    QCOMPARE(listedNames(window), (QStringList{u"二"_s, u"耳"_s}));

    window.MenuSStab->setTab(0);
    QVERIFY(!window.readingGames());
    QCOMPARE(listedNames(window), (QStringList{u"一"_s, u"二"_s, u"耳"_s}));
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
}

// Before the window has painted no initials are worked out yet: the search waits for them, the window does not.
void tst_ForMain::searchOfManyGamesWaitsForTheirInitialsOnAWorker()
{
    CatalogueFixture fixture({u"a"_s}, {game(u"扫雷"_s, u"a"_s, u"是"_s)});
    Catalogue::ExecuteStatement(
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)"
        " INSERT INTO GameList (GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon)"
        " SELECT '游戏' || i, 'a', '否', '/g/', 'r.exe', '无', '无' FROM n"_s);
    ForMain window;
    window.setBackgroundReadRows(1);
    QVERIFY(window.Form_Load());
    window.SerchText->setText(u"sl"_s);
    window.SerchCommand_Click();
    QVERIFY(window.readingGames());
    QVERIFY(listedNames(window).isEmpty());
    QTRY_COMPARE(listedNames(window), QStringList{u"扫雷"_s});
    QVERIFY(!window.readingGames());
}

void tst_ForMain::frozenServerLeavesTheMainWindowAnswering()
{
    PrivatePgServer server;
    if (server.adminUri().isEmpty() && !PgTestDatabase::required())
        QSKIP("no private PostgreSQL server could be started");
    PgTestDatabase db(server.adminUri());
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO TypeList (TypeName) VALUES ('a');"_s + insertGames({u"一|a|是"_s})).isEmpty());
    const CafeFolder folder(db);
    ForMain window;
    QVERIFY(window.Form_Load());
    QVERIFY(catalogueOnline(window));
    LoopWatch watch;

    // The password is checked while the server hangs: the check gives up, the window never stops.
    QVERIFY(server.run(u"freeze"_s));
    auto thaw = qScopeGuard([&server] { server.run(u"thaw"_s); });
    PasswordDialogScript::setNextAnswer(QString::fromLatin1(PgTestDatabase::OperatorPassword));
    window.FenLeiGuanLi_Click();
    QVERIFY2(watch.takeTurns() >= 20, "the window stood still during the password check");
    QCOMPARE(watch.takeTexts(), QStringList{u"正在连接服务器…"_s});
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"无法以管理员身份连接服务器"_s), qPrintable(shown.first().text));
    QVERIFY(!ForMtype::instance());
    QVERIFY(server.run(u"thaw"_s));
    thaw.dismiss();

    // A save waits for a lock another session holds; a tab clicked meanwhile is listed once it is over.
    PasswordDialogScript::setNextAnswer(QString::fromLatin1(PgTestDatabase::OperatorPassword));
    window.FenLeiGuanLi_Click();
    QPointer<ForMtype> manager = ForMtype::instance();
    QVERIFY(manager);
    PGconn *admin = PQconnectdb(db.adminUri().toUtf8().constData());
    QCOMPARE(PgTestDatabase::firstColumn(admin, u"BEGIN"_s), QStringList());
    QCOMPARE(PgTestDatabase::firstColumn(admin, u"LOCK TABLE TypeList IN EXCLUSIVE MODE"_s), QStringList());
    PgBackend::setStatementTimeoutMs(1000);
    const auto restoreTimeout = qScopeGuard([] { PgBackend::setStatementTimeoutMs(PgBackend::StatementTimeoutMs); });
    QTimer::singleShot(100, &window, [&window] { window.MenuSStab->setTab(1); });
    control<QLineEdit>(*manager, u"NewTypeText"_s)->setText(u"b"_s);
    watch.takeTurns();
    watch.takeTexts();
    manager->NewTypeCmd_Click();
    QVERIFY2(watch.takeTurns() >= 20, "the window stood still during the save");
    QCOMPARE(watch.takeTexts(), QStringList{u"正在保存…"_s});
    PQfinish(admin);
    const QList<MessageBox::Shown> failed = MessageBoxScript::takeShown();
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.first().text.contains(u"未保存"_s), qPrintable(failed.first().text));
    QTRY_COMPARE(listedNames(window), QStringList{u"一"_s});
    QCOMPARE(window.MenuSStab->Tab(), 1);
    delete manager.data();
}
