#pragma once

#include "cafe/PgHelper.h"
#include "operator/OperatorSession.h"

#include <QString>

#include <functional>

// The operator check before the room console opens: the server checks the operator role's password
// on a connection of the console's own, which a granted session hands to the console. The menu's
// catalogue connection is left as it is, so the menu goes on following the server meanwhile.
class RoomConsoleSession : public OperatorSession
{
public:
    RoomConsoleSession(QString menuUri, std::function<bool()> online);

    // Offline there is no server to check it: begin refuses without one.
    bool passwordRequired() override { return m_online(); }
    Result begin(const QString &password) override;
    QString checkingText() const override;
    void end() noexcept override;

    // After a granted begin: the operator's connection settings and the open connection.
    QString operatorUri() const { return m_operatorUri; }
    PgHelper::Connection takeConnection() { return std::move(m_connection); }

private:
    QString m_menuUri;
    std::function<bool()> m_online;
    QString m_operatorUri;
    PgHelper::Connection m_connection;
};
