#pragma once

#include "catalogue/CatalogueError.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct pg_conn;
struct pg_result;

// What libpq hands out, owned, and its failures told as the catalogue's errors, alike for the
// menu's store, the sync client and the operator tool.
class PgHelper
{
public:
    struct ResultDeleter
    {
        void operator()(pg_result *result) const;
    };
    struct ConnectionDeleter
    {
        void operator()(pg_conn *conn) const;
    };
    using Result = std::unique_ptr<pg_result, ResultDeleter>;
    using Connection = std::unique_ptr<pg_conn, ConnectionDeleter>;

    // Whether the server carried the statement out.
    static bool succeeded(const pg_result *result);
    // The failure's SQLSTATE; empty when libpq failed before the server answered.
    static QByteArray sqlState(const pg_result *result);
    // The server's own words, or the connection's last message when there are none.
    static QString errorText(const pg_conn *conn, const pg_result *result);
    // The catalogue's number for a failure with this SQLSTATE on this connection.
    static int errorNumber(const pg_conn *conn, const QByteArray &state);
    // The failure of a statement (result may be null) with its number, words and SQLSTATE.
    static CatalogueError error(const pg_conn *conn, const pg_result *result);
    // The failure of a connection attempt: a refused login is told apart from a server out of reach.
    static CatalogueError connectError(const pg_conn *conn);
};
