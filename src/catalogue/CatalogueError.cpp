#include "catalogue/CatalogueError.h"

#include <QStringList>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QString explanation(int number, const QString &description)
{
    switch (number) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return u"游戏目录正被其他程序使用，请稍后再试。"_s;
    case SQLITE_READONLY:
        // The packaged program folder belongs to root, so an ordinary user meets this first.
        return u"游戏目录文件是只读的，当前用户无法修改。请以管理员（root）身份运行本程序后再修改，"
               "或改用网吧模式，通过游戏目录服务器修改。"_s;
    case SQLITE_FULL:
        return u"磁盘已满，无法写入游戏目录。"_s;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return u"游戏目录文件已损坏。"_s;
    case SQLITE_NOTFOUND:
        return u"找不到要操作的记录，它可能已被删除。"_s;
    case CatalogueError::ServerUnreachable:
        return u"无法连接服务器。"_s;
    case CatalogueError::ServerConnectionLost:
        return u"与服务器的连接已断开，未完成的修改没有保存。"_s;
    case CatalogueError::ServerLoginRefused:
        return u"服务器拒绝登录：用户名或密码错误。"_s;
    case CatalogueError::ServerPermissionDenied:
        return u"没有写入权限。"_s;
    case CatalogueError::ServerOutcomeUnknown:
        return u"服务器没有确认是否已保存：修改可能已经保存，也可能没有。请重新打开查看后再决定是否重做。"_s;
    case CatalogueError::WrongThread:
        return u"游戏目录正由另一项操作使用，请稍后再试。"_s;
    case CatalogueError::RowChanged:
        return u"该记录已被他人修改，未做任何修改。"_s;
    default:
        break;
    }
    // The store reports a missing table or column with its generic error number.
    if (description.startsWith(u"no such table"_s) || description.contains(u"SQLSTATE 42P01"_s))
        return u"游戏目录缺少所需的数据表。"_s;
    if (description.startsWith(u"no such column"_s) || description.contains(u"SQLSTATE 42703"_s)
        || description.startsWith(u"找不到字段"_s))
        return u"游戏目录缺少所需的字段。"_s;
    return QString();
}

} // namespace

QString CatalogueError::message(const QString &context) const
{
    QStringList lines{context, u"错误代码:"_s + QString::number(m_number)};
    const QString known = explanation(m_number, m_description);
    if (!known.isEmpty())
        lines.append(known);
    lines.append(m_description);
    return lines.join(u'\n');
}

QString CatalogueError::connectionMessage() const
{
    return u"数据库连接出错:\n错误代码:"_s + QString::number(m_number) + m_description;
}
