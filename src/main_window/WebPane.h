#pragma once

#include <QUrl>
#include <QWidget>

class AboutSchemeHandler;
class QLabel;
class QVBoxLayout;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class SilentWebPage;

// The web search pane that lies over the game list. Its profile is off the record, so a
// session leaves no cookies, cache or history behind for the next player.
// The web engine starts on the first navigation to a real page: until then the pane only
// reports "about:blank", which keeps the engine's start-up off the way to the first window.
// Run by root, the engine has no sandbox, so the pane shows a notice instead of any web page
// (the about page still opens); the test suite opts in to real pages with JUYOUTAI_ALLOW_ROOT_WEB=1.
class WebPane : public QWidget
{
    Q_OBJECT

public:
    explicit WebPane(QWidget *parent = nullptr);
    ~WebPane() override;

    // Call before the application object is made: the engine reads these at its start.
    static void prepareEnvironment();
    static QUrl aboutAddress();
    // False for root (effective user id 0) unless JUYOUTAI_ALLOW_ROOT_WEB is "1".
    static bool remotePagesAllowed(uint effectiveUserId);

    // Loads the address if it is allowed (http, https, the about page or "about:blank");
    // anything else is ignored.
    void Navigate(const QString &address);
    void Navigate(const QUrl &address);
    void SetSilent(bool silent);

    bool isSilent() const;
    QUrl url() const;
    bool isEngineStarted() const;
    bool isNoticeShown() const;

    // These start the engine when it is not running yet.
    QWebEngineView *view();
    QWebEnginePage *page();
    QWebEngineProfile *profile();

private:
    void startEngine();
    void refuseDownload(QWebEngineDownloadRequest *download);
    void showNotice(bool shown);

    QVBoxLayout *m_layout = nullptr;
    QLabel *m_notice = nullptr;
    QWebEngineProfile *m_profile = nullptr;
    AboutSchemeHandler *m_aboutHandler = nullptr;
    SilentWebPage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
    QUrl m_address;
    bool m_silent = false;
    bool m_remotePagesAllowed = true;
};
