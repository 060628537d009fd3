#pragma once

#include <QString>

class CatalogueRecordset;

// Opens the shared cursor on a statement and closes it when the scope is left, whether by
// return or by a thrown CatalogueError.
class RecordsetGuard
{
public:
    explicit RecordsetGuard(const QString &statement);
    ~RecordsetGuard();
    RecordsetGuard(const RecordsetGuard &) = delete;
    RecordsetGuard &operator=(const RecordsetGuard &) = delete;

    CatalogueRecordset &operator*() const { return m_recordset; }
    CatalogueRecordset *operator->() const { return &m_recordset; }

private:
    CatalogueRecordset &m_recordset;
};
