#pragma once

#include <QString>
#include <QStringList>

// A private folder beside a target folder where files are made before they are moved into
// place, so a failure part-way leaves nothing half-made in the target. Moving never replaces
// anything: an existing file, folder or link at a target name stops it. Whatever was not
// moved is removed when the folder goes away.
class StagingFolder
{
public:
    explicit StagingFolder(const QString &targetDirectory);
    ~StagingFolder();
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    QString filePath(const QString &name) const;

    // Throws std::runtime_error naming the first of names already present in the target.
    static void requireFree(const QString &targetDirectory, const QStringList &names);
    // Moves the named entries into the target in order; on a failure those already moved go back.
    void moveIntoPlace(const QStringList &names);

private:
    QString m_target;
    QString m_path;
};
