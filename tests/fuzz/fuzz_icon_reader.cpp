// Reads arbitrary bytes as an icon source and checks what must hold for every input.
#include "icons/IconReader.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QImage icon = IconReader::firstIconFromBytes(bytes);
    if (icon.isNull())
        return 0;
    // Whatever the input, an icon never exceeds the system icon size.
    if (icon.width() > IconReader::IconSize || icon.height() > IconReader::IconSize
        || icon.format() != QImage::Format_ARGB32)
        std::abort();
    const QImage canvas = IconReader::canvasFor(icon);
    if (canvas.size() != QSize(IconReader::CanvasSize, IconReader::CanvasSize))
        std::abort();
    return 0;
}
