#include "cafe/CatalogueCopy.h"

#include "cafe/CopySyncState.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSchema.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Database = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;
using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

QString lastError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void bindText(sqlite3_stmt *stmt, int index, const QByteArray &value)
{
    if (value.isNull())
        sqlite3_bind_null(stmt, index);
    else
        sqlite3_bind_text(stmt, index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
}

QString systemError(const QString &what, const QString &path)
{
    return u"%1：%2（%3）"_s.arg(what, path, QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

QByteArray CatalogueCopy::packGame(const char *const values[GameColumns], const int lengths[GameColumns])
{
    qsizetype size = 0;
    for (int i = 0; i < GameColumns; ++i)
        size += qsizetype(sizeof(qint32)) + (values[i] ? lengths[i] : 0);
    QByteArray packed;
    packed.reserve(size);
    for (int i = 0; i < GameColumns; ++i) {
        const qint32 length = values[i] ? lengths[i] : -1;
        packed.append(reinterpret_cast<const char *>(&length), sizeof length);
        if (values[i])
            packed.append(values[i], lengths[i]);
    }
    return packed;
}

bool CatalogueCopy::setType(qint64 typeId, const QByteArray &typeName)
{
    // Rows mostly come in rising key order, so the end is the first place to look.
    const auto at = m_types.lower_bound(typeId);
    if (at == m_types.end() || at->first != typeId) {
        m_types.emplace_hint(at, typeId, typeName);
        return true;
    }
    if (at->second == typeName && at->second.isNull() == typeName.isNull())
        return false;
    at->second = typeName;
    return true;
}

bool CatalogueCopy::setGame(qint64 gameId, const QByteArray &packedValues)
{
    const auto hint = m_games.empty() || m_games.rbegin()->first < gameId ? m_games.end() : m_games.lower_bound(gameId);
    if (hint == m_games.end() || hint->first != gameId) {
        m_games.emplace_hint(hint, gameId, packedValues);
        return true;
    }
    if (hint->second == packedValues)
        return false;
    hint->second = packedValues;
    return true;
}

bool CatalogueCopy::eraseType(qint64 typeId)
{
    return m_types.erase(typeId) > 0;
}

bool CatalogueCopy::eraseGame(qint64 gameId)
{
    return m_games.erase(gameId) > 0;
}

qint64 CatalogueCopy::findGame(const QByteArray &name, const QByteArray &path, const QByteArray &run,
                               const QByteArray &command) const
{
    // Columns GameName, GamePath, GameRun and GameCmd of the packed values.
    const std::pair<int, const QByteArray *> wanted[] = {{0, &name}, {3, &path}, {4, &run}, {5, &command}};
    for (const auto &[id, packed] : m_games) {
        QByteArrayView values[GameColumns];
        const char *at = packed.constData();
        for (QByteArrayView &value : values) {
            qint32 length = 0;
            memcpy(&length, at, sizeof length);
            at += sizeof length;
            value = length < 0 ? QByteArrayView() : QByteArrayView(at, length);
            at += qMax(length, 0);
        }
        if (std::all_of(std::begin(wanted), std::end(wanted),
                        [&values](const auto &w) { return values[w.first] == QByteArrayView(*w.second); }))
            return id;
    }
    return -1;
}

void CatalogueCopy::clear()
{
    m_types.clear();
    m_games.clear();
    m_catalogueId.clear();
    m_horizon.clear();
}

QList<qint64> CatalogueCopy::typeKeys() const
{
    QList<qint64> keys;
    keys.reserve(qsizetype(m_types.size()));
    for (const auto &entry : m_types)
        keys.append(entry.first);
    return keys;
}

void CatalogueCopy::setSource(const QByteArray &catalogueId, const QByteArray &horizon)
{
    m_catalogueId = catalogueId;
    m_horizon = horizon;
}

QString CatalogueCopy::temporaryPrefix(const QString &path, qint64 pid)
{
    // No '-' in the host part, so that the process number after it is never misread.
    QString host = QSysInfo::machineHostName();
    static const QRegularExpression unsafe(u"[^A-Za-z0-9_.]"_s);
    host.replace(unsafe, u"_"_s);
    const QFileInfo target(path);
    return target.absolutePath() + u"/."_s + target.fileName() + u'-' + host + u'-' + QString::number(pid) + u'-';
}

void CatalogueCopy::removeLeftovers(const QString &path)
{
    // Only this machine's files can be judged: their writer is gone when its process is. A
    // process of this one may be writing now, and another machine's files are that machine's.
    const QString ours = temporaryPrefix(path, 0);
    const QFileInfo prefix(ours.left(ours.size() - 3)); // without "-0-"
    static const QRegularExpression rest(u"^-(\\d+)-[0-9a-f]{16}\\.tmp(?:-journal|-wal|-shm)?$"_s);
    const QDir folder = prefix.absoluteDir();
    for (const QString &name : folder.entryList({prefix.fileName() + u"-*"_s}, QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = rest.match(QStringView(name).mid(prefix.fileName().size()));
        if (!match.hasMatch())
            continue;
        const qint64 pid = match.captured(1).toLongLong();
        const bool gone = Process::isGone(static_cast<long>(pid));
        if (gone && pid != QCoreApplication::applicationPid())
            QFile::remove(folder.filePath(name));
    }
}

QString CatalogueCopy::writeTo(const QString &path) const
{
    removeLeftovers(path);
    const QString temp = temporaryPrefix(path, QCoreApplication::applicationPid())
        + u"%1.tmp"_s.arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
    // Made here, exclusively and without following links, so nothing already there is written through.
    if (!FileSystem::createNew(temp))
        return systemError(u"无法创建文件"_s, temp);
    QString error = fill(temp);
    if (error.isEmpty() && !FileSystem::replace(temp, path))
        error = systemError(u"无法替换文件"_s, path);
    if (!error.isEmpty())
        QFile::remove(temp);
    return error;
}

QString CatalogueCopy::fill(const QString &file) const
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const Database db(raw, sqlite3_close);
    if (rc != SQLITE_OK)
        return raw ? lastError(raw) : QString::fromUtf8(sqlite3_errstr(rc));
    const QByteArray key = QString::fromUtf16(Catalogue::Password).toUtf8();
    if (sqlite3_key(raw, key.constData(), int(key.size())) != SQLITE_OK || !exec(raw, CatalogueSchema::CreateSql)
        || !exec(raw, "BEGIN;"))
        return lastError(raw);
    sqlite3_stmt *typeRaw = nullptr;
    sqlite3_stmt *gameRaw = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO TypeList(TypeName) VALUES (?)", -1, &typeRaw, nullptr);
    const Statement types(typeRaw, sqlite3_finalize);
    sqlite3_prepare_v2(raw,
                       "INSERT INTO GameList(GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &gameRaw, nullptr);
    const Statement games(gameRaw, sqlite3_finalize);
    if (!typeRaw || !gameRaw)
        return lastError(raw);
    for (const auto &[id, name] : m_types) {
        bindText(typeRaw, 1, name);
        if (sqlite3_step(typeRaw) != SQLITE_DONE)
            return lastError(raw);
        sqlite3_reset(typeRaw);
    }
    for (const auto &[id, packed] : m_games) {
        sqlite3_bind_int64(gameRaw, 1, id);
        const char *at = packed.constData();
        for (int i = 0; i < GameColumns; ++i) {
            qint32 length = 0;
            memcpy(&length, at, sizeof length);
            at += sizeof length;
            if (length < 0) {
                sqlite3_bind_null(gameRaw, i + 2);
                continue;
            }
            sqlite3_bind_text(gameRaw, i + 2, at, length, SQLITE_STATIC);
            at += length;
        }
        if (sqlite3_step(gameRaw) != SQLITE_DONE)
            return lastError(raw);
        sqlite3_reset(gameRaw);
    }
    if (const QString error = CopySyncState::write(raw, *this); !error.isEmpty())
        return error;
    // The commit syncs the file, so the rename that follows never exposes unwritten pages.
    if (!exec(raw, "COMMIT;"))
        return lastError(raw);
    return QString();
}
