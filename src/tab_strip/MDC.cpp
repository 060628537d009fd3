#include "tab_strip/MDC.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QPainter>
#include <QtWidgets/qdrawutil.h>

#include <algorithm>

namespace MDC {

QPixmap SurfaceFromBitmap(const QImage &bitmap)
{
    return QPixmap::fromImage(bitmap.convertToFormat(QImage::Format_RGB32));
}

bool BlitSurface(QPainter &destination, QPoint to, const QImage &source, const QRect &from)
{
    if (source.isNull())
        return false;
    destination.save();
    destination.setCompositionMode(QPainter::CompositionMode_Source);
    destination.drawImage(to, source, from);
    destination.restore();
    return true;
}

bool TransparentBlitSurface(QPainter &destination, QPoint to, const QImage &source, const QRect &from,
                            const QColor &transparentColour)
{
    if (source.isNull() || from.isEmpty())
        return false;
    const QImage piece = source.copy(from);
    QPixmap masked = QPixmap::fromImage(piece);
    // The mask leaves out the pixels of the key colour.
    masked.setMask(QBitmap::fromImage(piece.createMaskFromColor(transparentColour.rgb(), Qt::MaskInColor)));
    destination.drawPixmap(to, masked);
    return true;
}

bool DrawNineGrid(QPainter &destination, const QRect &to, const QPixmap &source, const QRect &from,
                  const QMargins &margins, std::optional<QColor> transparentColour)
{
    if (to.isEmpty() || from.isEmpty() || source.isNull())
        return false;
    if (transparentColour) {
        QImage canvas(to.size(), QImage::Format_RGB32);
        QPainter painter(&canvas);
        DrawNineGrid(painter, canvas.rect(), source, from, margins);
        painter.end();
        return TransparentBlitSurface(destination, to.topLeft(), canvas, canvas.rect(), *transparentColour);
    }
    QRect sourceRect = from;
    QMargins kept = margins;
    if (margins.left() <= 0 && margins.top() <= 0 && margins.right() <= 0 && margins.bottom() <= 0) {
        sourceRect = QRect(from.x() + margins.left(), from.y() + margins.top(), from.width() - margins.right(),
                           from.height() - margins.bottom());
        kept = QMargins();
    }
    destination.save();
    // Stretches repeat the source pixel under each target pixel's top left corner, not its
    // centre; just under half a pixel of shift makes Qt's nearest-pixel scaling pick the same.
    destination.translate(0.4921875, 0.4921875);
    qDrawBorderPixmap(&destination, to, kept, source, sourceRect, kept);
    destination.restore();
    return true;
}

bool FillAlpha(QPainter &destination, const QRect &area, const QColor &colour, int alpha)
{
    if (area.isEmpty())
        return false;
    QColor fill = colour;
    fill.setAlpha(std::clamp(alpha, 0, 255));
    destination.fillRect(area, fill);
    return true;
}

int DrawTextInRect(QPainter &surface, const QString &text, const QRect &rect, int format)
{
    const QFontMetrics metrics(surface.font());
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    int left = rect.x();
    if (format & DT_CENTER)
        left += (rect.width() - textWidth) / 2;
    else if (format & DT_RIGHT)
        left += rect.width() - textWidth;
    int top = rect.y();
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
        top += (rect.height() - textHeight) / 2;
    else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM))
        top += rect.height() - textHeight;
    surface.save();
    if (!(format & DT_NOCLIP))
        surface.setClipRect(rect);
    if (surface.backgroundMode() == Qt::OpaqueMode)
        surface.fillRect(QRect(left, top, textWidth, textHeight), surface.background());
    surface.setPen(Qt::black);
    surface.drawText(QPoint(left, top + metrics.ascent()), text);
    surface.restore();
    return textHeight;
}

QFont SelectNewFont(QPainter &surface, const QString &faceName, int size, bool bold, bool italic, bool strikethrough,
                    bool underline)
{
    QFont font = faceName.isEmpty() ? QFont() : QFont(faceName);
    // The pixel size whose line height comes closest to the cell height from below.
    if (size > 0) {
        int pixelSize = size;
        font.setPixelSize(pixelSize);
        while (pixelSize > 1 && QFontMetrics(font).height() > size)
            font.setPixelSize(--pixelSize);
    }
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setStrikeOut(strikethrough);
    font.setUnderline(underline);
    surface.setFont(font);
    return font;
}

} // namespace MDC
