#include "cafe/PgBackend.h"

#include "cafe/ServerAddress.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"
#include "platform/Socket.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <libpq-fe.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString TransactionLost = u"连接在事务进行中断开，事务中的修改均未保存"_s;

std::atomic<int> s_statementTimeoutMs = PgBackend::StatementTimeoutMs;

QString waitText()
{
    return u"服务器 %1 秒内没有应答，已断开连接"_s.arg(QString::number(s_statementTimeoutMs / 1000.0));
}

// Asks the server to stop the statement. A server that hangs answers the request only once it runs
// again, so nobody waits for it: the request goes on a thread of its own, which frees it.
void cancelWithoutWaiting(PGconn *conn)
{
    PGcancel *cancel = PQgetCancel(conn);
    if (!cancel)
        return;
    std::thread([cancel] {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
    }).detach();
}

// Unquoted names in the statements are folded to lower case by the server.
QString folded(const QString &name)
{
    QString result = name.toLower();
    result.replace(u'"', u"\"\""_s);
    return u'"' + result + u'"';
}

// Names as the server reported them, already folded.
QString quoted(const QString &name)
{
    QString result = name;
    result.replace(u'"', u"\"\""_s);
    return u'"' + result + u'"';
}

QString valueText(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return QString();
    const int bytes = PQgetlength(result, row, column);
    if (bytes == 0)
        return QString(u""_s);
    return QString::fromUtf8(PQgetvalue(result, row, column), bytes);
}

bool isConnectionLoss(const QByteArray &state)
{
    // Class 08 is a broken connection; 57P0x the server shutting down or not yet accepting.
    return state.startsWith("08") || state == "57P01" || state == "57P02" || state == "57P03";
}

// The error of a connection attempt: a refused login is told apart from a server out of reach.
CatalogueError connectError(PGconn *conn)
{
    const QString text = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    const bool loginRefused = PQconnectionNeedsPassword(conn)
        || (PQconnectionUsedPassword(conn)
            && (text.contains(u"password"_s, Qt::CaseInsensitive) || text.contains(u"authentication"_s)
                || text.contains(u"密码"_s) || text.contains(u"认证"_s)));
    return CatalogueError(loginRefused ? CatalogueError::ServerLoginRefused : CatalogueError::ServerUnreachable, text);
}

} // namespace

void PgBackend::ResultDeleter::operator()(PGresult *result) const
{
    PQclear(result);
}

PgBackend::PgBackend(const QString &uri)
    : m_uri(uri.toUtf8())
{
    // libpq would wait for ever on a FIFO named as one of the address's files.
    if (const QString error = ServerAddress::fileOptionError(uri); !error.isEmpty())
        throw CatalogueError(CatalogueError::ServerUnreachable, error);
    m_conn = connect();
    try {
        if (!m_conn)
            throw CatalogueError(CatalogueError::ServerUnreachable, u"内存不足，无法连接服务器"_s);
        if (PQstatus(m_conn) != CONNECTION_OK)
            throw connectError(m_conn);
        run(QString::fromLatin1(CatalogueSchema::CheckSql));
        const Result writable = run(u"SELECT has_table_privilege('gamelist', 'UPDATE')"_s);
        m_readOnly = PQntuples(writable.get()) != 1 || qstrcmp(PQgetvalue(writable.get(), 0, 0), "t") != 0;
    } catch (...) {
        PQfinish(m_conn);
        m_conn = nullptr;
        throw;
    }
}

PGconn *PgBackend::connect() const
{
    // Keywords given after the URI would override it, so the defaults come first.
    const char *keywords[] = {"connect_timeout", "client_encoding", "dbname", nullptr};
    const char *values[] = {DefaultConnectTimeout, "UTF8", m_uri.constData(), nullptr};
    return PQconnectdbParams(keywords, values, 1);
}

PgBackend::~PgBackend()
{
    // An open transaction ends with the connection; the server rolls it back.
    PQfinish(m_conn);
}

void PgBackend::throwLastError() const
{
    throw CatalogueError(PQstatus(m_conn) == CONNECTION_OK ? CatalogueError::ServerFailed
                                                           : CatalogueError::ServerConnectionLost,
                         QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
}

void PgBackend::fail(const PGresult *result) const
{
    const QByteArray state = result ? QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QByteArray();
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString text = QString::fromUtf8(primary ? primary : PQerrorMessage(m_conn)).trimmed();
    if (!state.isEmpty())
        text += u" (SQLSTATE %1)"_s.arg(QString::fromLatin1(state));
    int number = CatalogueError::ServerFailed;
    if (PQstatus(m_conn) != CONNECTION_OK || isConnectionLoss(state))
        number = CatalogueError::ServerConnectionLost;
    else if (state == "42501")
        number = CatalogueError::ServerPermissionDenied;
    else if (state.startsWith("28"))
        number = CatalogueError::ServerLoginRefused;
    throw CatalogueError(number, text);
}

void PgBackend::reconnectIfLost()
{
    if (PQstatus(m_conn) == CONNECTION_OK)
        return;
    // Inside a transaction the server has already dropped its earlier writes: going on over a
    // new connection would store only the rest of them.
    if (m_inTransaction)
        throw CatalogueError(CatalogueError::ServerConnectionLost, TransactionLost);
    if (m_conn)
        PQreset(m_conn);
    else
        m_conn = connect();
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw CatalogueError(CatalogueError::ServerConnectionLost, QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
}

PgBackend::Result PgBackend::run(const QString &sql, const QList<QString> &parameters)
{
    reconnectIfLost();
    const QByteArray text = sql.toUtf8();
    int sent;
    if (parameters.isEmpty()) {
        sent = PQsendQuery(m_conn, text.constData());
    } else {
        QByteArrayList storage;
        std::vector<const char *> values;
        storage.reserve(parameters.size());
        for (const QString &parameter : parameters) {
            storage.append(parameter.toUtf8());
            values.push_back(parameter.isNull() ? nullptr : storage.constLast().constData());
        }
        sent = PQsendQueryParams(m_conn, text.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr,
                                 0);
    }
    if (!sent)
        fail(nullptr);
    Result result = awaitResult();
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
        fail(result.get());
    return result;
}

PgBackend::Result PgBackend::awaitResult()
{
    // A server that hangs keeps its sockets open and never answers: the wait has to end here.
    const QDeadlineTimer deadline(s_statementTimeoutMs);
    Result last;
    Result error;
    for (;;) {
        while (PQisBusy(m_conn) && PQstatus(m_conn) == CONNECTION_OK) {
            if (!Socket::waitReadable(PQsocket(m_conn), deadline))
                giveUp();
            if (!PQconsumeInput(m_conn))
                break;
        }
        PGresult *next = PQgetResult(m_conn);
        if (!next)
            break;
        Result current(next);
        const ExecStatusType status = PQresultStatus(next);
        // The first failure of several statements is the one to report, as a single call reports it.
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
            if (!error)
                error = std::move(current);
        } else {
            last = std::move(current);
        }
        if (PQstatus(m_conn) != CONNECTION_OK)
            break;
    }
    return error ? std::move(error) : std::move(last);
}

int PgBackend::statementTimeoutMs()
{
    return s_statementTimeoutMs;
}

void PgBackend::setStatementTimeoutMs(int milliseconds)
{
    s_statementTimeoutMs = milliseconds;
}

void PgBackend::giveUp()
{
    // A statement left running would still be carried out once the server gets to it: it is
    // cancelled, and inside a transaction the closed connection rolls back whatever got through.
    cancelWithoutWaiting(m_conn);
    abandonConnection();
    if (m_inTransaction)
        throw CatalogueError(CatalogueError::ServerConnectionLost, waitText() + u"，事务中的修改均未保存"_s);
    throw CatalogueError(CatalogueError::ServerConnectionLost, waitText());
}

void PgBackend::abandonConnection() noexcept
{
    // The server rolls back whatever this connection had begun once it sees the connection gone.
    PQfinish(m_conn);
    m_conn = nullptr;
}

void PgBackend::execute(const QString &statement)
{
    run(statement);
}

void PgBackend::begin()
{
    run(u"BEGIN"_s);
    m_inTransaction = true;
}

void PgBackend::commit()
{
    // Whatever the outcome, the transaction is over: the server committed it or dropped it.
    const bool lost = PQstatus(m_conn) != CONNECTION_OK;
    m_inTransaction = false;
    // A commit over a new connection would report success for writes the server has dropped.
    if (lost)
        throw CatalogueError(CatalogueError::ServerConnectionLost, TransactionLost);
    Result result;
    try {
        result = run(u"COMMIT"_s);
    } catch (const CatalogueError &error) {
        // The commit was sent: when its answer never came, only the server knows whether it happened.
        if (PQstatus(m_conn) != CONNECTION_OK)
            throw CatalogueError(CatalogueError::ServerOutcomeUnknown, error.description());
        throw;
    }
    // A transaction that had failed is answered with a rollback, not an error.
    if (qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0)
        throw CatalogueError(CatalogueError::ServerFailed, u"事务中有语句失败，服务器已回滚，未做任何修改"_s);
}

void PgBackend::rollback() noexcept
{
    m_inTransaction = false;
    if (PQstatus(m_conn) != CONNECTION_OK || PQtransactionStatus(m_conn) == PQTRANS_IDLE)
        return;
    try {
        run(u"ROLLBACK"_s);
    } catch (...) {
        // The server drops the transaction together with the connection.
    }
}

bool PgBackend::inTransaction() const
{
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return m_inTransaction || status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

PgBackend::SharedSnapshot PgBackend::query(const QString &sql)
{
    const Result result = run(sql);
    const PGresult *raw = result.get();
    auto snapshot = std::make_shared<CatalogueSnapshot>();
    const int columns = PQnfields(raw);
    for (int c = 1; c < columns; ++c)
        snapshot->columns.append(QString::fromUtf8(PQfname(raw, c)));
    const int rows = PQntuples(raw);
    snapshot->rows.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        CatalogueRow row;
        row.rowid = columns > 0 && !PQgetisnull(raw, r, 0) ? QByteArray(PQgetvalue(raw, r, 0)).toLongLong() : 0;
        row.values.reserve(columns - 1);
        for (int c = 1; c < columns; ++c)
            row.values.append(valueText(raw, r, c));
        snapshot->rows.append(std::move(row));
    }
    return snapshot;
}

QString PgBackend::rowKeyName(const QString &table)
{
    // The server's tables carry a key column of their own; its values are never reused.
    if (table.compare(u"GameList"_s, Qt::CaseInsensitive) == 0)
        return CatalogueSchema::GameID;
    if (table.compare(u"TypeList"_s, Qt::CaseInsensitive) == 0)
        return u"TypeID"_s;
    return QString();
}

QString PgBackend::keyedSelect(const QString &key, const QString &table, const QString &rest) const
{
    if (key.isEmpty())
        return u"Select NULL, * From "_s + table + rest;
    // Without an order the server may give the rows in any order; the file gives them as added.
    const bool ordered = rest.contains(u"order by"_s, Qt::CaseInsensitive);
    return u"Select "_s + key + u", * From "_s + table + rest + (ordered ? QString() : u" Order By "_s + key);
}

qint64 PgBackend::insertRow(const QString &table, const QString &key, const Values &values)
{
    QStringList names;
    QStringList marks;
    QList<QString> parameters;
    for (const auto &[column, value] : values) {
        names.append(quoted(column));
        parameters.append(value);
        marks.append(u"$%1"_s.arg(parameters.size()));
    }
    const QString sql = names.isEmpty()
        ? u"Insert Into %1 Default Values Returning %2"_s.arg(folded(table), folded(key))
        : u"Insert Into %1 (%2) Values (%3) Returning %4"_s.arg(folded(table), names.join(u','), marks.join(u','),
                                                                folded(key));
    const Result result = run(sql, parameters);
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

qint64 PgBackend::updateRow(const QString &table, const QString &key, qint64 rowKey, const Values &values,
                            const Values &expected)
{
    QStringList assignments;
    QList<QString> parameters;
    for (const auto &[column, value] : values) {
        parameters.append(value);
        assignments.append(u"%1=$%2"_s.arg(quoted(column)).arg(parameters.size()));
    }
    parameters.append(QString::number(rowKey));
    QStringList conditions{u"%1=$%2"_s.arg(folded(key)).arg(parameters.size())};
    for (const auto &[column, value] : expected) {
        parameters.append(value);
        conditions.append(u"%1::text IS NOT DISTINCT FROM $%2::text"_s.arg(quoted(column)).arg(parameters.size()));
    }
    const Result result =
        run(u"Update %1 Set %2 Where %3"_s.arg(folded(table), assignments.join(u','), conditions.join(u" And "_s)),
            parameters);
    return QByteArray(PQcmdTuples(result.get())).toLongLong();
}

std::optional<QList<QString>> PgBackend::readRow(const QString &table, const QString &key, qint64 rowKey)
{
    const Result result =
        run(u"Select * From %1 Where %2=$1"_s.arg(folded(table), folded(key)), {QString::number(rowKey)});
    if (PQntuples(result.get()) != 1)
        return std::nullopt;
    QList<QString> values;
    for (int c = 0; c < PQnfields(result.get()); ++c)
        values.append(valueText(result.get(), 0, c));
    return values;
}
