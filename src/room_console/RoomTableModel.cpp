#include "room_console/RoomTableModel.h"

#include <QGuiApplication>
#include <QPalette>

RoomTableModel::RoomTableModel(QStringList headers, QList<int> numberColumns, QObject *parent)
    : QAbstractTableModel(parent)
    , m_headers(std::move(headers))
    , m_numberColumns(std::move(numberColumns))
{
}

void RoomTableModel::setRows(QList<Row> rows)
{
    if (rows.size() != m_rows.size()) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    // Each run of changed rows at once.
    QList<std::pair<int, int>> changed;
    for (int row = 0; row < int(rows.size()); ++row) {
        if (rows.at(row) == m_rows.at(row))
            continue;
        if (!changed.isEmpty() && changed.constLast().second == row - 1)
            changed.last().second = row;
        else
            changed.append({row, row});
    }
    m_rows = std::move(rows);
    for (const auto &[first, last] : changed)
        Q_EMIT dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void RoomTableModel::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(m_rows.size()) - 1, columnCount() - 1), {Qt::ForegroundRole});
}

int RoomTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RoomTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant RoomTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return row.cells.value(index.column());
    case SortRole:
        return index.column() < row.keys.size() ? row.keys.at(index.column())
                                                : QVariant(row.cells.value(index.column()));
    case Qt::ForegroundRole:
        if (m_stale || row.greyed)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return QVariant();
    case Qt::TextAlignmentRole:
        if (m_numberColumns.contains(index.column()))
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant RoomTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headers.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
