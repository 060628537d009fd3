#pragma once

#include "catalogue/CatalogueSnapshot.h"

#include <QList>
#include <QString>
#include <QStringList>

class CatalogueConnection;

// The one row cursor. Open takes the set of selected rows once (a keyset); fields are read
// and written by column name; an edit is stored by Update or by moving to the next row.
// Values are text; a NULL reads as a null QString. Every failure throws CatalogueError.
class CatalogueRecordset
{
public:
    enum CursorType { adOpenKeyset = 1 };
    enum LockType { adLockPessimistic = 2 };
    enum Options { adCmdUnspecified = -1 };

    // Accepts the catalogue's query form "Select * From <table> [Where ...]".
    void Open(const QString &source, CatalogueConnection &connection, int cursorType = adOpenKeyset,
              int lockType = adLockPessimistic, int options = adCmdUnspecified);
    void Close() noexcept;
    bool isOpen() const { return m_connection != nullptr; }

    bool Eof() const;
    void MoveNext();
    int RecordCount() const { return int(m_rows.size()); }

    QString Field(const QString &column) const;
    // A column's place, to look up once for a walk over many rows; throws when there is none.
    int fieldIndex(const QString &column) const { return columnIndex(column); }
    const QString &Field(int index) const { return currentRow().values.at(index); }
    bool isNull(const QString &column) const;
    void setField(const QString &column, const QString &value);

    void AddNew();
    void Update();

    const QString &table() const { return m_table; }

private:
    using Row = CatalogueRow;

    int columnIndex(const QString &column) const;
    const Row &currentRow() const;
    void requireRowKey() const;
    void storeNewRow();
    void storeEditedRow();
    void reloadRow(Row &row);

    CatalogueConnection *m_connection = nullptr;
    QString m_table;
    QString m_rowKey; // the name under which the store gives each row's key; empty when there is none
    QStringList m_columns;
    QList<Row> m_rows;
    qsizetype m_position = 0;
    QList<bool> m_changed;
    QList<QString> m_original; // the current row as read, while it has unstored edits
    bool m_adding = false;
};
