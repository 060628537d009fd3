#include "platform/Shell.h"

#include "platform/CommandLine.h"
#include "platform/DesktopShell.h"

using namespace Qt::StringLiterals;

Shell *Shell::s_instance = nullptr;

Shell &Shell::instance()
{
    if (s_instance)
        return *s_instance;
    static DesktopShell desktop;
    return desktop;
}

void Shell::setInstance(Shell *shell)
{
    s_instance = shell;
}

QStringList Shell::launchArguments(const QString &text)
{
    if (text == u"无"_s)
        return {};
    return CommandLine::split(text);
}
