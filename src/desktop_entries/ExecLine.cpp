#include "desktop_entries/ExecLine.h"

using namespace Qt::StringLiterals;

std::optional<QStringList> ExecLine::split(const QString &exec, const QString &name, const QString &entryFile)
{
    std::optional<QStringList> parts = words(exec);
    if (!parts)
        return std::nullopt;
    QStringList arguments;
    for (QString word : *parts) {
        if (expand(word, name, entryFile))
            arguments.append(word);
    }
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    return arguments;
}

std::optional<QStringList> ExecLine::words(const QString &exec)
{
    QStringList result;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted && c == u'\\' && i + 1 < exec.size()) {
            // Inside quotes a backslash keeps the next character literal.
            word += exec.at(++i);
        } else if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (inWord)
                result.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        result.append(word);
    return result;
}

bool ExecLine::expand(QString &word, const QString &name, const QString &entryFile)
{
    QString out;
    bool droppedCode = false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word.at(i) != u'%' || i + 1 >= word.size()) {
            out += word.at(i);
            continue;
        }
        const QChar code = word.at(++i);
        if (code == u'%')
            out += u'%';
        else if (code == u'c')
            out += name;
        else if (code == u'k')
            out += entryFile;
        else
            droppedCode = true; // %f %F %u %U %i and the deprecated codes: nothing to pass
    }
    word = out;
    return !(droppedCode && out.isEmpty());
}
