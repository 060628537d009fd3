#pragma once

#include <QString>
#include <QStringList>

// Finds the file a command names, as a shell would, and also in Debian's game folders,
// which root's PATH lacks.
class ProgramLookup
{
public:
    // The absolute path of an executable file, or an empty text when none is found. A name
    // with a slash is taken as a path as it stands.
    static QString resolve(const QString &program);
    static QString resolve(const QString &program, const QStringList &searchFolders);

    // PATH's folders followed by /usr/games and /usr/local/games.
    static QStringList searchFolders();
};
