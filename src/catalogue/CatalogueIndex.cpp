#include "catalogue/CatalogueIndex.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"
#include "pinyin/PinyinSearch.h"

#include <QMutexLocker>
#include <QThreadPool>

#include <sqlite3.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QString NoValue = u"无"_s;
constexpr char HotBytes[] = "\xE6\x98\xAF"; // "是" in UTF-8

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

Statement prepare(CatalogueConnection &connection, const QByteArray &sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(connection.handle(), sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
        connection.throwLastError();
    return Statement(stmt, sqlite3_finalize);
}

// A column's place by name, matched as the cursor matches field names.
int columnOf(sqlite3_stmt *stmt, const QString &name)
{
    const int count = sqlite3_column_count(stmt);
    int loose = -1;
    for (int c = 0; c < count; ++c) {
        const QString column = QString::fromUtf8(sqlite3_column_name(stmt, c));
        if (column == name)
            return c;
        if (loose < 0 && column.compare(name, Qt::CaseInsensitive) == 0)
            loose = c;
    }
    if (loose < 0)
        throw CatalogueError(SQLITE_ERROR, u"找不到字段: "_s + name);
    return loose;
}

bool hasTextAffinity(const char *declared)
{
    const QByteArray type = QByteArray(declared).toUpper();
    return !type.contains("INT") && (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT"));
}

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
    if (connection.isServer()) {
        // The server's comparison is its own: category fills run their statement there.
        index->readThroughCursor(connection, statement);
        return index;
    }
    index->checkTypeComparison(connection);
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
    index->checkTypeComparison(readThrough);
    index->readRows(readThrough, statement);
    return index;
}

void CatalogueIndex::readThroughCursor(CatalogueConnection &connection, const QString &statement)
{
    CatalogueRecordset rs;
    rs.Open(statement, connection);
    const int fields[FieldCount] = {rs.fieldIndex(CatalogueSchema::GameName), rs.fieldIndex(CatalogueSchema::GamePath),
                                    rs.fieldIndex(CatalogueSchema::GameRun), rs.fieldIndex(CatalogueSchema::GameCmd),
                                    rs.fieldIndex(CatalogueSchema::GameIcon)};
    const int hot = rs.fieldIndex(CatalogueSchema::GameHot);
    for (; !rs.Eof(); rs.MoveNext()) {
        const auto number = quint32(m_rows.size());
        Row row;
        row.start = quint32(m_text.size());
        for (int f = 0; f < FieldCount; ++f) {
            const QString &value = rs.Field(fields[f]);
            if (value.isNull())
                row.nulls |= quint8(1u << f);
            else
                m_text.append(value.toUtf8());
            row.ends[f] = quint32(m_text.size());
        }
        m_rows.append(row);
        m_all.append(number);
        if (rs.Field(hot) == QString::fromUtf8(HotBytes))
            m_hot.append(number);
    }
}

void CatalogueIndex::checkTypeComparison(CatalogueConnection &connection)
{
    const char *declared = nullptr;
    const char *collation = nullptr;
    const QByteArray column = CatalogueSchema::GameType.toUtf8();
    if (sqlite3_table_column_metadata(connection.handle(), nullptr, "GameList", column.constData(), &declared,
                                      &collation, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return;
    Statement encoding = prepare(connection, "PRAGMA encoding;");
    const bool utf8 = sqlite3_step(encoding.get()) == SQLITE_ROW
        && qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(encoding.get(), 0)), "UTF-8") == 0;
    // Only then is "GameType= '<text>'" true exactly for stored text of the same bytes.
    m_typesExact = utf8 && hasTextAffinity(declared) && qstricmp(collation, "BINARY") == 0;
}

void CatalogueIndex::readRows(CatalogueConnection &connection, const QString &statement)
{
    const Statement stmt = prepare(connection, statement.toUtf8());
    sqlite3_stmt *raw = stmt.get();
    const int fields[FieldCount] = {columnOf(raw, CatalogueSchema::GameName), columnOf(raw, CatalogueSchema::GamePath),
                                    columnOf(raw, CatalogueSchema::GameRun), columnOf(raw, CatalogueSchema::GameCmd),
                                    columnOf(raw, CatalogueSchema::GameIcon)};
    const int type = columnOf(raw, CatalogueSchema::GameType);
    const int hot = columnOf(raw, CatalogueSchema::GameHot);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto number = quint32(m_rows.size());
        Row row;
        row.start = quint32(m_text.size());
        for (int f = 0; f < FieldCount; ++f) {
            if (sqlite3_column_type(raw, fields[f]) == SQLITE_NULL)
                row.nulls |= quint8(1u << f);
            else
                m_text.append(reinterpret_cast<const char *>(sqlite3_column_text(raw, fields[f])),
                              sqlite3_column_bytes(raw, fields[f]));
            if (m_text.size() > std::numeric_limits<quint32>::max())
                throw CatalogueError(SQLITE_TOOBIG, u"游戏目录过大"_s);
            row.ends[f] = quint32(m_text.size());
        }
        m_rows.append(row);
        m_all.append(number);

        // The type's storage class first: reading it as text would convert it.
        const int typeClass = sqlite3_column_type(raw, type);
        if (typeClass == SQLITE_TEXT) {
            const QByteArray key = QByteArray::fromRawData(
                reinterpret_cast<const char *>(sqlite3_column_text(raw, type)), sqlite3_column_bytes(raw, type));
            auto found = m_byType.find(key);
            if (found == m_byType.end())
                found = m_byType.insert(QByteArray(key.constData(), key.size()), Rows());
            found->append(number);
        } else if (typeClass == SQLITE_INTEGER || typeClass == SQLITE_FLOAT) {
            m_typesExact = false; // a number compares by other rules
        }
        if (sqlite3_column_type(raw, hot) != SQLITE_NULL && sqlite3_column_bytes(raw, hot) == 3
            && memcmp(sqlite3_column_text(raw, hot), HotBytes, 3) == 0)
            m_hot.append(number);
    }
    if (rc != SQLITE_DONE)
        connection.throwLastError();
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
    return field(row, Path) + (icon != NoValue ? icon : field(row, Run));
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
    {
        const QMutexLocker lock(&m_initialsLock);
        if (m_initialsStarted)
            return;
        m_initialsStarted = true;
    }
    initialsPool().start([self = shared_from_this()] {
        SharedInitials all = self->allInitials();
        const QMutexLocker lock(&self->m_initialsLock);
        if (!self->m_initials)
            self->m_initials = std::move(all);
    });
}
