#include "desktop_entries/IconLookup.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

QString IconLookup::resolve(const QString &icon, const QStringList &dataFolders)
{
    if (icon.isEmpty())
        return {};
    if (QDir::isAbsolutePath(icon))
        return QFileInfo(icon).isFile() ? icon : QString();
    if (icon.contains(u'/'))
        return {};
    // Some entries name the file rather than the icon.
    QString name = icon;
    for (const QString &suffix : {u".png"_s, u".svg"_s, u".xpm"_s}) {
        if (name.endsWith(suffix))
            name.chop(suffix.size());
    }
    const QString raster = rasterIcon(name, dataFolders);
    if (!raster.isEmpty())
        return raster;
    QStringList candidates;
    // A symbolic icon is a one-colour outline, unfit for a game list.
    if (!name.endsWith(u"-symbolic"_s)) {
        for (const QString &data : dataFolders)
            candidates.append(data + u"/icons/hicolor/scalable/apps/"_s + name + u".svg"_s);
    }
    for (const QString &data : dataFolders) {
        for (const QString &suffix : {u".png"_s, u".svg"_s, u".xpm"_s})
            candidates.append(data + u"/pixmaps/"_s + name + suffix);
    }
    return firstExisting(candidates);
}

QString IconLookup::rasterIcon(const QString &name, const QStringList &dataFolders)
{
    static const QRegularExpression sizeFolder(u"^(\\d+)x\\d+$"_s);
    struct Candidate
    {
        int size;
        QString path;
    };
    QList<Candidate> found;
    for (const QString &data : dataFolders) {
        const QDir theme(data + u"/icons/hicolor"_s);
        for (const QString &folder : theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QRegularExpressionMatch match = sizeFolder.match(folder);
            const QString path = theme.filePath(folder + u"/apps/"_s + name + u".png"_s);
            if (match.hasMatch() && QFileInfo(path).isFile())
                found.append({match.captured(1).toInt(), path});
        }
    }
    // Stable, so an equal size keeps the order of the data folders.
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate &a, const Candidate &b) { return a.size > b.size; });
    return found.isEmpty() ? QString() : found.first().path;
}

QString IconLookup::firstExisting(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}
