#pragma once

#include "platform/Shell.h"

#include <functional>

// The shell of a Linux desktop: executables are started directly (never through a command
// interpreter), documents and folders are handed to the desktop's default handler.
class DesktopShell : public Shell
{
public:
    // Hands a document or folder to its default application; false when none could take it.
    using DefaultOpener = std::function<bool(const QString &path, const QString &workingDir)>;

    DesktopShell();

    LaunchResult open(const QString &file, const QString &arguments, const QString &workingDir) override;
    LaunchResult openFolder(const QString &dir) override;

    // Tests replace the default handler so that no desktop application is started.
    void setDefaultOpener(DefaultOpener opener);

    static bool openWithDesktop(const QString &path, const QString &workingDir);

private:
    static bool isExecutableFile(const QString &file);
    static LaunchResult startDetached(const QString &file, const QStringList &arguments, const QString &workingDir);

    DefaultOpener m_defaultOpener;
};
