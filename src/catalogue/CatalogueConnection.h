#pragma once

#include "catalogue/CatalogueSnapshot.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

struct sqlite3;

// The one connection to the encrypted catalogue file. Every failure throws CatalogueError.
class CatalogueConnection
{
public:
    CatalogueConnection() = default;
    ~CatalogueConnection();
    CatalogueConnection(const CatalogueConnection &) = delete;
    CatalogueConnection &operator=(const CatalogueConnection &) = delete;

    // Opens an existing catalogue; a missing file is never created. Only the schema is read:
    // checkPages reads the rest, so that it can run once the window is up.
    void Open(const QString &path, const QString &password);
    // Reads every page once; a cut or garbled file throws.
    void checkPages();
    void Close() noexcept;
    bool isOpen() const { return m_db != nullptr; }
    bool isReadOnly() const;

    // Runs a statement that returns no rows (deletes); its result is discarded.
    void Execute(const QString &statement);

    // Groups several writes so that a failure part-way leaves the file as it was.
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans() noexcept;
    bool inTransaction() const;

    // Creates a new empty catalogue with both tables; refuses to touch an existing file or a link.
    static void Create(const QString &path, const QString &password);

    // The rows of a query. Results are kept until anything changes the file, through this
    // connection or another one, so repeated fills do not read and decode every row again.
    using SharedSnapshot = std::shared_ptr<const CatalogueSnapshot>;
    SharedSnapshot query(const QString &sql);
    // Drops the kept results, so that the next query reads the file again.
    void forgetResults();

    // Changes whenever the file may have changed: another connection's commit, a write through
    // this one, or the file being opened again. version is -1 when the file cannot tell.
    struct ChangeStamp
    {
        qint64 opened = -1;
        qint64 version = -1;
        qint64 changes = -1;
        bool operator==(const ChangeStamp &) const = default;
    };
    ChangeStamp changeStamp();

    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void throwLastError() const;

    static constexpr int BusyTimeoutMs = 3000;

private:
    void checkSchema();

    SharedSnapshot runQuery(const QString &sql);
    qint64 fileVersion();
    void keep(const QString &sql, const SharedSnapshot &result);

    sqlite3 *m_db = nullptr;
    qint64 m_opened = -1;
    QHash<QString, SharedSnapshot> m_results;
    // Filtered queries, least recently used first; whole-table queries are not among them.
    QList<QString> m_filtered;
    qint64 m_resultsVersion = -1;
    qint64 m_resultsChanges = -1;
    static constexpr int MaxKeptResults = 16;
};
