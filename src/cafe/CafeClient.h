#pragma once

#include "cafe/CatalogueCopy.h"
#include "cafe/PgHelper.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

struct pg_conn;
struct pg_result;
class QSocketNotifier;

// Keeps one menu's catalogue a mirror of the room's server. Lives on a worker thread of its own
// (moveToThread, then start()); libpq is driven without blocking by the thread's event loop, so a
// slow or vanished server holds up neither the window nor the thread. Only the start of a
// connection can block the thread: libpq resolves the host name and reads the files the address
// names there (the files are checked first, and the window never waits long for this thread at
// exit). The first read takes
// everything; later reads take only what changed since the last one, when the server notifies a
// commit. After each read that changed the rows a new encrypted copy replaces the file the menu
// reads. A lost server is retried in the background, with a growing, jittered pause.
class CafeClient : public QObject
{
    Q_OBJECT

public:
    CafeClient(const QString &serverUri, const QString &copyPath, QObject *parent = nullptr);
    ~CafeClient() override;

    // Where the latest copy is: the given path, or a private file when that cannot be written.
    QString copyPath() const;
    static QString fallbackCopyPath();
    // Off: the rows are only kept in memory (simulated clients of the benchmark).
    void setWritesCopy(bool on) { m_writesCopy = on; }
    // Rows held; read on the client's thread, or from a slot connected to synced().
    qsizetype gameCount() const { return m_rows.gameCount(); }

    static constexpr int ConnectTimeoutMs = 5000; // unless the address sets connect_timeout
    static constexpr int ReadTimeoutMs = 15000;
    static constexpr int CoalesceMs = 30;
    static constexpr int FirstRetryMs = 250;
    static constexpr int LongestRetryMs = 5000;

public Q_SLOTS:
    void start();
    // Closes the connection and stops retrying; on the client's thread.
    void stop();

Q_SIGNALS:
    // The rows were read (and the copy written, if anything changed or it is the first read).
    void synced();
    // The server could not be reached or was lost, or it refused the address's name or password
    // (refused); sent once per outage.
    void offline(const QString &reason, bool refused);
    // The copy could not be written at the given path and went to this private file instead.
    void copyRelocated(const QString &path);

private:
    enum class State { Stopped, Connecting, Reading, Listening, Waiting };

    void connectToServer();
    void watchSocket(bool read, bool write);
    void socketReady();
    void pollConnect();
    void sendRead();
    void sendQuery(const QByteArray &sql);
    void flush();
    void takeInput();
    void collectResult(PgHelper::Result result);
    void finishRead();
    bool applyRead();
    void writeCopy();
    void setCopyPath(const QString &path);
    void lose(const QString &reason, bool refused = false);
    void closeConnection();
    void dropNotifiers();
    void deadlinePassed();
    QString connectionError() const;

    QString m_serverUri;
    QString m_besidePath;
    mutable QMutex m_pathLock;
    QString m_copyPath;
    int m_connectTimeoutMs;
    bool m_writesCopy = true;
    bool m_relocationAnnounced = false;

    pg_conn *m_conn = nullptr;
    int m_socket = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    State m_state = State::Stopped;
    bool m_subscribing = false;
    bool m_freshConnection = false;
    bool m_changePending = false;
    bool m_online = false;
    bool m_offlineReported = false;
    bool m_copyWritten = false;
    int m_retryMs = FirstRetryMs;
    QTimer m_deadline{this};
    QTimer m_retry{this};
    QTimer m_coalesce{this};

    QByteArray m_horizon = "0";
    std::vector<PgHelper::Result> m_results;
    QString m_readError;
    CatalogueCopy m_rows;
};
