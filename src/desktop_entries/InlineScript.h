#pragma once

#include <QStringList>

// Whether a command line hands a shell or an interpreter a script written into the line itself
// (sh -c "…", python3 -c "…", perl -e "…", env … sh -c "…"): such a line can do anything, and
// what it does cannot be seen from the program it names.
class InlineScript
{
public:
    static bool inCommand(const QStringList &arguments);

private:
    // The letters of the option that takes the script, for a program that is a shell or an
    // interpreter; empty for any other program.
    static QString scriptOptions(const QString &program);
    // The arguments after env's own options and variable settings.
    static QStringList afterEnv(const QStringList &arguments);
};
