#pragma once

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueRecordset.h"

#include <QString>

#include <functional>
#include <memory>

class QObject;

class CatalogueIndex;

// The catalogue module: the shared connection, cursor and statement text, and the file's place.
namespace Catalogue {

inline constexpr char16_t FileName[] = u"GameDB.dbs";
inline constexpr char16_t Password[] = u"zmkrot";

CatalogueConnection &CatalogueConnectionObject();
CatalogueRecordset &CatalogueRecordsetObject();
QString &CatalogueStatement();

// The program directory as the platform reports it (no trailing separator).
QString ProgramDirectory();
void setProgramDirectory(const QString &directory); // tests and tools point it elsewhere
QString DatabasePath();

// Opens the catalogue once at start-up; throws CatalogueError.
void OpenCatalogue();
// Reads every page of the open catalogue, before anything is written to it; throws CatalogueError.
void CheckCatalogue();
// Closes cursor and connection; never reports anything.
void CloseCatalogue() noexcept;

// Opens the shared cursor on a statement, storing its text first.
CatalogueRecordset &OpenQuery(const QString &statement);
// The games as "Select * From GameList" reads them, kept until anything changes the file;
// throws CatalogueError.
std::shared_ptr<const CatalogueIndex> GameIndex();
// The kept games when nothing has changed the file since they were read; null otherwise.
std::shared_ptr<const CatalogueIndex> CurrentGameIndex();
// Reads the games again on a worker, through a connection of its own, so that the caller's thread
// never waits for the file. done runs on context's thread: true when GameIndex() is now current
// without reading, false when the read failed or the file changed meanwhile.
void ReadGameIndexInBackground(QObject *context, std::function<void(bool)> done);

// Passes a statement to the connection's Execute.
void ExecuteStatement(const QString &statement);

} // namespace Catalogue
