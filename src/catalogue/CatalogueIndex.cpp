#include "catalogue/CatalogueIndex.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/StatementBuilder.h"
#include "pinyin/PinyinSearch.h"
#include "platform/FileSystem.h"

#include <QMutexLocker>
#include <QPromise>
#include <QThreadPool>

#include <sqlite3.h>

#include <cstring>
#include <future>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QString NoValue = u"无"_s;
constexpr char HotBytes[] = "\xE6\x98\xAF"; // "是" in UTF-8

// One worker for the initials, so that they never queue behind the icons or hold them up.
QThreadPool &initialsPool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

qint64 splitReadKeys = CatalogueIndex::SplitReadKeys;

// The largest row key of the table, or -1 when it has no rows.
qint64 lastKey(CatalogueBackend &backend, const QString &key)
{
    qint64 last = -1;
    backend.forEachRow(u"SELECT max(%1) AS LastKey FROM GameList"_s.arg(key), {u"LastKey"_s},
                       [&last](const CatalogueBackend::Cell *cells) {
                           if (cells[0].kind == CatalogueBackend::Cell::Number)
                               last = QByteArray(cells[0].data, cells[0].size).toLongLong();
                       });
    return last;
}

} // namespace

std::shared_ptr<const CatalogueIndex> CatalogueIndex::read(CatalogueConnection &connection, const QString &statement)
{
    if (!connection.isOpen())
        connection.throwLastError();
    // Taken first: a change that lands during the read then only costs one more read.
    const CatalogueConnection::ChangeStamp stamp = connection.changeStamp();
    std::shared_ptr<CatalogueIndex> index = readInHalves(connection, statement);
    if (!index) {
        index = std::make_shared<CatalogueIndex>(Private{});
        index->readRows(connection, statement);
    }
    index->m_stamp = stamp;
    index->m_keepable = stamp.version >= 0 && !connection.inTransaction();
    return index;
}

std::shared_ptr<CatalogueIndex> CatalogueIndex::readInHalves(CatalogueConnection &connection, const QString &statement)
{
    const QString path = connection.filePath();
    if (path.isEmpty() || connection.inTransaction() || statement != CatalogueStatements::selectGameList())
        return nullptr;
    const CatalogueConnection::ChangeStamp stamp = connection.changeStamp();
    CatalogueBackend &backend = connection.backend();
    // The other connection opens the file by its name, which must still name the file read here.
    const std::optional<FileSystem::FileKey> file = backend.fileKey();
    if (!file || FileSystem::keyOf(path) != file)
        return nullptr;
    const QString key = backend.rowKeyName(u"GameList"_s);
    const qint64 middle = lastKey(backend, key) / 2;
    if (middle < splitReadKeys / 2)
        return nullptr;
    // The later half on a connection of its own, beside: a large file decrypts on two cores.
    const QString later = statement + u" Where %1 > %2"_s.arg(key).arg(middle);
    std::future<std::shared_ptr<CatalogueIndex>> laterHalf = std::async(std::launch::async, [path, later] {
        CatalogueConnection own;
        own.Open(path, QString::fromUtf16(Catalogue::Password));
        auto half = std::make_shared<CatalogueIndex>(Private{});
        half->readRows(own, later);
        return half;
    });
    auto index = std::make_shared<CatalogueIndex>(Private{});
    index->readRows(connection, statement + u" Where %1 <= %2"_s.arg(key).arg(middle));
    std::shared_ptr<CatalogueIndex> half;
    try {
        half = laterHalf.get();
    } catch (const CatalogueError &) {
        // Read here what the other connection could not.
        half = std::make_shared<CatalogueIndex>(Private{});
        half->readRows(connection, later);
    }
    // A commit or a new file between the two halves' reads would mix two states: one read of the whole instead.
    if (connection.changeStamp() != stamp || FileSystem::keyOf(path) != file)
        return nullptr;
    index->append(*half);
    return index;
}

void CatalogueIndex::setSplitReadKeys(qint64 keys)
{
    splitReadKeys = keys;
}

void CatalogueIndex::append(const CatalogueIndex &later)
{
    if (m_text.size() + later.m_text.size() > std::numeric_limits<quint32>::max())
        throw CatalogueError(SQLITE_TOOBIG, u"游戏目录过大"_s);
    const auto rowOffset = quint32(m_rows.size());
    const auto textOffset = quint32(m_text.size());
    m_text.append(later.m_text);
    for (Row row : later.m_rows) {
        row.start += textOffset;
        for (quint32 &end : row.ends)
            end += textOffset;
        m_rows.append(row);
    }
    const auto shifted = [rowOffset](Rows &to, const Rows &from) {
        for (const quint32 row : from)
            to.append(row + rowOffset);
    };
    shifted(m_all, later.m_all);
    shifted(m_hot, later.m_hot);
    for (auto type = later.m_byType.cbegin(); type != later.m_byType.cend(); ++type)
        shifted(m_byType[type.key()], type.value());
    m_typesExact = m_typesExact && later.m_typesExact;
}

std::shared_ptr<const CatalogueIndex> CatalogueIndex::readFor(const CatalogueConnection::ChangeStamp &stamp,
                                                              CatalogueConnection &readThrough,
                                                              const QString &statement)
{
    std::shared_ptr<CatalogueIndex> index = readInHalves(readThrough, statement);
    if (!index) {
        index = std::make_shared<CatalogueIndex>(Private{});
        index->readRows(readThrough, statement);
    }
    index->m_stamp = stamp;
    index->m_keepable = stamp.version >= 0;
    return index;
}

void CatalogueIndex::readRows(CatalogueConnection &connection, const QString &statement)
{
    CatalogueBackend &backend = connection.backend();
    // Only then may a category's rows be looked up here rather than selected by the store.
    m_typesExact = backend.comparesTextAsBytes(u"GameList"_s, CatalogueSchema::GameType);
    using namespace CatalogueSchema;
    const QStringList columns{GameName, GamePath, GameRun, GameCmd, GameIcon, GameType, GameHot};
    backend.forEachRow(StatementBuilder::keyedSelect(statement, connection).sql, columns,
                       [this](const CatalogueBackend::Cell *cells) { addRow(cells); });
}

void CatalogueIndex::addRow(const CatalogueBackend::Cell *cells)
{
    const auto number = quint32(m_rows.size());
    Row row;
    const qsizetype start = m_text.size();
    qsizetype end = start;
    for (int f = 0; f < FieldCount; ++f)
        end += cells[f].kind == CatalogueBackend::Cell::Null ? 0 : cells[f].size;
    if (end > std::numeric_limits<quint32>::max())
        throw CatalogueError(SQLITE_TOOBIG, u"游戏目录过大"_s);
    // One copy per row into room made at once: appending field by field costs a third of a large read.
    m_text.resize(end);
    char *out = m_text.data() + start;
    row.start = quint32(start);
    for (int f = 0; f < FieldCount; ++f) {
        if (cells[f].kind == CatalogueBackend::Cell::Null) {
            row.nulls |= quint8(1u << f);
        } else if (cells[f].size > 0) {
            memcpy(out, cells[f].data, size_t(cells[f].size));
            out += cells[f].size;
        }
        row.ends[f] = quint32(out - m_text.constData());
    }
    m_rows.append(row);
    m_all.append(number);

    const CatalogueBackend::Cell &type = cells[FieldCount];
    if (type.kind == CatalogueBackend::Cell::Number) {
        m_typesExact = false; // a number compares by other rules
    } else if (type.kind == CatalogueBackend::Cell::Text && m_typesExact) {
        const QByteArray key = QByteArray::fromRawData(type.data, type.size);
        auto found = m_byType.find(key);
        if (found == m_byType.end())
            found = m_byType.insert(QByteArray(key.constData(), key.size()), Rows());
        found->append(number);
    }
    const CatalogueBackend::Cell &hot = cells[FieldCount + 1];
    if (hot.kind != CatalogueBackend::Cell::Null && hot.size == 3 && memcmp(hot.data, HotBytes, 3) == 0)
        m_hot.append(number);
}

bool CatalogueIndex::isCurrent(CatalogueConnection &connection) const
{
    return m_keepable && connection.isOpen() && !connection.inTransaction() && connection.changeStamp() == m_stamp;
}

QString CatalogueIndex::field(quint32 row, Field field) const
{
    const Row &entry = m_rows.at(row);
    if (entry.nulls & (1u << field))
        return QString();
    const quint32 begin = field == 0 ? entry.start : entry.ends[field - 1];
    const quint32 end = entry.ends[field];
    if (begin == end)
        return QString(u""_s);
    return QString::fromUtf8(m_text.constData() + begin, end - begin);
}

QString CatalogueIndex::iconSource(quint32 row) const
{
    const QString icon = field(row, Icon);
    if (icon == NoValue)
        return field(row, Path) + field(row, Run);
    // An icon outside the game's folder, as imported from the system's icon theme, is stored whole.
    return icon.startsWith(u'/') ? icon : field(row, Path) + icon;
}

bool CatalogueIndex::rowsOfType(const QString &caption, Rows *rows) const
{
    const QByteArray key = caption.toUtf8();
    // A NUL ends the statement's text early: only the store can say what that does.
    if (!m_typesExact || key.contains('\0'))
        return false;
    *rows = m_byType.value(key);
    return true;
}

QString CatalogueIndex::initialsOf(quint32 row) const
{
    return PinyinSearch::nameInitials(field(row, Name));
}

CatalogueIndex::SharedInitials CatalogueIndex::initials() const
{
    const QMutexLocker lock(&m_initialsLock);
    return m_initials;
}

CatalogueIndex::Rows CatalogueIndex::search(const PinyinSearch &search) const
{
    SharedInitials ready = initials();
    if (!ready) {
        // Worked out here once; kept for the searches that follow.
        ready = allInitials();
        const QMutexLocker lock(&m_initialsLock);
        m_initialsStarted = true;
        if (!m_initials)
            m_initials = ready;
    }
    Rows found;
    for (const quint32 row : m_all) {
        if (search.matchesInitials(ready->at(row)))
            found.append(row);
    }
    return found;
}

CatalogueIndex::SharedInitials CatalogueIndex::allInitials() const
{
    auto all = std::make_shared<QList<QString>>();
    all->reserve(size());
    for (quint32 row = 0; row < quint32(size()); ++row)
        all->append(initialsOf(row));
    return all;
}

void CatalogueIndex::prepareSearch() const
{
    auto worked = std::make_shared<QPromise<void>>();
    worked->start();
    {
        const QMutexLocker lock(&m_initialsLock);
        if (m_initialsStarted)
            return;
        m_initialsStarted = true;
        m_initialsWorked = worked->future();
    }
    initialsPool().start([self = shared_from_this(), worked] {
        SharedInitials all = self->allInitials();
        {
            const QMutexLocker lock(&self->m_initialsLock);
            if (!self->m_initials)
                self->m_initials = std::move(all);
        }
        worked->finish();
    });
}

QFuture<void> CatalogueIndex::searchReady() const
{
    prepareSearch();
    const QMutexLocker lock(&m_initialsLock);
    if (m_initials || !m_initialsWorked)
        return QtFuture::makeReadyFuture();
    return *m_initialsWorked;
}
