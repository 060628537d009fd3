#pragma once

#include <QString>
#include <QStringList>

// Outcome of a request to the shell; the reason is shown to the user when it fails.
struct LaunchResult
{
    bool ok = false;
    QString reason;
};

// The desktop shell: starts games and opens folders. The program uses one instance;
// tests install a fake with setInstance.
class Shell
{
public:
    virtual ~Shell() = default;

    // The "open" verb: an executable file is started as its own detached process with the
    // split arguments; any other file goes to the desktop's default handler.
    virtual LaunchResult open(const QString &file, const QString &arguments, const QString &workingDir) = 0;
    // Shows a directory in the desktop's file browser.
    virtual LaunchResult openFolder(const QString &dir) = 0;

    static Shell &instance();
    // Not owned; nullptr restores the desktop implementation.
    static void setInstance(Shell *shell);

    // The stored argument text as an argument list: "无" and an empty text give none.
    static QStringList launchArguments(const QString &text);

private:
    static Shell *s_instance;
};
