#pragma once

#include "CatalogueFixture.h"
#include "PgTestDatabase.h"

#include <QTest>

#include <optional>

// Runs a test body on both stores a catalogue lives in: the catalogue file in a temporary program
// directory (row "on file"), and a database of its own on the test server, reached as the operator
// (row "on server"). The rows go into the test function's data table, or into initTestCase_data()
// for every function; the body makes one object, which opens the catalogue of its row, and closes it
// and drops the database when it goes.
class BothStores
{
public:
    static constexpr char Column[] = "onServer";

    // The column and both rows, for a table with no other column.
    static void addRows();
    // For a table with more columns: the column first, then each row followed by its other values.
    static void addColumn();
    static QTestData &fileRow();
    static QTestData &serverRow();

    // The store of the current row: the function's own row when it has a table, else the global row.
    BothStores();
    BothStores(const BothStores &) = delete;
    BothStores &operator=(const BothStores &) = delete;

    bool onServer() const { return m_server.has_value(); }
    // False on the server row without a test server (JYT_REQUIRE_PG skips then).
    bool available() const { return !m_server || m_server->available(); }
    QString error() const { return m_server ? m_server->error() : QString(); }
    // The row's database; null on the file row.
    const PgTestDatabase *server() const { return m_server ? &*m_server : nullptr; }

    // Opens the row's catalogue as the shared connection, holding these rows.
    CatalogueFixture &open(const QStringList &categories = {}, const QList<GameRow> &games = {});

private:
    std::optional<PgTestDatabase> m_server;
    std::optional<CatalogueFixture> m_fixture; // declared last: closed before the database is dropped
};

// At the top of a test body run on both stores: `stores` for the current row, skipped (or failed,
// when the server is required) without a test server, and `fixture`, its catalogue, opened with the
// rest of the arguments.
#define JYT_BOTH_STORES(stores, fixture, ...)                                                                          \
    BothStores stores;                                                                                                 \
    JYT_REQUIRE_PG(stores);                                                                                            \
    [[maybe_unused]] CatalogueFixture &fixture = stores.open(__VA_ARGS__)
