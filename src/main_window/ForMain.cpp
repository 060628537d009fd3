#include "main_window/ForMain.h"

#include "cafe/CafeMode.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueIndex.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/RecordsetGuard.h"
#include "main_window/CafeRefresh.h"
#include "main_window/FillScheduler.h"
#include "main_window/ForMainControls.h"
#include "main_window/ForMrun.h"
#include "main_window/GameListModel.h"
#include "main_window/HeldKeys.h"
#include "main_window/OperatorWindows.h"
#include "main_window/WebPane.h"
#include "operator_gate/OperatorGate.h"
#include "pinyin/PinyinSearch.h"
#include "platform/Shell.h"
#include "tab_strip/CSSTab.h"
#include "tab_strip/MDC.h"
#include "tab_strip/SSTab.h"
#include "web/WebSearch.h"
#include "widgets/BusyWork.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"
#include "widgets/Skin.h"
#include "widgets/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString HotCaption = QString::fromUtf16(ForMainControls::HotCaption);

} // namespace

ForMain::ForMain(QWidget *parent)
    : QWidget(parent)
    , m_gate(std::make_unique<OperatorGate>())
{
    // The bundled pictures live in a static library; make sure they are linked in.
    Q_INIT_RESOURCE(resources);
    setObjectName(u"ForMain"_s);
    setWindowTitle(u"聚游台"_s);
    m_model = new GameListModel(m_imageList1, this);
    ForMainControls::create(*this);
    GameList->setModel(m_model);
    m_operatorWindows = std::make_unique<OperatorWindows>(*this, *m_gate);
    m_scheduler =
        new FillScheduler({.serverWork = [] { return !Catalogue::CatalogueConnectionObject().ownedByThisThread(); },
                           .dialogOpen = [] { return QApplication::activeModalWidget() != nullptr; },
                           .operatorBusy = [this] { return m_gate->busy(); },
                           .readAway =
                               [this] {
                                   return m_gamesRead >= m_backgroundReadRows
                                       && !Catalogue::CatalogueConnectionObject().filePath().isEmpty()
                                       && !Catalogue::CurrentGameIndex();
                               },
                           .readGames = &Catalogue::ReadGameIndexInBackground},
                          this);
    connect(&BusyWork::instance(), &BusyWork::finished, m_scheduler, &FillScheduler::serverWorkEnded);
    resize(Twips::size(15165, 10080));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

ForMain::~ForMain() = default;

bool ForMain::Form_Load()
{
    m_layout.ResizeInit(this);
    Skin::apply(Catalogue::ProgramDirectory() + u"/SkinH.SH"_s);
    SkinSurface = MDC::SurfaceFromBitmap(QImage(u":/OFFICE2007.bmp"_s, "BMP"));
    ForMainControls::attachTabStrip(*this);
    applyMinimumSize();

    // Café mode: the copy of the server's catalogue replaces the file, and refreshes follow it.
    m_cafe = CafeRefresh::start(
        LabelGG, [this] { return m_loaded; }, *m_scheduler, *m_gate, [this] { refreshKeepingPlace(); }, this);
    if (m_cafe) {
        CafeMode *cafe = &m_cafe->mode();
        m_operatorWindows->enableRoomConsole(m_cafe->serverUri(), [cafe] { return cafe->online(); });
        ForMainControls::addRoomConsoleItem(*this);
    }
    try {
        openCatalogue();
    } catch (const CatalogueError &error) {
        MsgBox(offlineCause() + error.connectionMessage(), MessageBox::Information, u"错误"_s);
        return false;
    }
    // Reading every page costs as much as the first fill: it waits until the window has painted.
    m_checkPending = true;
    try {
        fillCategoryTabs();
        m_listedSearch.reset();
        m_model->Clear();
        fillHotGames();
    } catch (const CatalogueError &error) {
        // A first list that fails may be a damaged file: that is reported as a failed open.
        m_checkPending = false;
        if (!checkCatalogue())
            return false;
        showCatalogueError(error);
    }
    update();
    WebBrowserQN->SetSilent(true);
    WebBrowserQN->Navigate(u"about:blank"_s);
    m_loaded = true;
    return true;
}

bool ForMain::checkCatalogue()
{
    try {
        Catalogue::CheckCatalogue();
        return true;
    } catch (const CatalogueError &error) {
        // Closed before the box is shown, so that nothing can write to the damaged file meanwhile.
        Catalogue::CloseCatalogue();
        MsgBox(error.connectionMessage(), MessageBox::Information, u"错误"_s);
        return false;
    }
}

void ForMain::afterFirstPaint()
{
    // An operator's work may hold the catalogue when the window first paints: the check waits for it.
    if (m_checkPending && !Catalogue::CatalogueConnectionObject().ownedByThisThread()) {
        QTimer::singleShot(FillScheduler::RetryMs, this, &ForMain::afterFirstPaint);
        return;
    }
    if (m_checkPending) {
        m_checkPending = false;
        if (!checkCatalogue()) {
            hide();
            QCoreApplication::exit(1);
            return;
        }
    }
    if (const std::shared_ptr<const CatalogueIndex> games = m_wholeTable.lock())
        games->prepareSearch();
}

bool ForMain::event(QEvent *event)
{
    // Queued, so that the painted window reaches the screen first; it runs on the next turn of the
    // event loop, before any dialog that could write has had a turn of its own.
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QMetaObject::invokeMethod(this, &ForMain::afterFirstPaint, Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

// The search row and the list scale with the window; below this size they would cover the
// tab row. One whole tab and the row's scroll cells always fit.
void ForMain::applyMinimumSize()
{
    setMinimumSize(c_SSTab->TabWidth() + 2 * SSTab::ScrollCellWidth,
                   m_layout.MinimumScaleHeight(this, MenuSStab, c_SSTab->TabHeight()));
}

void ForMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_loaded)
        m_layout.Form_Resize(this, MenuSStab);
}

void ForMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Minimising sends no resize; the layout still follows the window state.
    if (m_loaded && event->type() == QEvent::WindowStateChange)
        m_layout.Form_Resize(this, MenuSStab);
}

void ForMain::closeEvent(QCloseEvent *event)
{
    // The work holds the connection until the server answers or the wait runs out; then the program ends.
    if (m_scheduler->deferClose([this] { close(); })) {
        event->ignore();
        return;
    }
    Catalogue::CloseCatalogue();
    event->accept();
    // Closing the main window ends the program, whatever other window is still open.
    QCoreApplication::exit(0);
}

void ForMain::fillCategoryTabs()
{
    RecordsetGuard rs(CatalogueStatements::selectTypeList());
    for (; !rs->Eof(); rs->MoveNext()) {
        MenuSStab->setTabs(MenuSStab->Tabs() + 1);
        MenuSStab->setTabCaption(MenuSStab->Tabs() - 1, rs->Field(CatalogueSchema::TypeName));
    }
}

void ForMain::fillHotGames()
{
    const std::shared_ptr<const CatalogueIndex> games = Catalogue::GameIndex();
    if (const std::optional<QList<qint64>> ranked = m_cafe ? m_cafe->mode().hotGames() : std::nullopt) {
        // The room's rule: the games played most, in that order, read from the copy by their keys.
        const std::shared_ptr<const CatalogueIndex> hot = CatalogueIndex::read(
            Catalogue::CatalogueConnectionObject(), CatalogueStatements::selectGamesRanked(*ranked));
        listGames(hot, hot->allRows(), hot->allRows());
    } else {
        listGames(games, games->allRows(), games->hotRows());
    }
    prepareSearch(games);
}

// The names' initials are worked out on a worker once the window is up, for the searches to come.
void ForMain::prepareSearch(const std::shared_ptr<const CatalogueIndex> &games)
{
    m_wholeTable = games;
    m_gamesRead = games->size();
    if (m_painted)
        games->prepareSearch();
}

// Every row read takes an image, listed or not.
void ForMain::listGames(const std::shared_ptr<const CatalogueIndex> &games, const CatalogueIndex::Rows &read,
                        const CatalogueIndex::Rows &listed)
{
    m_imageList1.assign(games, read);
    m_model->setRows(games, read.size(), listed);
}

void ForMain::ReloadForMain()
{
    if (m_scheduler->deferReload([this] { ReloadForMain(); }))
        return;
    try {
        MenuSStab->setTabs(1);
        fillCategoryTabs();
        m_model->Clear();
        fillHotGames();
    } catch (const CatalogueError &error) {
        showCatalogueError(error);
    }
}

void ForMain::ReloadKeepingTab()
{
    if (m_scheduler->deferReload([this] { ReloadKeepingTab(); }))
        return;
    const int shown = MenuSStab->Tab();
    const QString caption = MenuSStab->TabCaption(shown);
    ReloadForMain();
    if (shown <= 0)
        return;
    // The tab shown before, where it still is under its caption; else the Hot tab stays.
    for (int tab = 1; tab < MenuSStab->Tabs(); ++tab) {
        if (MenuSStab->TabCaption(tab) == caption) {
            MenuSStab->setTab(tab);
            return;
        }
    }
}

bool ForMain::readingGames() const
{
    return m_scheduler->readingGames();
}

void ForMain::REloadMenuSStab()
{
    FillGameList();
}

void ForMain::MenuSStab_Click(int previousTab)
{
    Q_UNUSED(previousTab);
    if (!m_settingTab)
        FillGameList();
}

// A press on the tab already shown leaves the web pane and shows the tab's own list: search
// results are replaced by it, the tab's list is kept as it was.
void ForMain::MenuSStab_CurrentTabPressed()
{
    if (m_listedSearch) {
        FillGameList();
        return;
    }
    WebBrowserQN->hide();
    GameList->show();
}

void ForMain::FillGameList()
{
    WebBrowserQN->hide();
    GameList->show();
    m_listedSearch.reset();
    m_model->Clear();
    m_imageList1.Clear();
    if (m_scheduler->defer([this] { FillGameList(); }))
        return;
    try {
        const QString caption = MenuSStab->TabCaption(MenuSStab->Tab());
        if (caption == HotCaption) {
            fillHotGames();
            return;
        }
        const std::shared_ptr<const CatalogueIndex> games = Catalogue::GameIndex();
        CatalogueIndex::Rows rows;
        if (games->rowsOfType(caption, &rows)) {
            Catalogue::CatalogueStatement() = CatalogueStatements::selectGamesByType(caption);
            listGames(games, rows, rows);
            prepareSearch(games);
            return;
        }
        // A comparison only the store can make: its own answer, read apart from the kept rows.
        Catalogue::CatalogueStatement() = CatalogueStatements::selectGamesByType(caption);
        const std::shared_ptr<const CatalogueIndex> selected =
            CatalogueIndex::read(Catalogue::CatalogueConnectionObject(), Catalogue::CatalogueStatement());
        listGames(selected, selected->allRows(), selected->allRows());
    } catch (const CatalogueError &error) {
        showCatalogueError(error);
    }
}

void ForMain::SerchCommand_Click()
{
    listSearch(SerchText->text());
}

void ForMain::listSearch(const QString &text)
{
    WebBrowserQN->hide();
    GameList->show();
    const PinyinSearch search(text);
    m_listedSearch = text;
    m_model->Clear();
    m_imageList1.Clear();
    if (m_scheduler->defer([this, text] { listSearch(text); }))
        return;
    try {
        const std::shared_ptr<const CatalogueIndex> games = Catalogue::GameIndex();
        // Many names' initials are worked out on a worker: the list waits for them, the window does not.
        if (games->size() >= m_backgroundReadRows
            && m_scheduler->deferUntil(games->searchReady(), [this, text] { listSearch(text); }))
            return;
        listGames(games, games->allRows(), games->search(search));
        prepareSearch(games);
    } catch (const CatalogueError &error) {
        showCatalogueError(error);
    }
}

void ForMain::showWebPane(const QUrl &address)
{
    GameList->show();
    if (WebSearch::isAllowedAddress(address))
        WebBrowserQN->Navigate(address);
    WebBrowserQN->show();
    WebBrowserQN->raise();
}

void ForMain::CommandNetSerch_Click()
{
    showWebPane(WebSearch::searchAddress(TextNetSerch->text()));
}

void ForMain::Xiangguansousuo_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    showWebPane(WebSearch::searchAddress(m_model->item(row).text));
}

void ForMain::LabelAbout_Click()
{
    showWebPane(WebSearch::aboutAddress());
}

int ForMain::selectedRow() const
{
    const QModelIndexList selected = GameList->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void ForMain::GameList_DblClick()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const GameListModel::Item &item = m_model->item(row);
    ForMrun dialog(this);
    dialog.setGame(item.text, item.subItem1, item.subItem3, item.subItem2);
    // In café mode the room counts what is played; queued to the sync client, never waited for.
    if (m_cafe)
        connect(&dialog, &ForMrun::started, &m_cafe->mode(), [cafe = &m_cafe->mode(), item] {
            cafe->recordLaunch(item.text, item.subItem1, item.subItem3, item.subItem2);
        });
    Modal::exec(dialog);
}

void ForMain::Lijiyunxing_Click()
{
    GameList_DblClick();
}

void ForMain::Mululiulan_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString directory = m_model->item(row).subItem1;
    const LaunchResult result = Shell::instance().openFolder(directory);
    if (!result.ok)
        MsgBox(u"无法打开游戏目录：%1\n%2"_s.arg(directory, result.reason), MessageBox::Exclamation, u"错误"_s);
}

void ForMain::TianJiaYouXi_Click()
{
    m_operatorWindows->addGame();
}

void ForMain::FenLeiGuanLi_Click()
{
    m_operatorWindows->manageGames();
}

void ForMain::JiFangZhuangTai_Click()
{
    m_operatorWindows->showRoomConsole();
}

void ForMain::showCatalogueError(const CatalogueError &error)
{
    MsgBox(error.message(u"读取游戏目录出错："_s), MessageBox::Exclamation, u"错误"_s);
}

bool ForMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GameList->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton)
            Caidan->popup(mouse->globalPosition().toPoint());
    } else if (watched == GameList && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!HeldKeys::isRepeat(key)) // a held key opens one dialog
                GameList_DblClick();
            return true;
        }
    } else if (watched == LabelAbout && event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            LabelAbout_Click();
    } else if (watched == LabelAbout && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            LabelAbout_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString ForMain::offlineCause() const
{
    return m_cafe ? m_cafe->offlineCause() : QString();
}

void ForMain::openCatalogue()
{
    if (m_cafe)
        Catalogue::CatalogueConnectionObject().Open(m_cafe->mode().copyPath(), QString::fromUtf16(Catalogue::Password));
    else
        Catalogue::OpenCatalogue();
}

void ForMain::refreshKeepingPlace()
{
    const int tab = MenuSStab->Tab();
    const QString caption = MenuSStab->TabCaption(tab);
    const int row = selectedRow();
    const GameListModel::Item selected = row >= 0 ? m_model->item(row) : GameListModel::Item();
    const bool paneShown = WebBrowserQN->isVisibleTo(this);
    const std::optional<QString> search = m_listedSearch;
    try {
        Catalogue::CloseCatalogue();
        openCatalogue();
        MenuSStab->setTabs(1);
        fillCategoryTabs();
    } catch (const CatalogueError &error) {
        showCatalogueError(error);
        return;
    }
    // One fill: of the same search when the list showed search results, else of the tab.
    const int target = MenuSStab->tabCalled(caption, tab);
    if (target != MenuSStab->Tab()) {
        m_settingTab = true;
        MenuSStab->setTab(target);
        m_settingTab = false;
    }
    if (search)
        listSearch(*search);
    else
        FillGameList();
    m_scheduler->afterFill([this, selected] { reselect(selected.text, selected.subItem1); });
    if (paneShown) {
        WebBrowserQN->show();
        WebBrowserQN->raise();
    }
}

void ForMain::reselect(const QString &name, const QString &path)
{
    if (const int row = name.isNull() ? -1 : m_model->rowOf(name, path); row >= 0) {
        GameList->setCurrentIndex(m_model->index(row, 0));
        GameList->scrollTo(m_model->index(row, 0));
    }
}
