#include "desktop_entries/DesktopEntryScanner.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>

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

QList<DesktopEntryScanner::Found> DesktopEntryScanner::scan(const QStringList &applicationFolders)
{
    QMap<QString, QString> byId;
    for (const QString &folder : applicationFolders) {
        const QDir root(folder);
        QDirIterator it(folder, {u"*.desktop"_s}, QDir::Files,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString path = it.next();
            // The ID names the subfolders too: games/foo.desktop is "games-foo.desktop".
            const QString id = root.relativeFilePath(path).replace(u'/', u'-');
            if (!byId.contains(id))
                byId.insert(id, path);
        }
    }
    QList<Found> found;
    for (auto it = byId.cbegin(); it != byId.cend(); ++it)
        found.append({it.key(), it.value()});
    return found;
}
