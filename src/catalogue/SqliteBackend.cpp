#include "catalogue/SqliteBackend.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueFileWriter.h"
#include "catalogue/CatalogueKeys.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/StatementBuilder.h"
#include "platform/FileSystem.h"

#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct StatementDeleter
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Runs SQL that returns nothing on a raw handle, throwing the store's error.
void exec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        throw CatalogueError(sqlite3_extended_errcode(db) & 0xff, text);
    }
}

// Reads every page once: a cut or garbled file fails here rather than at some later write.
void checkAllPages(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1);", -1, &stmt, nullptr) != SQLITE_OK)
        throw CatalogueError(sqlite3_extended_errcode(db) & 0xff, QString::fromUtf8(sqlite3_errmsg(db)));
    const int rc = sqlite3_step(stmt);
    const bool whole =
        rc == SQLITE_ROW && qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "ok") == 0;
    const int code = rc == SQLITE_ROW ? SQLITE_CORRUPT : sqlite3_extended_errcode(db) & 0xff;
    const QString text = QString::fromUtf8(rc == SQLITE_ROW ? sqlite3_errstr(code) : sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    if (!whole)
        throw CatalogueError(code, text);
}

QString columnText(sqlite3_stmt *stmt, int column)
{
    // The type first: reading a value as text converts it.
    const bool isNull = sqlite3_column_type(stmt, column) == SQLITE_NULL;
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return StatementBuilder::text(text, sqlite3_column_bytes(stmt, column), isNull);
}

const StatementBuilder::Dialect Dialect{.numbersParameters = false,
                                        .foldsNames = false,
                                        .sameText = u"CAST(%1 AS TEXT) IS %2"_s,
                                        .skipsLossyText = true,
                                        .returningKey = QString()};

} // namespace

SqliteBackend::SqliteBackend(const QString &path, const QString &password)
{
    m_path = QFileInfo(path).absoluteFilePath();
    // The key derived before for this file's salt opens it at once; the passphrase costs a derivation.
    const QByteArray rawKey = CatalogueKeys::forFile(m_path, password);
    if (!rawKey.isEmpty()) {
        try {
            open(rawKey);
            CatalogueKeys::opened(rawKey, true);
            m_fileKey = FileSystem::keyOf(m_path);
            return;
        } catch (const CatalogueError &) {
            CatalogueKeys::opened(rawKey, false);
        }
    }
    open(password.toUtf8());
    CatalogueKeys::passphraseOpened(rawKey);
    m_fileKey = FileSystem::keyOf(m_path);
}

void SqliteBackend::open(const QByteArray &key)
{
    const QByteArray file = m_path.toUtf8();
    // One thread at a time uses a connection (its owner, or a worker it is handed to), so the library's
    // lock around every call, once per column read, is dropped.
    const int rc = sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw CatalogueError(rc, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
        if (sqlite3_key(m_db, key.constData(), int(key.size())) != SQLITE_OK)
            throw CatalogueError(sqlite3_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        // Reading the schema fails with "file is not a database" on a wrong key or a foreign file.
        exec(m_db, "SELECT count(*) FROM sqlite_master;");
        exec(m_db, CatalogueSchema::CheckSql);
    } catch (...) {
        close();
        throw;
    }
}

SqliteBackend::~SqliteBackend()
{
    close();
}

void SqliteBackend::close() noexcept
{
    if (!m_db)
        return;
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void SqliteBackend::create(const QString &path, const QString &password)
{
    CatalogueFileWriter(path, password).commit();
}

void SqliteBackend::checkPages()
{
    checkAllPages(m_db);
}

bool SqliteBackend::isReadOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

void SqliteBackend::throwLastError() const
{
    throw CatalogueError(sqlite3_extended_errcode(m_db) & 0xff, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void SqliteBackend::execute(const QString &statement)
{
    exec(m_db, statement.toUtf8().constData());
}

void SqliteBackend::begin()
{
    execute(u"BEGIN IMMEDIATE;"_s);
}

void SqliteBackend::commit()
{
    execute(u"COMMIT;"_s);
}

void SqliteBackend::rollback() noexcept
{
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
}

bool SqliteBackend::inTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}

void SqliteBackend::forgetResults()
{
    m_results.clear();
    m_filtered.clear();
}

void SqliteBackend::keep(const QString &sql, const SharedSnapshot &result)
{
    // A whole table is kept until the file changes: browsing many categories must not make
    // the next search read and decode every row again. Filtered results make room for each other.
    if (sql.contains(u" Where "_s, Qt::CaseInsensitive)) {
        while (m_filtered.size() >= MaxKeptResults)
            m_results.remove(m_filtered.takeFirst());
        m_filtered.append(sql);
    }
    m_results.insert(sql, result);
}

qint64 SqliteBackend::fileVersion()
{
    // Changes whenever another connection commits to the file.
    sqlite3_stmt *stmt = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(m_db, "PRAGMA data_version;", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return version;
}

qint64 SqliteBackend::totalChanges() const
{
    return m_db ? sqlite3_total_changes(m_db) : -1;
}

SqliteBackend::SharedSnapshot SqliteBackend::query(const QString &sql)
{
    const qint64 version = fileVersion();
    const qint64 changes = sqlite3_total_changes(m_db);
    if (version < 0 || version != m_resultsVersion || changes != m_resultsChanges || inTransaction()) {
        forgetResults();
        m_resultsVersion = version;
        m_resultsChanges = changes;
    }
    if (const auto found = m_results.constFind(sql); found != m_results.constEnd()) {
        if (const qsizetype at = m_filtered.indexOf(sql); at >= 0)
            m_filtered.move(at, m_filtered.size() - 1);
        return found.value();
    }
    SharedSnapshot result = runQuery(sql);
    if (version >= 0 && !inTransaction())
        keep(sql, result);
    return result;
}

SqliteBackend::SharedSnapshot SqliteBackend::runQuery(const QString &sql)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &raw, nullptr) != SQLITE_OK)
        throwLastError();
    const Statement stmt(raw);
    auto snapshot = std::make_shared<CatalogueSnapshot>();
    const int columns = sqlite3_column_count(raw);
    for (int c = 1; c < columns; ++c)
        snapshot->columns.append(QString::fromUtf8(sqlite3_column_name(raw, c)));
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        CatalogueRow row;
        row.rowid = sqlite3_column_int64(raw, 0);
        row.values.reserve(columns - 1);
        for (int c = 1; c < columns; ++c)
            row.values.append(columnText(raw, c));
        snapshot->rows.append(std::move(row));
    }
    if (rc != SQLITE_DONE)
        throwLastError();
    return snapshot;
}

void SqliteBackend::forEachRow(const QString &sql, const QStringList &columns,
                               const std::function<void(const Cell *)> &onRow)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &raw, nullptr) != SQLITE_OK)
        throwLastError();
    const Statement stmt(raw);
    QStringList names;
    for (int c = 0; c < sqlite3_column_count(raw); ++c)
        names.append(QString::fromUtf8(sqlite3_column_name(raw, c)));
    QList<int> places;
    for (const QString &column : columns)
        places.append(StatementBuilder::columnOf(names, column));
    std::vector<Cell> cells(places.size());
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        for (qsizetype i = 0; i < places.size(); ++i) {
            // The storage class first: reading a value as text converts it.
            const int type = sqlite3_column_type(raw, places[i]);
            Cell &cell = cells[i];
            cell.kind = type == SQLITE_NULL ? Cell::Null
                : type == SQLITE_TEXT       ? Cell::Text
                : type == SQLITE_BLOB       ? Cell::Bytes
                                            : Cell::Number;
            cell.data = reinterpret_cast<const char *>(sqlite3_column_text(raw, places[i]));
            cell.size = sqlite3_column_bytes(raw, places[i]);
        }
        onRow(cells.data());
    }
    if (rc != SQLITE_DONE)
        throwLastError();
}

bool SqliteBackend::comparesTextAsBytes(const QString &table, const QString &column)
{
    const char *declared = nullptr;
    const char *collation = nullptr;
    if (sqlite3_table_column_metadata(m_db, nullptr, table.toUtf8().constData(), column.toUtf8().constData(), &declared,
                                      &collation, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return false;
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA encoding;", -1, &raw, nullptr) != SQLITE_OK)
        throwLastError();
    const Statement encoding(raw);
    const bool utf8 = sqlite3_step(raw) == SQLITE_ROW
        && qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)), "UTF-8") == 0;
    const QByteArray type = QByteArray(declared).toUpper();
    const bool textAffinity =
        !type.contains("INT") && (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT"));
    return utf8 && textAffinity && qstricmp(collation, "BINARY") == 0;
}

// The first of SQLite's names for the row number that no column of the table takes for itself;
// empty when all are taken. A missing table is left for the query to report.
QString SqliteBackend::rowKeyName(const QString &table)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = u"PRAGMA table_info(%1)"_s.arg(StatementBuilder::quoted(table)).toUtf8();
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK)
        throwLastError();
    const Statement stmt(raw);
    QStringList declared;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
        declared.append(columnText(raw, 1));
    if (rc != SQLITE_DONE)
        throwLastError();
    for (const QString &name : {u"rowid"_s, u"_rowid_"_s, u"oid"_s}) {
        if (!declared.contains(name, Qt::CaseInsensitive))
            return name;
    }
    return QString();
}

QString SqliteBackend::keyedSelect(const QString &key, const QString &table, const QString &rest) const
{
    return u"Select "_s + (key.isEmpty() ? u"NULL"_s : key) + u", * From "_s + table + rest;
}

namespace {

Statement prepare(const SqliteBackend &backend, sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        backend.throwLastError();
    return Statement(stmt);
}

void bindText(const SqliteBackend &backend, sqlite3_stmt *stmt, int index, const QString &value)
{
    int rc;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else {
        const QByteArray utf8 = value.toUtf8();
        rc = sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        backend.throwLastError();
}

} // namespace

qint64 SqliteBackend::insertRow(const QString &table, const QString &key, const Values &values)
{
    const Statement stmt = prepare(*this, m_db, StatementBuilder(Dialect).insert(table, key, values));
    int index = 1;
    for (const auto &[column, value] : values)
        bindText(*this, stmt.get(), index++, value);
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throwLastError();
    return sqlite3_last_insert_rowid(m_db);
}

qint64 SqliteBackend::updateRow(const QString &table, const QString &key, qint64 rowKey, const Values &values,
                                const Values &expected)
{
    const StatementBuilder::Update update = StatementBuilder(Dialect).update(table, key, values, expected);
    const Statement stmt = prepare(*this, m_db, update.sql);
    int index = 1;
    for (const auto &[column, value] : values)
        bindText(*this, stmt.get(), index++, value);
    sqlite3_bind_int64(stmt.get(), index++, rowKey);
    for (const auto &[column, value] : update.compared)
        bindText(*this, stmt.get(), index++, value);
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throwLastError();
    return sqlite3_changes(m_db);
}

std::optional<QList<QString>> SqliteBackend::readRow(const QString &table, const QString &key, qint64 rowKey)
{
    const Statement stmt = prepare(*this, m_db, StatementBuilder(Dialect).selectRow(table, key));
    sqlite3_bind_int64(stmt.get(), 1, rowKey);
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        throwLastError();
    QList<QString> values;
    const int columns = sqlite3_column_count(stmt.get());
    for (int c = 0; c < columns; ++c)
        values.append(columnText(stmt.get(), c));
    return values;
}
