#include "BothStores.h"
#include "CatalogueFixture.h"
#include "WindowTestHelpers.h"

#include "MessageBoxScript.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "category_manager/ForMimport.h"
#include "category_manager/ForMtype.h"
#include "game_editor/ForMadd.h"
#include "game_editor/MainWindowHooks.h"
#include "widgets/Modal.h"
#include "widgets/Twips.h"

#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The manager error box: the command's context, the error number and the store's description,
// each on a line of its own.
void checkErrorBox(const MessageBox::Shown &box, const QString &context, const QString &descriptionStart)
{
    const QStringList lines = box.text.split(u'\n');
    QVERIFY2(lines.size() >= 3, qPrintable(box.text));
    QCOMPARE(lines.first(), context);
    QVERIFY2(QRegularExpression(u"^错误代码:\\d+$"_s).match(lines.at(1)).hasMatch(), qPrintable(box.text));
    QVERIFY2(lines.last().startsWith(descriptionStart), qPrintable(box.text));
    QCOMPARE(box.style, 48);
    QCOMPARE(box.title, u"错误"_s);
}

void compareErrorBox(const QString &context)
{
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    checkErrorBox(shown.first(), context, QString());
}

// Runs SQL on a catalogue file through the sqlcipher shell and returns what it prints.
QString sqlcipherShell(const QString &file, const QString &sql)
{
    QProcess shell;
    shell.start(u"sqlcipher"_s, {file});
    if (!shell.waitForStarted())
        return u"sqlcipher did not start"_s;
    shell.write((u"PRAGMA key='"_s + QString::fromUtf16(Catalogue::Password) + u"';\n"_s + sql).toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished();
    return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
}

GameRow game(const QString &name, const QString &type)
{
    GameRow row;
    row.GameName = name;
    row.GameType = type;
    row.GameHot = u"否"_s;
    row.GamePath = u"/games/"_s + name + u'/';
    row.GameRun = name + u".exe"_s;
    return row;
}

QStringList treeTexts(const ForMtype &manager)
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(control<QTreeWidget>(manager, u"TreeView1"_s)); *it; ++it)
        texts.append((*it)->text(0));
    return texts;
}

QTreeWidgetItem *node(const ForMtype &manager, const QString &text)
{
    for (QTreeWidgetItemIterator it(control<QTreeWidget>(manager, u"TreeView1"_s)); *it; ++it) {
        if ((*it)->text(0) == text)
            return *it;
    }
    return nullptr;
}

void selectNode(ForMtype &manager, const QString &text)
{
    QTreeWidgetItem *item = node(manager, text);
    QVERIFY2(item, qPrintable(text));
    control<QTreeWidget>(manager, u"TreeView1"_s)->setCurrentItem(item);
    QVERIFY(manager.selectedNode() == item);
}

void selectRow(ForMtype &manager, int row)
{
    QTreeView *table = control<QTreeView>(manager, u"ListView1"_s);
    table->setCurrentIndex(table->model()->index(row, 0));
    QCOMPARE(manager.selectedRow(), row);
}

QStringList column(const ForMtype &manager, int cell)
{
    QStringList texts;
    for (int row = 0; row < manager.rowCount(); ++row)
        texts.append(manager.cell(row, cell));
    return texts;
}

QString writePicture(const QString &path, const QColor &color)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(color);
    if (!image.save(path, "PNG"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// What the manager had put into the editor when it showed it.
struct EditorSnapshot
{
    QString caption;
    QString button;
    QString name, path, run, hot, type, icon, cmd;
    int typeIndex = -2;
    int hotIndex = -2;
    QRgb previewPixel = 0;
};

EditorSnapshot snapshot(const ForMadd &editor)
{
    return {editor.windowTitle(),
            control<QPushButton>(editor, u"Command1"_s)->text(),
            control<QLineEdit>(editor, u"TextGameName"_s)->text(),
            control<QLineEdit>(editor, u"TextGamePath"_s)->text(),
            control<QLineEdit>(editor, u"TextGameRun"_s)->text(),
            control<QComboBox>(editor, u"ComboGameHot"_s)->currentText(),
            control<QComboBox>(editor, u"ComboGameType"_s)->currentText(),
            control<QLineEdit>(editor, u"TextGameIcon"_s)->text(),
            control<QLineEdit>(editor, u"TextGameCmd"_s)->text(),
            control<QComboBox>(editor, u"ComboGameType"_s)->currentIndex(),
            control<QComboBox>(editor, u"ComboGameHot"_s)->currentIndex(),
            picture(editor, u"PicGetIco"_s).pixel(5, 5)};
}

} // namespace

class tst_ForMtype : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void showsTheTreeAndEveryGame();
    void withoutCategoriesOnlyTheRootShows();
    void treeClickFiltersTheTable();
    void addCategoryChecksAndRefreshes();
    void addCategoryKeepsBlanksAndCase();
    void renameIgnoresTheRootAndEmptyText();
    void renameCancelledChangesNothing();
    void renameCarriesTheNameIntoEveryGame_data();
    void renameCarriesTheNameIntoEveryGame();
    void renameOfAnEmptyNameLeavesGamesWithoutCategory();
    void renameToTheRootTextMakesARootNode();
    void renameFailingPartWayChangesNothing_data();
    void renameFailingPartWayChangesNothing();
    void commandsWithoutASelectedNodeReportIt();
    void deleteCategoryRefusedWhileGamesRemain();
    void deleteCategoryCancelledOrRoot();
    void deleteEmptyCategoryRemovesItsRowAndNode();
    void rightButtonReleaseOpensTheMenuAnywhere();
    void addGameOpensAnEmptyEditor();
    void modifyFillsTheEditorFromTheRow();
    void modifyThroughTheEditorRewritesOnlyThatGame();
    void modifyFailuresShowTheErrorBoxAndNoEditor();
    void secondModifyStartsFromTheFirst();
    void modifyKeepsTheBytesOfUntouchedFields();
    void lockedCatalogueShowsAnExplainedError();
    void deleteGameRemovesOnlyTheSelectedNumber();
    void deleteGameCancelledStillReloadsTheMainWindow();
    void deleteGameWithoutSelectionDoesNothing();
    void showManagerKeepsOneInstance();
    void importAddsTheCheckedInstalledGames();
    void importWithNothingCheckedDoesNothing();
    void importDialogListsAThousandGames();

private:
    std::optional<EditorSnapshot> m_editor;
    int m_editorRuns = 0;
};

void tst_ForMtype::init()
{
    MessageBoxScript::setTestMode(true);
    m_editor.reset();
    m_editorRuns = 0;
    Modal::setRunner([this](QDialog &dialog) {
        ++m_editorRuns;
        m_editor = snapshot(dynamic_cast<ForMadd &>(dialog));
        return int(QDialog::Rejected);
    });
}

void tst_ForMtype::cleanup()
{
    Modal::setRunner({});
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
}

void tst_ForMtype::showsTheTreeAndEveryGame()
{
    GameRow own = game(u"乙"_s, u"角色"_s);
    own.GameIcon = u"ico/b.ico"_s;
    own.GameCmd = u"-window"_s;
    GameRow empty = game(u"丙"_s, u"射击"_s);
    empty.GameIcon = u""_s;
    CatalogueFixture fixture({u"射击"_s, u"角色"_s, u"空类"_s},
                             {game(u"甲"_s, u"射击"_s), own, empty, game(u"丁"_s, u"射击"_s)});
    const QList<GameRow> rows = fixture.games();
    Catalogue::ExecuteStatement(u"update GameList set GameIcon = NULL where GameName = '丁'"_s);
    CountingHooks hooks;
    ForMtype manager(&hooks);

    QCOMPARE(manager.windowTitle(), u"分类管理"_s);
    QVERIFY(manager.isWindow());
    QCOMPARE(manager.size(), Twips::size(12645, 7815));
    QCOMPARE(control<QTreeWidget>(manager, u"TreeView1"_s)->geometry(), Twips::rect(120, 120, 2775, 6615));
    QCOMPARE(control<QTreeView>(manager, u"ListView1"_s)->geometry(), Twips::rect(3000, 120, 9495, 7575));
    QCOMPARE(control<QPushButton>(manager, u"NewTypeCmd"_s)->text(), u"添加分类"_s);
    QCOMPARE(control<QPushButton>(manager, u"SetTypeCmd"_s)->text(), u"修改分类"_s);
    QCOMPARE(control<QPushButton>(manager, u"DelTypeCmd"_s)->text(), u"删除分类"_s);
    QCOMPARE(control<QPushButton>(manager, u"DelTypeCmd"_s)->geometry(), Twips::rect(2040, 7320, 855, 375));
    QCOMPARE(control<QTreeWidget>(manager, u"TreeView1"_s)->accessibleName(), u"游戏分类"_s);
    QCOMPARE(control<QTreeView>(manager, u"ListView1"_s)->accessibleName(), u"游戏列表"_s);

    QCOMPARE(control<QTreeWidget>(manager, u"TreeView1"_s)->topLevelItemCount(), 1);
    QTreeWidgetItem *root = control<QTreeWidget>(manager, u"TreeView1"_s)->topLevelItem(0);
    QCOMPARE(root->text(0), u"游戏列表"_s);
    QCOMPARE(root->data(0, Qt::UserRole).toString(), u"X1"_s);
    QVERIFY(root->isExpanded());
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"射击"_s, u"角色"_s, u"空类"_s}));
    QVERIFY(manager.selectedNode() == nullptr);

    QStringList headers;
    for (int c = 0; c < ForMtype::CellCount; ++c)
        headers.append(control<QTreeView>(manager, u"ListView1"_s)->model()->headerData(c, Qt::Horizontal).toString());
    QCOMPARE(headers,
             (QStringList{u"游戏编号"_s, u"游戏名称"_s, u"游戏目录"_s, u"执行文件"_s, u"热门推荐"_s, u"游戏分类"_s,
                          u"游戏图标"_s, u"命令参数"_s}));
    QCOMPARE(control<QTreeView>(manager, u"ListView1"_s)->columnWidth(3), Twips::toPixels(1440));

    QCOMPARE(manager.rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(manager.cell(row, ForMtype::CellID), rows.at(row).GameID);
        QCOMPARE(manager.cell(row, ForMtype::CellName), rows.at(row).GameName);
        QCOMPARE(manager.cell(row, ForMtype::CellPath), rows.at(row).GamePath);
        QCOMPARE(manager.cell(row, ForMtype::CellRun), rows.at(row).GameRun);
        QCOMPARE(manager.cell(row, ForMtype::CellHot), rows.at(row).GameHot);
        QCOMPARE(manager.cell(row, ForMtype::CellType), rows.at(row).GameType);
    }
    QCOMPARE(column(manager, ForMtype::CellIcon), (QStringList{u"默认"_s, u"ico/b.ico"_s, QString(), u"默认"_s}));
    QCOMPARE(column(manager, ForMtype::CellCmd), (QStringList{u"无"_s, u"-window"_s, u"无"_s, u"无"_s}));
    QCOMPARE(hooks.reloads, 0);
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMtype::withoutCategoriesOnlyTheRootShows()
{
    CatalogueFixture fixture;
    ForMtype manager(nullptr);
    QCOMPARE(treeTexts(manager), QStringList{u"游戏列表"_s});
    QCOMPARE(manager.rowCount(), 0);
}

void tst_ForMtype::treeClickFiltersTheTable()
{
    CatalogueFixture fixture({u"射击"_s, u"角色"_s, u"空类"_s},
                             {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"角色"_s), game(u"丙"_s, u"射击"_s)});
    ForMtype manager(nullptr);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));

    const auto click = [&](const QString &text) {
        const QRect rect = control<QTreeWidget>(manager, u"TreeView1"_s)->visualItemRect(node(manager, text));
        QTest::mouseClick(control<QTreeWidget>(manager, u"TreeView1"_s)->viewport(), Qt::LeftButton, {}, rect.center());
    };
    click(u"射击"_s);
    QCOMPARE(column(manager, ForMtype::CellName), (QStringList{u"甲"_s, u"丙"_s}));
    QCOMPARE(Catalogue::CatalogueStatement(), u"Select * From GameList Where GameType= '射击'"_s);
    click(u"空类"_s);
    QCOMPARE(manager.rowCount(), 0);
    click(u"游戏列表"_s);
    QCOMPARE(column(manager, ForMtype::CellName), (QStringList{u"甲"_s, u"乙"_s, u"丙"_s}));
    click(u"角色"_s);
    QCOMPARE(column(manager, ForMtype::CellName), QStringList{u"乙"_s});
    QCOMPARE(treeTexts(manager).size(), 4);

    // Rebuilding clears the filter.
    manager.GameTypeGet();
    QCOMPARE(manager.rowCount(), 3);
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMtype::addCategoryChecksAndRefreshes()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    CountingHooks hooks;
    ForMtype manager(&hooks);

    manager.NewTypeCmd_Click();
    compareShown({{u"请输入您需要添加的分类名称！"_s, 64, u"提示"_s}});
    QCOMPARE(hooks.reloads, 1);

    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"射击"_s);
    manager.NewTypeCmd_Click();
    compareShown({{u"您输入的游戏分类已经存在！"_s, 64, u"提示"_s}});
    QCOMPARE(hooks.reloads, 1);

    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"游戏列表"_s);
    QTest::mouseClick(control<QPushButton>(manager, u"NewTypeCmd"_s), Qt::LeftButton);
    compareShown({{u"您输入的游戏分类已经存在！"_s, 64, u"提示"_s}});
    QCOMPARE(hooks.reloads, 1);
    QCOMPARE(fixture.categories(), QStringList{u"射击"_s});

    // A filtered table goes back to every game after the add.
    selectNode(manager, u"射击"_s);
    manager.TreeView1_Click();
    fixture.addGame(game(u"乙"_s, u"别处"_s));
    QCOMPARE(manager.rowCount(), 1);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"角色"_s);
    manager.NewTypeCmd_Click();
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(hooks.reloads, 2);
    QCOMPARE(fixture.categories(), (QStringList{u"射击"_s, u"角色"_s}));
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"射击"_s, u"角色"_s}));
    QCOMPARE(manager.rowCount(), 2);
    QVERIFY(manager.selectedNode() == nullptr);
    QCOMPARE(control<QLineEdit>(manager, u"NewTypeText"_s)->text(), u"角色"_s);

    manager.NewTypeCmd_Click();
    compareShown({{u"您输入的游戏分类已经存在！"_s, 64, u"提示"_s}});
    QCOMPARE(hooks.reloads, 2);
    QCOMPARE(fixture.categories().size(), 2);
}

void tst_ForMtype::addCategoryKeepsBlanksAndCase()
{
    CatalogueFixture fixture({u"Racing"_s, u"a"_s});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    for (const QString &name : {u"racing"_s, u"a "_s, u" a"_s}) {
        control<QLineEdit>(manager, u"NewTypeText"_s)->setText(name);
        manager.NewTypeCmd_Click();
    }
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(hooks.reloads, 3);
    QCOMPARE(fixture.categories(), (QStringList{u"Racing"_s, u"a"_s, u"racing"_s, u"a "_s, u" a"_s}));
    QCOMPARE(treeTexts(manager).mid(1), fixture.categories());
}

void tst_ForMtype::renameIgnoresTheRootAndEmptyText()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);

    selectNode(manager, u"游戏列表"_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"新名"_s);
    manager.SetTypeCmd_Click();
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(hooks.reloads, 1);

    selectNode(manager, u"射击"_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->clear();
    QTest::mouseClick(control<QPushButton>(manager, u"SetTypeCmd"_s), Qt::LeftButton);
    compareShown({{u"新的分类名称不能为空！"_s, 48, u"提示"_s}});
    QCOMPARE(hooks.reloads, 2);

    QCOMPARE(fixture.categories(), QStringList{u"射击"_s});
    QCOMPARE(fixture.games(), before);
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"射击"_s}));
}

void tst_ForMtype::renameCancelledChangesNothing()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"射击"_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"新名"_s);
    MessageBoxScript::setNextAnswer(MessageBox::Cancel);
    manager.SetTypeCmd_Click();
    compareShown({{u"您确定要修改分类[射击]名称吗？"_s, 65, u"确认"_s}});
    QCOMPARE(hooks.reloads, 1);
    QCOMPARE(fixture.categories(), QStringList{u"射击"_s});
    QCOMPARE(fixture.games(), before);
    QCOMPARE(node(manager, u"射击"_s) != nullptr, true);
}

void tst_ForMtype::renameCarriesTheNameIntoEveryGame_data()
{
    BothStores::addRows();
}

void tst_ForMtype::renameCarriesTheNameIntoEveryGame()
{
    JYT_BOTH_STORES(
        stores, fixture, {u"射击"_s, u"角色"_s},
        {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"角色"_s), game(u"丙"_s, u"射击 "_s), game(u"丁"_s, u"射击"_s)});
    QList<GameRow> expected = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"射击"_s);
    QTreeWidgetItem *selected = manager.selectedNode();
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"动作"_s);

    manager.SetTypeCmd_Click();

    compareShown({{u"您确定要修改分类[射击]名称吗？"_s, 65, u"确认"_s}});
    QCOMPARE(hooks.reloads, 1);
    QCOMPARE(fixture.categories(), (QStringList{u"动作"_s, u"角色"_s}));
    expected[0].GameType = u"动作"_s;
    expected[3].GameType = u"动作"_s; // the last row too
    QCOMPARE(fixture.games(), expected);
    QCOMPARE(selected->text(0), u"动作"_s);
    QVERIFY(manager.selectedNode() == selected);
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"动作"_s, u"角色"_s}));
    // The table is not refilled until the next refill.
    QCOMPARE(column(manager, ForMtype::CellType), (QStringList{u"射击"_s, u"角色"_s, u"射击 "_s, u"射击"_s}));
    QVERIFY(!Catalogue::CatalogueConnectionObject().inTransaction());
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMtype::renameOfAnEmptyNameLeavesGamesWithoutCategory()
{
    CatalogueFixture fixture({u""_s}, {game(u"甲"_s, u""_s)});
    Catalogue::ExecuteStatement(u"insert into GameList(GameName, GameType) values ('乙', NULL)"_s);
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u""_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"动作"_s);
    manager.SetTypeCmd_Click();
    const QList<GameRow> rows = fixture.games();
    QCOMPARE(rows.at(0).GameType, u"动作"_s);
    QVERIFY(rows.at(1).GameType.isNull()); // a game written without a category keeps none
    QCOMPARE(MessageBoxScript::takeShown().size(), 1);
}

void tst_ForMtype::renameToTheRootTextMakesARootNode()
{
    CatalogueFixture fixture({u"射击"_s, u"角色"_s}, {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"角色"_s)});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"角色"_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"游戏列表"_s);
    manager.SetTypeCmd_Click();
    compareShown({{u"您确定要修改分类[角色]名称吗？"_s, 65, u"确认"_s}});
    QCOMPARE(fixture.categories(), (QStringList{u"射击"_s, u"游戏列表"_s}));
    QCOMPARE(fixture.games().at(1).GameType, u"游戏列表"_s);

    // That node now counts as the root: clicking it lists every game, rename and delete leave it.
    manager.TreeView1_Click();
    QCOMPARE(manager.rowCount(), 2);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"再改"_s);
    manager.SetTypeCmd_Click();
    manager.DelTypeCmd_Click();
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(hooks.reloads, 3);
    QCOMPARE(fixture.categories(), (QStringList{u"射击"_s, u"游戏列表"_s}));
}

void tst_ForMtype::renameFailingPartWayChangesNothing_data()
{
    // The store refuses the third game's change, after the category and two games were written.
    BothStores::addColumn();
    QTest::addColumn<QString>("refuse");
    QTest::addColumn<QString>("allow");
    BothStores::fileRow() << u"CREATE TRIGGER refuse BEFORE UPDATE ON GameList WHEN OLD.GameName = '丙' "
                             "BEGIN SELECT RAISE(ABORT, 'refused by the store'); END"_s
                          << u"DROP TRIGGER refuse"_s;
    BothStores::serverRow() << u"CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                               "IF OLD.GameName = '丙' THEN RAISE EXCEPTION 'refused by the store'; END IF; "
                               "RETURN NEW; END $$; CREATE TRIGGER refuse BEFORE UPDATE ON GameList "
                               "FOR EACH ROW EXECUTE FUNCTION refuse()"_s
                            << u"DROP TRIGGER refuse ON GameList"_s;
}

void tst_ForMtype::renameFailingPartWayChangesNothing()
{
    QFETCH(QString, refuse);
    QFETCH(QString, allow);
    JYT_BOTH_STORES(stores, fixture, {u"射击"_s, u"角色"_s},
                    {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"射击"_s), game(u"丙"_s, u"射击"_s)});
    // Only the owner of the server's tables may change their triggers.
    const auto asOwner = [&](const QString &sql) {
        if (stores.onServer())
            QCOMPARE(stores.server()->run(sql), QString());
        else
            Catalogue::ExecuteStatement(sql);
    };
    asOwner(refuse);
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"射击"_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"动作"_s);

    manager.SetTypeCmd_Click();

    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(0).style, 65);
    checkErrorBox(shown.at(1), u"修改分类失败："_s, u"refused by the store"_s);
    QCOMPARE(hooks.reloads, 0);
    QCOMPARE(fixture.categories(), (QStringList{u"射击"_s, u"角色"_s}));
    QCOMPARE(fixture.games(), before);
    QCOMPARE(manager.selectedNode()->text(0), u"射击"_s);
    QVERIFY(!Catalogue::CatalogueConnectionObject().inTransaction());
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());

    // A category whose row is gone meanwhile is a failure too, and writes no game.
    asOwner(allow);
    Catalogue::ExecuteStatement(u"delete From TypeList Where TypeName= '射击'"_s);
    manager.SetTypeCmd_Click();
    const QList<MessageBox::Shown> again = MessageBoxScript::takeShown();
    QCOMPARE(again.size(), 2);
    QCOMPARE(again.at(0).text, u"您确定要修改分类[射击]名称吗？"_s);
    checkErrorBox(again.at(1), u"修改分类失败："_s, QString());
    QCOMPARE(fixture.games(), before);
    QCOMPARE(hooks.reloads, 0);
}

void tst_ForMtype::commandsWithoutASelectedNodeReportIt()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"新名"_s);
    manager.SetTypeCmd_Click();
    compareErrorBox(u"修改分类失败："_s);
    manager.DelTypeCmd_Click();
    compareErrorBox(u"删除分类失败："_s);
    QCOMPARE(hooks.reloads, 0);
    QCOMPARE(fixture.categories(), QStringList{u"射击"_s});
}

void tst_ForMtype::deleteCategoryRefusedWhileGamesRemain()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"射击"_s);
    QTest::mouseClick(control<QPushButton>(manager, u"DelTypeCmd"_s), Qt::LeftButton);
    compareShown({{u"您确定要删除分类[射击]吗？删除后此分类下的所有游戏将无法显示！"_s, 1, u"确认"_s},
                  {u"请先修改或删除本分类下的所有游戏！"_s, 64, u"提示"_s}});
    QCOMPARE(hooks.reloads, 1);
    QCOMPARE(fixture.categories(), QStringList{u"射击"_s});
    QCOMPARE(fixture.games(), before);
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"射击"_s}));
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
}

void tst_ForMtype::deleteCategoryCancelledOrRoot()
{
    CatalogueFixture fixture({u"空类"_s});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"空类"_s);
    MessageBoxScript::setNextAnswer(MessageBox::Cancel);
    manager.DelTypeCmd_Click();
    compareShown({{u"您确定要删除分类[空类]吗？删除后此分类下的所有游戏将无法显示！"_s, 1, u"确认"_s}});
    QCOMPARE(hooks.reloads, 1);
    selectNode(manager, u"游戏列表"_s);
    manager.DelTypeCmd_Click();
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(hooks.reloads, 2);
    QCOMPARE(fixture.categories(), QStringList{u"空类"_s});
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"空类"_s}));
}

void tst_ForMtype::deleteEmptyCategoryRemovesItsRowAndNode()
{
    CatalogueFixture fixture({u"射击"_s, u"空类"_s, u"角色"_s}, {game(u"甲"_s, u"射击"_s)});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"空类"_s);
    manager.DelTypeCmd_Click();
    compareShown({{u"您确定要删除分类[空类]吗？删除后此分类下的所有游戏将无法显示！"_s, 1, u"确认"_s}});
    QCOMPARE(hooks.reloads, 1);
    QCOMPARE(fixture.categories(), (QStringList{u"射击"_s, u"角色"_s}));
    QCOMPARE(treeTexts(manager), (QStringList{u"游戏列表"_s, u"射击"_s, u"角色"_s}));
    QCOMPARE(Catalogue::CatalogueStatement(), u"delete From TypeList Where TypeName= '空类'"_s);
}

void tst_ForMtype::rightButtonReleaseOpensTheMenuAnywhere()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    ForMtype manager(nullptr);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));
    const QList<QAction *> actions = control<QMenu>(manager, u"YouXiBianJi"_s)->actions();
    QCOMPARE(actions,
             (QList<QAction *>{control<QAction>(manager, u"TianJia"_s), control<QAction>(manager, u"XiuGai"_s),
                               control<QAction>(manager, u"ShanChu"_s), control<QAction>(manager, u"DaoRu"_s)}));
    QCOMPARE(control<QAction>(manager, u"TianJia"_s)->text(), u"添加游戏"_s);
    QCOMPARE(control<QAction>(manager, u"XiuGai"_s)->text(), u"修改游戏"_s);
    QCOMPARE(control<QAction>(manager, u"ShanChu"_s)->text(), u"删除游戏"_s);
    QCOMPARE(control<QMenu>(manager, u"YouXiBianJi"_s)->title(), u"游戏编辑"_s);

    QWidget *viewport = control<QTreeView>(manager, u"ListView1"_s)->viewport();
    const QPoint empty(viewport->width() / 2, viewport->height() - 5);
    QVERIFY(!control<QTreeView>(manager, u"ListView1"_s)->indexAt(empty).isValid());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, empty);
    QVERIFY(!control<QMenu>(manager, u"YouXiBianJi"_s)->isVisible());
    QTest::mouseRelease(viewport, Qt::RightButton, {}, empty);
    QTRY_VERIFY(control<QMenu>(manager, u"YouXiBianJi"_s)->isVisible());
    control<QMenu>(manager, u"YouXiBianJi"_s)->close();

    QTreeView *table = control<QTreeView>(manager, u"ListView1"_s);
    const QRect first = table->visualRect(table->model()->index(0, 1));
    QTest::mouseRelease(viewport, Qt::RightButton, {}, first.center());
    QTRY_VERIFY(control<QMenu>(manager, u"YouXiBianJi"_s)->isVisible());
    control<QMenu>(manager, u"YouXiBianJi"_s)->close();
}

void tst_ForMtype::addGameOpensAnEmptyEditor()
{
    CatalogueFixture fixture({u"射击"_s, u"角色"_s}, {game(u"甲"_s, u"射击"_s)});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectRow(manager, 0);
    control<QAction>(manager, u"TianJia"_s)->trigger();
    QCOMPARE(m_editorRuns, 1);
    QVERIFY(m_editor);
    QCOMPARE(m_editor->caption, u"添加游戏"_s);
    QCOMPARE(m_editor->button, u"添加游戏"_s);
    QVERIFY(m_editor->name.isEmpty() && m_editor->path.isEmpty() && m_editor->run.isEmpty());
    QVERIFY(m_editor->icon.isEmpty() && m_editor->cmd.isEmpty());
    QCOMPARE(m_editor->typeIndex, -1);
    QCOMPARE(m_editor->hotIndex, -1);
    QCOMPARE(m_editor->previewPixel, qRgb(255, 255, 255));

    // The editor saves through the main window's refill; the manager refills only its own table.
    Modal::setRunner([](QDialog &dialog) {
        auto &editor = dynamic_cast<ForMadd &>(dialog);
        control<QLineEdit>(editor, u"TextGamePath"_s)->setText(u"/g/"_s);
        control<QLineEdit>(editor, u"TextGameRun"_s)->setText(u"b.exe"_s);
        control<QLineEdit>(editor, u"TextGameName"_s)->setText(u"乙"_s);
        control<QComboBox>(editor, u"ComboGameType"_s)->setCurrentIndex(1);
        control<QComboBox>(editor, u"ComboGameHot"_s)->setCurrentIndex(0);
        editor.Command1_Click();
        return dialog.result();
    });
    manager.TianJia_Click();
    compareShown({{u"新游戏已经添加完成！"_s, 64, u"提示"_s}});
    QCOMPARE(fixture.games().size(), 2);
    QCOMPARE(fixture.games().last().GameType, u"角色"_s);
    QCOMPARE(hooks.refills, 1);
    QCOMPARE(hooks.reloads, 0);
    QCOMPARE(manager.rowCount(), 2);
    QCOMPARE(manager.selectedRow(), 0);
}

void tst_ForMtype::modifyFillsTheEditorFromTheRow()
{
    QTemporaryDir dir;
    writePicture(dir.filePath(u"run.png"_s), Qt::red);
    writePicture(dir.filePath(u"own.png"_s), Qt::blue);
    GameRow plain = game(u"甲"_s, u"射击"_s);
    plain.GamePath = dir.path() + u'/';
    plain.GameRun = u"run.png"_s;
    plain.GameHot = u"是"_s;
    GameRow own = plain;
    own.GameName = u"乙"_s;
    own.GameType = u"角色"_s;
    own.GameHot = u"否"_s;
    own.GameIcon = u"own.png"_s;
    own.GameCmd = u"-full"_s;
    CatalogueFixture fixture({u"射击"_s, u"角色"_s}, {plain, own});
    const QList<GameRow> rows = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);

    selectRow(manager, 0);
    control<QAction>(manager, u"XiuGai"_s)->trigger();
    QCOMPARE(m_editorRuns, 1);
    QCOMPARE(m_editor->caption, u"修改游戏"_s);
    QCOMPARE(m_editor->button, u"修改游戏"_s);
    QCOMPARE(m_editor->name, u"甲"_s);
    QCOMPARE(m_editor->path, plain.GamePath);
    QCOMPARE(m_editor->run, u"run.png"_s);
    QCOMPARE(m_editor->hot, u"是"_s);
    QCOMPARE(m_editor->type, u"射击"_s);
    QCOMPARE(m_editor->icon, QString());
    QCOMPARE(m_editor->cmd, u"无"_s);
    QCOMPARE(m_editor->previewPixel, qRgb(255, 0, 0));

    selectRow(manager, 1);
    manager.XiuGai_Click();
    QCOMPARE(m_editorRuns, 2);
    QCOMPARE(m_editor->name, u"乙"_s);
    QCOMPARE(m_editor->hot, u"否"_s);
    QCOMPARE(m_editor->type, u"角色"_s);
    QCOMPARE(m_editor->icon, u"own.png"_s);
    QCOMPARE(m_editor->cmd, u"-full"_s);
    QCOMPARE(m_editor->previewPixel, qRgb(0, 0, 255));

    QCOMPARE(hooks.reloads, 0);
    QCOMPARE(hooks.refills, 0);
    QCOMPARE(fixture.games(), rows);
}

void tst_ForMtype::modifyThroughTheEditorRewritesOnlyThatGame()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"同名"_s, u"射击"_s), game(u"同名"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    Modal::setRunner([](QDialog &dialog) {
        auto &editor = dynamic_cast<ForMadd &>(dialog);
        control<QLineEdit>(editor, u"TextGameCmd"_s)->setText(u"-改"_s);
        editor.Command1_Click();
        return dialog.result();
    });
    selectRow(manager, 1);
    manager.XiuGai_Click();
    compareShown({{u"游戏已经修改完成！"_s, 64, u"提示"_s}});
    GameRow changed = before.at(1);
    changed.GameCmd = u"-改"_s;
    QCOMPARE(fixture.games(), (QList<GameRow>{before.at(0), changed}));
    QCOMPARE(hooks.refills, 1);
    QCOMPARE(hooks.reloads, 0);
    QCOMPARE(manager.cell(1, ForMtype::CellCmd), u"-改"_s);
}

void tst_ForMtype::secondModifyStartsFromTheFirst()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"射击"_s)});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    QStringList opened;
    Modal::setRunner([&opened](QDialog &dialog) {
        auto &editor = dynamic_cast<ForMadd &>(dialog);
        opened.append(control<QLineEdit>(editor, u"TextGameName"_s)->text() + u'|'
                      + control<QLineEdit>(editor, u"TextGameCmd"_s)->text());
        if (opened.size() == 1)
            control<QLineEdit>(editor, u"TextGameCmd"_s)->setText(u"-一"_s);
        else
            control<QLineEdit>(editor, u"TextGameName"_s)->setText(u"乙二"_s);
        editor.Command1_Click();
        return dialog.result();
    });
    selectRow(manager, 1);
    manager.XiuGai_Click();
    QCOMPARE(manager.selectedRow(), 1);
    manager.XiuGai_Click();
    compareShown({{u"游戏已经修改完成！"_s, 64, u"提示"_s}, {u"游戏已经修改完成！"_s, 64, u"提示"_s}});
    QCOMPARE(opened, (QStringList{u"乙|无"_s, u"乙|-一"_s}));
    const GameRow stored = fixture.games().at(1);
    QCOMPARE(stored.GameName, u"乙二"_s);
    QCOMPARE(stored.GameCmd, u"-一"_s);
    QCOMPARE(manager.cell(1, ForMtype::CellName), u"乙二"_s);
    QCOMPARE(manager.selectedRow(), 1);
}

void tst_ForMtype::modifyKeepsTheBytesOfUntouchedFields()
{
    CatalogueFixture fixture;
    // A path beyond a text box's default limit and a category that is not valid UTF-8, as
    // another program may have stored them.
    const QString category = u"CAST(X'E6B8B8FFFE' AS TEXT)"_s;
    sqlcipherShell(
        fixture.path(),
        u"INSERT INTO TypeList(TypeName) VALUES (%1);\n"
        "INSERT INTO GameList(GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon) "
        "VALUES ('甲', %1, '否', '/' || printf('%.*c', 40000, 'p') || '/', 'run.exe', '无', NULL);\n"_s.arg(category));
    const QString columns = u"SELECT hex(GameID), hex(GameType), hex(GameHot), hex(GamePath), hex(GameRun), "
                            "hex(GameCmd), quote(GameIcon), length(GamePath) FROM GameList;\n"_s;
    const QString before = sqlcipherShell(fixture.path(), columns);
    QVERIFY2(before.contains(u"|E6B8B8FFFE|"_s) && before.contains(u"|40002\n"_s), qPrintable(before.left(200)));
    Modal::setRunner([](QDialog &dialog) {
        auto &editor = dynamic_cast<ForMadd &>(dialog);
        control<QLineEdit>(editor, u"TextGameName"_s)->setText(u"乙"_s);
        editor.Command1_Click();
        return dialog.result();
    });
    ForMtype manager(nullptr);
    selectRow(manager, 0);
    manager.XiuGai_Click();
    compareShown({{u"游戏已经修改完成！"_s, 64, u"提示"_s}});
    QCOMPARE(sqlcipherShell(fixture.path(), columns), before);
    QCOMPARE(sqlcipherShell(fixture.path(), u"SELECT GameName FROM GameList;\n"_s), u"乙\n"_s);
}

void tst_ForMtype::lockedCatalogueShowsAnExplainedError()
{
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectNode(manager, u"射击"_s);
    control<QLineEdit>(manager, u"NewTypeText"_s)->setText(u"动作"_s);
    fixture.whileFileLocked([&manager] { manager.SetTypeCmd_Click(); });
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(1).text,
             u"修改分类失败：\n错误代码:5\n游戏目录正被其他程序使用，请稍后再试。\n"
             "database is locked"_s);
    QCOMPARE(shown.at(1).style, 48);
    QCOMPARE(shown.at(1).title, u"错误"_s);
    QCOMPARE(fixture.categories(), QStringList{u"射击"_s});
}

void tst_ForMtype::modifyFailuresShowTheErrorBoxAndNoEditor()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s), game(u"乙"_s, u"无此分类"_s)});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    manager.XiuGai_Click();
    compareErrorBox(u"修改游戏失败："_s);
    selectRow(manager, 1);
    manager.XiuGai_Click();
    compareErrorBox(u"修改游戏失败："_s);
    QCOMPARE(m_editorRuns, 0);
    QCOMPARE(hooks.reloads, 0);
}

void tst_ForMtype::deleteGameRemovesOnlyTheSelectedNumber()
{
    CatalogueFixture fixture({u"射击"_s},
                             {game(u"同名"_s, u"射击"_s), game(u"别的"_s, u"射击"_s), game(u"同名"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectRow(manager, 2);
    control<QAction>(manager, u"ShanChu"_s)->trigger();
    compareShown({{u"您确定要删除游戏[同名]吗？"_s, 65, u"确认"_s}});
    QCOMPARE(fixture.games(), (QList<GameRow>{before.at(0), before.at(1)}));
    QCOMPARE(column(manager, ForMtype::CellID), (QStringList{before.at(0).GameID, before.at(1).GameID}));
    QCOMPARE(Catalogue::CatalogueStatement(),
             u"delete From GameList Where CAST(GameID AS TEXT)= '"_s + before.at(2).GameID + u"'"_s);
    QCOMPARE(hooks.reloads, 1);
}

void tst_ForMtype::deleteGameCancelledStillReloadsTheMainWindow()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    selectRow(manager, 0);
    MessageBoxScript::setNextAnswer(MessageBox::Cancel);
    manager.ShanChu_Click();
    compareShown({{u"您确定要删除游戏[甲]吗？"_s, 65, u"确认"_s}});
    QCOMPARE(fixture.games(), before);
    QCOMPARE(manager.rowCount(), 1);
    QCOMPARE(hooks.reloads, 1);
}

void tst_ForMtype::deleteGameWithoutSelectionDoesNothing()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    const QList<GameRow> before = fixture.games();
    CountingHooks hooks;
    ForMtype manager(&hooks);
    manager.ShanChu_Click();
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
    QCOMPARE(fixture.games(), before);
    QCOMPARE(manager.rowCount(), 1);
    QCOMPARE(hooks.reloads, 0);
}

void tst_ForMtype::showManagerKeepsOneInstance()
{
    CatalogueFixture fixture({u"射击"_s}, {game(u"甲"_s, u"射击"_s)});
    CountingHooks hooks;
    QPointer<ForMtype> first = ForMtype::showManager(&hooks);
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(first->parentWidget() == nullptr);
    QVERIFY(first->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(first->rowCount(), 1);

    // A second opening only brings it forward, without refilling.
    fixture.addGame(game(u"乙"_s, u"射击"_s));
    QVERIFY(ForMtype::showManager(&hooks) == first);
    QCOMPARE(first->rowCount(), 1);

    first->close();
    QTRY_VERIFY(first.isNull());
    QVERIFY(ForMtype::instance() == nullptr);
    QPointer<ForMtype> second = ForMtype::showManager(&hooks);
    QVERIFY(second);
    QCOMPARE(second->rowCount(), 2);
    // Escape closes it as the close box does.
    QTest::keyClick(control<QTreeView>(*second, u"ListView1"_s), Qt::Key_Escape);
    QTRY_VERIFY(second.isNull());
    QVERIFY(ForMtype::instance() == nullptr);
    QCOMPARE(hooks.reloads, 0);
}

QTEST_MAIN(tst_ForMtype)
// The games the desktop entries describe, those already in the catalogue greyed, the rest added with
// their edited categories in one step.
void tst_ForMtype::importAddsTheCheckedInstalledGames()
{
    QTemporaryDir data;
    const QString gameDir = data.filePath(u"games/a"_s);
    QVERIFY(QDir().mkpath(gameDir));
    QFile program(gameDir + u"/run"_s);
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.close();
    QVERIFY(program.setPermissions(program.permissions() | QFile::ExeOwner));
    const auto entry = [&](const QString &file, const QString &name, const QString &arguments) {
        QDir().mkpath(data.filePath(u"usr/applications"_s));
        QFile out(data.filePath(u"usr/applications/"_s + file));
        return out.open(QIODevice::WriteOnly)
            && out.write((u"[Desktop Entry]\nType=Application\nCategories=Game;ArcadeGame;\nName="_s + name
                          + u"\nExec="_s + gameDir + u"/run"_s + arguments + u'\n')
                             .toUtf8())
            > 0;
    };
    QVERIFY(entry(u"new.desktop"_s, u"新游戏"_s, u" -x"_s));
    QVERIFY(entry(u"old.desktop"_s, u"旧游戏"_s, QString()));
    QVERIFY(entry(u"term.desktop"_s, u"终端"_s, u"\nTerminal=true"_s));
    qputenv("XDG_DATA_HOME", data.filePath(u"home"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", data.filePath(u"usr"_s).toUtf8());
    GameRow known = game(u"旧"_s, u"射击"_s);
    known.GamePath = gameDir + u'/';
    known.GameRun = u"run"_s;
    CatalogueFixture fixture({u"射击"_s}, {known});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    QCOMPARE(control<QAction>(manager, u"DaoRu"_s)->text(), u"导入已安装的游戏…"_s);

    QStringList shown;
    Modal::setRunner([&shown, &fixture](QDialog &dialog) {
        auto &importer = dynamic_cast<ForMimport &>(dialog);
        auto *table = control<QTableWidget>(importer, u"GameTable"_s);
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem *name = table->item(row, ForMimport::ColumnName);
            shown.append(name->text() + u' ' + table->item(row, ForMimport::ColumnType)->text()
                         + (name->checkState() == Qt::Checked ? u" 选中"_s : u" 未选"_s)
                         + (name->flags() & Qt::ItemIsEnabled ? u""_s : u" 灰 "_s)
                         + table->item(row, ForMimport::ColumnReason)->text());
        }
        table->item(0, ForMimport::ColumnType)->setText(u"新类"_s);
        // While the file is locked nothing is written and the dialog stays for a retry.
        fixture.whileFileLocked([&importer] { control<QPushButton>(importer, u"DaoRu"_s)->click(); });
        if (dialog.result() == QDialog::Accepted)
            return int(QDialog::Accepted);
        importer.DaoRu_Click();
        return dialog.result();
    });
    manager.DaoRu_Click();
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_DIRS");
    QCOMPARE(shown,
             (QStringList{u"新游戏 街机游戏 选中"_s, u"旧游戏 街机游戏 未选 灰 已在游戏目录中"_s,
                          u"终端 街机游戏 未选 灰 需要在终端中运行（Terminal=true），菜单不打开终端"_s}));
    const QList<MessageBox::Shown> boxes = MessageBoxScript::takeShown();
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes.first().text.startsWith(u"导入失败，没有添加任何游戏：\n错误代码:5\n"_s),
             qPrintable(boxes.first().text));
    QCOMPARE(boxes.last().text, u"已导入 1 个游戏。"_s);
    QCOMPARE(fixture.categories(), (QStringList{u"射击"_s, u"新类"_s}));
    const GameRow added = fixture.games().last();
    QCOMPARE((QStringList{added.GameName, added.GameType, added.GamePath, added.GameRun, added.GameCmd}),
             (QStringList{u"新游戏"_s, u"新类"_s, gameDir + u'/', u"run"_s, u"-x"_s}));
    QCOMPARE(manager.rowCount(), 2);
    QVERIFY(treeTexts(manager).contains(u"新类"_s));
    QCOMPARE(hooks.tabKeepingReloads, 1);
    QCOMPARE(hooks.reloads, 0);
}

// With nothing checked "导入" cannot be pressed, and leaving adds nothing and leaves the main window as it is.
void tst_ForMtype::importWithNothingCheckedDoesNothing()
{
    QTemporaryDir data;
    QVERIFY(QDir().mkpath(data.filePath(u"usr/applications"_s)));
    QFile out(data.filePath(u"usr/applications/a.desktop"_s));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("[Desktop Entry]\nType=Application\nCategories=Game;\nName=A\nExec=/bin/true\n");
    out.close();
    qputenv("XDG_DATA_HOME", data.filePath(u"home"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", data.filePath(u"usr"_s).toUtf8());
    CatalogueFixture fixture({u"射击"_s});
    CountingHooks hooks;
    ForMtype manager(&hooks);
    QList<bool> pressable;
    Modal::setRunner([&pressable](QDialog &dialog) {
        auto *button = control<QPushButton>(dialog, u"DaoRu"_s);
        pressable.append(button->isEnabled());
        control<QTableWidget>(dialog, u"GameTable"_s)->item(0, ForMimport::ColumnName)->setCheckState(Qt::Unchecked);
        pressable.append(button->isEnabled());
        dynamic_cast<ForMimport &>(dialog).DaoRu_Click();
        return dialog.result() == QDialog::Accepted ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    manager.DaoRu_Click();
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_DIRS");
    QCOMPARE(pressable, (QList<bool>{true, false}));
    QCOMPARE(MessageBoxScript::takeShown().size(), 0);
    QCOMPARE(fixture.games().size(), 0);
    QCOMPARE(hooks.reloads + hooks.tabKeepingReloads, 0);
}

void tst_ForMtype::importDialogListsAThousandGames()
{
    QTemporaryDir data;
    QVERIFY(QDir().mkpath(data.filePath(u"usr/applications"_s)));
    QFile program(data.filePath(u"run"_s));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.close();
    QVERIFY(program.setPermissions(program.permissions() | QFile::ExeOwner));
    for (int i = 0; i < 1000; ++i) {
        const QString icon = data.filePath(u"icon%1.png"_s.arg(i));
        writePicture(icon, Qt::red);
        QFile out(data.filePath(u"usr/applications/g%1.desktop"_s.arg(i)));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(u"[Desktop Entry]\nType=Application\nCategories=Game;\nName=G%1\nExec=%2 -n%1\nIcon=%3\n"_s.arg(i)
                      .arg(program.fileName(), icon)
                      .toUtf8());
    }
    qputenv("XDG_DATA_HOME", data.filePath(u"home"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", data.filePath(u"usr"_s).toUtf8());
    CatalogueFixture fixture({u"射击"_s});
    ForMtype manager(nullptr);
    int rows = 0;
    QString tableName;
    QAccessible::State firstBox;
    Modal::setRunner([&](QDialog &dialog) {
        rows = control<QTableWidget>(dialog, u"GameTable"_s)->rowCount();
        // What a screen reader is told: the table's name and each check box's state.
        QAccessibleInterface *table =
            QAccessible::queryAccessibleInterface(control<QTableWidget>(dialog, u"GameTable"_s));
        tableName = table->text(QAccessible::Name);
        firstBox = table->tableInterface()->cellAt(0, ForMimport::ColumnName)->state();
        return int(QDialog::Rejected);
    });
    manager.DaoRu_Click();
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_DIRS");
    QCOMPARE(rows, 1000);
    QCOMPARE(tableName, u"已安装的游戏"_s);
    QVERIFY(firstBox.checkable && firstBox.checked);
    QCOMPARE(fixture.games().size(), 0);
}

#include "tst_ForMtype.moc"
