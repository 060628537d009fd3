#include "catalogue/TransactionGuard.h"

#include "catalogue/CatalogueConnection.h"

TransactionGuard::TransactionGuard(CatalogueConnection &connection)
    : m_connection(connection)
{
    m_connection.BeginTrans();
}

TransactionGuard::~TransactionGuard()
{
    if (!m_committed)
        m_connection.RollbackTrans();
}

void TransactionGuard::commit()
{
    m_connection.CommitTrans();
    m_committed = true;
}
