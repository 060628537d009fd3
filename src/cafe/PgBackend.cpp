#include "cafe/PgBackend.h"

#include "cafe/PgHelper.h"
#include "cafe/ServerAddress.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/StatementBuilder.h"
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

QString valueText(const PGresult *result, int row, int column)
{
    return StatementBuilder::text(PQgetvalue(result, row, column), PQgetlength(result, row, column),
                                  PQgetisnull(result, row, column));
}

// Unquoted names in the windows' statements are folded to lower case by the server.
const StatementBuilder::Dialect Dialect{.numbersParameters = true,
                                        .foldsNames = true,
                                        .sameText = u"%1::text IS NOT DISTINCT FROM %2::text"_s,
                                        .returningKey = u" Returning %1"_s};

} // namespace

PgBackend::PgBackend(const QString &uri)
    : m_uri(uri.toUtf8())
{
    // libpq would wait for ever on a FIFO named as one of the address's files.
    if (const QString error = ServerAddress::fileOptionError(uri); !error.isEmpty())
        throw CatalogueError(CatalogueError::ServerUnreachable, error);
    m_conn = connect();
    try {
        if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
            throw PgHelper::connectError(m_conn);
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
    throw PgHelper::error(m_conn, result);
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
    if (!PgHelper::succeeded(result.get()))
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
        // The first failure of several statements is the one to report, as a single call reports it.
        if (!PgHelper::succeeded(next)) {
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

void PgBackend::forEachRow(const QString &sql, const QStringList &columns,
                           const std::function<void(const Cell *)> &onRow)
{
    const Result result = run(sql);
    const PGresult *raw = result.get();
    QStringList names;
    for (int c = 0; c < PQnfields(raw); ++c)
        names.append(QString::fromUtf8(PQfname(raw, c)));
    QList<int> places;
    for (const QString &column : columns)
        places.append(StatementBuilder::columnOf(names, column));
    // Every value comes as the text the server made of it.
    std::vector<Cell> cells(places.size());
    for (int r = 0; r < PQntuples(raw); ++r) {
        for (qsizetype i = 0; i < places.size(); ++i) {
            const bool isNull = PQgetisnull(raw, r, places[i]);
            cells[i] = {PQgetvalue(raw, r, places[i]), PQgetlength(raw, r, places[i]),
                        isNull ? Cell::Null : Cell::Text};
        }
        onRow(cells.data());
    }
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
    QList<QString> parameters;
    for (const auto &[column, value] : values)
        parameters.append(value);
    const Result result = run(StatementBuilder(Dialect).insert(table, key, values), parameters);
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

qint64 PgBackend::updateRow(const QString &table, const QString &key, qint64 rowKey, const Values &values,
                            const Values &expected)
{
    const StatementBuilder::Update update = StatementBuilder(Dialect).update(table, key, values, expected);
    QList<QString> parameters;
    for (const auto &[column, value] : values)
        parameters.append(value);
    parameters.append(QString::number(rowKey));
    for (const auto &[column, value] : update.compared)
        parameters.append(value);
    const Result result = run(update.sql, parameters);
    return QByteArray(PQcmdTuples(result.get())).toLongLong();
}

std::optional<QList<QString>> PgBackend::readRow(const QString &table, const QString &key, qint64 rowKey)
{
    const Result result = run(StatementBuilder(Dialect).selectRow(table, key), {QString::number(rowKey)});
    if (PQntuples(result.get()) != 1)
        return std::nullopt;
    QList<QString> values;
    for (int c = 0; c < PQnfields(result.get()); ++c)
        values.append(valueText(result.get(), 0, c));
    return values;
}

void PgBackend::holdTablesForWriting()
{
    // Other operators' writes wait (this mode conflicts with every write and with itself); the menus'
    // reads go on.
    run(u"LOCK TABLE TypeList, GameList IN SHARE ROW EXCLUSIVE MODE"_s);
}

qint64 PgBackend::moveGames(const QString &fromType, const QString &toType)
{
    const Result result = run(u"UPDATE GameList SET GameType = $2 WHERE GameType = $1"_s, {fromType, toType});
    return QByteArray(PQcmdTuples(result.get())).toLongLong();
}
