#pragma once

#include "cafe/PgHelper.h"
#include "catalogue/CatalogueBackend.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <memory>

struct pg_conn;
struct pg_result;

// The catalogue on a PostgreSQL server. Nothing is kept between queries: other PCs change the rows.
class PgBackend : public CatalogueBackend
{
public:
    // Connects with a libpq URI (giving up after 2 seconds unless it says otherwise) and checks the tables.
    explicit PgBackend(const QString &uri);
    ~PgBackend() override;
    PgBackend(const PgBackend &) = delete;
    PgBackend &operator=(const PgBackend &) = delete;

    static constexpr char DefaultConnectTimeout[] = "2";
    // How long one statement may wait for the server's answer before the connection is given up.
    static constexpr int StatementTimeoutMs = 10000;
    // The wait in force, for every connection; tests shorten it.
    static int statementTimeoutMs();
    static void setStatementTimeoutMs(int milliseconds);

    void checkPages() override { }
    bool isReadOnly() const override { return m_readOnly; }
    void execute(const QString &statement) override;

    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    bool inTransaction() const override;

    SharedSnapshot query(const QString &sql) override;

    void forEachRow(const QString &sql, const QStringList &columns,
                    const std::function<void(const Cell *cells)> &onRow) override;

    QString rowKeyName(const QString &table) override;
    QString keyedSelect(const QString &key, const QString &table, const QString &rest) const override;
    qint64 insertRow(const QString &table, const QString &key, const Values &values) override;
    qint64 updateRow(const QString &table, const QString &key, qint64 rowKey, const Values &values,
                     const Values &expected) override;
    std::optional<QList<QString>> readRow(const QString &table, const QString &key, qint64 rowKey) override;
    void holdTablesForWriting() override;
    qint64 moveGames(const QString &fromType, const QString &toType) override;

    [[noreturn]] void throwLastError() const override;

private:
    using Result = PgHelper::Result;

    // Runs one statement (or, without parameters, several); throws unless the server accepted it.
    Result run(const QString &sql, const QList<QString> &parameters = {});
    Result awaitResult();
    pg_conn *connect() const;
    [[noreturn]] void giveUp();
    void abandonConnection() noexcept;
    void reconnectIfLost();
    [[noreturn]] void fail(const pg_result *result) const;

    QByteArray m_uri;
    pg_conn *m_conn = nullptr;
    bool m_inTransaction = false;
    bool m_readOnly = false;
};
