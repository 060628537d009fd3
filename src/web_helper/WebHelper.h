#pragma once

#include <QJsonObject>
#include <QObject>
#include <QUrl>
#include <qwindowdefs.h>

#include <optional>
#include <utility>

class AboutSchemeHandler;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWebEngineView;
class SilentWebPage;

// The web view of the web pane, run in a program of its own so the menu never loads the web
// engine. Its profile is off the record, so a session leaves nothing on disk, and the blank page
// that ends a session puts a fresh profile in its place, so the next player finds no cookies,
// cache, history or stored data of the one before. It obeys one command at a time and reports what the menu needs to
// know: its window (which the menu embeds), the address shown, finished loads and refused pages.
class WebHelper : public QObject
{
    Q_OBJECT

public:
    explicit WebHelper(bool remotePagesAllowed, QObject *parent = nullptr);
    ~WebHelper() override;

    // Call before the application object is made: the engine reads these at its start.
    static void prepareEnvironment();

    // Commands are JSON objects whose "do" names the action: navigate (url, id), silent (on),
    // show, hide, resize (width, height) and run (id, script). A navigation to "about:blank"
    // also forgets the pages before it, so nothing can go back to them.
    void handle(const QJsonObject &command);
    // Sends the window id, the first message the menu waits for, and again whenever the
    // window is made anew (the engine's drawing surface replaces the first one).
    void announce();

    QWebEngineView *view() const;
    SilentWebPage *page() const;
    QWebEngineProfile *profile() const;

Q_SIGNALS:
    // Reports are JSON objects whose "event" names them: window (id), url, title,
    // loadFinished (ok, url, id: that of the last navigate command), refused (url) and result
    // (id, value).
    void report(const QJsonObject &event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWebEngineProfile *makeProfile();
    SilentWebPage *makePage(QWebEngineProfile *profile);
    void forgetSession();
    void navigate(const QUrl &address);
    void startWaitingNavigation();
    void runScript(int id, const QString &script);
    void refuseDownload(QWebEngineDownloadRequest *download);
    void reportAddress(const QUrl &address);

    QWebEngineProfile *m_profile = nullptr;
    AboutSchemeHandler *m_aboutHandler = nullptr;
    SilentWebPage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
    WId m_window = 0;
    bool m_announced = false;
    int m_navigation = 0; // the id of the last navigate command
    bool m_clearHistory = false;
    bool m_blankLoading = false;
    std::optional<std::pair<QUrl, int>> m_waiting; // a navigation held while the blank page loads
    static constexpr int BlankWaitMs = 2000;
};
