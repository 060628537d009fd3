#include "cafe/CafeOperatorSession.h"

#include "cafe/PgBackend.h"
#include "cafe/ServerSchema.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace {

QString conninfoValue(const QString &value)
{
    QString escaped = value;
    escaped.replace(u'\\', u"\\\\"_s);
    escaped.replace(u'\'', u"\\'"_s);
    return u'\'' + escaped + u'\'';
}

} // namespace

CafeOperatorSession::CafeOperatorSession(CatalogueConnection &connection, QString menuUri, std::function<bool()> online,
                                         std::function<QString()> copyPath)
    : m_connection(connection)
    , m_menuUri(std::move(menuUri))
    , m_online(std::move(online))
    , m_copyPath(std::move(copyPath))
{
}

QString CafeOperatorSession::operatorUri(const QString &menuUri, const QString &password)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(menuUri.toUtf8().constData(), &error);
    PQfreemem(error);
    QStringList parts;
    for (PQconninfoOption *option = options; option && option->keyword; ++option) {
        const QByteArray keyword(option->keyword);
        if (!option->val || keyword == "user" || keyword == "password")
            continue;
        parts.append(QString::fromUtf8(keyword) + u'=' + conninfoValue(QString::fromUtf8(option->val)));
    }
    PQconninfoFree(options);
    parts.append(u"user="_s + conninfoValue(QString::fromLatin1(ServerSchema::OperatorRole)));
    parts.append(u"password="_s + conninfoValue(password));
    return parts.join(u' ');
}

OperatorSession::Result CafeOperatorSession::begin(const QString &password)
{
    if (!m_online())
        return {Outcome::Unavailable, u"离线模式：暂时无法连接服务器，现在不能修改游戏目录，请在服务器恢复后再试。"_s};
    try {
        m_connection.OpenServer(std::make_unique<PgBackend>(operatorUri(m_menuUri, password)));
        return {Outcome::Granted, QString()};
    } catch (const CatalogueError &error) {
        reopenCopy();
        if (error.number() == CatalogueError::ServerLoginRefused)
            return {Outcome::WrongPassword, QString()};
        return {Outcome::Unavailable, error.message(u"无法以管理员身份连接服务器："_s)};
    }
}

void CafeOperatorSession::end() noexcept
{
    reopenCopy();
}

void CafeOperatorSession::reopenCopy() noexcept
{
    // A copy that cannot be opened now shows its error at the next fill, as a broken file would.
    try {
        m_connection.Open(m_copyPath(), QString::fromUtf16(Catalogue::Password));
    } catch (const CatalogueError &) {
    }
}
