#pragma once

#include <QString>
#include <QStringList>

// Splits a stored argument text into the arguments a game receives, the way a command line
// is split: white space separates words, double quotes group them. Nothing else is special:
// "$", ";", "|", "&", backticks and backslashes stay literal text, since no shell is involved.
class CommandLine
{
public:
    // Inside quotes a doubled quote ("") stands for one literal quote; a pair of quotes with
    // nothing between them gives an empty argument; an unclosed quote runs to the end.
    static QStringList split(const QString &text);
};
