#include "web_helper/WebHelper.h"

#include "platform/Process.h"
#include "web/WebHelperMessages.h"
#include "web/WebSearch.h"
#include "web_helper/AboutSchemeHandler.h"
#include "web_helper/SilentWebPage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <utility>

using namespace Qt::StringLiterals;
namespace M = WebHelperMessages;

WebHelper::WebHelper(bool remotePagesAllowed, QObject *parent)
    : QObject(parent)
{
    m_aboutHandler = new AboutSchemeHandler();
    m_page = makePage(makeProfile());
    m_page->setRemotePagesAllowed(remotePagesAllowed);
    m_profile = m_page->profile();

    m_view = new QWebEngineView();
    // The menu places the window inside its own; it must never look like a window of its own
    m_view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    m_view->setPage(m_page);
    // Sized now, showing it keeps the size the menu gives it instead of a preferred one
    m_view->setGeometry(0, 0, 640, 480);
    m_view->installEventFilter(this);
    // The first page gives the view its drawing surface, which makes its window anew; done
    // now, that happens before the menu places and shows the window
    m_blankLoading = true;
    m_page->setUrl(QUrl(u"about:blank"_s));
}

WebHelper::~WebHelper()
{
    // The page must go before its profile
    delete m_view;
    delete m_page;
    delete m_aboutHandler;
    delete m_profile;
}

QWebEngineProfile *WebHelper::makeProfile()
{
    // A profile without a storage name is off the record: everything stays in memory
    auto *profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->installUrlSchemeHandler(WebSearch::aboutScheme().toLatin1(), m_aboutHandler);
    connect(profile, &QWebEngineProfile::downloadRequested, this, &WebHelper::refuseDownload);
    return profile;
}

SilentWebPage *WebHelper::makePage(QWebEngineProfile *profile)
{
    auto *page = new SilentWebPage(profile);
    connect(page, &SilentWebPage::remotePageRefused, this, [this](const QUrl &address) {
        Q_EMIT report({{M::Event, M::Refused}, {M::Url, address.toString(QUrl::FullyEncoded)}});
    });
    connect(page, &QWebEnginePage::urlChanged, this, &WebHelper::reportAddress);
    connect(page, &QWebEnginePage::titleChanged, this, [this](const QString &title) {
        Q_EMIT report({{M::Event, M::Title}, {M::Title, title}});
    });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        const QUrl shown = m_page->url();
        // The blank page that ends a player's search leaves no way back to it
        if (m_clearHistory && shown == QUrl(u"about:blank"_s)) {
            m_clearHistory = false;
            m_page->history()->clear();
        }
        const QString address = shown.toString(QUrl::FullyEncoded);
        Q_EMIT report({{M::Event, M::Url}, {M::Url, address}});
        Q_EMIT report({{M::Event, M::LoadFinished}, {M::Ok, ok}, {M::Url, address}, {M::Id, m_navigation}});
        if (shown == QUrl(u"about:blank"_s))
            startWaitingNavigation();
    });
    return page;
}

void WebHelper::forgetSession()
{
    // Cookies, cache, visited links and the pages' storage all live in the profile: the next
    // player gets a page on a new one, and the old page goes before its profile
    SilentWebPage *oldPage = m_page;
    QWebEngineProfile *oldProfile = m_profile;
    m_page = makePage(makeProfile());
    m_page->setSilent(oldPage->isSilent());
    m_page->setRemotePagesAllowed(oldPage->remotePagesAllowed());
    m_profile = m_page->profile();
    m_view->setPage(m_page);
    delete oldPage;
    delete oldProfile;
}

void WebHelper::prepareEnvironment()
{
    // The engine will not start as root with its sandbox on; normal users keep it. Without the
    // sandbox root is shown only the local about page (see WebSearch::remotePagesAllowed).
    if (Process::effectiveUserId() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!QCoreApplication::instance())
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    AboutSchemeHandler::registerScheme();
    // The engine reports its start-up settings on the console; a player has no use for them.
    QLoggingCategory::setFilterRules(u"qt.webenginecontext.info=false"_s);
}

void WebHelper::announce()
{
    const WId window = m_view->winId();
    if (m_announced && window == m_window)
        return;
    m_announced = true;
    m_window = window;
    Q_EMIT report({{M::Event, M::Window}, {M::Id, QString::number(window)}});
}

bool WebHelper::eventFilter(QObject *watched, QEvent *event)
{
    // A window being made anew is announced once it exists; its end is not
    if (watched == m_view && event->type() == QEvent::WinIdChange && m_announced
        && m_view->testAttribute(Qt::WA_WState_Created))
        announce();
    return QObject::eventFilter(watched, event);
}

void WebHelper::handle(const QJsonObject &command)
{
    const QString action = command.value(M::Do).toString();
    if (action == M::Navigate) {
        const QUrl address(command.value(M::Url).toString(), QUrl::StrictMode);
        const int id = command.value(M::Id).toInt();
        // The engine reports one end for a load that began while another ran: the blank page's,
        // which would leave the page asked for unreported. It waits for the blank page, briefly.
        if (m_blankLoading && address != QUrl(u"about:blank"_s)) {
            const bool waited = m_waiting.has_value();
            m_waiting = {address, id};
            if (!waited)
                QTimer::singleShot(BlankWaitMs, this, &WebHelper::startWaitingNavigation);
            return;
        }
        m_waiting.reset();
        navigate(address);
        // Set after the load began: what the page it replaces reports on its way out keeps the
        // number of that page's own navigation
        m_navigation = id;
    } else if (action == M::Silent)
        m_page->setSilent(command.value(M::On).toBool());
    else if (action == M::Show)
        m_view->show();
    else if (action == M::Hide)
        m_view->hide();
    else if (action == M::Resize)
        m_view->setGeometry(0, 0, command.value(M::Width).toInt(), command.value(M::Height).toInt());
    else if (action == M::Run)
        runScript(command.value(M::Id).toInt(), command.value(M::Script).toString());
}

QWebEngineView *WebHelper::view() const
{
    return m_view;
}

SilentWebPage *WebHelper::page() const
{
    return m_page;
}

QWebEngineProfile *WebHelper::profile() const
{
    return m_profile;
}

void WebHelper::startWaitingNavigation()
{
    m_blankLoading = false;
    if (!m_waiting)
        return;
    const auto [address, id] = *std::exchange(m_waiting, std::nullopt);
    navigate(address);
    m_navigation = id;
}

void WebHelper::navigate(const QUrl &address)
{
    // The menu checks addresses too; this program keeps to the same rule on its own
    if (address == QUrl(u"about:blank"_s)) {
        forgetSession();
        m_clearHistory = true;
        m_blankLoading = true;
        m_page->setUrl(address);
    } else if (WebSearch::isAllowedAddress(address)) {
        m_clearHistory = false;
        m_page->load(address);
    }
}

void WebHelper::runScript(int id, const QString &script)
{
    m_page->runJavaScript(script, [this, id](const QVariant &value) {
        Q_EMIT report({{M::Event, M::Result}, {M::Id, id}, {M::Value, QJsonValue::fromVariant(value)}});
    });
}

void WebHelper::refuseDownload(QWebEngineDownloadRequest *download)
{
    download->cancel();
    // The page stays where it was; the menu had been told of the refused address
    reportAddress(m_page->url());
}

void WebHelper::reportAddress(const QUrl &address)
{
    Q_EMIT report({{M::Event, M::Url}, {M::Url, address.toString(QUrl::FullyEncoded)}});
}
