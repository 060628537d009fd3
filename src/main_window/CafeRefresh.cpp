#include "main_window/CafeRefresh.h"

#include "cafe/CafeMode.h"
#include "cafe/CafeOperatorSession.h"
#include "cafe/CatalogueConfig.h"
#include "catalogue/Catalogue.h"
#include "main_window/FillScheduler.h"
#include "operator_gate/OperatorGate.h"
#include "web/WebSearch.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

const QString OfflineNotice = u"离线模式：暂时无法连接服务器，显示的是上次同步的游戏目录。"_s;
const QString RefusedNotice = u"离线模式：服务器拒绝了菜单的用户名或密码，显示的是上次同步的游戏目录。"_s;

} // namespace

CafeRefresh::CafeRefresh(const QString &serverUri, const QString &clientName, QLabel *notice,
                         std::function<bool()> ready, FillScheduler &scheduler, std::function<void()> refresh,
                         QObject *parent)
    : QObject(parent)
    , m_serverUri(serverUri)
    , m_cafe(std::make_unique<CafeMode>(serverUri, Catalogue::DatabasePath(), clientName))
    , m_notice(notice)
    , m_usualNotice(notice->text())
    , m_ready(std::move(ready))
    , m_scheduler(scheduler)
    , m_refresh(std::move(refresh))
{
    // A child as well, so that the window's children name it; the pointer still ends it first.
    m_cafe->setParent(this);
    connect(m_cafe.get(), &CafeMode::synced, this, &CafeRefresh::refreshFromServer);
    // The room's Hot rule or its ranking changed: the Hot tab is listed again like any change.
    connect(m_cafe.get(), &CafeMode::hotChanged, this, &CafeRefresh::refreshFromServer);
    connect(m_cafe.get(), &CafeMode::offline, this, &CafeRefresh::showNotice);
    connect(m_cafe.get(), &CafeMode::copyRelocated, this, [this](const QString &path) {
        m_relocationNote = u"公告：程序目录无法写入，游戏目录的副本已改存到 %1"_s.arg(QDir::toNativeSeparators(path));
    });
}

CafeRefresh::~CafeRefresh() = default;

std::unique_ptr<CafeRefresh> CafeRefresh::start(QLabel *notice, std::function<bool()> ready, FillScheduler &scheduler,
                                                OperatorGate &gate, std::function<void()> refresh, QObject *parent)
{
    const CatalogueConfig config = CatalogueConfig::load(Catalogue::ProgramDirectory());
    WebSearch::usePrefix(config.webSearch());
    if (!config.error().isEmpty())
        MsgBox(u"配置文件 %1 有误，本次使用本机的游戏目录。\n%2"_s.arg(QString::fromUtf16(CatalogueConfig::FileName),
                                                                       config.error()),
               MessageBox::Exclamation, u"错误"_s);
    if (!config.isCafe())
        return nullptr;
    auto refreshing = std::make_unique<CafeRefresh>(config.serverUri(), config.clientName(), notice, std::move(ready),
                                                    scheduler, std::move(refresh), parent);
    CafeMode *cafe = &refreshing->mode();
    gate.setSession(std::make_unique<CafeOperatorSession>(
        Catalogue::CatalogueConnectionObject(), config.serverUri(), [cafe] { return cafe->online(); },
        [cafe] { return cafe->copyPath(); }));
    // What the operator changed reaches the copy through the server; it shows once it is there.
    connect(&gate, &OperatorGate::sessionEnded, refreshing.get(), &CafeRefresh::refreshFromServer,
            Qt::QueuedConnection);
    refreshing->waitForFirstSync();
    return refreshing;
}

void CafeRefresh::waitForFirstSync()
{
    m_cafe->waitForFirstSync(CafeMode::StartUpWaitMs, true);
    showNotice();
}

QString CafeRefresh::offlineCause() const
{
    if (m_cafe->online())
        return QString();
    return m_cafe->refused()
        ? u"服务器拒绝了菜单的用户名或密码（见 %1 中的 server），本机也没有可用的游戏目录副本。\n"_s.arg(
            QString::fromUtf16(CatalogueConfig::FileName))
        : u"无法连接服务器，本机也没有可用的游戏目录副本。\n"_s;
}

void CafeRefresh::showNotice()
{
    if (!m_cafe->online() && !m_cafe->waitingToConnect()) {
        m_notice->setText(m_cafe->refused() ? RefusedNotice : OfflineNotice);
        // For the operator who points at the line; players are not shown a server's error text.
        m_notice->setToolTip(m_cafe->offlineReason());
        return;
    }
    m_notice->setToolTip(QString());
    m_notice->setText(m_relocationNote.isEmpty() ? m_usualNotice : m_relocationNote);
    m_relocationNote.clear();
}

void CafeRefresh::refreshFromServer()
{
    if (!m_ready() || !m_cafe->online())
        return;
    if (!m_scheduler.retryPending())
        showNotice();
    // A dialog may be reading the catalogue or showing rows from it, and operator windows write
    // through the server until they close; the refresh waits for them.
    if (m_scheduler.retryWhenBusy([this] { refreshFromServer(); }))
        return;
    m_refresh();
}
