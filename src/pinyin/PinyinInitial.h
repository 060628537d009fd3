#pragma once

#include <QChar>
#include <QString>

// Initial letter of the Mandarin reading of one character: an upper-case letter for
// the GB2312 first-level characters, otherwise the character itself.
QString GetPinyinInitial(QChar c);

// Same rule on the first character of a one-character string; an empty string gives "".
QString GetPinyinInitial(const QString &character);

// GetPinyinInitial of every UTF-16 unit of text, concatenated in order.
QString PinyinInitials(const QString &text);
