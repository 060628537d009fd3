#pragma once

#include <QFont>
#include <QImage>
#include <QMargins>
#include <QPixmap>

#include <optional>

class QPainter;

// The tab strip's drawing vocabulary over Qt. A surface is an image or pixmap value owned by
// whoever made it; its device context is a QPainter open on it, which carries the font and
// the text background. Drawing from a null surface does nothing.
namespace MDC {

constexpr int DT_CENTER = 1;
constexpr int DT_RIGHT = 2;
constexpr int DT_VCENTER = 4;
constexpr int DT_BOTTOM = 8;
constexpr int DT_SINGLELINE = 32;
constexpr int DT_NOCLIP = 256;

// A surface showing the bitmap at its own size; null for a null bitmap.
QPixmap SurfaceFromBitmap(const QImage &bitmap);

// Releases a surface before its owner ends.
template<typename Surface> void DeleteSurface(Surface &surface)
{
    surface = Surface();
}

bool BlitSurface(QPainter &destination, QPoint to, const QImage &source, const QRect &from);
// Copies like BlitSurface but leaves out source pixels of the transparent colour.
bool TransparentBlitSurface(QPainter &destination, QPoint to, const QImage &source, const QRect &from,
                            const QColor &transparentColour);
// Corners kept at their size, edges and centre stretched; false when nothing was drawn.
bool DrawNineGrid(QPainter &destination, const QRect &to, const QPixmap &source, const QRect &from,
                  const QMargins &margins, std::optional<QColor> transparentColour = std::nullopt);
bool FillAlpha(QPainter &destination, const QRect &area, const QColor &colour, int alpha);
// Writes one line in the painter's font, black; returns the height of the drawn text.
int DrawTextInRect(QPainter &surface, const QString &text, const QRect &rect, int format);

// Size is the height of the character cell in pixels; the font becomes the painter's.
QFont SelectNewFont(QPainter &surface, const QString &faceName = QString(), int size = 0, bool bold = false,
                    bool italic = false, bool strikethrough = false, bool underline = false);

} // namespace MDC
