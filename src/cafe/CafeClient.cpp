#include "cafe/CafeClient.h"

#include "cafe/CopySyncState.h"
#include "cafe/RoomSchema.h"
#include "cafe/ServerAddress.h"
#include "cafe/ServerSchema.h"
#include "platform/Process.h"
#include "platform/Socket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <libpq-fe.h>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// One round trip: the horizon and every change since the last read, all from one snapshot.
// A server laid out by an older version has no identity to ask for: its reads lack that result.
PgHelper::Segment readSegment(const QByteArray &horizon, bool roomSchema)
{
    PgHelper::Segment segment{{"BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", {}}, {ServerSchema::HorizonSql, {}}};
    if (roomSchema)
        segment.push_back({RoomSchema::IdentitySql, {}});
    for (const char *sql : {ServerSchema::DeletedRowsSql, ServerSchema::ChangedTypesSql, ServerSchema::ChangedGamesSql})
        segment.push_back({sql, {horizon}});
    segment.push_back({"COMMIT", {}});
    return segment;
}

QByteArray value(const PGresult *result, int row, int column)
{
    return PgHelper::value(result, row, column);
}

// libpq only keeps connect_timeout itself when it waits; without waiting, the client keeps it.
int connectTimeoutMs(const QString &uri)
{
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), nullptr);
    int seconds = 0;
    for (PQconninfoOption *option = options; option && option->keyword; ++option) {
        if (qstrcmp(option->keyword, "connect_timeout") == 0 && option->val)
            seconds = QByteArray(option->val).toInt();
    }
    PQconninfoFree(options);
    // As libpq does: below 2 s is taken as 2 s, and nothing given means the default.
    return seconds > 0 ? qMax(seconds, 2) * 1000 : CafeClient::ConnectTimeoutMs;
}

bool isNumber(const QByteArray &text)
{
    return CatalogueCopy::isHorizon(text);
}

} // namespace

CafeClient::CafeClient(const QString &serverUri, const QString &copyPath, QObject *parent)
    : QObject(parent)
    , m_serverUri(serverUri)
    , m_besidePath(copyPath)
    , m_copyPath(copyPath)
    , m_connectTimeoutMs(connectTimeoutMs(serverUri))
{
    // A copy that could not be written beside the program (an unwritable folder, a full disk)
    // waits in the private place; until the next sync the newer of the two is the one to read.
    const QFileInfo beside(copyPath);
    const QFileInfo fallback(fallbackCopyPath());
    const bool besideWritable = QFileInfo(beside.absolutePath()).isWritable()
        && (!beside.exists() || (beside.permissions() & QFileDevice::WriteUser));
    if (fallback.exists() && (!besideWritable || !beside.exists() || fallback.lastModified() > beside.lastModified()))
        m_copyPath = fallback.filePath();
    m_deadline.setSingleShot(true);
    m_retry.setSingleShot(true);
    m_coalesce.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &CafeClient::deadlinePassed);
    connect(&m_retry, &QTimer::timeout, this, &CafeClient::connectToServer);
    connect(&m_reporter, &RoomReporter::due, this, &CafeClient::sendNext);
    connect(&m_reporter, &RoomReporter::launchAnswered, this, &CafeClient::launchAnswered);
    connect(&m_reporter, &RoomReporter::hotRanking, this, &CafeClient::hotRanking);
    connect(&m_coalesce, &QTimer::timeout, this, [this] {
        if (m_state == State::Listening)
            sendRead();
    });
}

CafeClient::~CafeClient()
{
    closeConnection();
}

QString CafeClient::copyPath() const
{
    const QMutexLocker lock(&m_pathLock);
    return m_copyPath;
}

QString CafeClient::fallbackCopyPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/GameDB.dbs"_s;
}

void CafeClient::setCopyPath(const QString &path)
{
    const QMutexLocker lock(&m_pathLock);
    m_copyPath = path;
}

int CafeClient::retryDelayMs(int failures, double unit)
{
    // Full jitter: a room that lost its server together comes back spread over the whole pause.
    const qint64 ceiling = qMin<qint64>(LongestRetryMs, qint64(FirstRetryMs) << qBound(0, failures, 20));
    return int(double(ceiling) * qBound(0.0, unit, 1.0));
}

void CafeClient::setStartingCopy(const CatalogueCopy &rows)
{
    m_rows = rows;
    // Rows whose horizon is not one are read again in full.
    m_horizon = CatalogueCopy::isHorizon(rows.horizon()) ? rows.horizon() : QByteArray("0");
    m_rowsFromCopy = m_horizon != "0";
    m_startingCopySet = true;
}

void CafeClient::start()
{
    if (m_state != State::Stopped)
        return;
    if (!m_startingCopySet)
        loadCopy();
    if (!m_rowsFromCopy) {
        connectToServer();
        return;
    }
    // The menu shows its copy meanwhile; the window need not wait for this connection.
    m_state = State::Waiting;
    m_retry.start(QRandomGenerator::global()->bounded(StartSpreadMs));
    Q_EMIT startDeferred();
}

void CafeClient::loadCopy()
{
    // The copy left by the last run: only what changed since it was read need come from the server.
    m_startingCopySet = true;
    CatalogueCopy rows;
    if (!m_writesCopy || !CopySyncState::read(copyPath(), rows))
        return;
    setStartingCopy(rows);
}

void CafeClient::recordLaunchOf(const QString &name, const QString &path, const QString &run, const QString &command)
{
    const qint64 gameId = m_rows.findGame(name.toUtf8(), path.toUtf8(), run.toUtf8(), command.toUtf8());
    if (gameId < 0) {
        qWarning("a game started that the catalogue no longer holds is not counted");
        return;
    }
    recordLaunch(gameId, name);
}

void CafeClient::recordLaunch(qint64 gameId, const QString &)
{
    // The server takes the game's name from its own catalogue.
    m_reporter.recordLaunch(gameId);
}

void CafeClient::stop()
{
    m_retry.stop();
    m_coalesce.stop();
    closeConnection();
    m_state = State::Stopped;
}

void CafeClient::connectToServer()
{
    closeConnection();
    // Looked at before every attempt: the files may have changed since start-up.
    if (const QString error = ServerAddress::fileOptionError(m_serverUri); !error.isEmpty()) {
        lose(error);
        return;
    }
    const QByteArray uri = m_serverUri.toUtf8();
    // An idle connection to a server whose machine went away is found within about 25 s by the
    // system's keep-alive probes; the address may set its own. Defaults come before the address.
    const char *keys[] = {"keepalives_idle", "keepalives_interval",       "keepalives_count",
                          "dbname",          "fallback_application_name", nullptr};
    const char *values[] = {"10", "5", "3", uri.constData(), "juyoutai", nullptr};
    m_conn = PQconnectStartParams(keys, values, 1);
    if (!m_conn || PQstatus(m_conn) == CONNECTION_BAD) {
        lose(connectionError());
        return;
    }
    // The server's notices (a shutdown under way, say) are no concern of the player's.
    PQsetNoticeProcessor(
        m_conn, [](void *, const char *) {}, nullptr);
    m_state = State::Connecting;
    m_deadline.start(m_connectTimeoutMs);
    // A new connection first waits until its socket can be written.
    watchSocket(false, true);
}

void CafeClient::watchSocket(bool read, bool write)
{
    const int socket = m_conn ? PQsocket(m_conn) : -1;
    if (socket != m_socket) {
        // libpq may open a new socket while connecting (another host, or TLS refused).
        dropNotifiers();
        m_socket = socket;
        if (socket >= 0) {
            m_readNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            m_writeNotifier = new QSocketNotifier(socket, QSocketNotifier::Write, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { socketReady(true); });
            connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { socketReady(false); });
        }
    }
    if (m_readNotifier)
        m_readNotifier->setEnabled(read);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(write);
}

void CafeClient::socketReady(bool readable)
{
    if (m_state == State::Connecting) {
        pollConnect();
        return;
    }
    // The server answers: the read goes on as long as its rows keep coming.
    if (readable && m_state == State::Reading)
        m_deadline.start(m_readTimeoutMs);
    if (m_writeNotifier && m_writeNotifier->isEnabled())
        flush();
    if (m_conn)
        takeInput();
}

void CafeClient::pollConnect()
{
    switch (PQconnectPoll(m_conn)) {
    case PGRES_POLLING_READING:
        watchSocket(true, false);
        break;
    case PGRES_POLLING_WRITING:
        watchSocket(false, true);
        break;
    case PGRES_POLLING_OK:
        m_deadline.stop();
        if (PQsetnonblocking(m_conn, 1) != 0 || !PQenterPipelineMode(m_conn)) {
            lose(connectionError());
            break;
        }
        m_freshConnection = true;
        // Listening is committed before the first read's snapshot, so no commit falls between them.
        send(Request::Subscribe, {{{QByteArray("LISTEN ") + ServerSchema::Channel, {}}, {RoomSchema::PresentSql, {}}}});
        break;
    default:
        // A server that asked for a password and then said no has turned the menu's role away.
        lose(connectionError(), PQconnectionUsedPassword(m_conn) || PQconnectionNeedsPassword(m_conn));
        break;
    }
}

void CafeClient::sendRead()
{
    m_changePending = false;
    // The horizon travels as a value of its own, whatever it holds.
    send(Request::Read, {readSegment(m_horizon, m_roomSchema)});
}

void CafeClient::send(Request request, const std::vector<PgHelper::Segment> &segments)
{
    m_request = request;
    m_answers.clear();
    m_answers.emplace_back();
    m_segments = segments.size();
    m_emptyResults = 0;
    if (!PgHelper::sendSegments(m_conn, segments)) {
        lose(connectionError());
        return;
    }
    m_state = State::Reading;
    m_deadline.start(m_readTimeoutMs);
    flush();
}

void CafeClient::flush()
{
    const int pending = PQflush(m_conn);
    if (pending < 0)
        lose(connectionError());
    else
        watchSocket(true, pending == 1);
}

void CafeClient::takeInput()
{
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) == CONNECTION_BAD) {
        lose(connectionError());
        return;
    }
    while (m_state == State::Reading && !PQisBusy(m_conn)) {
        // Each statement's results end with a null; a segment ends with its sync.
        PgHelper::Result result(PQgetResult(m_conn));
        if (!result && ++m_emptyResults > 1)
            break;
        if (result) {
            m_emptyResults = 0;
            collectResult(std::move(result));
        }
    }
    if (!m_conn)
        return;
    if (PQstatus(m_conn) == CONNECTION_BAD) {
        lose(connectionError());
        return;
    }
    // However many commits a burst brings, they are read once.
    while (PGnotify *notice = PQnotifies(m_conn)) {
        PQfreemem(notice);
        m_changePending = true;
    }
    if (m_changePending && m_state == State::Listening && !m_coalesce.isActive())
        m_coalesce.start(CoalesceMs);
}

void CafeClient::collectResult(PgHelper::Result result)
{
    PgHelper::SegmentAnswer &answer = m_answers.back();
    switch (PQresultStatus(result.get())) {
    case PGRES_TUPLES_OK:
        answer.rows.push_back(std::move(result));
        break;
    case PGRES_PIPELINE_SYNC:
        if (m_answers.size() < m_segments)
            m_answers.emplace_back();
        else
            finishRead();
        break;
    case PGRES_PIPELINE_ABORTED:
        if (answer.error.isEmpty())
            answer.error = u"服务器没有执行这条语句"_s;
        break;
    default:
        if (!PgHelper::succeeded(result.get()) && answer.error.isEmpty())
            answer.error = PgHelper::error(m_conn, result.get()).description();
        break;
    }
}

void CafeClient::finishRead()
{
    m_deadline.stop();
    m_state = State::Listening;
    std::vector<PgHelper::SegmentAnswer> answers = std::exchange(m_answers, {});
    if (m_request == Request::Subscribe) {
        const PgHelper::SegmentAnswer &answer = answers.front();
        m_roomSchema = answer.rows.size() == 1 && PQntuples(answer.rows.front().get()) == 1
            && value(answer.rows.front().get(), 0, 0) == "t";
        if (answer.error.isEmpty())
            sendRead();
        else
            lose(answer.error);
        return;
    }
    if (m_request == Request::Room)
        m_reporter.answered(answers);
    else if (!finishCatalogueRead(answers.front()))
        return;
    sendNext();
}

bool CafeClient::finishCatalogueRead(PgHelper::SegmentAnswer &answer)
{
    const size_t expected = m_roomSchema ? 5 : 4;
    const bool complete = answer.error.isEmpty() && answer.rows.size() == expected;
    QString error = answer.error;
    const bool changed = complete && applyRead(answer.rows, error);
    if (!complete || !error.isEmpty()) {
        lose(error.isEmpty() ? u"服务器的回答不完整"_s : error);
        return false;
    }
    if (m_state != State::Listening)
        return false; // applyRead asked for a full read
    if (changed || !m_copyWritten)
        writeCopy();
    const bool announce = changed || m_freshConnection;
    if (m_freshConnection)
        m_reporter.connectionReady();
    m_freshConnection = false;
    m_online = true;
    m_offlineReported = false;
    m_failures = 0;
    if (announce)
        Q_EMIT synced();
    return true;
}

void CafeClient::sendNext()
{
    // The catalogue first: a change waiting is read before anything of the room's is sent.
    if (m_state != State::Listening || !m_online)
        return;
    if (m_changePending) {
        if (!m_coalesce.isActive())
            m_coalesce.start(CoalesceMs);
        return;
    }
    if (!m_roomSchema || m_coalesce.isActive())
        return;
    const std::vector<PgHelper::Segment> segments = m_reporter.next();
    if (!segments.empty())
        send(Request::Room, segments);
}

bool CafeClient::applyRead(const std::vector<PgHelper::Result> &results, QString &error)
{
    const PGresult *horizonRows = results[0].get();
    const QByteArray horizon = PQntuples(horizonRows) == 1 ? value(horizonRows, 0, 0) : QByteArray();
    if (!isNumber(horizon)) {
        error = u"服务器返回了无法识别的版本号"_s;
        return false;
    }
    if (needsFullRead(horizon, results)) {
        m_rows.clear();
        m_rowsFromCopy = false;
        m_copyWritten = false;
        m_horizon = "0";
        sendRead();
        return false;
    }
    const int first = m_roomSchema ? 2 : 1;
    bool changed = false;
    m_rowsFromCopy = false;
    const PGresult *deleted = results.at(first).get();
    for (int row = 0; row < PQntuples(deleted); ++row) {
        const qint64 key = value(deleted, row, 1).toLongLong();
        const QByteArray table = value(deleted, row, 0);
        if (table == "gamelist")
            changed |= m_rows.eraseGame(key);
        else if (table == "typelist")
            changed |= m_rows.eraseType(key);
        else
            qWarning("a deletion marker of an unknown kind is left alone (%d bytes)", int(table.size()));
    }
    const PGresult *types = results.at(first + 1).get();
    for (int row = 0; row < PQntuples(types); ++row)
        changed |= m_rows.setType(value(types, row, 0).toLongLong(), value(types, row, 1));
    const PGresult *games = results.at(first + 2).get();
    const char *values[CatalogueCopy::GameColumns];
    int lengths[CatalogueCopy::GameColumns];
    for (int row = 0; row < PQntuples(games); ++row) {
        for (int column = 0; column < CatalogueCopy::GameColumns; ++column) {
            values[column] = PQgetisnull(games, row, column + 1) ? nullptr : PQgetvalue(games, row, column + 1);
            lengths[column] = PQgetlength(games, row, column + 1);
        }
        changed |= m_rows.setGame(QByteArray(PQgetvalue(games, row, 0)).toLongLong(),
                                  CatalogueCopy::packGame(values, lengths));
    }
    m_rowsRead += PQntuples(deleted) + PQntuples(types) + PQntuples(games);
    m_horizon = horizon;
    const PGresult *identity = m_roomSchema && PQntuples(results.at(1).get()) == 1 ? results.at(1).get() : nullptr;
    m_rows.setSource(identity ? value(identity, 0, 0) : QByteArray(), horizon);
    if (identity)
        m_reporter.noteHotRule(PQgetisnull(identity, 0, 2) ? QByteArray()
                                                           : value(identity, 0, 2) + '/' + value(identity, 0, 3));
    return changed;
}

bool CafeClient::needsFullRead(const QByteArray &horizon, const std::vector<PgHelper::Result> &results)
{
    if (m_horizon == "0")
        return false; // nothing held: this read takes everything anyway
    // Numbers never go back on one server: a smaller one is another server.
    if (horizon.toULongLong() < m_horizon.toULongLong())
        return true;
    // A copy from an earlier run is trusted only when the server can name its catalogue.
    if (!m_roomSchema || PQntuples(results.at(1).get()) != 1)
        return m_rowsFromCopy;
    // Another catalogue (push --replace gives a new one), or deletion markers since the rows' horizon pruned.
    const QByteArray catalogueId = value(results.at(1).get(), 0, 0);
    if (catalogueId != m_rows.catalogueId() && (m_rowsFromCopy || !m_rows.catalogueId().isEmpty()))
        return true;
    const QByteArray oldest = value(results.at(1).get(), 0, 1);
    return !isNumber(oldest) || m_horizon.toULongLong() < oldest.toULongLong();
}

void CafeClient::writeCopy()
{
    if (!m_writesCopy)
        return;
    // The thread's own CPU: where many clients share a machine, the wall time is mostly their turns.
    const qint64 cpuBefore = Process::threadCpuNanoseconds();
    const auto timed = qScopeGuard([this, cpuBefore] {
        ++m_copyWrites;
        m_copyWriteNs += Process::threadCpuNanoseconds() - cpuBefore;
    });
    const QString besideError = m_rows.writeTo(m_besidePath);
    if (besideError.isEmpty()) {
        setCopyPath(m_besidePath);
        m_copyWritten = true;
        return;
    }
    const QString fallback = fallbackCopyPath();
    QDir().mkpath(QFileInfo(fallback).absolutePath());
    if (const QString error = m_rows.writeTo(fallback); !error.isEmpty()) {
        qWarning("cannot write the catalogue copy: %s; %s", qUtf8Printable(besideError), qUtf8Printable(error));
        return;
    }
    setCopyPath(fallback);
    m_copyWritten = true;
    if (!m_relocationAnnounced) {
        m_relocationAnnounced = true;
        Q_EMIT copyRelocated(fallback);
    }
}

void CafeClient::lose(const QString &reason, bool refused)
{
    closeConnection();
    m_state = State::Waiting;
    const bool report = m_online || !m_offlineReported;
    m_online = false;
    m_offlineReported = true;
    // Jittered, so that a room of menus does not come back in one wave.
    m_retry.start(retryDelayMs(m_failures++, QRandomGenerator::global()->generateDouble()));
    if (report)
        Q_EMIT offline(reason, refused);
}

void CafeClient::closeConnection()
{
    m_reporter.connectionLost();
    m_request = Request::Read;
    m_deadline.stop();
    m_coalesce.stop();
    dropNotifiers();
    m_answers.clear();
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
}

void CafeClient::dropNotifiers()
{
    // Later, not now: this may run inside the notifier's own signal.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (!notifier)
            continue;
        notifier->setEnabled(false);
        notifier->disconnect(this);
        notifier->deleteLater();
    }
    m_readNotifier = m_writeNotifier = nullptr;
    m_socket = -1;
}

void CafeClient::deadlinePassed()
{
    // A thread kept from its socket (a busy machine) may find it ready for what it waited for: the
    // server was not slow, this client was, so it goes on and the patience starts again.
    const bool read = m_readNotifier && m_readNotifier->isEnabled();
    const bool write = m_writeNotifier && m_writeNotifier->isEnabled();
    if (m_conn && (read || write) && Socket::isReady(PQsocket(m_conn), read, write)) {
        m_deadline.start(m_state == State::Connecting ? m_connectTimeoutMs : m_readTimeoutMs);
        socketReady(read);
        return;
    }
    lose(m_state == State::Connecting ? u"连接服务器超时"_s : u"服务器没有回答"_s);
}

QString CafeClient::connectionError() const
{
    const QString text =
        m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)).trimmed() : PgHelper::connectError(nullptr).description();
    return text.isEmpty() ? u"无法连接服务器"_s : text;
}
