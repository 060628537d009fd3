#include "catalogue/CatalogueIndex.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/StatementBuilder.h"
#include "pinyin/PinyinSearch.h"

#include <QMutexLocker>
#include <QPromise>
#include <QThreadPool>

#include <sqlite3.h>

#include <cstring>
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

} // namespace

std::shared_ptr<const CatalogueIndex> CatalogueIndex::read(CatalogueConnection &connection, const QString &statement)
{
    if (!connection.isOpen())
        connection.throwLastError();
    auto index = std::make_shared<CatalogueIndex>(Private{});
    // Taken first: a change that lands during the read then only costs one more read.
    index->m_stamp = connection.changeStamp();
    index->m_keepable = index->m_stamp.version >= 0 && !connection.inTransaction();
    index->readRows(connection, statement);
    return index;
}

std::shared_ptr<const CatalogueIndex> CatalogueIndex::readFor(const CatalogueConnection::ChangeStamp &stamp,
                                                              CatalogueConnection &readThrough,
                                                              const QString &statement)
{
    auto index = std::make_shared<CatalogueIndex>(Private{});
    index->m_stamp = stamp;
    index->m_keepable = stamp.version >= 0;
    index->readRows(readThrough, statement);
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
