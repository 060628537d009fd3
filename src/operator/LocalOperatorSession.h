#pragma once

#include "operator/OperatorSession.h"

class CatalogueConnection;

// The operator check on the catalogue file: a password only when the file stores one. The
// windows keep writing through the shared connection, so there is nothing to open or close.
class LocalOperatorSession : public OperatorSession
{
public:
    explicit LocalOperatorSession(CatalogueConnection &connection);

    bool passwordRequired() override;
    Result begin(const QString &password) override;
    void end() noexcept override;

private:
    CatalogueConnection &m_connection;
};
