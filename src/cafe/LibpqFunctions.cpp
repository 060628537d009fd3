#include "cafe/Libpq.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <string>

// The libpq functions the project calls, with libpq's own prototypes (the header checks each one), each
// forwarding to libpq's definition, looked up the first time it is called. Without libpq they answer as
// libpq does when no connection could be made: every connection attempt gives null, and a null
// connection's message says why libpq is missing.

namespace {

// libpq's definition of the function declared as function, or null without libpq.
template<typename Function> Function *resolved(Function *, const char *name)
{
    return reinterpret_cast<Function *>(Libpq::resolve(name));
}

} // namespace

extern "C" {

int PQbackendPID(const PGconn *conn)
{
    static const auto real = resolved(PQbackendPID, "PQbackendPID");
    return real ? real(conn) : 0;
}

int PQcancel(PGcancel *cancel, char *errbuf, int errbufsize)
{
    static const auto real = resolved(PQcancel, "PQcancel");
    return real ? real(cancel, errbuf, errbufsize) : 0;
}

void PQclear(PGresult *res)
{
    if (!res)
        return;
    static const auto real = resolved(PQclear, "PQclear");
    if (real)
        real(res);
}

char *PQcmdStatus(PGresult *res)
{
    static const auto real = resolved(PQcmdStatus, "PQcmdStatus");
    return real ? real(res) : nullptr;
}

char *PQcmdTuples(PGresult *res)
{
    static const auto real = resolved(PQcmdTuples, "PQcmdTuples");
    return real ? real(res) : nullptr;
}

PostgresPollingStatusType PQconnectPoll(PGconn *conn)
{
    static const auto real = resolved(PQconnectPoll, "PQconnectPoll");
    return real ? real(conn) : PGRES_POLLING_FAILED;
}

PGconn *PQconnectStartParams(const char *const *keywords, const char *const *values, int expand_dbname)
{
    static const auto real = resolved(PQconnectStartParams, "PQconnectStartParams");
    return real ? real(keywords, values, expand_dbname) : nullptr;
}

PGconn *PQconnectdb(const char *conninfo)
{
    static const auto real = resolved(PQconnectdb, "PQconnectdb");
    return real ? real(conninfo) : nullptr;
}

PGconn *PQconnectdbParams(const char *const *keywords, const char *const *values, int expand_dbname)
{
    static const auto real = resolved(PQconnectdbParams, "PQconnectdbParams");
    return real ? real(keywords, values, expand_dbname) : nullptr;
}

int PQconnectionNeedsPassword(const PGconn *conn)
{
    static const auto real = resolved(PQconnectionNeedsPassword, "PQconnectionNeedsPassword");
    return real ? real(conn) : 0;
}

int PQconnectionUsedPassword(const PGconn *conn)
{
    static const auto real = resolved(PQconnectionUsedPassword, "PQconnectionUsedPassword");
    return real ? real(conn) : 0;
}

void PQconninfoFree(PQconninfoOption *connOptions)
{
    if (!connOptions)
        return;
    static const auto real = resolved(PQconninfoFree, "PQconninfoFree");
    if (real)
        real(connOptions);
}

PQconninfoOption *PQconninfoParse(const char *conninfo, char **errmsg)
{
    static const auto real = resolved(PQconninfoParse, "PQconninfoParse");
    if (real)
        return real(conninfo, errmsg);
    // The caller frees the message with PQfreemem, which is free() without libpq.
    if (errmsg) {
        const QByteArray why = Libpq::loadError();
        *errmsg = static_cast<char *>(std::malloc(size_t(why.size()) + 1));
        if (*errmsg)
            std::memcpy(*errmsg, why.constData(), size_t(why.size()) + 1);
    }
    return nullptr;
}

int PQconsumeInput(PGconn *conn)
{
    static const auto real = resolved(PQconsumeInput, "PQconsumeInput");
    return real ? real(conn) : 0;
}

char *PQencryptPasswordConn(PGconn *conn, const char *passwd, const char *user, const char *algorithm)
{
    static const auto real = resolved(PQencryptPasswordConn, "PQencryptPasswordConn");
    return real ? real(conn, passwd, user, algorithm) : nullptr;
}

int PQenterPipelineMode(PGconn *conn)
{
    static const auto real = resolved(PQenterPipelineMode, "PQenterPipelineMode");
    return real ? real(conn) : 0;
}

char *PQerrorMessage(const PGconn *conn)
{
    static const auto real = resolved(PQerrorMessage, "PQerrorMessage");
    if (real)
        return real(conn);
    static std::string why = (Libpq::loadError() + '\n').toStdString();
    return why.data();
}

char *PQescapeIdentifier(PGconn *conn, const char *str, size_t len)
{
    static const auto real = resolved(PQescapeIdentifier, "PQescapeIdentifier");
    return real ? real(conn, str, len) : nullptr;
}

char *PQescapeLiteral(PGconn *conn, const char *str, size_t len)
{
    static const auto real = resolved(PQescapeLiteral, "PQescapeLiteral");
    return real ? real(conn, str, len) : nullptr;
}

PGresult *PQexec(PGconn *conn, const char *query)
{
    static const auto real = resolved(PQexec, "PQexec");
    return real ? real(conn, query) : nullptr;
}

PGresult *PQexecParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                       const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                       int resultFormat)
{
    static const auto real = resolved(PQexecParams, "PQexecParams");
    return real ? real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat)
                : nullptr;
}

void PQfinish(PGconn *conn)
{
    if (!conn)
        return;
    static const auto real = resolved(PQfinish, "PQfinish");
    if (real)
        real(conn);
}

int PQflush(PGconn *conn)
{
    static const auto real = resolved(PQflush, "PQflush");
    return real ? real(conn) : -1;
}

char *PQfname(const PGresult *res, int field_num)
{
    static const auto real = resolved(PQfname, "PQfname");
    return real ? real(res, field_num) : nullptr;
}

void PQfreeCancel(PGcancel *cancel)
{
    if (!cancel)
        return;
    static const auto real = resolved(PQfreeCancel, "PQfreeCancel");
    if (real)
        real(cancel);
}

void PQfreemem(void *ptr)
{
    if (!ptr)
        return;
    static const auto real = resolved(PQfreemem, "PQfreemem");
    if (real)
        real(ptr);
    else
        std::free(ptr);
}

PGcancel *PQgetCancel(PGconn *conn)
{
    static const auto real = resolved(PQgetCancel, "PQgetCancel");
    return real ? real(conn) : nullptr;
}

PGresult *PQgetResult(PGconn *conn)
{
    static const auto real = resolved(PQgetResult, "PQgetResult");
    return real ? real(conn) : nullptr;
}

int PQgetisnull(const PGresult *res, int tup_num, int field_num)
{
    static const auto real = resolved(PQgetisnull, "PQgetisnull");
    return real ? real(res, tup_num, field_num) : 1;
}

int PQgetlength(const PGresult *res, int tup_num, int field_num)
{
    static const auto real = resolved(PQgetlength, "PQgetlength");
    return real ? real(res, tup_num, field_num) : 0;
}

char *PQgetvalue(const PGresult *res, int tup_num, int field_num)
{
    static const auto real = resolved(PQgetvalue, "PQgetvalue");
    return real ? real(res, tup_num, field_num) : nullptr;
}

int PQisBusy(PGconn *conn)
{
    static const auto real = resolved(PQisBusy, "PQisBusy");
    return real ? real(conn) : 0;
}

int PQnfields(const PGresult *res)
{
    static const auto real = resolved(PQnfields, "PQnfields");
    return real ? real(res) : 0;
}

PGnotify *PQnotifies(PGconn *conn)
{
    static const auto real = resolved(PQnotifies, "PQnotifies");
    return real ? real(conn) : nullptr;
}

int PQntuples(const PGresult *res)
{
    static const auto real = resolved(PQntuples, "PQntuples");
    return real ? real(res) : 0;
}

int PQpipelineSync(PGconn *conn)
{
    static const auto real = resolved(PQpipelineSync, "PQpipelineSync");
    return real ? real(conn) : 0;
}

void PQreset(PGconn *conn)
{
    if (!conn)
        return;
    static const auto real = resolved(PQreset, "PQreset");
    if (real)
        real(conn);
}

char *PQresultErrorField(const PGresult *res, int fieldcode)
{
    static const auto real = resolved(PQresultErrorField, "PQresultErrorField");
    return real ? real(res, fieldcode) : nullptr;
}

ExecStatusType PQresultStatus(const PGresult *res)
{
    static const auto real = resolved(PQresultStatus, "PQresultStatus");
    return real ? real(res) : PGRES_FATAL_ERROR;
}

int PQsendQuery(PGconn *conn, const char *query)
{
    static const auto real = resolved(PQsendQuery, "PQsendQuery");
    return real ? real(conn, query) : 0;
}

int PQsendQueryParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                      const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                      int resultFormat)
{
    static const auto real = resolved(PQsendQueryParams, "PQsendQueryParams");
    return real ? real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat) : 0;
}

PQnoticeProcessor PQsetNoticeProcessor(PGconn *conn, PQnoticeProcessor proc, void *arg)
{
    static const auto real = resolved(PQsetNoticeProcessor, "PQsetNoticeProcessor");
    return real ? real(conn, proc, arg) : nullptr;
}

int PQsetnonblocking(PGconn *conn, int arg)
{
    static const auto real = resolved(PQsetnonblocking, "PQsetnonblocking");
    return real ? real(conn, arg) : -1;
}

int PQsocket(const PGconn *conn)
{
    static const auto real = resolved(PQsocket, "PQsocket");
    return real ? real(conn) : -1;
}

ConnStatusType PQstatus(const PGconn *conn)
{
    static const auto real = resolved(PQstatus, "PQstatus");
    return real ? real(conn) : CONNECTION_BAD;
}

PGTransactionStatusType PQtransactionStatus(const PGconn *conn)
{
    static const auto real = resolved(PQtransactionStatus, "PQtransactionStatus");
    return real ? real(conn) : PQTRANS_UNKNOWN;
}

} // extern "C"
