#include "room_console/RoomConsoleSession.h"

#include "cafe/CafeOperatorSession.h"
#include "cafe/RoomReport.h"
#include "catalogue/CatalogueError.h"

using namespace Qt::StringLiterals;

RoomConsoleSession::RoomConsoleSession(QString menuUri, std::function<bool()> online)
    : m_menuUri(std::move(menuUri))
    , m_online(std::move(online))
{
}

OperatorSession::Result RoomConsoleSession::begin(const QString &password)
{
    if (!m_online())
        return {Outcome::Unavailable, u"离线模式：暂时无法连接服务器，现在不能查看机房状态，请在服务器恢复后再试。"_s};
    try {
        const QString uri = CafeOperatorSession::operatorUri(m_menuUri, password);
        m_connection = RoomReport::connect(uri);
        m_operatorUri = uri;
        return {Outcome::Granted, QString()};
    } catch (const CatalogueError &error) {
        if (error.number() == CatalogueError::ServerLoginRefused)
            return {Outcome::WrongPassword, QString()};
        return {Outcome::Unavailable, error.message(u"无法以管理员身份连接服务器："_s)};
    }
}

QString RoomConsoleSession::checkingText() const
{
    return u"正在连接服务器…"_s;
}

void RoomConsoleSession::end() noexcept
{
    m_connection.reset();
}
