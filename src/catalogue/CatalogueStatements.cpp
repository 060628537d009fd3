#include "catalogue/CatalogueStatements.h"

#include "catalogue/CatalogueError.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace CatalogueStatements {

namespace {

// A game number is sent as bare digits; anything else would be read as SQL.
QString checkedKey(const QString &gameId)
{
    bool ok = false;
    const qlonglong key = gameId.toLongLong(&ok);
    if (!ok || gameId.trimmed() != gameId || gameId.startsWith(u'+'))
        throw CatalogueError(SQLITE_MISMATCH, u"无效的游戏编号: "_s + gameId);
    return QString::number(key);
}

} // namespace

QString quoted(const QString &value)
{
    QString text = value;
    text.replace(u'\'', u"''"_s);
    return u'\'' + text + u'\'';
}

QString selectTypeList()
{
    return u"Select * From TypeList"_s;
}

QString selectTypeByName(const QString &name)
{
    return u"Select * From TypeList Where TypeName= "_s + quoted(name);
}

QString deleteTypeByName(const QString &name)
{
    return u"delete From TypeList Where TypeName= "_s + quoted(name);
}

QString selectGameList()
{
    return u"Select * From GameList"_s;
}

QString selectGamesByType(const QString &type)
{
    return u"Select * From GameList Where GameType= "_s + quoted(type);
}

QString selectGameById(const QString &gameId)
{
    return u"Select * From GameList Where GameID= "_s + checkedKey(gameId);
}

QString deleteGameByName(const QString &name)
{
    return u"delete From GameList Where GameName= "_s + quoted(name);
}

QString deleteGameById(const QString &gameId)
{
    return u"delete From GameList Where GameID= "_s + checkedKey(gameId);
}

} // namespace CatalogueStatements
