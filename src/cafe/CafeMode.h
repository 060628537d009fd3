#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>

class CafeClient;

// A menu in café mode: its sync client on a thread of its own, and the state the window asks
// about. Lives on the user-interface thread.
class CafeMode : public QObject
{
    Q_OBJECT

public:
    CafeMode(const QString &serverUri, const QString &copyPath, QObject *parent = nullptr);
    ~CafeMode() override;

    // Runs the event loop until the first read has succeeded or failed, or the time is up;
    // true when the copy is fresh from the server.
    bool waitForFirstSync(int timeoutMs);
    bool online() const { return m_online; }
    // Why the last connection or read failed, as the server or the client library said it.
    QString offlineReason() const { return m_offlineReason; }
    // Offline because the server turned down the menu's name or password, not because it was out of reach.
    bool refused() const { return m_refused; }
    QString copyPath() const;
    CafeClient *client() const { return m_client; }

    static constexpr int StartUpWaitMs = 2000;
    static constexpr int WakeMs = 10;
    // How long closing waits for the sync thread before leaving it to end on its own.
    static constexpr int StopWaitMs = 1000;
    // True once a sync thread was left running: it may be inside libpq or the TLS library, whose
    // exit handlers must then not run, so the process ends without them.
    static bool threadLeftRunning();

Q_SIGNALS:
    void synced();
    void offline();
    void copyRelocated(const QString &path);

private:
    QThread *m_thread;
    CafeClient *m_client = nullptr;
    std::atomic<bool> m_online = false; // read by an operator's check on a worker too
    bool m_answered = false;
    bool m_refused = false;
    QString m_offlineReason;
};
