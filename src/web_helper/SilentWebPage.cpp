#include "web_helper/SilentWebPage.h"

#include "web/WebSearch.h"

#include <QWebEngineCertificateError>
#include <QWebEngineNewWindowRequest>

using namespace Qt::StringLiterals;

SilentWebPage::SilentWebPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    connect(this, &QWebEnginePage::newWindowRequested, this, &SilentWebPage::openInPlace);
    connect(this, &QWebEnginePage::certificateError, this, &SilentWebPage::refuseCertificate);
}

void SilentWebPage::setSilent(bool silent)
{
    m_silent = silent;
}

bool SilentWebPage::isSilent() const
{
    return m_silent;
}

void SilentWebPage::setRemotePagesAllowed(bool allowed)
{
    m_remotePagesAllowed = allowed;
}

bool SilentWebPage::remotePagesAllowed() const
{
    return m_remotePagesAllowed;
}

void SilentWebPage::javaScriptAlert(const QUrl &securityOrigin, const QString &msg)
{
    if (!m_silent)
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool SilentWebPage::javaScriptConfirm(const QUrl &securityOrigin, const QString &msg)
{
    // Nobody is asked, so nothing is agreed to
    return m_silent ? false : QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool SilentWebPage::javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                                     QString *result)
{
    if (m_silent)
        return false;
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void SilentWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                             int lineNumber, const QString &sourceID)
{
    if (!m_silent)
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

bool SilentWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (!m_remotePagesAllowed && (url.scheme() == "http"_L1 || url.scheme() == "https"_L1)) {
        if (isMainFrame)
            Q_EMIT remotePageRefused(url);
        return false;
    }
    // Frames inside a page may use any scheme the engine allows; the page itself may not leave the web
    if (isMainFrame && !WebSearch::isAllowedAddress(url) && url != QUrl(u"about:blank"_s))
        return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage *SilentWebPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type);
    // New windows were already loaded here by openInPlace
    return nullptr;
}

void SilentWebPage::openInPlace(QWebEngineNewWindowRequest &request)
{
    const QUrl address = request.requestedUrl();
    if (WebSearch::isAllowedAddress(address))
        load(address);
}

void SilentWebPage::refuseCertificate(const QWebEngineCertificateError &error)
{
    // A copy is needed to call the non-const answer
    QWebEngineCertificateError answer = error;
    answer.rejectCertificate();
}
