#include "catalogue/CatalogueRecordset.h"

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct StatementDeleter
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

Statement prepare(CatalogueConnection &connection, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(connection.handle(), text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        connection.throwLastError();
    return Statement(stmt);
}

QString columnText(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QString();
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    const int bytes = sqlite3_column_bytes(stmt, column);
    if (bytes == 0)
        return QString(u""_s);
    return QString::fromUtf8(text, bytes);
}

void bindText(CatalogueConnection &connection, sqlite3_stmt *stmt, int index, const QString &value)
{
    int rc;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else {
        const QByteArray utf8 = value.toUtf8();
        rc = sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        connection.throwLastError();
}

void stepToDone(CatalogueConnection &connection, sqlite3_stmt *stmt)
{
    if (sqlite3_step(stmt) != SQLITE_DONE)
        connection.throwLastError();
}

QString quotedIdentifier(const QString &name)
{
    QString result = name;
    result.replace(u'"', u"\"\""_s);
    return u'"' + result + u'"';
}

// The first of SQLite's names for the row number that no column of the table takes for itself;
// empty when all are taken. A missing table is left for the query to report.
QString rowKeyName(CatalogueConnection &connection, const QString &table)
{
    Statement stmt = prepare(connection, u"PRAGMA table_info(%1)"_s.arg(quotedIdentifier(table)));
    QStringList declared;
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW)
        declared.append(columnText(stmt.get(), 1));
    if (rc != SQLITE_DONE)
        connection.throwLastError();
    for (const QString &name : {u"rowid"_s, u"_rowid_"_s, u"oid"_s}) {
        if (!declared.contains(name, Qt::CaseInsensitive))
            return name;
    }
    return QString();
}

} // namespace

void CatalogueRecordset::Open(const QString &source, CatalogueConnection &connection, int, int, int)
{
    // A cursor left open by a failed command is closed by the next open.
    Close();
    static const QRegularExpression form(u"^\\s*select\\s+\\*\\s+from\\s+(\\w+)(.*)$"_s,
                                         QRegularExpression::CaseInsensitiveOption
                                             | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(source);
    if (!match.hasMatch())
        throw CatalogueError(SQLITE_ERROR, u"不支持的查询语句: "_s + source);
    if (!connection.isOpen())
        connection.throwLastError();
    // The row number of each selected row is the key by which edits find their row again;
    // a user column of the same name must not stand in for it.
    const QString rowKey = rowKeyName(connection, match.captured(1));
    const CatalogueConnection::SharedSnapshot snapshot =
        connection.query(u"Select "_s + (rowKey.isEmpty() ? u"NULL"_s : rowKey) + u", * From "_s + match.captured(1)
                         + match.captured(2));
    m_columns = snapshot->columns;
    m_rows = snapshot->rows;
    m_changed = QList<bool>(m_columns.size(), false);
    m_table = match.captured(1);
    m_rowKey = rowKey;
    m_connection = &connection;
}

void CatalogueRecordset::Close() noexcept
{
    m_connection = nullptr;
    m_table.clear();
    m_rowKey.clear();
    m_columns.clear();
    m_rows.clear();
    m_changed.clear();
    m_position = 0;
    m_adding = false;
}

bool CatalogueRecordset::Eof() const
{
    return !m_adding && m_position >= m_rows.size();
}

int CatalogueRecordset::columnIndex(const QString &column) const
{
    const qsizetype exact = m_columns.indexOf(column);
    if (exact >= 0)
        return int(exact);
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    throw CatalogueError(SQLITE_ERROR, u"找不到字段: "_s + column);
}

const CatalogueRecordset::Row &CatalogueRecordset::currentRow() const
{
    if (!m_connection)
        throw CatalogueError(SQLITE_MISUSE, u"记录集未打开"_s);
    if (m_position >= m_rows.size())
        throw CatalogueError(SQLITE_NOTFOUND, u"没有当前记录"_s);
    return m_rows.at(m_position);
}

void CatalogueRecordset::requireRowKey() const
{
    if (m_rowKey.isEmpty())
        throw CatalogueError(
            SQLITE_ERROR, u"表 %1 的字段占用了 rowid、_rowid_ 和 oid，无法确定要修改的行，未做任何修改"_s.arg(m_table));
}

QString CatalogueRecordset::Field(const QString &column) const
{
    return currentRow().values.at(columnIndex(column));
}

bool CatalogueRecordset::isNull(const QString &column) const
{
    return Field(column).isNull();
}

void CatalogueRecordset::setField(const QString &column, const QString &value)
{
    const int index = columnIndex(column);
    currentRow();
    requireRowKey();
    m_rows[m_position].values[index] = value.isNull() ? QString(u""_s) : value;
    m_changed[index] = true;
}

void CatalogueRecordset::MoveNext()
{
    if (Eof())
        throw CatalogueError(SQLITE_NOTFOUND, u"已到记录集末尾"_s);
    Update();
    ++m_position;
}

void CatalogueRecordset::AddNew()
{
    if (!m_connection)
        throw CatalogueError(SQLITE_MISUSE, u"记录集未打开"_s);
    requireRowKey();
    Update();
    Row row;
    row.values = QList<QString>(m_columns.size());
    m_rows.append(row);
    m_position = m_rows.size() - 1;
    m_changed.fill(false);
    m_adding = true;
}

void CatalogueRecordset::Update()
{
    if (!m_connection)
        throw CatalogueError(SQLITE_MISUSE, u"记录集未打开"_s);
    if (m_adding)
        storeNewRow();
    else if (m_changed.contains(true))
        storeEditedRow();
}

void CatalogueRecordset::storeNewRow()
{
    QStringList names;
    QStringList marks;
    QList<QString> values;
    Row &row = m_rows[m_position];
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (!m_changed.at(i))
            continue;
        names.append(quotedIdentifier(m_columns.at(i)));
        marks.append(u"?"_s);
        values.append(row.values.at(i));
    }
    const QString sql = names.isEmpty()
        ? u"Insert Into %1 Default Values"_s.arg(quotedIdentifier(m_table))
        : u"Insert Into %1 (%2) Values (%3)"_s.arg(quotedIdentifier(m_table), names.join(u','), marks.join(u','));
    Statement stmt = prepare(*m_connection, sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        bindText(*m_connection, stmt.get(), int(i + 1), values.at(i));
    stepToDone(*m_connection, stmt.get());
    row.rowid = sqlite3_last_insert_rowid(m_connection->handle());
    reloadRow(row);
    m_adding = false;
    m_changed.fill(false);
}

void CatalogueRecordset::storeEditedRow()
{
    QStringList assignments;
    QList<QString> values;
    const Row &row = m_rows.at(m_position);
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (!m_changed.at(i))
            continue;
        assignments.append(quotedIdentifier(m_columns.at(i)) + u"=?"_s);
        values.append(row.values.at(i));
    }
    Statement stmt =
        prepare(*m_connection,
                u"Update %1 Set %2 Where %3=?"_s.arg(quotedIdentifier(m_table), assignments.join(u','), m_rowKey));
    int index = 1;
    for (const QString &value : values)
        bindText(*m_connection, stmt.get(), index++, value);
    sqlite3_bind_int64(stmt.get(), index, row.rowid);
    stepToDone(*m_connection, stmt.get());
    if (sqlite3_changes(m_connection->handle()) == 0)
        throw CatalogueError(SQLITE_NOTFOUND, u"要修改的记录已不存在"_s);
    m_changed.fill(false);
}

void CatalogueRecordset::reloadRow(Row &row)
{
    // Picks up what the store filled in itself, such as a new game's number.
    Statement stmt = prepare(*m_connection, u"Select * From %1 Where %2=?"_s.arg(quotedIdentifier(m_table), m_rowKey));
    sqlite3_bind_int64(stmt.get(), 1, row.rowid);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        return;
    const int columns = sqlite3_column_count(stmt.get());
    for (int c = 0; c < columns && c < row.values.size(); ++c)
        row.values[c] = columnText(stmt.get(), c);
}
