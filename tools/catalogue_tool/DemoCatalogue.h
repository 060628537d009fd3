#pragma once

#include <QString>
#include <QStringList>

// Writes catalogues for operators and benchmarks: the small demo with runnable games,
// and large generated catalogues of any size.
class DemoCatalogue
{
public:
    // Creates DIR/GameDB.dbs with a few categories and about thirty runnable demo games
    // whose files live under DIR/demo_games. Throws CatalogueError or std::runtime_error.
    static void createDemo(const QString &directory, const QString &demoGameProgram);

    // Creates DIR/GameDB.dbs with `games` games in `categories` categories, about a tenth hot,
    // their icons a mix of .ico files, executables with icon resources and missing files.
    static void createGenerated(const QString &directory, int games, int categories);

    // Both tables as text, one row a line.
    static QStringList listing(const QString &directory);

    static QString databasePath(const QString &directory);
};
