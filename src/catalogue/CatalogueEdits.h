#pragma once

#include "catalogue/GameRecord.h"

#include <QList>
#include <QString>

// The operator's edits of the catalogue, each in one transaction on the shared connection and
// cursor. They touch no control, so a window may run them on a worker; failures throw CatalogueError.
namespace CatalogueEdits {

void addCategory(const QString &name);
// The category row and its games change together or not at all.
void renameCategory(const QString &oldName, const QString &newName);
// False, writing nothing, while games still belong to the category.
bool deleteCategory(const QString &name);

// Stores a new game; an empty icon or argument field is stored as "无".
void addGame(GameRecord game);
// Rewrites the game numbered opened.GameID, writing only the fields of game that differ from opened,
// the fields as they were opened. Throws RowChanged when the stored game no longer shows as openedGame.
void modifyGame(const GameRecord &opened, const GameRecord &openedGame, GameRecord game);
// Adds the games, and first the categories they name that do not exist yet, in one transaction.
void addGames(const QList<GameRecord> &games);
// Folder, executable and arguments: the same game whatever its name or category.
QString gameIdentity(const GameRecord &game);
// By number: a game sharing the name with this one stays.
void deleteGame(const QString &gameId);

// Whether the game names an icon of its own rather than the executable's.
bool hasOwnIcon(const GameRecord &game);
// The game as the editor's fields show it: without an icon of its own the icon is empty.
GameRecord shownAs(const GameRecord &game);

} // namespace CatalogueEdits
