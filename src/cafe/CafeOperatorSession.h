#pragma once

#include "operator/OperatorSession.h"

#include <QString>

#include <functional>

class CatalogueConnection;

// The operator check when the catalogue lives on the room's server: the password is the operator
// role's own, so the server checks it. A granted session points the shared connection at the server
// as the operator, and its end points it back at the local copy the menu reads.
class CafeOperatorSession : public OperatorSession
{
public:
    CafeOperatorSession(CatalogueConnection &connection, QString menuUri, std::function<bool()> online,
                        std::function<QString()> copyPath);

    // Offline there is no server to check it: begin refuses without one.
    bool passwordRequired() override { return m_online(); }
    Result begin(const QString &password) override;
    QString checkingText() const override { return QStringLiteral(u"正在连接服务器…"); }
    void end() noexcept override;

    // The menu's connection settings with the operator's name and the given password in place of the
    // menu's own; every other setting (host, port, TLS, timeouts) is kept.
    static QString operatorUri(const QString &menuUri, const QString &password);

private:
    void reopenCopy() noexcept;

    CatalogueConnection &m_connection;
    QString m_menuUri;
    std::function<bool()> m_online;
    std::function<QString()> m_copyPath;
};
