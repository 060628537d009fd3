#pragma once

#include "catalogue/GameRecord.h"
#include "desktop_entries/InstalledGame.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class CatalogueConnection;
class QTextStream;

// import-desktop: adds the installed games that desktop entries describe to a catalogue, in one
// transaction, leaving out those already in it.
class DesktopImport
{
public:
    struct Options
    {
        QString category; // empty: the entry's own kind decides
        bool hot = false;
        bool dryRun = false;
        QStringList fromFolders; // empty: the XDG applications folders
    };

    // Parses the arguments after the target; false on a usage error.
    static bool parseOptions(const QStringList &arguments, Options &options);

    // Prints a line per game found and the totals; throws CatalogueError, having written nothing.
    static void run(CatalogueConnection &connection, const Options &options, QTextStream &out);

    // Folder, executable and arguments: the same game whatever its name.
    static QString identity(const QString &path, const QString &run, const QString &cmd);

private:
    static InstalledGame::Sources sources(const Options &options);
    // When root reads folders other users own: each such folder with its owner's name, said once
    // at the top, so that what such a user wrote is never taken for the system's own entries.
    static QList<QPair<QString, QString>> foreignFolders(const Options &options, QTextStream &out);
    static void addCategories(CatalogueConnection &connection, QStringList categories, const QList<GameRecord> &games);
    static void addGames(CatalogueConnection &connection, const QList<GameRecord> &games);
};
