#include "desktop_entries/ProgramLookup.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString ProgramLookup::resolve(const QString &program)
{
    return resolve(program, searchFolders());
}

QString ProgramLookup::resolve(const QString &program, const QStringList &searchFolders)
{
    if (program.isEmpty())
        return {};
    const auto runnable = [](const QString &path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    };
    if (program.contains(u'/'))
        return QDir::isAbsolutePath(program) ? runnable(program) : QString();
    for (const QString &folder : searchFolders) {
        if (folder.isEmpty())
            continue;
        const QString found = runnable(QDir(folder).filePath(program));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

QStringList ProgramLookup::searchFolders()
{
    QStringList folders = qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
    for (const QString &games : {u"/usr/games"_s, u"/usr/local/games"_s}) {
        if (!folders.contains(games))
            folders.append(games);
    }
    return folders;
}
