#pragma once

#include "catalogue/CatalogueBackend.h"

#include <QHash>
#include <QList>
#include <QString>

struct sqlite3;

// The catalogue in the encrypted file beside the program.
class SqliteBackend : public CatalogueBackend
{
public:
    // Opens an existing catalogue; a missing file is never created. Only the schema is read.
    SqliteBackend(const QString &path, const QString &password);
    ~SqliteBackend() override;
    SqliteBackend(const SqliteBackend &) = delete;
    SqliteBackend &operator=(const SqliteBackend &) = delete;

    // Creates a new empty catalogue with both tables; refuses to touch an existing file or a link.
    static void create(const QString &path, const QString &password);

    void checkPages() override;
    bool isReadOnly() const override;
    void execute(const QString &statement) override;

    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    bool inTransaction() const override;

    // Results are kept until anything changes the file, through this connection or another one,
    // so repeated fills do not read and decode every row again.
    SharedSnapshot query(const QString &sql) override;
    void forgetResults() override;

    void forEachRow(const QString &sql, const QStringList &columns,
                    const std::function<void(const Cell *cells)> &onRow) override;
    bool comparesTextAsBytes(const QString &table, const QString &column) override;

    QString rowKeyName(const QString &table) override;
    QString keyedSelect(const QString &key, const QString &table, const QString &rest) const override;
    qint64 insertRow(const QString &table, const QString &key, const Values &values) override;
    qint64 updateRow(const QString &table, const QString &key, qint64 rowKey, const Values &values,
                     const Values &expected) override;
    std::optional<QList<QString>> readRow(const QString &table, const QString &key, qint64 rowKey) override;

    [[noreturn]] void throwLastError() const override;
    sqlite3 *handle() const { return m_db; }
    QString filePath() const override { return m_path; }
    std::optional<FileSystem::FileKey> fileKey() const override { return m_fileKey; }
    qint64 dataVersion() override { return fileVersion(); }
    qint64 totalChanges() const override;

    static constexpr int BusyTimeoutMs = 3000;

private:
    // Opens the file with a passphrase or a raw key and checks that it reads as a catalogue.
    void open(const QByteArray &key);
    void close() noexcept;
    SharedSnapshot runQuery(const QString &sql);
    qint64 fileVersion();
    void keep(const QString &sql, const SharedSnapshot &result);

    sqlite3 *m_db = nullptr;
    QString m_path;
    std::optional<FileSystem::FileKey> m_fileKey;
    QHash<QString, SharedSnapshot> m_results;
    // Filtered queries, least recently used first; whole-table queries are not among them.
    QList<QString> m_filtered;
    qint64 m_resultsVersion = -1;
    qint64 m_resultsChanges = -1;
    static constexpr int MaxKeptResults = 16;
};
