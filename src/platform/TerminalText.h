#pragma once

#include <QString>

// Text from elsewhere (a PC, a desktop entry) made safe to print on an operator's terminal: every
// control character (C0 with TAB and newline, DEL, C1) and every Unicode bidi override or isolate
// (U+202A–U+202E, U+2066–U+2069) becomes the visible mark U+FFFD, so that no escape sequence
// reaches the terminal, no line is split and no text is shown reversed.
class TerminalText
{
public:
    static constexpr char32_t mark = U'\uFFFD';

    static bool isControl(char32_t c);
    static QString printable(const QString &text);
};
