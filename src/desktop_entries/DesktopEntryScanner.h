#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Walks the applications folders for .desktop files; of files sharing a desktop-file ID the
// one in the earlier folder wins, as the desktop does.
class DesktopEntryScanner
{
public:
    struct Found
    {
        QString id;
        QString path;
    };

    // $XDG_DATA_HOME (default ~/.local/share), then each of $XDG_DATA_DIRS
    // (default /usr/local/share:/usr/share).
    static QStringList dataFolders();
    // The "applications" folder of each data folder.
    static QStringList applicationFolders(const QStringList &dataFolders);

    // Ordered by ID, so a listing reads the same on every run. Links to folders outside the
    // folders given, and /proc, /sys and /dev, are never followed; each real folder is read once.
    static QList<Found> scan(const QStringList &applicationFolders);

private:
    static bool isInside(const QString &path, const QString &folder);
    static bool isSystemFolder(const QString &canonicalPath);
};
