#include "category_manager/ForMtype.h"

#include "catalogue/CatalogueEdits.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/GameRecord.h"
#include "catalogue/RecordsetGuard.h"
#include "category_manager/ForMimport.h"
#include "desktop_entries/InstalledGame.h"
#include "game_editor/ForMadd.h"
#include "game_editor/MainWindowHooks.h"
#include "operator_gate/OperatorWork.h"
#include "widgets/BusyWork.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"
#include "widgets/Twips.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>

#include <limits>

using namespace Qt::StringLiterals;

QPointer<ForMtype> ForMtype::s_instance;

namespace {

const QString RootText = u"游戏列表"_s;
const QString RootKey = u"X1"_s;
const QString DefaultIcon = u"默认"_s;
const QString NoValue = u"无"_s;
const QString Notice = u"提示"_s;
const QString Confirm = u"确认"_s;
const QString ReadFailed = u"读取游戏目录出错："_s;
const QString Saving = u"正在保存…"_s;
const QString Deleting = u"正在删除…"_s;
const QString Reading = u"正在读取…"_s;

// Failures of the manager's own reading of its controls, numbered like the platform's.
constexpr int ObjectNotSet = 91;
constexpr int InvalidPropertyValue = 380;

QStandardItemModel *tableModel(const QTreeView *view)
{
    return static_cast<QStandardItemModel *>(view->model());
}

} // namespace

ForMtype::ForMtype(MainWindowHooks *hooks, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_hooks(hooks)
{
    setObjectName(u"ForMtype"_s);
    setWindowTitle(u"分类管理"_s);
    setFixedSize(Twips::size(12645, 7815));
    m_tableStatement = CatalogueStatements::selectGameList();
    createControls();
    BusyWork::guard(this);
    Form_Load();
}

ForMtype *ForMtype::showManager(MainWindowHooks *hooks)
{
    if (s_instance) {
        s_instance->showNormal();
        s_instance->raise();
        s_instance->activateWindow();
        return s_instance;
    }
    auto *manager = new ForMtype(hooks);
    manager->setAttribute(Qt::WA_DeleteOnClose);
    s_instance = manager;
    manager->show();
    return manager;
}

ForMtype *ForMtype::instance()
{
    return s_instance;
}

QPushButton *ForMtype::addButton(const QString &name, const QString &caption, const QRect &geometry)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

void ForMtype::createControls()
{
    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(u"TreeView1"_s);
    TreeView1->setAccessibleName(u"游戏分类"_s);
    TreeView1->setGeometry(Twips::rect(120, 120, 2775, 6615));
    TreeView1->setHeaderHidden(true);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(TreeView1, &QTreeWidget::itemClicked, this, &ForMtype::TreeView1_Click);

    NewTypeText = new QLineEdit(this);
    NewTypeText->setObjectName(u"NewTypeText"_s);
    NewTypeText->setAccessibleName(u"分类名称"_s);
    NewTypeText->setGeometry(Twips::rect(120, 6840, 2775, 375));
    NewTypeText->setMaxLength(std::numeric_limits<int>::max());
    NewTypeCmd = addButton(u"NewTypeCmd"_s, u"添加分类"_s, Twips::rect(120, 7320, 855, 375));
    SetTypeCmd = addButton(u"SetTypeCmd"_s, u"修改分类"_s, Twips::rect(1080, 7320, 855, 375));
    DelTypeCmd = addButton(u"DelTypeCmd"_s, u"删除分类"_s, Twips::rect(2040, 7320, 855, 375));
    connect(NewTypeCmd, &QPushButton::clicked, this, &ForMtype::NewTypeCmd_Click);
    connect(SetTypeCmd, &QPushButton::clicked, this, &ForMtype::SetTypeCmd_Click);
    connect(DelTypeCmd, &QPushButton::clicked, this, &ForMtype::DelTypeCmd_Click);

    createTable();
    createMenu();
}

void ForMtype::createTable()
{
    ListView1 = new QTreeView(this);
    ListView1->setObjectName(u"ListView1"_s);
    ListView1->setAccessibleName(u"游戏列表"_s);
    ListView1->setGeometry(Twips::rect(3000, 120, 9495, 7575));
    auto *model = new QStandardItemModel(0, CellCount, ListView1);
    model->setHorizontalHeaderLabels({u"游戏编号"_s, u"游戏名称"_s, u"游戏目录"_s, u"执行文件"_s, u"热门推荐"_s,
                                      u"游戏分类"_s, u"游戏图标"_s, u"命令参数"_s});
    ListView1->setModel(model);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setItemsExpandable(false);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->header()->setStretchLastSection(false);
    for (int column = 0; column < CellCount; ++column)
        ListView1->setColumnWidth(column, Twips::toPixels(1440));
    ListView1->viewport()->installEventFilter(this);
}

void ForMtype::createMenu()
{
    YouXiBianJi = new QMenu(u"游戏编辑"_s, this);
    YouXiBianJi->setObjectName(u"YouXiBianJi"_s);
    TianJia = YouXiBianJi->addAction(u"添加游戏"_s, this, &ForMtype::TianJia_Click);
    TianJia->setObjectName(u"TianJia"_s);
    XiuGai = YouXiBianJi->addAction(u"修改游戏"_s, this, &ForMtype::XiuGai_Click);
    XiuGai->setObjectName(u"XiuGai"_s);
    ShanChu = YouXiBianJi->addAction(u"删除游戏"_s, this, &ForMtype::ShanChu_Click);
    ShanChu->setObjectName(u"ShanChu"_s);
    DaoRu = YouXiBianJi->addAction(u"导入已安装的游戏…"_s, this, &ForMtype::DaoRu_Click);
    DaoRu->setObjectName(u"DaoRu"_s);
}

bool ForMtype::eventFilter(QObject *watched, QEvent *event)
{
    // The menu opens on a right-button release anywhere over the table, rows or not.
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            YouXiBianJi->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ForMtype::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the window as its close box does.
    if (event->matches(QKeySequence::Cancel)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ForMtype::Form_Load()
{
    try {
        GameTypeGet();
    } catch (const CatalogueError &error) {
        showError(ReadFailed, error);
    }
}

void ForMtype::GameTypeGet()
{
    TreeView1->clear();
    auto *root = new QTreeWidgetItem(TreeView1, {RootText});
    root->setData(0, Qt::UserRole, RootKey);
    QTreeWidgetItem *last = root;
    QStringList types;
    OperatorWork::run(this, Reading, [&types] {
        RecordsetGuard rs(CatalogueStatements::selectTypeList());
        for (; !rs->Eof(); rs->MoveNext())
            types.append(rs->Field(CatalogueSchema::TypeName));
    });
    for (const QString &type : std::as_const(types))
        last = new QTreeWidgetItem(root, {type});
    fillTableFrom(CatalogueStatements::selectGameList());
    root->setExpanded(true);
    TreeView1->scrollToItem(last);
}

void ForMtype::fillTableFrom(const QString &statement)
{
    tableModel(ListView1)->removeRows(0, rowCount());
    m_tableStatement = statement;
    QList<GameRecord> games;
    OperatorWork::run(this, Reading, [&games, &statement] { games = readGames(statement); });
    fillTable(games);
}

QList<GameRecord> ForMtype::readGames(const QString &statement)
{
    QList<GameRecord> games;
    RecordsetGuard rs(statement);
    for (; !rs->Eof(); rs->MoveNext())
        games.append(GameRecord::read(*rs));
    return games;
}

void ForMtype::fillTable(const QList<GameRecord> &games)
{
    QStandardItemModel *model = tableModel(ListView1);
    for (const GameRecord &game : games) {
        // A NULL icon counts as none, like the stored "无"; an empty text stays empty.
        const bool defaultIcon = game.GameIcon.isNull() || game.GameIcon == NoValue;
        const QStringList texts{game.GameID,
                                game.GameName,
                                game.GamePath,
                                game.GameRun,
                                game.GameHot,
                                game.GameType,
                                defaultIcon ? DefaultIcon : game.GameIcon,
                                game.GameCmd};
        QList<QStandardItem *> row;
        for (const QString &text : texts)
            row.append(new QStandardItem(text));
        model->appendRow(row);
    }
}

QString ForMtype::cell(int row, int column) const
{
    return tableModel(ListView1)->index(row, column).data().toString();
}

int ForMtype::rowCount() const
{
    return tableModel(ListView1)->rowCount();
}

int ForMtype::selectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QTreeWidgetItem *ForMtype::selectedNode() const
{
    const QList<QTreeWidgetItem *> nodes = TreeView1->selectedItems();
    return nodes.isEmpty() ? nullptr : nodes.first();
}

void ForMtype::TreeView1_Click()
{
    const QTreeWidgetItem *node = selectedNode();
    if (!node)
        return;
    const QString text = node->text(0);
    try {
        fillTableFrom(text == RootText ? CatalogueStatements::selectGameList()
                                       : CatalogueStatements::selectGamesByType(text));
    } catch (const CatalogueError &error) {
        showError(ReadFailed, error);
    }
}

bool ForMtype::treeHasNode(const QString &text) const
{
    for (QTreeWidgetItemIterator it(TreeView1); *it; ++it) {
        if ((*it)->text(0) == text)
            return true;
    }
    return false;
}

void ForMtype::NewTypeCmd_Click()
{
    const QString name = NewTypeText->text();
    if (name.isEmpty()) {
        MsgBox(u"请输入您需要添加的分类名称！"_s, MessageBox::Information, Notice);
    } else {
        // The root takes part, so "游戏列表" can never become a category.
        if (treeHasNode(name)) {
            MsgBox(u"您输入的游戏分类已经存在！"_s, MessageBox::Information, Notice);
            return;
        }
        try {
            OperatorWork::run(this, Saving, [&name] { CatalogueEdits::addCategory(name); });
            GameTypeGet();
        } catch (const CatalogueError &error) {
            showError(u"添加分类失败："_s, error);
            return;
        }
    }
    reloadMain();
}

void ForMtype::SetTypeCmd_Click()
{
    const QString context = u"修改分类失败："_s;
    QTreeWidgetItem *node = selectedNode();
    if (!node) {
        showError(context, CatalogueError(ObjectNotSet, u"没有选中的分类"_s));
        return;
    }
    try {
        const QString newName = NewTypeText->text();
        if (node->text(0) != RootText) {
            if (newName.isEmpty()) {
                MsgBox(u"新的分类名称不能为空！"_s, MessageBox::Exclamation, Notice);
            } else if (MsgBox(u"您确定要修改分类["_s + node->text(0) + u"]名称吗？"_s,
                              MessageBox::OkCancel | MessageBox::Information, Confirm)
                       == MessageBox::Ok) {
                const QString oldName = node->text(0);
                OperatorWork::run(this, Saving,
                                  [&oldName, &newName] { CatalogueEdits::renameCategory(oldName, newName); });
                node->setText(0, newName);
            }
        }
        reloadMain();
    } catch (const CatalogueError &error) {
        showError(context, error);
    }
}

void ForMtype::DelTypeCmd_Click()
{
    const QString context = u"删除分类失败："_s;
    QTreeWidgetItem *node = selectedNode();
    if (!node) {
        showError(context, CatalogueError(ObjectNotSet, u"没有选中的分类"_s));
        return;
    }
    try {
        const QString name = node->text(0);
        if (name != RootText
            && MsgBox(u"您确定要删除分类["_s + name + u"]吗？删除后此分类下的所有游戏将无法显示！"_s,
                      MessageBox::OkCancel, Confirm)
                == MessageBox::Ok) {
            bool deleted = false;
            OperatorWork::run(this, Deleting, [&name, &deleted] { deleted = CatalogueEdits::deleteCategory(name); });
            if (deleted)
                delete node;
            else
                MsgBox(u"请先修改或删除本分类下的所有游戏！"_s, MessageBox::Information, Notice);
        }
        reloadMain();
    } catch (const CatalogueError &error) {
        showError(context, error);
    }
}

void ForMtype::TianJia_Click()
{
    ForMadd editor(m_hooks);
    editor.openForAdding();
    if (Modal::exec(editor) == QDialog::Accepted)
        refreshTable();
}

void ForMtype::DaoRu_Click()
{
    QList<InstalledGame> found;
    QSet<QString> known;
    try {
        OperatorWork::run(this, Reading, [&found, &known] {
            found = InstalledGame::findAll(InstalledGame::Sources::system());
            for (const GameRecord &game : readGames(CatalogueStatements::selectGameList()))
                known.insert(CatalogueEdits::gameIdentity(game));
        });
    } catch (const CatalogueError &error) {
        showError(ReadFailed, error);
        return;
    }
    ForMimport dialog(found, known, this);
    if (Modal::exec(dialog) != QDialog::Accepted || dialog.importedCount() == 0)
        return;
    // New categories may have come with the games, as after a category add.
    try {
        GameTypeGet();
    } catch (const CatalogueError &error) {
        showError(ReadFailed, error);
    }
    if (m_hooks)
        m_hooks->ReloadKeepingTab();
}

void ForMtype::XiuGai_Click()
{
    const QString context = u"修改游戏失败："_s;
    const int row = selectedRow();
    if (row < 0) {
        showError(context, CatalogueError(ObjectNotSet, u"没有选中的游戏"_s));
        return;
    }
    ForMadd editor(m_hooks);
    QString refused;
    if (!editor.openForModifying(gameAt(row), &refused)) {
        showError(context, CatalogueError(InvalidPropertyValue, u"无效的属性值："_s + refused));
        return;
    }
    if (Modal::exec(editor) != QDialog::Accepted)
        return;
    // The next modify must start from what is stored, not from what the table showed before.
    refreshTable();
}

void ForMtype::refreshTable()
{
    const int row = selectedRow();
    const QString selectedId = row < 0 ? QString() : cell(row, CellID);
    try {
        fillTableFrom(m_tableStatement);
    } catch (const CatalogueError &error) {
        showError(ReadFailed, error);
        return;
    }
    for (int i = 0; i < rowCount() && !selectedId.isNull(); ++i) {
        if (cell(i, CellID) == selectedId) {
            ListView1->setCurrentIndex(tableModel(ListView1)->index(i, CellID));
            break;
        }
    }
}

GameRecord ForMtype::gameAt(int row) const
{
    GameRecord game;
    game.GameID = cell(row, CellID);
    game.GameName = cell(row, CellName);
    game.GamePath = cell(row, CellPath);
    game.GameRun = cell(row, CellRun);
    game.GameHot = cell(row, CellHot);
    game.GameType = cell(row, CellType);
    // "默认" stands for the executable's own icon.
    const QString icon = cell(row, CellIcon);
    game.GameIcon = icon == DefaultIcon ? QString() : icon;
    game.GameCmd = cell(row, CellCmd);
    return game;
}

void ForMtype::ShanChu_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString name = cell(row, CellName);
    if (MsgBox(u"您确定要删除游戏["_s + name + u"]吗？"_s, MessageBox::OkCancel | MessageBox::Information, Confirm)
        == MessageBox::Ok) {
        try {
            const QString gameId = cell(row, CellID);
            OperatorWork::run(this, Deleting, [&gameId] { CatalogueEdits::deleteGame(gameId); });
        } catch (const CatalogueError &error) {
            showError(u"删除游戏失败："_s, error);
            return;
        }
        tableModel(ListView1)->removeRow(row);
    }
    reloadMain();
}

void ForMtype::reloadMain()
{
    if (m_hooks)
        m_hooks->ReloadForMain();
}

void ForMtype::showError(const QString &context, const CatalogueError &error)
{
    // A change the server may have stored must not be reported as failed.
    const bool unknown = error.number() == CatalogueError::ServerOutcomeUnknown;
    MsgBox(error.message(unknown ? u"无法确认是否已保存："_s : context), MessageBox::Exclamation, u"错误"_s);
}
