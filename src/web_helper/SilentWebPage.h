#pragma once

#include <QWebEnginePage>

class QWebEngineCertificateError;
class QWebEngineNewWindowRequest;

// A web page that, in silent mode, never raises a dialog of its own and prints nothing;
// it stays within the pane: new windows load here and other schemes are refused. When remote
// pages are not allowed, every frame keeps off the web and the pane is told so.
class SilentWebPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit SilentWebPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    void setSilent(bool silent);
    bool isSilent() const;
    void setRemotePagesAllowed(bool allowed);
    bool remotePagesAllowed() const;

Q_SIGNALS:
    void remotePageRefused(const QUrl &address);

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    void openInPlace(QWebEngineNewWindowRequest &request);
    void refuseCertificate(const QWebEngineCertificateError &error);

    bool m_silent = false;
    bool m_remotePagesAllowed = true;
};
