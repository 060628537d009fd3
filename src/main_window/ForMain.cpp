#include "main_window/ForMain.h"

#include "cafe/CafeMode.h"
#include "cafe/CafeOperatorSession.h"
#include "cafe/CatalogueConfig.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueIndex.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/RecordsetGuard.h"
#include "category_manager/ForMtype.h"
#include "game_editor/ForMadd.h"
#include "main_window/CafeRefresh.h"
#include "main_window/ForMrun.h"
#include "main_window/GameListModel.h"
#include "main_window/HeldKeys.h"
#include "main_window/ImageList.h"
#include "main_window/TabSkinPainter.h"
#include "main_window/WebPane.h"
#include "operator_gate/OperatorGate.h"
#include "pinyin/PinyinSearch.h"
#include "platform/BusyWork.h"
#include "platform/MessageBox.h"
#include "platform/Modal.h"
#include "platform/SSTab.h"
#include "platform/Shell.h"
#include "platform/Skin.h"
#include "platform/Twips.h"
#include "platform/WebSearch.h"
#include "room_console/ForMroom.h"
#include "room_console/RoomConsoleSession.h"
#include "tab_strip/CSSTab.h"
#include "tab_strip/MDC.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString HotCaption = u"热门推荐"_s;
const QString Notice = u"公告：感谢您使用本聚游台系统，您可以使用查找方式快速找到您要运行的游戏！"_s;

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
    createControls();
    createPopupMenu();
    connect(&BusyWork::instance(), &BusyWork::finished, this, &ForMain::afterServerWork);
    Catalogue::setConnectionBusy([] { return BusyWork::running(); });
    resize(Twips::size(15165, 10080));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

ForMain::~ForMain() = default;

void ForMain::createControls()
{
    // Created first so that it lies below the other controls when it covers the client area.
    MenuSStab = new SSTab(this);
    MenuSStab->setObjectName(u"MenuSStab"_s);
    MenuSStab->setTabCaption(0, HotCaption);
    MenuSStab->setGeometry(Twips::rect(0, 0, 15375, 495));
    connect(MenuSStab, &SSTab::Click, this, &ForMain::MenuSStab_Click);
    connect(MenuSStab, &SSTab::CurrentTabPressed, this, &ForMain::MenuSStab_CurrentTabPressed);

    SerchText = new QLineEdit(this);
    SerchText->setObjectName(u"SerchText"_s);
    SerchText->setAccessibleName(u"搜索"_s);
    SerchText->setGeometry(Twips::rect(0, 480, 2535, 375));
    connect(SerchText, &QLineEdit::returnPressed, this, &ForMain::SerchCommand_Click);

    SerchCommand = new QPushButton(u"搜索"_s, this);
    SerchCommand->setObjectName(u"SerchCommand"_s);
    SerchCommand->setGeometry(Twips::rect(2520, 480, 855, 375));
    connect(SerchCommand, &QPushButton::clicked, this, &ForMain::SerchCommand_Click);

    TextNetSerch = new QLineEdit(this);
    TextNetSerch->setObjectName(u"TextNetSerch"_s);
    TextNetSerch->setAccessibleName(u"百度搜索"_s);
    TextNetSerch->setGeometry(Twips::rect(11760, 480, 2535, 375));
    connect(TextNetSerch, &QLineEdit::returnPressed, this, &ForMain::CommandNetSerch_Click);

    CommandNetSerch = new QPushButton(u"百度搜索"_s, this);
    CommandNetSerch->setObjectName(u"CommandNetSerch"_s);
    CommandNetSerch->setGeometry(Twips::rect(14280, 480, 855, 375));
    connect(CommandNetSerch, &QPushButton::clicked, this, &ForMain::CommandNetSerch_Click);

    GameList = new QListView(this);
    GameList->setObjectName(u"GameList"_s);
    GameList->setAccessibleName(u"游戏列表"_s);
    GameList->setGeometry(Twips::rect(0, 960, 15135, 8535));
    GameList->setViewMode(QListView::IconMode);
    GameList->setMovement(QListView::Static);
    GameList->setResizeMode(QListView::Adjust);
    GameList->setUniformItemSizes(true);
    GameList->setIconSize(QSize(33, 33));
    GameList->setGridSize(QSize(96, 74));
    GameList->setSpacing(2);
    GameList->setWordWrap(true);
    GameList->setTextElideMode(Qt::ElideRight);
    GameList->setSelectionMode(QAbstractItemView::SingleSelection);
    GameList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GameList->setLayoutMode(QListView::Batched);
    GameList->setBatchSize(500);
    GameList->setModel(m_model);
    connect(GameList, &QListView::doubleClicked, this, &ForMain::GameList_DblClick);
    GameList->installEventFilter(this);
    GameList->viewport()->installEventFilter(this);

    WebBrowserQN = new WebPane(this);
    WebBrowserQN->setObjectName(u"WebBrowserQN"_s);
    WebBrowserQN->setGeometry(GameList->geometry());
    WebBrowserQN->hide();

    Picture1 = new QWidget(this);
    Picture1->setObjectName(u"Picture1"_s);
    Picture1->setGeometry(Twips::rect(0, 9480, 15135, 615));

    LabelGG = new QLabel(Notice, Picture1);
    LabelGG->setObjectName(u"LabelGG"_s);
    LabelGG->setGeometry(Twips::rect(120, 240, 11535, 255));

    LabelAbout = new QLabel(u"沐岚网络"_s, Picture1);
    LabelAbout->setObjectName(u"LabelAbout"_s);
    LabelAbout->setGeometry(Twips::rect(14280, 240, 855, 255));
    QFont aboutFont(u"宋体"_s);
    aboutFont.setPointSize(9);
    aboutFont.setUnderline(true);
    LabelAbout->setFont(aboutFont);
    LabelAbout->setCursor(Qt::PointingHandCursor);
    // Reachable by keyboard too: Tab gives it focus, Enter or Space opens the page.
    LabelAbout->setFocusPolicy(Qt::TabFocus);
    LabelAbout->installEventFilter(this);
    // The web helper starts while the player types or points, not with the menu
    WebBrowserQN->startOnIntent(TextNetSerch);
    WebBrowserQN->startOnIntent(LabelAbout);
}

void ForMain::createPopupMenu()
{
    Caidan = new QMenu(u"菜单"_s, this);
    Caidan->setObjectName(u"Caidan"_s);
    const struct
    {
        const char16_t *name;
        const char16_t *caption;
        void (ForMain::*handler)();
    } items[] = {
        {u"Lijiyunxing", u"立即运行", &ForMain::Lijiyunxing_Click},
        {u"Mululiulan", u"目录浏览", &ForMain::Mululiulan_Click},
        {u"Xiangguansousuo", u"相关搜索", &ForMain::Xiangguansousuo_Click},
        {u"TianJiaYouXi", u"添加游戏", &ForMain::TianJiaYouXi_Click},
        {u"FenLeiGuanLi", u"游戏管理", &ForMain::FenLeiGuanLi_Click},
    };
    for (const auto &item : items) {
        QAction *action = Caidan->addAction(QString::fromUtf16(item.caption));
        action->setObjectName(QString::fromUtf16(item.name));
        connect(action, &QAction::triggered, this, item.handler);
    }
}

bool ForMain::Form_Load()
{
    m_layout.ResizeInit(this);
    Skin::apply(Catalogue::ProgramDirectory() + u"/SkinH.SH"_s);
    SkinSurface = MDC::SurfaceFromBitmap(QImage(u":/OFFICE2007.bmp"_s));
    attachTabStrip();
    applyMinimumSize();

    startCafeMode();
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

void ForMain::attachTabStrip()
{
    c_SSTab = std::make_unique<CSSTab>();
    m_tabPainter = new TabSkinPainter(MenuSStab, c_SSTab.get(), SkinSurface, this);
    // Attach already raises both events, so the painter listens first.
    connect(c_SSTab.get(), &CSSTab::DrawBackGround, m_tabPainter, &TabSkinPainter::DrawBackGround);
    connect(c_SSTab.get(), &CSSTab::DrawTab, m_tabPainter, &TabSkinPainter::DrawTab);
    c_SSTab->setTabWidth(70);
    c_SSTab->setTabHeight(30);
    c_SSTab->Attach(MenuSStab);
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
    if (BusyWork::running()) {
        m_closeAfterServerWork = true;
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
        QStringList keys{u"NULL"_s};
        QString order;
        for (qsizetype i = 0; i < ranked->size(); ++i) {
            keys.append(QString::number(ranked->at(i)));
            order += u" WHEN %1 THEN %2"_s.arg(ranked->at(i)).arg(i);
        }
        const QString statement =
            u"Select * From GameList Where GameID In (%1) Order By CASE GameID%2 ELSE 0 END"_s.arg(keys.join(u','),
                                                                                                   order);
        const std::shared_ptr<const CatalogueIndex> hot =
            CatalogueIndex::read(Catalogue::CatalogueConnectionObject(), statement);
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

// A large catalogue that changed is read again on a worker, so that the window never waits for the
// file: the list stays empty until the rows are in, then the latest fill asked for runs again.
bool ForMain::deferUntilGamesRead(std::function<void()> fill)
{
    if (std::exchange(m_readHere, false) || m_gamesRead < m_backgroundReadRows
        || Catalogue::CatalogueConnectionObject().filePath().isEmpty() || Catalogue::CurrentGameIndex())
        return false;
    m_pendingFill = std::move(fill);
    if (m_readingGames)
        return true;
    m_readingGames = true;
    Catalogue::ReadGameIndexInBackground(this, [this](bool current) {
        m_readingGames = false;
        m_readHere = !current;
        if (const std::function<void()> pending = std::exchange(m_pendingFill, nullptr))
            pending();
        m_readHere = false;
    });
    return true;
}

// An operator's server work has the shared connection on a worker: the list stays empty until it is
// done, then the latest fill asked for runs.
bool ForMain::deferWhileServerWork(std::function<void()> fill)
{
    if (!BusyWork::running())
        return false;
    m_fillAfterServerWork = std::move(fill);
    return true;
}

void ForMain::afterServerWork()
{
    // Another run has begun meanwhile; its end comes back here.
    if (BusyWork::running())
        return;
    // The operator window is still telling how its work went: what waited reads after that.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(RefreshRetryMs, this, &ForMain::afterServerWork);
        return;
    }
    if (std::exchange(m_closeAfterServerWork, false)) {
        close();
        return;
    }
    if (std::exchange(m_reloadAfterServerWork, false))
        ReloadForMain();
    if (const std::function<void()> fill = std::exchange(m_fillAfterServerWork, nullptr))
        fill();
}

// Every row read takes an image, listed or not; a listed row's item shows its own row's image.
void ForMain::listGames(const std::shared_ptr<const CatalogueIndex> &games, const CatalogueIndex::Rows &read,
                        const CatalogueIndex::Rows &listed)
{
    m_imageList1.assign(games, read);
    // Either every row was read, in table order, or exactly the listed ones were.
    const bool wholeTable = read.size() == games->size();
    QList<GameListModel::Entry> entries;
    entries.reserve(listed.size());
    for (qsizetype i = 0; i < listed.size(); ++i)
        entries.append({listed.at(i), int(wholeTable ? listed.at(i) : i) + 1});
    m_model->setItems(games, std::move(entries));
}

void ForMain::ReloadForMain()
{
    if (BusyWork::running()) {
        m_reloadAfterServerWork = true;
        return;
    }
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
    const int shown = MenuSStab->Tab();
    const QString caption = MenuSStab->TabCaption(shown);
    ReloadForMain();
    if (BusyWork::running() || shown <= 0)
        return;
    // The tab shown before, where it still is under its caption; else the Hot tab stays.
    for (int tab = 1; tab < MenuSStab->Tabs(); ++tab) {
        if (MenuSStab->TabCaption(tab) == caption) {
            MenuSStab->setTab(tab);
            return;
        }
    }
}

void ForMain::REloadMenuSStab()
{
    FillGameList();
}

void ForMain::MenuSStab_Click(int previousTab)
{
    Q_UNUSED(previousTab);
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
    if (deferWhileServerWork([this] { FillGameList(); }) || deferUntilGamesRead([this] { FillGameList(); }))
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
    if (deferWhileServerWork([this, text] { listSearch(text); })
        || deferUntilGamesRead([this, text] { listSearch(text); }))
        return;
    try {
        const std::shared_ptr<const CatalogueIndex> games = Catalogue::GameIndex();
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
    m_gate->open(this, [this]() -> QWidget * {
        ForMadd editor(this, this);
        editor.openForAdding();
        Modal::exec(editor);
        return nullptr;
    });
}

void ForMain::FenLeiGuanLi_Click()
{
    // The open manager is brought to the front; it already holds the operator session.
    if (ForMtype::instance()) {
        ForMtype::showManager(this);
        return;
    }
    // Non-modal: the session lasts until the manager window is gone.
    m_gate->open(this, [this] { return ForMtype::showManager(this); });
}

void ForMain::JiFangZhuangTai_Click()
{
    // The open console comes to the front; it keeps its own connection and asks nothing again.
    if (!ForMroom::bringToFront() && m_roomSession)
        m_gate->openWith(*m_roomSession, this, [this] {
            ForMroom::showConsole(m_roomSession->operatorUri(), m_roomSession->takeConnection());
        });
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

void ForMain::startCafeMode()
{
    const CatalogueConfig config = CatalogueConfig::load(Catalogue::ProgramDirectory());
    WebSearch::usePrefix(config.webSearch());
    if (!config.error().isEmpty())
        MsgBox(u"配置文件 %1 有误，本次使用本机的游戏目录。\n%2"_s.arg(QString::fromUtf16(CatalogueConfig::FileName),
                                                                       config.error()),
               MessageBox::Exclamation, u"错误"_s);
    if (!config.isCafe())
        return;
    m_cafe = std::make_unique<CafeRefresh>(
        config.serverUri(), config.clientName(), LabelGG, [this] { return m_loaded; },
        [this] { return QApplication::activeModalWidget() || m_gate->busy() || BusyWork::running(); },
        [this] { refreshKeepingPlace(); }, this);
    CafeMode *cafe = &m_cafe->mode();
    m_gate->setSession(std::make_unique<CafeOperatorSession>(
        Catalogue::CatalogueConnectionObject(), config.serverUri(), [cafe] { return cafe->online(); },
        [cafe] { return cafe->copyPath(); }));
    // What the operator changed reaches the copy through the server; it shows once it is there.
    connect(m_gate.get(), &OperatorGate::sessionEnded, m_cafe.get(), &CafeRefresh::refreshFromServer,
            Qt::QueuedConnection);
    m_roomSession = std::make_unique<RoomConsoleSession>(config.serverUri(), [cafe] { return cafe->online(); });
    QAction *console = Caidan->addAction(u"机房状态"_s);
    console->setObjectName(u"JiFangZhuangTai"_s);
    connect(console, &QAction::triggered, this, &ForMain::JiFangZhuangTai_Click);
    m_cafe->waitForFirstSync();
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
    const int target = tabCalled(caption, tab);
    if (target == MenuSStab->Tab())
        FillGameList();
    else
        MenuSStab->setTab(target); // refills through MenuSStab_Click
    // A list of search results stays one, of the same search.
    if (search)
        listSearch(*search);
    if (m_readingGames) {
        m_pendingFill = [this, fill = std::move(m_pendingFill), selected] {
            fill();
            reselect(selected.text, selected.subItem1);
        };
    } else {
        reselect(selected.text, selected.subItem1);
    }
    if (paneShown) {
        WebBrowserQN->show();
        WebBrowserQN->raise();
    }
}

// The tab that still bears the caption, the same one when several do; the Hot tab when none does.
int ForMain::tabCalled(const QString &caption, int previousTab) const
{
    if (previousTab < MenuSStab->Tabs() && MenuSStab->TabCaption(previousTab) == caption)
        return previousTab;
    for (int tab = 1; tab < MenuSStab->Tabs(); ++tab) {
        if (MenuSStab->TabCaption(tab) == caption)
            return tab;
    }
    return 0;
}

void ForMain::reselect(const QString &name, const QString &path)
{
    if (name.isNull())
        return;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const GameListModel::Item &item = m_model->item(row);
        if (item.text == name && item.subItem1 == path) {
            GameList->setCurrentIndex(m_model->index(row, 0));
            GameList->scrollTo(m_model->index(row, 0));
            return;
        }
    }
}
