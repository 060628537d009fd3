#include "desktop_entries/InlineScript.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

QString InlineScript::scriptOptions(const QString &program)
{
    static const QRegularExpression shells(
        u"^(sh|ash|bash|dash|zsh|ksh|mksh|pdksh|yash|csh|tcsh|fish|rbash|busybox)$"_s);
    static const QRegularExpression python(u"^(python|pypy)[0-9.]*$"_s);
    static const QRegularExpression perl(u"^(perl|ruby|node|nodejs|lua|luajit)[0-9.]*$"_s);
    static const QRegularExpression php(u"^php[0-9.]*$"_s);
    static const QRegularExpression awk(u"^(awk|gawk|mawk|nawk)$"_s);
    if (shells.match(program).hasMatch() || python.match(program).hasMatch())
        return u"c"_s;
    if (perl.match(program).hasMatch())
        return u"eE"_s;
    if (php.match(program).hasMatch())
        return u"rBRE"_s;
    if (awk.match(program).hasMatch())
        return u"*"_s; // the first word that is no option is the script itself
    return {};
}

QStringList InlineScript::afterEnv(const QStringList &arguments)
{
    qsizetype i = 1;
    while (i < arguments.size()) {
        const QString &word = arguments.at(i);
        if (word == u"-u"_s || word == u"-C"_s || word == u"--unset"_s || word == u"--chdir"_s)
            i += 2;
        else if (word == u"-S"_s || word.startsWith(u"--split-string"_s))
            return {u"sh"_s, u"-c"_s}; // a command line of its own, split by env: never taken as it stands
        else if (word.startsWith(u'-') || word.contains(u'='))
            ++i;
        else
            break;
    }
    return arguments.mid(i);
}

bool InlineScript::inCommand(const QStringList &arguments)
{
    QStringList words = arguments;
    while (!words.isEmpty() && QFileInfo(words.first()).fileName() == u"env"_s)
        words = afterEnv(words);
    if (!words.isEmpty() && QFileInfo(words.first()).fileName() == u"busybox"_s)
        words.removeFirst();
    if (words.isEmpty())
        return false;
    const QString letters = scriptOptions(QFileInfo(words.first()).fileName());
    if (letters.isEmpty())
        return false;
    // awk takes its first word that is no option as the script, unless -f names a file.
    const bool firstWordIsScript = letters == u"*"_s;
    static const QStringList takeAValue{u"-o"_s, u"+o"_s, u"-O"_s, u"+O"_s, u"-W"_s, u"-X"_s, u"-v"_s, u"-F"_s};
    bool scriptFile = false;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (word == u"--"_s)
            return firstWordIsScript && !scriptFile && i + 1 < words.size();
        if (word.size() < 2 || !(word.startsWith(u'-') || word.startsWith(u'+')))
            return firstWordIsScript && !scriptFile && word != u"-"_s;
        if (takeAValue.contains(word)) {
            ++i;
            continue;
        }
        if (word.startsWith(u"--"_s)) {
            if (word == u"--command"_s || word.startsWith(u"--command="_s) || word.startsWith(u"--eval"_s)
                || word.startsWith(u"--source"_s))
                return true;
            scriptFile = scriptFile || word.startsWith(u"--file"_s);
            continue;
        }
        scriptFile = scriptFile || word.startsWith(u"-f"_s);
        if (!firstWordIsScript
            && std::any_of(word.cbegin() + 1, word.cend(), [&](QChar c) { return letters.contains(c); }))
            return true;
    }
    return false;
}
