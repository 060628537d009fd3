#pragma once

#include "catalogue/CatalogueIndex.h"
#include "game_editor/MainWindowHooks.h"
#include "main_window/FormLayout.h"
#include "main_window/ImageList.h"

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class CSSTab;
class CafeRefresh;
class CatalogueError;
class FillScheduler;
class GameListModel;
class OperatorGate;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class OperatorWindows;
class SSTab;
class WebPane;

// The main window: the category tabs, the game list, the searches, the web pane, the popup
// menu and the labels. Loading it is the program's start-up; closing it ends the program.
class ForMain : public QWidget, public MainWindowHooks
{
    Q_OBJECT

public:
    explicit ForMain(QWidget *parent = nullptr);
    ~ForMain() override;

    // The start-up sequence; false when the catalogue could not be opened (already reported).
    bool Form_Load();

    void ReloadForMain() override;
    void REloadMenuSStab() override;
    void ReloadKeepingTab() override;
    void FillGameList();

    void MenuSStab_Click(int previousTab);
    void MenuSStab_CurrentTabPressed();
    void SerchCommand_Click();
    void CommandNetSerch_Click();
    void GameList_DblClick();
    void LabelAbout_Click();

    // Popup menu items.
    void Lijiyunxing_Click();
    void Mululiulan_Click();
    void Xiangguansousuo_Click();
    void TianJiaYouXi_Click();
    void FenLeiGuanLi_Click();
    void JiFangZhuangTai_Click(); // café mode only

    // Controls, by their design names.
    SSTab *MenuSStab = nullptr;
    QLineEdit *SerchText = nullptr;
    QPushButton *SerchCommand = nullptr;
    QLineEdit *TextNetSerch = nullptr;
    QPushButton *CommandNetSerch = nullptr;
    QListView *GameList = nullptr;
    WebPane *WebBrowserQN = nullptr;
    QWidget *Picture1 = nullptr;
    QLabel *LabelGG = nullptr;
    QLabel *LabelAbout = nullptr;
    QMenu *Caidan = nullptr;

    // The tab strip: the skin picture, its controller and the painter of its events.
    QPixmap SkinSurface;
    std::unique_ptr<CSSTab> c_SSTab;

    // The password and session in front of the operator windows.
    OperatorGate &operatorGate() const { return *m_gate; }

    // From how many games on a changed catalogue is read again on a worker instead of here.
    void setBackgroundReadRows(qsizetype rows) { m_backgroundReadRows = rows; }
    bool readingGames() const;
    static constexpr qsizetype BackgroundReadRows = 20000;
    const ImageList &imageList1() const { return m_imageList1; }

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void listGames(const std::shared_ptr<const CatalogueIndex> &games, const CatalogueIndex::Rows &read,
                   const CatalogueIndex::Rows &listed);
    void prepareSearch(const std::shared_ptr<const CatalogueIndex> &games);
    void listSearch(const QString &text);
    void fillCategoryTabs();
    void fillHotGames();
    void showWebPane(const QUrl &address);
    void showCatalogueError(const CatalogueError &error);
    int selectedRow() const;
    // Reads every page of the catalogue; false when it is damaged (closed and already reported).
    bool checkCatalogue();
    void afterFirstPaint();

    void openCatalogue();
    QString offlineCause() const;
    void refreshKeepingPlace();
    void reselect(const QString &name, const QString &path);

    void applyMinimumSize();

    FormLayout m_layout;
    bool m_loaded = false;
    bool m_checkPending = false;
    bool m_painted = false;
    // The rows of the last whole-table read, while the catalogue keeps them.
    std::weak_ptr<const CatalogueIndex> m_wholeTable;
    qsizetype m_gamesRead = 0; // rows of the last whole table listed
    qsizetype m_backgroundReadRows = BackgroundReadRows;
    FillScheduler *m_scheduler = nullptr;
    bool m_settingTab = false; // the tab changes without filling the list
    ImageList m_imageList1;
    GameListModel *m_model = nullptr;
    std::unique_ptr<OperatorWindows> m_operatorWindows; // before m_gate: it outlives the gate
    std::unique_ptr<CafeRefresh> m_cafe; // a child too, so findChild reaches its café mode
    // After m_cafe, so that a café session still open ends while its copy's place is known.
    std::unique_ptr<OperatorGate> m_gate;
    std::optional<QString> m_listedSearch; // the search the list shows, if it shows one
};
