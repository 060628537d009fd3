#include "platform/TerminalText.h"

#include <QList>

bool TerminalText::isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString TerminalText::printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const uint c : text.toUcs4()) {
        const char32_t shown = isControl(c) ? mark : char32_t(c);
        out.append(QString::fromUcs4(&shown, 1));
    }
    return out;
}
