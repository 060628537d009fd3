#pragma once

class CatalogueConnection;

// Begins a transaction and rolls it back when the scope is left before commit(), so a write
// that fails part-way leaves the file as it was.
class TransactionGuard
{
public:
    explicit TransactionGuard(CatalogueConnection &connection);
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard &) = delete;
    TransactionGuard &operator=(const TransactionGuard &) = delete;

    void commit();

private:
    CatalogueConnection &m_connection;
    bool m_committed = false;
};
