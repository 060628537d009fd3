#pragma once

#include <QString>

// The catalogue's column names and the file's tables, for code that builds statements from names.
// The statement texts the windows send spell them out too, and the server's schema has its own.
namespace CatalogueSchema {

inline const QString TypeName = QStringLiteral("TypeName");

inline const QString GameID = QStringLiteral("GameID");
inline const QString GameName = QStringLiteral("GameName");
inline const QString GameType = QStringLiteral("GameType");
inline const QString GameHot = QStringLiteral("GameHot");
inline const QString GamePath = QStringLiteral("GamePath");
inline const QString GameRun = QStringLiteral("GameRun");
inline const QString GameCmd = QStringLiteral("GameCmd");
inline const QString GameIcon = QStringLiteral("GameIcon");

// Settings kept in the file itself; a file without this table has none.
inline const QString Settings = QStringLiteral("Settings");
inline const QString SettingName = QStringLiteral("Name");
inline const QString SettingValue = QStringLiteral("Value");

// Both tables of a new catalogue.
inline constexpr char CreateSql[] =
    "CREATE TABLE TypeList(TypeName TEXT);"
    // AUTOINCREMENT: a deleted game's number never comes back on a new game.
    "CREATE TABLE GameList(GameID INTEGER PRIMARY KEY AUTOINCREMENT, GameName TEXT, GameType TEXT,"
    " GameHot TEXT, GamePath TEXT, GameRun TEXT, GameCmd TEXT, GameIcon TEXT);";

// Fails unless every column the program reads or writes is there.
inline constexpr char CheckSql[] =
    "SELECT TypeName FROM TypeList LIMIT 0;"
    "SELECT GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon FROM GameList LIMIT 0;";

} // namespace CatalogueSchema
