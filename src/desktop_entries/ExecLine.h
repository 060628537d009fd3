#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// An entry's Exec value as the program and its arguments: split by the desktop entry quoting
// rules, with the field codes expanded as a launcher given no files or URLs would.
class ExecLine
{
public:
    // exec is the value with the general string escapes already resolved; name fills %c and
    // entryFile fills %k. Nothing when the line is empty or a quote is left open.
    static std::optional<QStringList> split(const QString &exec, const QString &name, const QString &entryFile);

private:
    static std::optional<QStringList> words(const QString &exec);
    // False when the word held only codes that stand for files, URLs or the icon.
    static bool expand(QString &word, const QString &name, const QString &entryFile);
};
