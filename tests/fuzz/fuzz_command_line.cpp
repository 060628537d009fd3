// Splits arbitrary bytes, read as UTF-8, as a launch argument text and checks what must
// hold for every input.
#include "platform/CommandLine.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QStringList splitOnWhiteSpace(const QString &text)
{
    QStringList words;
    QString word;
    for (const QChar c : text) {
        if (c.isSpace()) {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList arguments = CommandLine::split(text);

    // Splitting only drops separators and quotes; it never makes text.
    qsizetype total = 0;
    for (const QString &argument : arguments)
        total += argument.size();
    if (total > text.size())
        std::abort();

    // Without quotes, the words are exactly the white-space separated pieces.
    if (!text.contains(u'"') && arguments != splitOnWhiteSpace(text))
        std::abort();
    return 0;
}
