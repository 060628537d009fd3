#include "catalogue/CatalogueFileWriter.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueKeys.h"
#include "catalogue/CatalogueSchema.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include <memory>

using namespace Qt::StringLiterals;

CatalogueFileWriter::CatalogueFileWriter(const QString &path, const QString &password)
    : m_path(QFileInfo(path).absoluteFilePath())
{
    createFile();
    try {
        // One thread writes a file: the library's lock around every call is not needed.
        const QByteArray file = QFile::encodeName(m_path);
        const int rc = sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK)
            throw CatalogueError(rc, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
        // The salt and derived key of a file opened before spare a key derivation; the passphrase opens it all the
        // same.
        const QByteArray rawKey = CatalogueKeys::forNewFile(password);
        const QByteArray key = rawKey.isEmpty() ? password.toUtf8() : rawKey;
        if (sqlite3_key(m_db, key.constData(), int(key.size())) != SQLITE_OK)
            throw CatalogueError(sqlite3_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
        char *message = nullptr;
        if (sqlite3_exec(m_db, CatalogueSchema::CreateSql, nullptr, nullptr, &message) != SQLITE_OK
            || sqlite3_exec(m_db, "BEGIN;", nullptr, nullptr, &message) != SQLITE_OK) {
            const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
            sqlite3_free(message);
            throw CatalogueError(sqlite3_extended_errcode(m_db) & 0xff, text);
        }
        prepare("INSERT INTO TypeList(TypeName) VALUES (?)", &m_typeInsert);
        prepare("INSERT INTO GameList(GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon)"
                " VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                &m_gameInsert);
    } catch (...) {
        close();
        QFile::remove(m_path);
        throw;
    }
}

CatalogueFileWriter::~CatalogueFileWriter()
{
    close();
    if (!m_committed)
        QFile::remove(m_path);
}

void CatalogueFileWriter::createFile()
{
    // Exclusively and without following links: neither an existing file nor a link planted at
    // the name (dangling or not) is ever written through.
    if (!FileSystem::createNew(m_path)) {
        const int error = errno;
        throw CatalogueError(SQLITE_CANTOPEN,
                             error == EEXIST || error == ELOOP
                                 ? u"文件已存在（或是一个链接），不会覆盖：%1"_s.arg(m_path)
                                 : u"无法创建文件：%1（%2）"_s.arg(m_path, QString::fromLocal8Bit(strerror(error))));
    }
}

void CatalogueFileWriter::prepare(const char *sql, sqlite3_stmt **statement)
{
    if (sqlite3_prepare_v2(m_db, sql, -1, statement, nullptr) != SQLITE_OK)
        fail();
}

void CatalogueFileWriter::bind(sqlite3_stmt *statement, int index, const QByteArray &value)
{
    const int rc = value.isNull()
        ? sqlite3_bind_null(statement, index)
        : sqlite3_bind_text(statement, index, value.constData(), int(value.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        fail();
}

void CatalogueFileWriter::step(sqlite3_stmt *statement)
{
    if (sqlite3_step(statement) != SQLITE_DONE)
        fail();
    sqlite3_reset(statement);
}

void CatalogueFileWriter::addType(const QByteArray &typeName)
{
    bind(m_typeInsert, 1, typeName);
    step(m_typeInsert);
}

void CatalogueFileWriter::addGame(qint64 gameId, const GameValues &values)
{
    if (sqlite3_bind_int64(m_gameInsert, 1, gameId) != SQLITE_OK)
        fail();
    for (int i = 0; i < GameColumns; ++i)
        bind(m_gameInsert, i + 2, values[i]);
    step(m_gameInsert);
}

void CatalogueFileWriter::execute(const char *sql, const QList<QByteArray> &values)
{
    sqlite3_stmt *statement = nullptr;
    prepare(sql, &statement);
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> owned(statement, sqlite3_finalize);
    for (qsizetype i = 0; i < values.size(); ++i)
        bind(statement, int(i) + 1, values.at(i));
    step(statement);
}

void CatalogueFileWriter::commit()
{
    if (sqlite3_exec(m_db, "COMMIT;", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
    m_committed = true;
    close();
}

void CatalogueFileWriter::fail() const
{
    throw CatalogueError(sqlite3_extended_errcode(m_db) & 0xff, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void CatalogueFileWriter::close() noexcept
{
    sqlite3_finalize(m_typeInsert);
    sqlite3_finalize(m_gameInsert);
    m_typeInsert = m_gameInsert = nullptr;
    // An unfinished transaction ends with the connection, its rows unwritten.
    sqlite3_close(m_db);
    m_db = nullptr;
}
