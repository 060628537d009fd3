#include "catalogue/CatalogueConnection.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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

void applyKey(sqlite3 *db, const QString &password)
{
    const QByteArray key = password.toUtf8();
    if (sqlite3_key(db, key.constData(), int(key.size())) != SQLITE_OK)
        throw CatalogueError(sqlite3_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace

CatalogueConnection::~CatalogueConnection()
{
    Close();
}

void CatalogueConnection::Open(const QString &path, const QString &password)
{
    Close();
    sqlite3 *db = nullptr;
    const QByteArray file = QFileInfo(path).absoluteFilePath().toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const CatalogueError error(rc, QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_close(db);
        throw error;
    }
    m_db = db;
    static qint64 openings = 0;
    m_opened = ++openings;
    try {
        applyKey(m_db, password);
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        checkSchema();
    } catch (...) {
        Close();
        throw;
    }
}

void CatalogueConnection::checkSchema()
{
    // Reading the schema fails with "file is not a database" on a wrong key or a foreign file.
    exec(m_db, "SELECT count(*) FROM sqlite_master;");
    exec(m_db, CatalogueSchema::CheckSql);
}

void CatalogueConnection::checkPages()
{
    if (!m_db)
        throwLastError();
    checkAllPages(m_db);
}

void CatalogueConnection::Close() noexcept
{
    forgetResults();
    m_resultsVersion = -1;
    if (m_db) {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool CatalogueConnection::isReadOnly() const
{
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

void CatalogueConnection::throwLastError() const
{
    if (!m_db)
        throw CatalogueError(SQLITE_MISUSE, QStringLiteral("数据库未连接"));
    throw CatalogueError(sqlite3_extended_errcode(m_db) & 0xff, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void CatalogueConnection::Execute(const QString &statement)
{
    if (!m_db)
        throwLastError();
    exec(m_db, statement.toUtf8().constData());
}

void CatalogueConnection::BeginTrans()
{
    Execute(QStringLiteral("BEGIN IMMEDIATE;"));
}

void CatalogueConnection::CommitTrans()
{
    Execute(QStringLiteral("COMMIT;"));
}

void CatalogueConnection::RollbackTrans() noexcept
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
}

bool CatalogueConnection::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

void CatalogueConnection::Create(const QString &path, const QString &password)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QByteArray file = absolute.toUtf8();
    // The file is made here, exclusively and without following links, so that neither an existing
    // file nor a link planted at the name (dangling or not) is ever written through.
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        throw CatalogueError(
            SQLITE_CANTOPEN,
            error == EEXIST || error == ELOOP
                ? QStringLiteral("文件已存在（或是一个链接），不会覆盖：%1").arg(absolute)
                : QStringLiteral("无法创建文件：%1（%2）").arg(absolute, QString::fromLocal8Bit(strerror(error))));
    }
    ::close(fd);
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw CatalogueError(rc, QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        applyKey(db, password);
        exec(db, CatalogueSchema::CreateSql);
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(absolute);
        throw;
    }
    sqlite3_close(db);
}

void CatalogueConnection::forgetResults()
{
    m_results.clear();
    m_filtered.clear();
}

void CatalogueConnection::keep(const QString &sql, const SharedSnapshot &result)
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

qint64 CatalogueConnection::fileVersion()
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

CatalogueConnection::ChangeStamp CatalogueConnection::changeStamp()
{
    if (!m_db)
        return {};
    return {m_opened, fileVersion(), sqlite3_total_changes(m_db)};
}

CatalogueConnection::SharedSnapshot CatalogueConnection::query(const QString &sql)
{
    if (!m_db)
        throwLastError();
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

CatalogueConnection::SharedSnapshot CatalogueConnection::runQuery(const QString &sql)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &raw, nullptr) != SQLITE_OK)
        throwLastError();
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> stmt(raw, sqlite3_finalize);
    auto snapshot = std::make_shared<CatalogueSnapshot>();
    const int columns = sqlite3_column_count(raw);
    for (int c = 1; c < columns; ++c)
        snapshot->columns.append(QString::fromUtf8(sqlite3_column_name(raw, c)));
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        CatalogueRow row;
        row.rowid = sqlite3_column_int64(raw, 0);
        row.values.reserve(columns - 1);
        for (int c = 1; c < columns; ++c) {
            if (sqlite3_column_type(raw, c) == SQLITE_NULL) {
                row.values.append(QString());
                continue;
            }
            const auto *value = reinterpret_cast<const char *>(sqlite3_column_text(raw, c));
            const int bytes = sqlite3_column_bytes(raw, c);
            row.values.append(bytes == 0 ? QString(u""_s) : QString::fromUtf8(value, bytes));
        }
        snapshot->rows.append(std::move(row));
    }
    if (rc != SQLITE_DONE)
        throwLastError();
    return snapshot;
}
