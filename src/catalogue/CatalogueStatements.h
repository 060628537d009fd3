#pragma once

#include <QList>
#include <QString>

// Every statement the program sends. Text values go between single quotes with each quote
// doubled, so a name can never change a statement's meaning.
namespace CatalogueStatements {

QString quoted(const QString &value);

QString selectTypeList(); // read or add categories
QString selectTypeByName(const QString &name); // rename a category
QString deleteTypeByName(const QString &name); // delete a category
QString selectGameList(); // every game; add a game; rename walk
QString selectGamesByType(const QString &type); // one category's games
QString selectGameById(const QString &gameId); // modify a game; throws unless gameId is a number
QString deleteGameById(const QString &gameId); // delete one game; throws unless gameId is a number
QString selectGamesRanked(const QList<qint64> &gameIds); // the games of these numbers, in their order

QString selectSettingsTable(); // one row when the file has a settings table
QString createSettingsTable(); // leaves an existing one as it is
QString selectSetting(const QString &name);
QString insertSetting(const QString &name, const QString &value);
QString deleteSetting(const QString &name);

} // namespace CatalogueStatements
