#include "PgTestDatabase.h"

#include "cafe/RoomSchema.h"
#include "cafe/ServerSchema.h"

#include <QRandomGenerator>
#include <QUrl>

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace {

QString runOn(const QString &uri, const QString &sql)
{
    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    QString error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = QString::fromUtf8(PQerrorMessage(conn));
    } else {
        PGresult *result = PQexec(conn, sql.toUtf8().constData());
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            error = QString::fromUtf8(PQerrorMessage(conn));
        PQclear(result);
    }
    PQfinish(conn);
    return error;
}

QString withDatabase(const QString &uri, const QString &database)
{
    QUrl url(uri);
    url.setPath(u'/' + database);
    return url.toString();
}

QString ensureRole(const char *role, const char *password)
{
    return u"DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 LOGIN; END IF; "
           "END $$; ALTER ROLE %1 LOGIN PASSWORD '%2';"_s.arg(QString::fromLatin1(role), QString::fromLatin1(password));
}

} // namespace

PgTestDatabase::PgTestDatabase(bool withSchema)
    : PgTestDatabase(qEnvironmentVariable("JYT_PG_ADMIN_URI"), withSchema)
{
}

PgTestDatabase::PgTestDatabase(const QString &serverUri, bool withSchema)
    : m_serverUri(serverUri)
{
    if (m_serverUri.isEmpty()) {
        m_error = u"JYT_PG_ADMIN_URI 未设置"_s;
        return;
    }
    const QString name = u"jyt_test_%1"_s.arg(QRandomGenerator::global()->generate64(), 0, 16);
    m_error = runOn(m_serverUri, u"CREATE DATABASE "_s + name);
    if (!m_error.isEmpty())
        return;
    m_name = name;
    if (!withSchema)
        return;
    // Roles belong to the whole server; several test databases share them and their passwords. Test
    // programs run side by side, so the roles are made under a lock: two at once fail on the same row.
    const QString roles = u"BEGIN; SELECT pg_advisory_xact_lock(727001);"_s
        + ensureRole(ServerSchema::MenuRole, MenuPassword) + ensureRole(ServerSchema::OperatorRole, OperatorPassword)
        + u"COMMIT;"_s;
    m_error = runOn(m_serverUri, roles);
    if (m_error.isEmpty())
        m_error =
            run(u"BEGIN;"_s + QString::fromUtf8(ServerSchema::CreateSql) + QString::fromUtf8(ServerSchema::GrantSql)
                + QString::fromUtf8(RoomSchema::CreateSql) + QString::fromUtf8(RoomSchema::GrantSql)
                + u"GRANT CONNECT ON DATABASE "_s + m_name + u" TO juyoutai_menu, juyoutai_operator; COMMIT;"_s);
    if (!m_error.isEmpty())
        m_name.clear();
}

PgTestDatabase::~PgTestDatabase()
{
    if (!m_name.isEmpty())
        runOn(m_serverUri, u"DROP DATABASE IF EXISTS "_s + m_name + u" WITH (FORCE)"_s);
}

QString PgTestDatabase::adminUri() const
{
    return withDatabase(m_serverUri, m_name);
}

QString PgTestDatabase::uriFor(const QString &user, const QString &password) const
{
    QUrl url(adminUri());
    url.setUserName(user);
    url.setPassword(password);
    return url.toString();
}

QString PgTestDatabase::menuUri() const
{
    return uriFor(QString::fromLatin1(ServerSchema::MenuRole), QString::fromLatin1(MenuPassword));
}

QString PgTestDatabase::operatorUri() const
{
    return uriFor(QString::fromLatin1(ServerSchema::OperatorRole), QString::fromLatin1(OperatorPassword));
}

QString PgTestDatabase::run(const QString &sql) const
{
    return runOn(adminUri(), sql);
}

QStringList PgTestDatabase::firstColumn(PGconn *conn, const QString &sql, const QByteArray &parameter)
{
    const char *values[] = {parameter.constData()};
    PGresult *result =
        PQexecParams(conn, sql.toUtf8().constData(), parameter.isNull() ? 0 : 1, nullptr, values, nullptr, nullptr, 0);
    QStringList out;
    if (PQresultStatus(result) == PGRES_TUPLES_OK) {
        for (int r = 0; r < PQntuples(result); ++r)
            out.append(QString::fromUtf8(PQgetvalue(result, r, 0)));
    } else if (PQresultStatus(result) != PGRES_COMMAND_OK) {
        out.append(u"ERROR "_s + QString::fromUtf8(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
    }
    PQclear(result);
    return out;
}

bool PgTestDatabase::required()
{
    return qEnvironmentVariable("JYT_PG_REQUIRED") == u"1"_s;
}
