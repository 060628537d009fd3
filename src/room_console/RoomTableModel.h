#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariantList>

// The rows of one of the room console's tables, as text, with what each column sorts by. A row can be
// greyed (a PC that is off) and so can the whole table (figures from a server since lost).
class RoomTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Row
    {
        QStringList cells;
        QVariantList keys; // what each column sorts by; the text when missing
        bool greyed = false;
        bool operator==(const Row &) const = default;
    };

    static constexpr int SortRole = Qt::UserRole;

    RoomTableModel(QStringList headers, QList<int> numberColumns, QObject *parent = nullptr);

    // Rows of the same count are changed in place, so the view keeps its place and selection, and only
    // the rows that differ are told to the views.
    void setRows(QList<Row> rows);
    void setStale(bool stale);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_headers;
    QList<int> m_numberColumns;
    QList<Row> m_rows;
    bool m_stale = false;
};
