#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <optional>

class CafeClient;

// A menu in café mode: its sync client on a thread of its own, and the state the window asks
// about. Lives on the user-interface thread.
class CafeMode : public QObject
{
    Q_OBJECT

public:
    CafeMode(const QString &serverUri, const QString &copyPath, const QString &clientName = QString(),
             QObject *parent = nullptr);
    ~CafeMode() override;

    // Runs the event loop until the first read has succeeded or failed, or the time is up;
    // true when the copy is fresh from the server. copyWillDo: also ends when the client starts from
    // its copy and connects a moment later (the copy is what there is to show meanwhile).
    bool waitForFirstSync(int timeoutMs, bool copyWillDo = false);
    bool online() const { return m_online; }
    // Started from its copy, the client waits a moment before it connects: neither online nor offline yet.
    bool waitingToConnect() const { return m_waitingToConnect; }
    // Why the last connection or read failed, as the server or the client library said it.
    QString offlineReason() const { return m_offlineReason; }
    // Offline because the server turned down the menu's name or password, not because it was out of reach.
    bool refused() const { return m_refused; }
    QString copyPath() const;
    CafeClient *client() const { return m_client; }
    // A game was started on this PC; reported on the client's thread, never waited for.
    void recordLaunch(qint64 gameId, const QString &gameName);
    // The games the Hot tab lists, most started first, when the room's rule follows what is played;
    // nothing when it follows the GameHot flag.
    std::optional<QList<qint64>> hotGames() const { return m_hotGames; }
    // The same for the game listed with these values, found among the client's rows.
    void recordLaunch(const QString &name, const QString &path, const QString &run, const QString &command);

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
    void hotChanged();

private:
    QThread *m_thread;
    CafeClient *m_client = nullptr;
    std::atomic<bool> m_online = false; // read by an operator's check on a worker too
    bool m_answered = false;
    bool m_waitingToConnect = false;
    bool m_refused = false;
    QString m_offlineReason;
    std::optional<QList<qint64>> m_hotGames;
};
