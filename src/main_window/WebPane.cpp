#include "main_window/WebPane.h"

#include "main_window/AboutSchemeHandler.h"
#include "main_window/SilentWebPage.h"
#include "main_window/WebSearch.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
const QUrl &blankAddress()
{
    static const QUrl blank(u"about:blank"_s);
    return blank;
}

const char RootWebOptIn[] = "JUYOUTAI_ALLOW_ROOT_WEB";
}

WebPane::WebPane(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
    , m_address(blankAddress())
    , m_remotePagesAllowed(remotePagesAllowed(::geteuid()))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_notice = new QLabel(u"以管理员身份运行时不显示网页。"_s, this);
    m_notice->setObjectName(u"RemotePageNotice"_s);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setWordWrap(true);
    m_notice->hide();
    m_layout->addWidget(m_notice);
    hide();
}

WebPane::~WebPane()
{
    // The page must go before its profile
    delete m_view;
    delete m_page;
    delete m_aboutHandler;
    delete m_profile;
}

void WebPane::prepareEnvironment()
{
    // The engine will not start as root with its sandbox on; normal users keep it. Without the
    // sandbox root is shown only the local about page (see remotePagesAllowed).
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!QCoreApplication::instance())
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    AboutSchemeHandler::registerScheme();
    // The engine reports its start-up settings on the console; a player has no use for them.
    QLoggingCategory::setFilterRules(u"qt.webenginecontext.info=false"_s);
}

QUrl WebPane::aboutAddress()
{
    return WebSearch::aboutAddress();
}

bool WebPane::remotePagesAllowed(uint effectiveUserId)
{
    return effectiveUserId != 0 || qgetenv(RootWebOptIn) == "1";
}

void WebPane::Navigate(const QString &address)
{
    Navigate(QUrl(address));
}

void WebPane::Navigate(const QUrl &address)
{
    if (address == blankAddress()) {
        m_address = address;
        showNotice(false);
        if (m_page)
            m_page->setUrl(address);
        return;
    }
    if (!WebSearch::isAllowedAddress(address))
        return;
    m_address = address;
    if (!m_remotePagesAllowed && address != aboutAddress()) {
        showNotice(true);
        return;
    }
    startEngine();
    showNotice(false);
    m_page->load(address);
}

void WebPane::SetSilent(bool silent)
{
    m_silent = silent;
    if (m_page)
        m_page->setSilent(silent);
}

bool WebPane::isSilent() const
{
    return m_silent;
}

QUrl WebPane::url() const
{
    if (!m_page || isNoticeShown())
        return m_address;
    const QUrl current = m_page->url();
    return current.isEmpty() ? m_address : current;
}

bool WebPane::isEngineStarted() const
{
    return m_view != nullptr;
}

bool WebPane::isNoticeShown() const
{
    return !m_notice->isHidden();
}

QWebEngineView *WebPane::view()
{
    startEngine();
    return m_view;
}

QWebEnginePage *WebPane::page()
{
    startEngine();
    return m_page;
}

QWebEngineProfile *WebPane::profile()
{
    startEngine();
    return m_profile;
}

void WebPane::startEngine()
{
    if (m_view)
        return;
    // A profile without a storage name is off the record: everything stays in memory
    m_profile = new QWebEngineProfile();
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_aboutHandler = new AboutSchemeHandler();
    m_profile->installUrlSchemeHandler(WebSearch::aboutScheme().toLatin1(), m_aboutHandler);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, &WebPane::refuseDownload);

    m_page = new SilentWebPage(m_profile);
    m_page->setSilent(m_silent);
    m_page->setRemotePagesAllowed(m_remotePagesAllowed);
    connect(m_page, &SilentWebPage::remotePageRefused, this, [this](const QUrl &address) {
        m_address = address;
        showNotice(true);
    });
    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    m_layout->addWidget(m_view);
}

void WebPane::refuseDownload(QWebEngineDownloadRequest *download)
{
    download->cancel();
}

void WebPane::showNotice(bool shown)
{
    m_notice->setVisible(shown);
    if (m_view)
        m_view->setVisible(!shown);
}
