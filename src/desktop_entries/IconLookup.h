#pragma once

#include <QString>
#include <QStringList>

// Finds the picture file an entry's Icon names: in the hicolor theme of the data folders, the
// largest raster size first, then the scalable picture, then the pixmaps folders.
class IconLookup
{
public:
    // An absolute path is taken as it stands when the file exists; an empty text when nothing is found.
    static QString resolve(const QString &icon, const QStringList &dataFolders);

private:
    static QString rasterIcon(const QString &name, const QStringList &dataFolders);
    static QString firstExisting(const QStringList &candidates);
};
