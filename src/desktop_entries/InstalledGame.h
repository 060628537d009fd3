#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DesktopEntry;

// An installed game as a catalogue row, or the reason its desktop entry cannot become one.
struct InstalledGame
{
    QString entryFile;
    QString GameName;
    QString GamePath; // with the trailing separator the editor writes
    QString GameRun; // relative to GamePath, since the launcher joins the two
    QString GameCmd; // "无" when there are no arguments
    QString GameIcon; // "无" when no picture is found
    QString GameType;
    QString skipReason; // empty when the row can be imported

    bool importable() const { return skipReason.isEmpty(); }

    // Where to look: the applications folders to scan, the data folders for icons and the
    // folders a bare program name is searched in.
    struct Sources
    {
        QStringList applicationFolders;
        QStringList dataFolders;
        QStringList programFolders;
        static Sources system();
    };

    // The games among the entries (entries that are no games are left out), each with a skip
    // reason where it cannot be imported.
    static QList<InstalledGame> findAll(const Sources &sources);
    // Nothing when the entry is no game at all.
    static std::optional<InstalledGame> fromEntry(const DesktopEntry &entry, const Sources &sources);

    // The arguments as a text that the launcher splits back into exactly these arguments.
    static QString argumentText(const QStringList &arguments);

    // A name as the catalogue stores it: without control characters and bidi overrides, and at
    // most MaxNameLength characters (never cut inside one).
    static constexpr qsizetype MaxNameLength = 200;
    static QString cleanName(const QString &name);
    // An icon is stored only when it is a readable picture file of at most MaxIconBytes in an icon or
    // pixmap folder or in one of the entry's own folders.
    static constexpr qint64 MaxIconBytes = 4 * 1024 * 1024;
    static bool isIconFile(const QString &path, const QStringList &ownFolders);

private:
    static QString gameSkipReason(const DesktopEntry &entry, const Sources &sources);
    void fillFromExec(const DesktopEntry &entry, const Sources &sources);
    static QString insideOrAbsolute(const QString &folder, const QString &file);
};
