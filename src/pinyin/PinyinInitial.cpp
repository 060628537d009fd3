#include "pinyin/PinyinInitial.h"

#include <QtGlobal>

namespace {

#include "pinyin/PinyinTable.inc"

// The letter for a unit, or 0 when the unit is its own initial.
char16_t letterOf(char16_t unit)
{
    const qsizetype offset = qsizetype(unit) - kPinyinTableFirst;
    if (offset < 0 || offset >= kPinyinTableSize)
        return 0;
    const char letter = kPinyinTableLetters[offset];
    return letter == '-' ? 0 : char16_t(letter);
}

} // namespace

QString GetPinyinInitial(QChar c)
{
    const char16_t letter = letterOf(c.unicode());
    return QString(letter ? QChar(letter) : c);
}

QString GetPinyinInitial(const QString &character)
{
    if (character.isEmpty())
        return QString();
    const char16_t letter = letterOf(character.front().unicode());
    // Outside the table the argument comes back whole, as given.
    return letter ? QString(QChar(letter)) : character;
}

QString PinyinInitials(const QString &text)
{
    QString initials(text.size(), Qt::Uninitialized);
    QChar *out = initials.data();
    for (const QChar c : text) {
        const char16_t letter = letterOf(c.unicode());
        *out++ = letter ? QChar(letter) : c;
    }
    return initials;
}
