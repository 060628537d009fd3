#pragma once

#include "catalogue/CatalogueBackend.h"
#include "catalogue/CatalogueSnapshot.h"

#include <QString>

#include <memory>

struct sqlite3;

// The one connection to the catalogue: the encrypted file, or a server. Every failure throws CatalogueError.
class CatalogueConnection
{
public:
    CatalogueConnection();
    ~CatalogueConnection();
    CatalogueConnection(const CatalogueConnection &) = delete;
    CatalogueConnection &operator=(const CatalogueConnection &) = delete;

    // Opens an existing catalogue; a missing file is never created. Only the schema is read:
    // checkPages reads the rest, so that it can run once the window is up.
    void Open(const QString &path, const QString &password);
    // Takes over a store on a server, made by whoever knows how to reach it.
    void OpenServer(std::unique_ptr<CatalogueBackend> backend);
    // Reads every page once; a cut or garbled file throws.
    void checkPages();
    void Close() noexcept;
    bool isOpen() const { return m_backend != nullptr; }
    bool isServer() const { return m_server; }
    bool isReadOnly() const;

    // Runs a statement that returns no rows (deletes); its result is discarded.
    void Execute(const QString &statement);

    // Groups several writes so that a failure part-way leaves the catalogue as it was.
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans() noexcept;
    bool inTransaction() const;

    // Creates a new empty catalogue with both tables; refuses to touch an existing file or a link.
    static void Create(const QString &path, const QString &password);

    // The rows of a query. From the file, results are kept until anything changes it, through this
    // connection or another one, so repeated fills do not read and decode every row again.
    using SharedSnapshot = CatalogueBackend::SharedSnapshot;
    SharedSnapshot query(const QString &sql);
    // Drops the kept results, so that the next query reads the catalogue again.
    void forgetResults();

    // The store behind the connection, for the cursor; throws when the connection is closed.
    CatalogueBackend &backend() const;
    // The file's handle, for tests that store what the program never would; null on a server.
    sqlite3 *handle() const;
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
    // The open file; empty on a server or when closed.
    QString filePath() const;

    [[noreturn]] void throwLastError() const;

    static constexpr int BusyTimeoutMs = 3000;

private:
    std::unique_ptr<CatalogueBackend> m_backend;
    bool m_server = false;
    qint64 m_opened = -1; // which opening this is, so that a reopened file reads as changed
};
