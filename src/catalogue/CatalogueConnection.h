#pragma once

#include <QString>

struct sqlite3;

// The one connection to the encrypted catalogue file. Every failure throws CatalogueError.
class CatalogueConnection
{
public:
    CatalogueConnection() = default;
    ~CatalogueConnection();
    CatalogueConnection(const CatalogueConnection &) = delete;
    CatalogueConnection &operator=(const CatalogueConnection &) = delete;

    // Opens an existing catalogue; a missing file is never created.
    void Open(const QString &path, const QString &password);
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

    // Creates a new empty catalogue with both tables; refuses to touch an existing file.
    static void Create(const QString &path, const QString &password);

    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void throwLastError() const;

    static constexpr int BusyTimeoutMs = 3000;

private:
    void checkSchema();

    sqlite3 *m_db = nullptr;
};
