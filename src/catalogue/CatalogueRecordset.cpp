#include "catalogue/CatalogueRecordset.h"

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/StatementBuilder.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

void CatalogueRecordset::Open(const QString &source, CatalogueConnection &connection, int, int, int)
{
    // A cursor left open by a failed command is closed by the next open.
    Close();
    const StatementBuilder::Keyed keyed = StatementBuilder::keyedSelect(source, connection);
    const CatalogueConnection::SharedSnapshot snapshot = connection.query(keyed.sql);
    m_columns = snapshot->columns;
    m_rows = snapshot->rows;
    m_changed = QList<bool>(m_columns.size(), false);
    m_table = keyed.table;
    m_rowKey = keyed.rowKey;
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
    m_original.clear();
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
    // What the row held before the first edit: it is written only if it still holds that.
    if (!m_adding && !m_changed.contains(true))
        m_original = m_rows.at(m_position).values;
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
    CatalogueBackend::Values values;
    Row &row = m_rows[m_position];
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (m_changed.at(i))
            values.append({m_columns.at(i), row.values.at(i)});
    }
    row.rowid = m_connection->backend().insertRow(m_table, m_rowKey, values);
    reloadRow(row);
    m_adding = false;
    m_changed.fill(false);
}

void CatalogueRecordset::storeEditedRow()
{
    CatalogueBackend::Values values;
    CatalogueBackend::Values expected;
    const Row &row = m_rows.at(m_position);
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (!m_changed.at(i))
            continue;
        values.append({m_columns.at(i), row.values.at(i)});
        expected.append({m_columns.at(i), m_original.at(i)});
    }
    CatalogueBackend &backend = m_connection->backend();
    if (backend.updateRow(m_table, m_rowKey, row.rowid, values, expected) == 0) {
        if (backend.readRow(m_table, m_rowKey, row.rowid))
            throw CatalogueError(CatalogueError::RowChanged, u"记录在打开后已被修改，未覆盖"_s);
        throw CatalogueError(SQLITE_NOTFOUND, u"要修改的记录已不存在"_s);
    }
    m_changed.fill(false);
    m_original.clear();
}

void CatalogueRecordset::reloadRow(Row &row)
{
    // Picks up what the store filled in itself, such as a new game's number.
    const std::optional<QList<QString>> stored = m_connection->backend().readRow(m_table, m_rowKey, row.rowid);
    if (!stored)
        return;
    for (qsizetype c = 0; c < stored->size() && c < row.values.size(); ++c)
        row.values[c] = stored->at(c);
}
