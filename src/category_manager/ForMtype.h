#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class CatalogueError;
struct GameRecord;
class MainWindowHooks;
class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QStandardItemModel;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

// The category manager: the category tree, the table of every game, the category commands
// and the game popup menu. Non-modal, without owner, one instance at a time.
class ForMtype : public QWidget
{
    Q_OBJECT

public:
    explicit ForMtype(MainWindowHooks *hooks, QWidget *parent = nullptr);

    // Opens the manager, or brings the open one to the front without refilling it.
    static ForMtype *showManager(MainWindowHooks *hooks);
    static ForMtype *instance();

    void GameTypeGet();

    void Form_Load();
    void TreeView1_Click();
    void NewTypeCmd_Click();
    void SetTypeCmd_Click();
    void DelTypeCmd_Click();
    void TianJia_Click();
    void XiuGai_Click();
    void ShanChu_Click();
    void DaoRu_Click();

    // Table cells by index: 0 is the GameID, 1 to 7 name, directory, executable, hot flag,
    // category, icon, arguments.
    enum Cell { CellID, CellName, CellPath, CellRun, CellHot, CellType, CellIcon, CellCmd, CellCount };
    QString cell(int row, int column) const;
    int rowCount() const;
    int selectedRow() const;
    QTreeWidgetItem *selectedNode() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls();
    void createTable();
    void createMenu();
    QPushButton *addButton(const QString &name, const QString &caption, const QRect &geometry);
    // Reads off the window's thread, then fills the table.
    void fillTableFrom(const QString &statement);
    static QList<GameRecord> readGames(const QString &statement);
    void fillTable(const QList<GameRecord> &games);
    void refreshTable();
    bool treeHasNode(const QString &text) const;
    GameRecord gameAt(int row) const;
    void reloadMain();
    static void showError(const QString &context, const CatalogueError &error);

    MainWindowHooks *m_hooks;
    QString m_tableStatement; // what the table shows: every game or one category's
    static QPointer<ForMtype> s_instance;

    // Controls, by their design names.
    QTreeWidget *TreeView1 = nullptr;
    QLineEdit *NewTypeText = nullptr;
    QPushButton *NewTypeCmd = nullptr;
    QPushButton *SetTypeCmd = nullptr;
    QPushButton *DelTypeCmd = nullptr;
    QTreeView *ListView1 = nullptr;
    QMenu *YouXiBianJi = nullptr;
    QAction *TianJia = nullptr;
    QAction *XiuGai = nullptr;
    QAction *ShanChu = nullptr;
    QAction *DaoRu = nullptr;
};
