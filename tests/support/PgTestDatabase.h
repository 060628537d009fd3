#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct pg_conn;

// A database of its own on the private test server (scripts/pg-test-server.sh), with the catalogue's
// tables, change tracking and roles, dropped again when the object goes. The server's admin URI comes
// from JYT_PG_ADMIN_URI; without it available() is false and the test skips, unless JYT_PG_REQUIRED=1
// makes that a failure.
class PgTestDatabase
{
public:
    static constexpr char MenuPassword[] = "menu-secret";
    static constexpr char OperatorPassword[] = "operator-secret";

    // withSchema false leaves the database empty, for code that lays the schema itself.
    explicit PgTestDatabase(bool withSchema = true);
    // On another server than the shared one, given by its admin URI.
    explicit PgTestDatabase(const QString &serverUri, bool withSchema = true);
    ~PgTestDatabase();
    PgTestDatabase(const PgTestDatabase &) = delete;
    PgTestDatabase &operator=(const PgTestDatabase &) = delete;

    bool available() const { return !m_name.isEmpty(); }
    QString error() const { return m_error; }

    QString adminUri() const;
    QString menuUri() const;
    QString operatorUri() const;
    QString uriFor(const QString &user, const QString &password) const;
    // Runs SQL as the admin; returns the server's error text, empty on success.
    QString run(const QString &sql) const;

    static bool required();
    // The first column of every row of a query on an open connection, or "ERROR" and the server's
    // error code; parameter, when not null, is $1.
    static QStringList firstColumn(pg_conn *conn, const QString &sql, const QByteArray &parameter = QByteArray());

private:
    QString m_serverUri; // the admin URI of the server's own database
    QString m_name;
    QString m_error;
};

// At the top of a test: skips (or fails, when the server is required) without a test server.
#define JYT_REQUIRE_PG(db)                                                                                             \
    do {                                                                                                               \
        if (!(db).available()) {                                                                                       \
            if (PgTestDatabase::required())                                                                            \
                QFAIL(qPrintable(u"测试服务器不可用: "_qs + (db).error()));                                            \
            QSKIP("no PostgreSQL test server (run scripts/pg-test-server.sh start and export its env)");               \
        }                                                                                                              \
    } while (false)
