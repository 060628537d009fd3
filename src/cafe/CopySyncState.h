#pragma once

#include <QString>

class CatalogueCopy;
class CatalogueFileWriter;

// What a client's copy file records besides the rows: the server catalogue it mirrors, the horizon
// of the read it came from and the server keys of its types (the file's TypeList has none), so the
// next start reads only what changed since. Kept in a table of its own, which the menu never reads.
class CopySyncState
{
public:
    // Adds the table to a file being written, inside its transaction. Throws CatalogueError.
    static void write(CatalogueFileWriter &writer, const CatalogueCopy &copy);
    // The rows and state of a copy written by write(); false (and copy cleared) for any other file.
    static bool read(const QString &path, CatalogueCopy &copy);
};
