// Reads arbitrary bytes as UTF-16LE, a search text and a game name split at the first
// line feed, and checks what the initials and the search rule must hold for every input.
#include "pinyin/PinyinInitial.h"
#include "pinyin/PinyinSearch.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QString fromUtf16Le(const uint8_t *data, size_t size)
{
    QString text;
    text.reserve(static_cast<qsizetype>(size / 2));
    for (size_t i = 0; i + 1 < size; i += 2)
        text.append(QChar(char16_t(data[i] | (data[i + 1] << 8))));
    return text;
}

bool isInitialLetter(QChar c)
{
    return c >= u'A' && c <= u'Z' && c != u'I' && c != u'U' && c != u'V';
}

void checkInitials(const QString &text)
{
    const QString initials = PinyinInitials(text);
    if (initials.size() != text.size())
        std::abort();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar in = text.at(i);
        const QChar out = initials.at(i);
        if (GetPinyinInitial(in) != QString(out))
            std::abort();
        // Only CJK ideographs are replaced, and only by an initial letter.
        if (out != in && (!isInitialLetter(out) || in.unicode() < 0x4E00 || in.unicode() > 0x9FFF))
            std::abort();
    }
}

bool hasSurrogate(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSurrogate())
            return true;
    }
    return false;
}

void checkSearch(const QString &search, const QString &name)
{
    const PinyinSearch rule(search);
    const bool listed = rule.matches(name);
    const bool expected = !name.isEmpty() && PinyinInitials(name).toLower().contains(PinyinInitials(search).toLower());
    if (listed != expected || rule.matches(name) != listed)
        std::abort();
    if (!name.isEmpty() && !PinyinSearch(name).matches(name))
        std::abort();
    // Any piece of a name finds it, as long as no surrogate pair is cut.
    const QString piece = name.mid(name.size() / 3, name.size() / 2);
    if (!name.isEmpty() && !hasSurrogate(name) && !PinyinSearch(piece).matches(name))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fromUtf16Le(data, size);
    checkInitials(text);
    const qsizetype split = text.indexOf(u'\n');
    if (split < 0)
        checkSearch(text, text);
    else
        checkSearch(text.left(split), text.mid(split + 1));
    return 0;
}
