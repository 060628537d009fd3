#pragma once

#include "catalogue/CatalogueError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

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

    // One statement and its values, which travel bound, never pasted into the text; a null value is NULL.
    struct Statement
    {
        QByteArray sql;
        QList<QByteArray> values;
    };
    // Statements the server runs as one unit: one transaction, unless they open one of their own.
    using Segment = std::vector<Statement>;
    // The server's answer to one segment: the rows of each statement that returned rows, and the
    // first failure's words (empty when every statement was carried out).
    struct SegmentAnswer
    {
        std::vector<Result> rows;
        QString error;
    };

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
    // Queues the segments on a connection in pipeline mode, each ended by a sync, so that one failing
    // segment leaves the others carried out; false when libpq refused (the connection's error says why).
    static bool sendSegments(pg_conn *conn, const std::vector<Segment> &segments);
    // Text of a value as a server returned it; a null QByteArray for NULL.
    static QByteArray value(const pg_result *result, int row, int column);
    // The failure of a connection attempt: a refused login is told apart from a server out of reach.
    static CatalogueError connectError(const pg_conn *conn);
};
