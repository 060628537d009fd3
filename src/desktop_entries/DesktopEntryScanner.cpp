#include "desktop_entries/DesktopEntryScanner.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

QStringList DesktopEntryScanner::dataFolders()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + u"/.local/share"_s;
    QStringList system = qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts);
    if (system.isEmpty())
        system = {u"/usr/local/share"_s, u"/usr/share"_s};
    return QStringList{home} + system;
}

QStringList DesktopEntryScanner::applicationFolders(const QStringList &dataFolders)
{
    QStringList folders;
    for (const QString &data : dataFolders)
        folders.append(QDir(data).filePath(u"applications"_s));
    return folders;
}

bool DesktopEntryScanner::isInside(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

bool DesktopEntryScanner::isSystemFolder(const QString &canonicalPath)
{
    return isInside(canonicalPath, u"/proc"_s) || isInside(canonicalPath, u"/sys"_s)
        || isInside(canonicalPath, u"/dev"_s);
}

QList<DesktopEntryScanner::Found> DesktopEntryScanner::scan(const QStringList &applicationFolders)
{
    // Links are followed only to folders inside one of the folders to scan, never into the kernel's
    // folders, and each real folder is read once, so a link can neither lead the walk across the
    // whole file system nor round in a circle.
    QStringList roots;
    for (const QString &folder : applicationFolders) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty() && !isSystemFolder(canonical))
            roots.append(canonical);
    }
    const auto allowed = [&roots](const QString &canonical) {
        return !isSystemFolder(canonical) && std::any_of(roots.cbegin(), roots.cend(), [&](const QString &root) {
            return isInside(canonical, root);
        });
    };
    QSet<FileSystem::FileKey> visited;
    QMap<QString, QString> byId;
    for (const QString &folder : applicationFolders) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (canonical.isEmpty() || !allowed(canonical))
            continue;
        const QDir root(folder);
        QStringList pending{folder};
        while (!pending.isEmpty()) {
            const QString current = pending.takeLast();
            const std::optional<FileSystem::FileKey> key = FileSystem::keyOf(current);
            if (!key || visited.contains(*key))
                continue;
            visited.insert(*key);
            const QFileInfoList children =
                QDir(current).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo &child : children) {
                if (child.isDir()) {
                    if (allowed(child.canonicalFilePath()))
                        pending.append(child.filePath());
                } else if (child.isFile() && child.fileName().endsWith(u".desktop"_s)) {
                    // The ID names the subfolders too: games/foo.desktop is "games-foo.desktop".
                    const QString id = root.relativeFilePath(child.filePath()).replace(u'/', u'-');
                    if (!byId.contains(id))
                        byId.insert(id, child.filePath());
                }
            }
        }
    }
    QList<Found> found;
    for (auto it = byId.cbegin(); it != byId.cend(); ++it)
        found.append({it.key(), it.value()});
    return found;
}
