#pragma once

#include "catalogue/CatalogueBackend.h"
#include "catalogue/CatalogueSnapshot.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

struct sqlite3;

// The one connection to the catalogue: the encrypted file, or a server. Every failure throws CatalogueError.
// One thread owns it, the one that made it until it hands it on (release, then take on the other thread):
// a call from any other thread is refused with CatalogueError::WrongThread and touches nothing.
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
    bool isOpen() const;
    bool isServer() const;
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

    bool ownedByThisThread() const { return m_owner.load() == std::this_thread::get_id(); }
    // The owner lets go: no thread may use the connection until one takes it.
    void release();
    // Makes the calling thread the owner of a released connection.
    void take();

    static constexpr int BusyTimeoutMs = 3000;

private:
    // Throws WrongThread unless the calling thread owns the connection.
    void checkOwner() const;

    std::atomic<std::thread::id> m_owner{std::this_thread::get_id()};
    std::unique_ptr<CatalogueBackend> m_backend;
    bool m_server = false;
    qint64 m_opened = -1; // which opening this is, so that a reopened file reads as changed
};
