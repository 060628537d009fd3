#include "operator/LocalOperatorSession.h"

#include "catalogue/CatalogueError.h"
#include "operator/OperatorPassword.h"

#include <exception>

using namespace Qt::StringLiterals;

LocalOperatorSession::LocalOperatorSession(CatalogueConnection &connection)
    : m_connection(connection)
{
}

bool LocalOperatorSession::passwordRequired()
{
    try {
        return OperatorPassword::stored(m_connection).has_value();
    } catch (const std::exception &) {
        // begin reads again and reports the failure; asking for a password first would not help.
        return false;
    }
}

OperatorSession::Result LocalOperatorSession::begin(const QString &password)
{
    try {
        const std::optional<QString> stored = OperatorPassword::stored(m_connection);
        if (!stored)
            return {Outcome::Granted, QString()};
        // A damaged record must not lock the operator out without a word.
        if (!OperatorPassword::isHash(*stored))
            return {Outcome::Unavailable,
                    u"游戏目录中保存的管理员密码已损坏。\n请用 juyoutai-catalogue set-operator-password 重新设置。"_s};
        if (!OperatorPassword::verify(*stored, password))
            return {Outcome::WrongPassword, QString()};
        return {Outcome::Granted, QString()};
    } catch (const CatalogueError &error) {
        return {Outcome::Unavailable, error.message(u"无法读取管理员密码："_s)};
    } catch (const std::exception &error) {
        return {Outcome::Unavailable, u"无法验证管理员密码："_s + QString::fromUtf8(error.what())};
    }
}

void LocalOperatorSession::end() noexcept
{
}
