#include "tab_strip/MDC.h"

#include <QColor>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>

#include <algorithm>

namespace MDC {

namespace {

struct Surface
{
    QImage image;
    QFont font;
    int backgroundMode = OPAQUE;
    int fontHandle = 0;
};

QHash<int, Surface> &surfaces()
{
    static QHash<int, Surface> table;
    return table;
}

int nextHandle()
{
    static int last = 0;
    return ++last;
}

Surface *find(int surface)
{
    if (surface == 0)
        return nullptr;
    auto it = surfaces().find(surface);
    return it == surfaces().end() ? nullptr : &it.value();
}

int addSurface(QImage image)
{
    const int handle = nextHandle();
    surfaces().insert(handle, Surface{std::move(image), QFont(), OPAQUE, 0});
    return handle;
}

// Nearest-pixel stretch of a source rectangle onto a destination rectangle; enlarging repeats
// source pixels. Pixels outside either image are skipped.
void stretchCopy(QImage &destination, const QRect &to, const QImage &source, const QRect &from)
{
    if (to.width() <= 0 || to.height() <= 0 || from.width() <= 0 || from.height() <= 0)
        return;
    const QRect destBounds = destination.rect();
    const QRect sourceBounds = source.rect();
    for (int dy = 0; dy < to.height(); ++dy) {
        const int ty = to.y() + dy;
        const int sy = from.y() + static_cast<int>(qint64(dy) * from.height() / to.height());
        if (ty < 0 || ty >= destBounds.height() || sy < 0 || sy >= sourceBounds.height())
            continue;
        auto *out = reinterpret_cast<QRgb *>(destination.scanLine(ty));
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(sy));
        for (int dx = 0; dx < to.width(); ++dx) {
            const int tx = to.x() + dx;
            const int sx = from.x() + static_cast<int>(qint64(dx) * from.width() / to.width());
            if (tx >= 0 && tx < destBounds.width() && sx >= 0 && sx < sourceBounds.width())
                out[tx] = in[sx] | 0xFF000000u;
        }
    }
}

// One piece of a nine-grid: skipped when its condition fails.
struct Piece
{
    bool draw;
    QRect to;
    QRect from;
};

int blend(int source, int destination, int alpha)
{
    return (source * alpha + destination * (255 - alpha) + 127) / 255;
}

// The pixel size whose line height comes closest to the cell height from below.
QFont fontForCell(const QString &faceName, int cellHeight)
{
    QFont font = faceName.isEmpty() ? QFont() : QFont(faceName);
    if (cellHeight <= 0)
        return font;
    int pixelSize = cellHeight;
    font.setPixelSize(pixelSize);
    while (pixelSize > 1 && QFontMetrics(font).height() > cellHeight)
        font.setPixelSize(--pixelSize);
    return font;
}

} // namespace

QColor ColourFromRef(quint32 colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

quint32 RefFromColour(const QColor &colour)
{
    return quint32(colour.red()) | (quint32(colour.green()) << 8) | (quint32(colour.blue()) << 16);
}

int CreateSurface(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return 0;
    image.fill(Qt::black);
    return addSurface(std::move(image));
}

int SurfaceFromBitmap(const QImage &bitmap)
{
    if (bitmap.isNull())
        return 0;
    return addSurface(bitmap.convertToFormat(QImage::Format_RGB32));
}

void DeleteSurface(int surface)
{
    surfaces().remove(surface);
}

bool SurfaceExists(int surface)
{
    return find(surface) != nullptr;
}

QImage SurfaceImage(int surface)
{
    const Surface *s = find(surface);
    return s ? s->image : QImage();
}

QFont SurfaceFont(int surface)
{
    const Surface *s = find(surface);
    return s ? s->font : QFont();
}

int BlitSurface(int destination, int x, int y, int width, int height, int source, int sourceX,
                int sourceY, int rasterOperation)
{
    Surface *to = find(destination);
    const Surface *from = find(source);
    if (!to || !from || rasterOperation != SRCCOPY)
        return 0;
    // A copy within one surface reads the pixels as they were before the copy.
    const QImage pixels = from->image.copy(sourceX, sourceY, width, height);
    stretchCopy(to->image, QRect(x, y, width, height), pixels, pixels.rect());
    return 1;
}

int TransparentBlitSurface(int destination, int x, int y, int width, int height, int source,
                           int sourceX, int sourceY, quint32 transparentColour)
{
    Surface *to = find(destination);
    const Surface *from = find(source);
    if (!to || !from || width <= 0 || height <= 0)
        return 0;
    const QImage pixels = from->image.copy(sourceX, sourceY, width, height);
    const QRgb key = ColourFromRef(transparentColour).rgb() & 0xFFFFFF;
    for (int row = 0; row < height; ++row) {
        if (y + row < 0 || y + row >= to->image.height())
            continue;
        auto *out = reinterpret_cast<QRgb *>(to->image.scanLine(y + row));
        const auto *in = reinterpret_cast<const QRgb *>(pixels.constScanLine(row));
        for (int column = 0; column < width; ++column) {
            if (x + column >= 0 && x + column < to->image.width() && (in[column] & 0xFFFFFF) != key)
                out[x + column] = in[column] | 0xFF000000u;
        }
    }
    return 1;
}

int DrawNineGrid(int destination, int x, int y, int width, int height, int source, int sourceX,
                 int sourceY, int sourceWidth, int sourceHeight, int left, int top, int right,
                 int bottom, qint64 transparentColour)
{
    if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0)
        return 0;
    const int temporary = CreateSurface(width, height);
    Surface *canvas = find(temporary);
    const Surface *skin = find(source);
    if (canvas && skin) {
        const QImage &from = skin->image;
        auto src = [&](int sx, int sy, int sw, int sh) {
            return QRect(sourceX + sx, sourceY + sy, sw, sh);
        };
        if (left <= 0 && top <= 0 && right <= 0 && bottom <= 0) {
            stretchCopy(canvas->image, QRect(0, 0, width, height), from,
                        src(left, top, sourceWidth - right, sourceHeight - bottom));
        } else {
            const int cw = width - left - right;
            const int ch = height - top - bottom;
            const int sw = sourceWidth - left - right;
            const int sh = sourceHeight - top - bottom;
            const Piece pieces[] = {
                {left > 0 && top > 0, QRect(0, 0, left, top), src(0, 0, left, top)},
                {right > 0 && top > 0, QRect(width - right, 0, right, top),
                 src(sourceWidth - right, 0, right, top)},
                {left > 0 && bottom > 0, QRect(0, height - bottom, left, bottom),
                 src(0, sourceHeight - bottom, left, bottom)},
                {right > 0 && bottom > 0, QRect(width - right, height - bottom, right, bottom),
                 src(sourceWidth - right, sourceHeight - bottom, right, bottom)},
                {left > 0, QRect(0, top, left, ch), src(0, top, left, sh)},
                {right > 0, QRect(width - right, top, right, ch), src(sourceWidth - right, top, right, sh)},
                {top > 0, QRect(left, 0, cw, top), src(left, 0, sw, top)},
                {bottom > 0, QRect(left, height - bottom, cw, bottom),
                 src(left, sourceHeight - bottom, sw, bottom)},
                {true, QRect(left, top, cw, ch), src(left, top, sw, sh)},
            };
            for (const Piece &piece : pieces) {
                if (piece.draw)
                    stretchCopy(canvas->image, piece.to, from, piece.from);
            }
        }
    }
    const int result = transparentColour < 0
        ? BlitSurface(destination, x, y, width, height, temporary, 0, 0, SRCCOPY)
        : TransparentBlitSurface(destination, x, y, width, height, temporary, 0, 0,
                                 static_cast<quint32>(transparentColour));
    DeleteSurface(temporary);
    return result;
}

int FillAlpha(int destination, int x, int y, int width, int height, quint32 colour, int alpha)
{
    Surface *to = find(destination);
    if (!to || width <= 0 || height <= 0)
        return 0;
    alpha = std::clamp(alpha, 0, 255);
    const QColor fill = ColourFromRef(colour);
    const QRect area = QRect(x, y, width, height).intersected(to->image.rect());
    for (int row = area.top(); row <= area.bottom(); ++row) {
        auto *line = reinterpret_cast<QRgb *>(to->image.scanLine(row));
        for (int column = area.left(); column <= area.right(); ++column) {
            const QRgb old = line[column];
            line[column] = qRgb(blend(fill.red(), qRed(old), alpha),
                                blend(fill.green(), qGreen(old), alpha),
                                blend(fill.blue(), qBlue(old), alpha));
        }
    }
    return 1;
}

int DrawTextInRect(int surface, const QString &text, int x, int y, int width, int height,
                   int format)
{
    Surface *s = find(surface);
    if (!s)
        return 0;
    const QFontMetrics metrics(s->font);
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    int left = x;
    if (format & DT_CENTER)
        left = x + (width - textWidth) / 2;
    else if (format & DT_RIGHT)
        left = x + width - textWidth;
    int top = y;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = y + (height - textHeight) / 2;
        else if (format & DT_BOTTOM)
            top = y + height - textHeight;
    }
    QPainter painter(&s->image);
    if (!(format & DT_NOCLIP))
        painter.setClipRect(QRect(x, y, width, height));
    if (s->backgroundMode == OPAQUE)
        painter.fillRect(QRect(left, top, textWidth, textHeight), Qt::white);
    painter.setFont(s->font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(left, top + metrics.ascent()), text);
    return textHeight;
}

int SelectNewFont(int surface, const QString &faceName, int size, bool bold, bool italic,
                  bool strikethrough, bool underline)
{
    Surface *s = find(surface);
    if (!s)
        return 0;
    QFont font = fontForCell(faceName, size);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setStrikeOut(strikethrough);
    font.setUnderline(underline);
    s->font = font;
    s->fontHandle = nextHandle();
    return s->fontHandle;
}

int SetBackgroundMode(int surface, int mode)
{
    Surface *s = find(surface);
    if (!s || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    const int previous = s->backgroundMode;
    s->backgroundMode = mode;
    return previous;
}

} // namespace MDC
