#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWidget>

class QLabel;
class QProcess;
class QVBoxLayout;

// The web search pane that lies over the game list. The page itself is shown by the web helper,
// a program of its own started beside the menu, so the menu never loads the web engine; the
// helper's window is placed inside the pane. The helper starts on the first navigation to a real
// page, or earlier, when the player turns to a control that leads to one (startOnIntent), so its
// start hides behind the typing; until then the pane only reports "about:blank". While a page
// the pane asked for loads, the pane says so and keeps the helper's window out of sight, so it
// never shows the page before. Hidden by the menu, the pane blanks the page in the helper: the
// next player finds nothing of the last one's search. If the helper ends, the pane says so and
// the next navigation starts it again; the helper ends with the pane, or when the menu is gone.
// Run by root, the engine has no sandbox, so the pane shows a notice instead of any web page
// (the about page still opens); the test suite opts in to real pages with JUYOUTAI_ALLOW_ROOT_WEB=1.
class WebPane : public QWidget
{
    Q_OBJECT

public:
    explicit WebPane(QWidget *parent = nullptr);
    ~WebPane() override;

    static QUrl aboutAddress();
    // False for root (effective user id 0) unless JUYOUTAI_ALLOW_ROOT_WEB is "1".
    static bool remotePagesAllowed(uint effectiveUserId);
    // The helper program, in the menu's own folder.
    static QString helperProgram();

    // Loads the address if it is allowed (http, https, the about page or "about:blank");
    // anything else is ignored.
    void Navigate(const QString &address);
    void Navigate(const QUrl &address);
    void SetSilent(bool silent);
    // Starts the helper now, unless it runs: the next navigation then only loads its page.
    void startEngine();
    // Starts the helper as soon as the player turns to the control: its focus, a key in it or
    // the pointer over it.
    void startOnIntent(QWidget *control);

    bool isSilent() const;
    QUrl url() const;
    QString title() const;
    bool isEngineStarted() const;
    bool isNoticeShown() const;
    // True from a navigation until the helper reports its page loaded.
    bool isLoading() const;
    // The running helper's process id, or 0.
    qint64 helperProcessId() const;
    // The window the helper shows its page in, once announced; 0 before.
    WId helperWindowId() const;
    // Runs a script in the page; its value arrives with scriptResult under the returned number.
    int runScript(const QString &script);

Q_SIGNALS:
    void loadFinished(bool ok);
    void titleChanged(const QString &title);
    void scriptResult(int id, const QVariant &value);
    void helperEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void startHelper();
    void sendSize();
    void stopHelper();
    void send(const QJsonObject &command);
    void readHelper();
    void handleReport(const QJsonObject &report);
    void embed(const QString &windowId);
    void showHelperWindow();
    void helperGone(const QString &notice);
    void showNotice(const QString &text);
    void hideNotice();
    void blankIfHidden();

    QVBoxLayout *m_layout = nullptr;
    QLabel *m_notice = nullptr;
    QProcess *m_helper = nullptr;
    QWidget *m_container = nullptr;
    QByteArray m_pending;
    QUrl m_address;
    QUrl m_shown;
    QString m_title;
    bool m_silent = false;
    bool m_remotePagesAllowed = true;
    bool m_windowKnown = false;
    WId m_windowId = 0;
    int m_lastScript = 0;
    int m_lastNavigation = 0;
    bool m_loading = false;
    QList<QObject *> m_intentControls;
};
