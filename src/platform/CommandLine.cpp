#include "platform/CommandLine.h"

QStringList CommandLine::split(const QString &text)
{
    QStringList arguments;
    QString word;
    bool inWord = false; // also true for a word made only of quotes, so "" gives an empty argument
    bool quoted = false;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            inWord = true;
            if (quoted && i + 1 < length && text.at(i + 1) == u'"') {
                word += c;
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (!quoted && c.isSpace()) {
            if (inWord)
                arguments.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        arguments.append(word);
    return arguments;
}
