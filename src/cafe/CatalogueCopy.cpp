#include "cafe/CatalogueCopy.h"

#include "cafe/CopySyncState.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueFileWriter.h"
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

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

static_assert(CatalogueCopy::GameColumns == CatalogueFileWriter::GameColumns);

namespace {

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

bool CatalogueCopy::isHorizon(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    bool ok = false;
    text.toULongLong(&ok);
    return ok;
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
    // The writer makes the file, exclusively and without following links.
    QString error = fill(temp);
    if (error.isEmpty() && !FileSystem::replace(temp, path)) {
        error = systemError(u"无法替换文件"_s, path);
        QFile::remove(temp);
    }
    return error;
}

QString CatalogueCopy::fill(const QString &file) const
{
    try {
        CatalogueFileWriter writer(file, QString::fromUtf16(Catalogue::Password));
        for (const auto &[id, name] : m_types)
            writer.addType(name);
        CatalogueFileWriter::GameValues values;
        for (const auto &[id, packed] : m_games) {
            const char *at = packed.constData();
            for (int i = 0; i < GameColumns; ++i) {
                qint32 length = 0;
                memcpy(&length, at, sizeof length);
                at += sizeof length;
                values[i] = length < 0 ? QByteArray() : QByteArray::fromRawData(at, length);
                at += qMax(length, 0);
            }
            writer.addGame(id, values);
        }
        CopySyncState::write(writer, *this);
        // The commit syncs the file, so the rename that follows never exposes unwritten pages.
        writer.commit();
    } catch (const CatalogueError &error) {
        return error.description();
    }
    return QString();
}
