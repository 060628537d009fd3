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

// A call of libpq's definition of Declared, looked up the first time, or fallback without libpq.
template<auto Declared> struct Forward;
template<typename Result, typename... Arguments, Result (*Declared)(Arguments...)> struct Forward<Declared>
{
    static Result call(const char *name, Result fallback, Arguments... arguments)
    {
        static const auto real = resolved(Declared, name);
        return real ? real(arguments...) : fallback;
    }
};

// The same for a function that lets go of what a pointer holds: nothing to do for a null pointer,
// which never loads libpq either.
template<auto Declared> struct Release;
template<typename Pointer, void (*Declared)(Pointer)> struct Release<Declared>
{
    static void call(const char *name, Pointer pointer)
    {
        if (!pointer)
            return;
        static const auto real = resolved(Declared, name);
        if (real)
            real(pointer);
    }
};

} // namespace

extern "C" {

int PQbackendPID(const PGconn *conn)
{
    return Forward<PQbackendPID>::call("PQbackendPID", 0, conn);
}

int PQcancel(PGcancel *cancel, char *errbuf, int errbufsize)
{
    return Forward<PQcancel>::call("PQcancel", 0, cancel, errbuf, errbufsize);
}

void PQclear(PGresult *res)
{
    Release<PQclear>::call("PQclear", res);
}

char *PQcmdStatus(PGresult *res)
{
    return Forward<PQcmdStatus>::call("PQcmdStatus", nullptr, res);
}

char *PQcmdTuples(PGresult *res)
{
    return Forward<PQcmdTuples>::call("PQcmdTuples", nullptr, res);
}

PostgresPollingStatusType PQconnectPoll(PGconn *conn)
{
    return Forward<PQconnectPoll>::call("PQconnectPoll", PGRES_POLLING_FAILED, conn);
}

PGconn *PQconnectStartParams(const char *const *keywords, const char *const *values, int expand_dbname)
{
    return Forward<PQconnectStartParams>::call("PQconnectStartParams", nullptr, keywords, values, expand_dbname);
}

PGconn *PQconnectdb(const char *conninfo)
{
    return Forward<PQconnectdb>::call("PQconnectdb", nullptr, conninfo);
}

PGconn *PQconnectdbParams(const char *const *keywords, const char *const *values, int expand_dbname)
{
    return Forward<PQconnectdbParams>::call("PQconnectdbParams", nullptr, keywords, values, expand_dbname);
}

int PQconnectionNeedsPassword(const PGconn *conn)
{
    return Forward<PQconnectionNeedsPassword>::call("PQconnectionNeedsPassword", 0, conn);
}

int PQconnectionUsedPassword(const PGconn *conn)
{
    return Forward<PQconnectionUsedPassword>::call("PQconnectionUsedPassword", 0, conn);
}

void PQconninfoFree(PQconninfoOption *connOptions)
{
    Release<PQconninfoFree>::call("PQconninfoFree", connOptions);
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
    return Forward<PQconsumeInput>::call("PQconsumeInput", 0, conn);
}

char *PQencryptPasswordConn(PGconn *conn, const char *passwd, const char *user, const char *algorithm)
{
    return Forward<PQencryptPasswordConn>::call("PQencryptPasswordConn", nullptr, conn, passwd, user, algorithm);
}

int PQenterPipelineMode(PGconn *conn)
{
    return Forward<PQenterPipelineMode>::call("PQenterPipelineMode", 0, conn);
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
    return Forward<PQescapeIdentifier>::call("PQescapeIdentifier", nullptr, conn, str, len);
}

char *PQescapeLiteral(PGconn *conn, const char *str, size_t len)
{
    return Forward<PQescapeLiteral>::call("PQescapeLiteral", nullptr, conn, str, len);
}

PGresult *PQexec(PGconn *conn, const char *query)
{
    return Forward<PQexec>::call("PQexec", nullptr, conn, query);
}

PGresult *PQexecParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                       const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                       int resultFormat)
{
    return Forward<PQexecParams>::call("PQexecParams", nullptr, conn, command, nParams, paramTypes, paramValues,
                                       paramLengths, paramFormats, resultFormat);
}

void PQfinish(PGconn *conn)
{
    Release<PQfinish>::call("PQfinish", conn);
}

int PQflush(PGconn *conn)
{
    return Forward<PQflush>::call("PQflush", -1, conn);
}

char *PQfname(const PGresult *res, int field_num)
{
    return Forward<PQfname>::call("PQfname", nullptr, res, field_num);
}

void PQfreeCancel(PGcancel *cancel)
{
    Release<PQfreeCancel>::call("PQfreeCancel", cancel);
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
    return Forward<PQgetCancel>::call("PQgetCancel", nullptr, conn);
}

PGresult *PQgetResult(PGconn *conn)
{
    return Forward<PQgetResult>::call("PQgetResult", nullptr, conn);
}

int PQgetisnull(const PGresult *res, int tup_num, int field_num)
{
    return Forward<PQgetisnull>::call("PQgetisnull", 1, res, tup_num, field_num);
}

int PQgetlength(const PGresult *res, int tup_num, int field_num)
{
    return Forward<PQgetlength>::call("PQgetlength", 0, res, tup_num, field_num);
}

char *PQgetvalue(const PGresult *res, int tup_num, int field_num)
{
    return Forward<PQgetvalue>::call("PQgetvalue", nullptr, res, tup_num, field_num);
}

int PQisBusy(PGconn *conn)
{
    return Forward<PQisBusy>::call("PQisBusy", 0, conn);
}

int PQnfields(const PGresult *res)
{
    return Forward<PQnfields>::call("PQnfields", 0, res);
}

PGnotify *PQnotifies(PGconn *conn)
{
    return Forward<PQnotifies>::call("PQnotifies", nullptr, conn);
}

int PQntuples(const PGresult *res)
{
    return Forward<PQntuples>::call("PQntuples", 0, res);
}

int PQpipelineSync(PGconn *conn)
{
    return Forward<PQpipelineSync>::call("PQpipelineSync", 0, conn);
}

void PQreset(PGconn *conn)
{
    Release<PQreset>::call("PQreset", conn);
}

char *PQresultErrorField(const PGresult *res, int fieldcode)
{
    return Forward<PQresultErrorField>::call("PQresultErrorField", nullptr, res, fieldcode);
}

ExecStatusType PQresultStatus(const PGresult *res)
{
    return Forward<PQresultStatus>::call("PQresultStatus", PGRES_FATAL_ERROR, res);
}

int PQsendQuery(PGconn *conn, const char *query)
{
    return Forward<PQsendQuery>::call("PQsendQuery", 0, conn, query);
}

int PQsendQueryParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                      const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                      int resultFormat)
{
    return Forward<PQsendQueryParams>::call("PQsendQueryParams", 0, conn, command, nParams, paramTypes, paramValues,
                                            paramLengths, paramFormats, resultFormat);
}

PQnoticeProcessor PQsetNoticeProcessor(PGconn *conn, PQnoticeProcessor proc, void *arg)
{
    return Forward<PQsetNoticeProcessor>::call("PQsetNoticeProcessor", nullptr, conn, proc, arg);
}

int PQsetnonblocking(PGconn *conn, int arg)
{
    return Forward<PQsetnonblocking>::call("PQsetnonblocking", -1, conn, arg);
}

int PQsocket(const PGconn *conn)
{
    return Forward<PQsocket>::call("PQsocket", -1, conn);
}

ConnStatusType PQstatus(const PGconn *conn)
{
    return Forward<PQstatus>::call("PQstatus", CONNECTION_BAD, conn);
}

PGTransactionStatusType PQtransactionStatus(const PGconn *conn)
{
    return Forward<PQtransactionStatus>::call("PQtransactionStatus", PQTRANS_UNKNOWN, conn);
}

} // extern "C"
