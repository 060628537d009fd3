#pragma once

#include <QString>
#include <QStringList>

// Writes catalogues for operators and benchmarks: the small demo with runnable games,
// and large generated catalogues of any size.
class DemoCatalogue
{
public:
    // Creates an empty DIR/GameDB.dbs. Nothing in DIR is replaced or written through a link;
    // on any failure DIR is left as it was. Throws CatalogueError or std::runtime_error.
    static void createEmpty(const QString &directory);

    // Creates DIR/GameDB.dbs with a few categories and about thirty runnable demo games
    // whose files live under DIR/demo_games, on the same terms as createEmpty.
    static void createDemo(const QString &directory, const QString &demoGameProgram);

    // Creates DIR/GameDB.dbs with `games` games in `categories` categories, about a tenth hot,
    // their icons a mix of .ico files, executables with icon resources and missing files.
    static void createGenerated(const QString &directory, int games, int categories);

    // Both tables as text, one row a line.
    static QStringList listing(const QString &directory);

    static QString databasePath(const QString &directory);

private:
    static void writeDemo(const QString &databaseFile, const QString &gamesFolder, const QString &storedGamesFolder,
                          const QString &demoGameProgram);
};
