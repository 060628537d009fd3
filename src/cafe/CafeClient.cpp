#include "cafe/CafeClient.h"

#include "cafe/ServerAddress.h"
#include "cafe/ServerSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace {

// One round trip: the horizon and every change since the last read, all from one snapshot.
QByteArray readSql(const QByteArray &horizon)
{
    const QByteArray since = "'" + horizon + "'";
    QByteArray sql = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY;";
    sql += QByteArray(ServerSchema::HorizonSql) + ';';
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

void CafeClient::start()
{
    if (m_state == State::Stopped)
        connectToServer();
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
        sendQuery(QByteArray("LISTEN ") + ServerSchema::Channel);
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
    sendQuery(readSql(m_horizon));
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
        if (m_readError.isEmpty())
            sendRead();
        else
            lose(m_readError);
        return;
    }
    const bool changed = m_readError.isEmpty() && m_results.size() == 4 && applyRead();
    const bool complete = m_readError.isEmpty() && m_results.size() == 4;
    m_results.clear();
    if (!complete) {
        lose(m_readError.isEmpty() ? u"服务器的回答不完整"_s : m_readError);
        return;
    }
    if (m_state != State::Listening)
        return; // applyRead asked for a full read
    if (changed || !m_copyWritten)
        writeCopy();
    const bool announce = changed || m_freshConnection;
    m_freshConnection = false;
    m_online = true;
    m_offlineReported = false;
    m_retryMs = FirstRetryMs;
    if (announce)
        Q_EMIT synced();
    if (m_changePending)
        m_coalesce.start(CoalesceMs);
}

bool CafeClient::applyRead()
{
    const PGresult *horizonRows = m_results[0].get();
    const QByteArray horizon = PQntuples(horizonRows) == 1 ? value(horizonRows, 0, 0) : QByteArray();
    if (!isNumber(horizon)) {
        m_readError = u"服务器返回了无法识别的版本号"_s;
        return false;
    }
    if (horizon.toULongLong() < m_horizon.toULongLong()) {
        // Numbers never go back on one server: this is another one, so everything is read again.
        m_rows.clear();
        m_copyWritten = false;
        m_horizon = "0";
        sendRead();
        return false;
    }
    bool changed = false;
    const PGresult *deleted = m_results[1].get();
    for (int row = 0; row < PQntuples(deleted); ++row) {
        const qint64 key = value(deleted, row, 1).toLongLong();
        changed |= value(deleted, row, 0) == "gamelist" ? m_rows.eraseGame(key) : m_rows.eraseType(key);
    }
    const PGresult *types = m_results[2].get();
    for (int row = 0; row < PQntuples(types); ++row)
        changed |= m_rows.setType(value(types, row, 0).toLongLong(), value(types, row, 1));
    const PGresult *games = m_results[3].get();
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
    m_horizon = horizon;
    return changed;
}

void CafeClient::writeCopy()
{
    if (!m_writesCopy)
        return;
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
