#include "catalogue/CatalogueStatements.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"

#include <QRegularExpression>
#include <QStringList>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace CatalogueStatements {

namespace {

// A game number is compared as the very text it was read as: "05" stored as text is not game 5.
QString keyCondition(const QString &gameId)
{
    static const QRegularExpression number(u"\\A-?[0-9]{1,40}\\z"_s);
    if (!number.match(gameId).hasMatch())
        throw CatalogueError(SQLITE_MISMATCH, u"无效的游戏编号: "_s + gameId);
    return u"CAST("_s + CatalogueSchema::GameID + u" AS TEXT)= "_s + quoted(gameId);
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
    return u"Select * From TypeList Where "_s + CatalogueSchema::TypeName + u"= "_s + quoted(name);
}

QString deleteTypeByName(const QString &name)
{
    return u"delete From TypeList Where "_s + CatalogueSchema::TypeName + u"= "_s + quoted(name);
}

QString selectGameList()
{
    return u"Select * From GameList"_s;
}

QString selectGamesByType(const QString &type)
{
    return u"Select * From GameList Where "_s + CatalogueSchema::GameType + u"= "_s + quoted(type);
}

QString selectGameById(const QString &gameId)
{
    return u"Select * From GameList Where "_s + keyCondition(gameId);
}

QString deleteGameById(const QString &gameId)
{
    return u"delete From GameList Where "_s + keyCondition(gameId);
}

QString selectGamesRanked(const QList<qint64> &gameIds)
{
    QStringList keys{u"NULL"_s};
    QString order;
    for (qsizetype i = 0; i < gameIds.size(); ++i) {
        keys.append(QString::number(gameIds.at(i)));
        order += u" WHEN %1 THEN %2"_s.arg(gameIds.at(i)).arg(i);
    }
    return u"Select * From GameList Where GameID In (%1) Order By CASE GameID%2 ELSE 0 END"_s.arg(keys.join(u','),
                                                                                                  order);
}

QString selectSettingsTable()
{
    return u"Select * From sqlite_master Where type= 'table' And name= "_s + quoted(CatalogueSchema::Settings);
}

QString createSettingsTable()
{
    return u"CREATE TABLE IF NOT EXISTS "_s + CatalogueSchema::Settings + u'(' + CatalogueSchema::SettingName
        + u" TEXT PRIMARY KEY, "_s + CatalogueSchema::SettingValue + u" TEXT)"_s;
}

QString selectSetting(const QString &name)
{
    return u"Select * From "_s + CatalogueSchema::Settings + u" Where "_s + CatalogueSchema::SettingName + u"= "_s
        + quoted(name);
}

QString insertSetting(const QString &name, const QString &value)
{
    return u"Insert Into "_s + CatalogueSchema::Settings + u'(' + CatalogueSchema::SettingName + u", "_s
        + CatalogueSchema::SettingValue + u") Values("_s + quoted(name) + u", "_s + quoted(value) + u')';
}

QString deleteSetting(const QString &name)
{
    return u"delete From "_s + CatalogueSchema::Settings + u" Where "_s + CatalogueSchema::SettingName + u"= "_s
        + quoted(name);
}

} // namespace CatalogueStatements
