#include "cafe/CafeClient.h"

#include "cafe/CopySyncState.h"
#include "cafe/RoomSchema.h"
#include "cafe/ServerAddress.h"
#include "cafe/ServerSchema.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
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
QByteArray readSql(const QByteArray &horizon, bool roomSchema)
{
    const QByteArray since = "'" + horizon + "'";
    QByteArray sql = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY;";
    sql += QByteArray(ServerSchema::HorizonSql) + ';';
    if (roomSchema)
        sql += QByteArray(RoomSchema::IdentitySql) + ';';
    sql += QByteArray(ServerSchema::DeletedRowsSql).replace("$1", since) + ';';
    sql += QByteArray(ServerSchema::ChangedTypesSql).replace("$1", since) + ';';
    sql += QByteArray(ServerSchema::ChangedGamesSql).replace("$1", since) + ';';
    sql += "COMMIT";
    return sql;
}

QByteArray value(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return QByteArray();
    return QByteArray(PQgetvalue(result, row, column), PQgetlength(result, row, column));
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
    bool ok = false;
    text.toULongLong(&ok);
    return ok;
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
    m_hotRefresh.setInterval(HotRefreshMs);
    connect(&m_hotRefresh, &QTimer::timeout, this, [this] {
        m_hotFetchDue = !m_hotRule.isEmpty();
        sendNext();
    });
    m_presence.setSingleShot(true);
    connect(&m_presence, &QTimer::timeout, this, [this] {
        m_helloDue = true;
        sendNext();
    });
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

void CafeClient::setStartingCopy(const CatalogueCopy &rows)
{
    m_rows = rows;
    m_horizon = rows.horizon().isEmpty() ? QByteArray("0") : rows.horizon();
    m_rowsFromCopy = m_horizon != "0";
    m_startingCopySet = true;
}

void CafeClient::start()
{
    if (m_state != State::Stopped)
        return;
    if (!m_startingCopySet)
        loadCopy();
    connectToServer();
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

void CafeClient::recordLaunch(qint64 gameId, const QString &gameName)
{
    if (m_launches.add(gameId, gameName.toUtf8()))
        qWarning("too many game starts waiting for the server: one is dropped");
    sendNext();
}

void CafeClient::stop()
{
    m_presence.stop();
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
            connect(m_readNotifier, &QSocketNotifier::activated, this, &CafeClient::socketReady);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &CafeClient::socketReady);
        }
    }
    if (m_readNotifier)
        m_readNotifier->setEnabled(read);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(write);
}

void CafeClient::socketReady()
{
    if (m_state == State::Connecting) {
        pollConnect();
        return;
    }
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
        PQsetnonblocking(m_conn, 1);
        m_freshConnection = true;
        // Listening is committed before the first read's snapshot, so no commit falls between them.
        m_subscribing = true;
        m_helloDue = false;
        sendQuery(QByteArray("LISTEN ") + ServerSchema::Channel + ';' + RoomSchema::PresentSql);
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
    m_request = Request::Read;
    sendQuery(readSql(m_horizon, m_roomSchema));
}

void CafeClient::sendQuery(const QByteArray &sql)
{
    m_readError.clear();
    if (!PQsendQuery(m_conn, sql.constData())) {
        lose(connectionError());
        return;
    }
    m_state = State::Reading;
    m_deadline.start(ReadTimeoutMs);
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
        PgHelper::Result result(PQgetResult(m_conn));
        if (!result) {
            finishRead();
            break;
        }
        collectResult(std::move(result));
    }
    if (!m_conn)
        return;
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
    if (PQresultStatus(result.get()) == PGRES_TUPLES_OK)
        m_results.push_back(std::move(result));
    else if (!PgHelper::succeeded(result.get()) && m_readError.isEmpty())
        m_readError = PgHelper::error(m_conn, result.get()).description();
}

void CafeClient::finishRead()
{
    m_deadline.stop();
    m_state = State::Listening;
    if (m_subscribing) {
        m_subscribing = false;
        m_roomSchema =
            m_results.size() == 1 && PQntuples(m_results.at(0).get()) == 1 && value(m_results.at(0).get(), 0, 0) == "t";
        m_results.clear();
        if (m_readError.isEmpty())
            sendRead();
        else
            lose(m_readError);
        return;
    }
    if (m_request != Request::Read)
        finishRoomRequest();
    else if (!finishCatalogueRead())
        return;
    sendNext();
}

bool CafeClient::finishCatalogueRead()
{
    const size_t expected = m_roomSchema ? 5 : 4;
    const bool complete = m_readError.isEmpty() && m_results.size() == expected;
    const bool changed = complete && applyRead();
    m_results.clear();
    if (!complete) {
        lose(m_readError.isEmpty() ? u"服务器的回答不完整"_s : m_readError);
        return false;
    }
    if (m_state != State::Listening)
        return false; // applyRead asked for a full read
    if (changed || !m_copyWritten)
        writeCopy();
    const bool announce = changed || m_freshConnection;
    if (m_freshConnection && !m_clientName.isEmpty())
        m_presence.start(QRandomGenerator::global()->bounded(HelloSpreadMs));
    m_freshConnection = false;
    m_online = true;
    m_offlineReported = false;
    m_retryMs = FirstRetryMs;
    if (announce)
        Q_EMIT synced();
    return true;
}

void CafeClient::finishRoomRequest()
{
    const Request request = m_request;
    m_request = Request::Read;
    if (request == Request::Hot) {
        takeHotRanking();
    } else if (request == Request::Hello) {
        if (!m_readError.isEmpty())
            qWarning("the server did not take this PC's name: %s", qUtf8Printable(m_readError));
        else if (m_results.size() == 1 && PQntuples(m_results.at(0).get()) == 1)
            m_serverOffsetMs =
                qint64(value(m_results.at(0).get(), 0, 0).toDouble() * 1000.0) - QDateTime::currentMSecsSinceEpoch();
    } else {
        if (!m_readError.isEmpty())
            qWarning("the server refused the game starts sent: %s", qUtf8Printable(m_readError));
        for (const QString &outcome : m_launches.answered(m_results))
            Q_EMIT launchAnswered(outcome);
    }
    m_results.clear();
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
    if (m_hotFetchDue) {
        m_hotFetchDue = false;
        m_request = Request::Hot;
        sendQuery(RoomSchema::HotGamesSql);
        return;
    }
    if (m_clientName.isEmpty())
        return;
    if (m_helloDue) {
        // Again in a while, for the operator's 最后在线, whatever the answer.
        m_helloDue = false;
        m_presence.start(PresenceMs);
        char *name = PQescapeLiteral(m_conn, m_clientName.constData(), size_t(m_clientName.size()));
        if (!name)
            return;
        const QByteArray sql = "SELECT extract(epoch FROM room_client_hello(" + QByteArray(name) + "))";
        PQfreemem(name);
        m_request = Request::Hello;
        sendQuery(sql);
    } else if (!m_launches.isEmpty()) {
        m_request = Request::Launches;
        sendQuery(m_launches.sendSql(m_conn, m_clientName, m_serverOffsetMs));
    }
}

bool CafeClient::applyRead()
{
    const PGresult *horizonRows = m_results[0].get();
    const QByteArray horizon = PQntuples(horizonRows) == 1 ? value(horizonRows, 0, 0) : QByteArray();
    if (!isNumber(horizon)) {
        m_readError = u"服务器返回了无法识别的版本号"_s;
        return false;
    }
    if (needsFullRead(horizon)) {
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
    const PGresult *deleted = m_results.at(first).get();
    for (int row = 0; row < PQntuples(deleted); ++row) {
        const qint64 key = value(deleted, row, 1).toLongLong();
        changed |= value(deleted, row, 0) == "gamelist" ? m_rows.eraseGame(key) : m_rows.eraseType(key);
    }
    const PGresult *types = m_results.at(first + 1).get();
    for (int row = 0; row < PQntuples(types); ++row)
        changed |= m_rows.setType(value(types, row, 0).toLongLong(), value(types, row, 1));
    const PGresult *games = m_results.at(first + 2).get();
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
    const QByteArray catalogueId =
        m_roomSchema && PQntuples(m_results.at(1).get()) == 1 ? value(m_results.at(1).get(), 0, 0) : QByteArray();
    m_rows.setSource(catalogueId, horizon);
    if (m_roomSchema && PQntuples(m_results.at(1).get()) == 1) {
        const PGresult *identity = m_results.at(1).get();
        noteHotRule(PQgetisnull(identity, 0, 2) ? QByteArray() : value(identity, 0, 2) + '/' + value(identity, 0, 3));
    }
    return changed;
}

void CafeClient::noteHotRule(const QByteArray &rule)
{
    if (rule == m_hotRule)
        return;
    m_hotRule = rule;
    if (!rule.isEmpty()) {
        m_hotFetchDue = true;
        m_hotRefresh.start();
        return;
    }
    m_hotRefresh.stop();
    m_hotFetchDue = false;
    if (std::exchange(m_hotPlayed, false))
        Q_EMIT hotRanking(false, {});
}

void CafeClient::takeHotRanking()
{
    if (!m_readError.isEmpty() || m_results.size() != 1) {
        qWarning("the server did not give the Hot tab's ranking: %s", qUtf8Printable(m_readError));
        return;
    }
    QList<qint64> games;
    for (int row = 0; row < PQntuples(m_results.at(0).get()); ++row)
        games.append(value(m_results.at(0).get(), row, 0).toLongLong());
    if (m_hotPlayed && games == m_hotGames)
        return;
    m_hotPlayed = true;
    m_hotGames = games;
    Q_EMIT hotRanking(true, games);
}

bool CafeClient::needsFullRead(const QByteArray &horizon)
{
    if (m_horizon == "0")
        return false; // nothing held: this read takes everything anyway
    // Numbers never go back on one server: a smaller one is another server.
    if (horizon.toULongLong() < m_horizon.toULongLong())
        return true;
    // A copy from an earlier run is trusted only when the server can name its catalogue.
    if (!m_roomSchema || PQntuples(m_results.at(1).get()) != 1)
        return m_rowsFromCopy;
    // Another catalogue (push --replace gives a new one), or deletion markers since the rows' horizon pruned.
    const QByteArray catalogueId = value(m_results.at(1).get(), 0, 0);
    if (catalogueId != m_rows.catalogueId() && (m_rowsFromCopy || !m_rows.catalogueId().isEmpty()))
        return true;
    const QByteArray oldest = value(m_results.at(1).get(), 0, 1);
    return !isNumber(oldest) || m_horizon.toULongLong() < oldest.toULongLong();
}

void CafeClient::writeCopy()
{
    if (!m_writesCopy)
        return;
    QElapsedTimer timer;
    timer.start();
    const auto timed = qScopeGuard([this, &timer] {
        ++m_copyWrites;
        m_copyWriteNs += timer.nsecsElapsed();
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
    const int delay = int(m_retryMs * (0.5 + QRandomGenerator::global()->generateDouble() * 0.5));
    m_retryMs = qMin(m_retryMs * 2, LongestRetryMs);
    m_retry.start(delay);
    if (report)
        Q_EMIT offline(reason, refused);
}

void CafeClient::closeConnection()
{
    m_subscribing = false;
    m_presence.stop();
    m_request = Request::Read;
    m_launches.unsent();
    m_deadline.stop();
    m_coalesce.stop();
    dropNotifiers();
    m_results.clear();
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
    lose(m_state == State::Connecting ? u"连接服务器超时"_s : u"服务器没有回答"_s);
}

QString CafeClient::connectionError() const
{
    const QString text = m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)).trimmed() : QString();
    return text.isEmpty() ? u"无法连接服务器"_s : text;
}
