#include "catalogue/RecordsetGuard.h"

#include "catalogue/Catalogue.h"

RecordsetGuard::RecordsetGuard(const QString &statement)
    : m_recordset(Catalogue::OpenQuery(statement))
{
}

RecordsetGuard::~RecordsetGuard()
{
    m_recordset.Close();
}
