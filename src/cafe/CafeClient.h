#pragma once

#include "cafe/CatalogueCopy.h"
#include "cafe/PgHelper.h"
#include "cafe/RoomReporter.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

struct pg_conn;
class QSocketNotifier;

// Keeps one menu's catalogue a mirror of the room's server. Lives on a worker thread of its own
// (moveToThread, then start()); libpq is driven without blocking by the thread's event loop, so a
// slow or vanished server holds up neither the window nor the thread. Only the start of a
// connection can block the thread: libpq resolves the host name and reads the files the address
// names there (the files are checked first, and the window never waits long for this thread at
// exit). The first read takes
// everything; later reads take only what changed since the last one, when the server notifies a
// commit. After each read that changed the rows a new encrypted copy replaces the file the menu
// reads. A lost server is retried in the background, with a growing, jittered pause. What the room
// reports (the PC's name, its launches, the Hot ranking) a RoomReporter prepares; this client sends it
// over the same connection whenever the catalogue leaves it free. Every statement goes in libpq's
// pipeline mode with its values bound, so that each request is answered on its own.
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
    // Rows and deletion markers received from the server so far; same thread rules.
    qint64 rowsRead() const { return m_rowsRead; }
    // The rows held and what they mirror; same thread rules.
    const CatalogueCopy &rows() const { return m_rows; }
    // Before start(): begin from these rows instead of the copy file (simulated clients of the benchmark).
    void setStartingCopy(const CatalogueCopy &rows);
    // Copies written so far and the CPU time they took; same thread rules (the benchmark's own measure).
    int copyWrites() const { return m_copyWrites; }
    qint64 copyWriteNs() const { return m_copyWriteNs; }
    // Before start(): the name this PC gives the server; empty names none.
    void setClientName(const QString &name) { m_reporter.setClientName(name.toUtf8()); }
    // Before start(): a read's patience other than ReadTimeoutMs (tests).
    void setReadTimeoutMs(int ms) { m_readTimeoutMs = ms; }
    // Launches not yet answered by the server; same thread rules.
    qsizetype launchesWaiting() const { return m_reporter.launchesWaiting(); }

    // A server slow to accept is waited for this long, unless the address sets connect_timeout:
    // a client that gave up sooner would leave the server starting backends for nobody.
    static constexpr int ConnectTimeoutMs = 30000;
    // How long a read may go without a byte from the server: a large read on a slow link takes as long
    // as its rows keep coming.
    static constexpr int ReadTimeoutMs = 15000;
    static constexpr int CoalesceMs = 30;
    static constexpr int FirstRetryMs = 250;
    static constexpr int LongestRetryMs = 60000;
    // A client that starts from its copy connects at a random moment within this long, so that a
    // room switched on together does not reach the server in one instant.
    static constexpr int StartSpreadMs = 3000;
    static constexpr int HelloSpreadMs = RoomReporter::HelloSpreadMs;

    // The pause before reconnecting after the given number of failed attempts in a row (0 for the
    // first), for a random unit in [0, 1): anywhere from nothing to the attempt's ceiling, which
    // doubles from FirstRetryMs up to LongestRetryMs.
    static int retryDelayMs(int failures, double unit);

public Q_SLOTS:
    void start();
    // Closes the connection and stops retrying; on the client's thread.
    void stop();
    // A game was started here: reported now, or kept (at most LaunchQueue::Capacity) until the server is back.
    void recordLaunch(qint64 gameId, const QString &gameName);
    // The same for the listed game with these values; a game no longer held is not counted.
    void recordLaunchOf(const QString &name, const QString &path, const QString &run, const QString &command);

Q_SIGNALS:
    // The rows were read (and the copy written, if anything changed or it is the first read).
    void synced();
    // The server could not be reached or was lost, or it refused the address's name or password
    // (refused); sent once per outage.
    void offline(const QString &reason, bool refused);
    // The copy could not be written at the given path and went to this private file instead.
    void copyRelocated(const QString &path);
    // Before its first connection the client waits a moment, starting from its copy; sent once.
    void startDeferred();
    // The server answered a launch: recorded, duplicate, too-soon, too-many, bad-time or unknown-game.
    void launchAnswered(const QString &outcome);
    // The Hot tab's rule: played false is the GameHot flag; true lists these games, most started first.
    void hotRanking(bool played, const QList<qint64> &games);

private:
    enum class State { Stopped, Connecting, Reading, Listening, Waiting };
    enum class Request { Subscribe, Read, Room };

    void connectToServer();
    void watchSocket(bool read, bool write);
    void socketReady(bool readable);
    void pollConnect();
    void sendRead();
    void send(Request request, const std::vector<PgHelper::Segment> &segments);
    void flush();
    void takeInput();
    void collectResult(PgHelper::Result result);
    void finishRead();
    bool finishCatalogueRead(PgHelper::SegmentAnswer &answer);
    void sendNext();
    // Takes a read's results (horizon, identity on a room's server, markers, types, games) into the rows.
    bool applyRead(const std::vector<PgHelper::Result> &results, QString &error);
    bool needsFullRead(const QByteArray &horizon, const std::vector<PgHelper::Result> &results);
    void loadCopy();
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
    int m_readTimeoutMs = ReadTimeoutMs;
    bool m_writesCopy = true;
    bool m_relocationAnnounced = false;
    int m_copyWrites = 0;
    qint64 m_copyWriteNs = 0;

    pg_conn *m_conn = nullptr;
    int m_socket = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    State m_state = State::Stopped;
    bool m_freshConnection = false;
    bool m_changePending = false;
    bool m_online = false;
    bool m_offlineReported = false;
    bool m_copyWritten = false;
    int m_failures = 0; // connection attempts failed in a row
    QTimer m_deadline{this};
    QTimer m_retry{this};
    QTimer m_coalesce{this};

    QByteArray m_horizon = "0";
    Request m_request = Request::Read;
    bool m_roomSchema = false;
    bool m_rowsFromCopy = false;
    bool m_startingCopySet = false;
    RoomReporter m_reporter{this};
    qint64 m_rowsRead = 0;
    // The answers of the request on its way, one per segment; the one being filled is the last.
    std::vector<PgHelper::SegmentAnswer> m_answers;
    size_t m_segments = 0;
    int m_emptyResults = 0;
    CatalogueCopy m_rows;
};
