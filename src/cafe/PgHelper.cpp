#include "cafe/PgHelper.h"

#include "cafe/Libpq.h"

#include <libpq-fe.h>

#include <vector>

using namespace Qt::StringLiterals;

void PgHelper::ResultDeleter::operator()(PGresult *result) const
{
    PQclear(result);
}

void PgHelper::ConnectionDeleter::operator()(PGconn *conn) const
{
    PQfinish(conn);
}

bool PgHelper::succeeded(const PGresult *result)
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
}

QByteArray PgHelper::sqlState(const PGresult *result)
{
    return result ? QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QByteArray();
}

QString PgHelper::errorText(const PGconn *conn, const PGresult *result)
{
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
}

int PgHelper::errorNumber(const PGconn *conn, const QByteArray &state)
{
    // Class 08 is a broken connection; 57P0x the server shutting down or not yet accepting.
    if (PQstatus(conn) != CONNECTION_OK || state.startsWith("08") || state == "57P01" || state == "57P02"
        || state == "57P03")
        return CatalogueError::ServerConnectionLost;
    if (state == "42501")
        return CatalogueError::ServerPermissionDenied;
    if (state.startsWith("28"))
        return CatalogueError::ServerLoginRefused;
    return CatalogueError::ServerFailed;
}

CatalogueError PgHelper::error(const PGconn *conn, const PGresult *result)
{
    const QByteArray state = sqlState(result);
    QString text = errorText(conn, result);
    if (!state.isEmpty())
        text += u" (SQLSTATE %1)"_s.arg(QString::fromLatin1(state));
    return CatalogueError(errorNumber(conn, state), text);
}

bool PgHelper::sendSegments(PGconn *conn, const std::vector<Segment> &segments)
{
    for (const Segment &segment : segments) {
        for (const Statement &statement : segment) {
            std::vector<const char *> values;
            values.reserve(size_t(statement.values.size()));
            for (const QByteArray &value : statement.values)
                values.push_back(value.isNull() ? nullptr : value.constData());
            if (!PQsendQueryParams(conn, statement.sql.constData(), int(values.size()), nullptr, values.data(), nullptr,
                                   nullptr, 0))
                return false;
        }
        if (!PQpipelineSync(conn))
            return false;
    }
    return true;
}

QByteArray PgHelper::value(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return QByteArray();
    return QByteArray(PQgetvalue(result, row, column), PQgetlength(result, row, column));
}

CatalogueError PgHelper::connectError(const PGconn *conn)
{
    if (!conn)
        return CatalogueError(CatalogueError::ServerUnreachable,
                              Libpq::available() ? u"内存不足，无法连接服务器"_s
                                                 : QString::fromUtf8(Libpq::loadError()));
    const QString text = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    const bool loginRefused = PQconnectionNeedsPassword(conn)
        || (PQconnectionUsedPassword(conn)
            && (text.contains(u"password"_s, Qt::CaseInsensitive) || text.contains(u"authentication"_s)
                || text.contains(u"密码"_s) || text.contains(u"认证"_s)));
    return CatalogueError(loginRefused ? CatalogueError::ServerLoginRefused : CatalogueError::ServerUnreachable, text);
}
