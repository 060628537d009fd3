#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWidget>

class QLabel;
class QProcess;
class QVBoxLayout;

// The web search pane that lies over the game list. The page itself is shown by the web helper,
// a program of its own started beside the menu on the first navigation to a real page, so the
// menu never loads the web engine; the helper's window is placed inside the pane. Until then
// the pane only reports "about:blank". If the helper ends, the pane says so and the next
// navigation starts it again; the helper ends with the pane, or when the menu is gone.
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

    bool isSilent() const;
    QUrl url() const;
    QString title() const;
    bool isEngineStarted() const;
    bool isNoticeShown() const;
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
};
