#include "room_console/RoomBarChart.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

RoomBarChart::RoomBarChart(Direction direction, QWidget *parent)
    : QWidget(parent)
    , m_direction(direction)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void RoomBarChart::setBars(QList<Bar> bars)
{
    m_bars = std::move(bars);
    update();
}

void RoomBarChart::setStale(bool stale)
{
    m_stale = stale;
    update();
}

QSize RoomBarChart::sizeHint() const
{
    return QSize(fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 14);
}

QSize RoomBarChart::minimumSizeHint() const
{
    return QSize(fontMetrics().averageCharWidth() * 24, fontMetrics().height() * 6);
}

qint64 RoomBarChart::highest() const
{
    qint64 top = 0;
    for (const Bar &bar : m_bars)
        top = std::max(top, bar.value);
    return top;
}

void RoomBarChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette::ColorGroup group = m_stale || !isEnabled() ? QPalette::Disabled : QPalette::Active;
    painter.fillRect(rect(), palette().color(group, QPalette::Base));
    painter.setPen(palette().color(group, QPalette::Text));
    const qreal margin = fontMetrics().height() * 0.5;
    const QRectF area = QRectF(rect()).adjusted(margin, margin, -margin, -margin);
    if (m_bars.isEmpty() || highest() == 0) {
        painter.drawText(area, Qt::AlignCenter, u"没有启动记录"_s);
        return;
    }
    if (m_direction == Direction::Across)
        paintAcross(painter, area);
    else
        paintUpright(painter, area);
}

// One bar per row, as many rows as fit; the table beside lists them all.
void RoomBarChart::paintAcross(QPainter &painter, const QRectF &area) const
{
    const QPalette::ColorGroup group = m_stale || !isEnabled() ? QPalette::Disabled : QPalette::Active;
    const QFontMetricsF metrics(font());
    const qreal row = metrics.height() * 1.5;
    const int shown = std::max(1, std::min(int(m_bars.size()), int(area.height() / row)));
    qreal labelWidth = 0;
    qreal noteWidth = 0;
    for (int i = 0; i < shown; ++i) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(m_bars.at(i).label));
        noteWidth = std::max(noteWidth, metrics.horizontalAdvance(m_bars.at(i).note));
    }
    labelWidth = std::min(labelWidth, area.width() * 0.35);
    const qreal gap = metrics.averageCharWidth();
    const qreal barLeft = area.left() + labelWidth + gap;
    const qreal barRoom = std::max<qreal>(1, area.right() - barLeft - noteWidth - gap);
    const qint64 top = highest();
    const QColor barColour = palette().color(group, QPalette::Highlight);
    for (int i = 0; i < shown; ++i) {
        const Bar &bar = m_bars.at(i);
        const QRectF line(area.left(), area.top() + i * row, area.width(), row);
        const QString label = metrics.elidedText(bar.label, Qt::ElideRight, labelWidth);
        painter.drawText(QRectF(line.left(), line.top(), labelWidth, row), Qt::AlignRight | Qt::AlignVCenter, label);
        const qreal length = barRoom * qreal(bar.value) / qreal(top);
        const QRectF shape(barLeft, line.top() + row * 0.15, std::max<qreal>(length, 1), row * 0.7);
        painter.fillRect(shape, barColour);
        painter.drawText(QRectF(shape.right() + gap, line.top(), noteWidth + gap, row),
                         Qt::AlignLeft | Qt::AlignVCenter, bar.note);
    }
}

// One column per label; labels along the bottom as often as they fit, values above the columns when they fit.
void RoomBarChart::paintUpright(QPainter &painter, const QRectF &area) const
{
    const QPalette::ColorGroup group = m_stale || !isEnabled() ? QPalette::Disabled : QPalette::Active;
    const QFontMetricsF metrics(font());
    const qreal labelHeight = metrics.height() * 1.2;
    const qreal valueHeight = metrics.height() * 1.1;
    const QRectF plot(area.left(), area.top() + valueHeight, area.width(), area.height() - labelHeight - valueHeight);
    const qsizetype count = m_bars.size();
    const qreal slot = plot.width() / qreal(count);
    qreal widestLabel = 0;
    qreal widestNote = 0;
    for (const Bar &bar : m_bars) {
        widestLabel = std::max(widestLabel, metrics.horizontalAdvance(bar.label));
        widestNote = std::max(widestNote, metrics.horizontalAdvance(bar.note));
    }
    const int labelEvery = std::max(1, int(std::ceil((widestLabel + metrics.averageCharWidth()) / slot)));
    const bool notesFit = widestNote <= slot;
    const qint64 top = highest();
    const QColor barColour = palette().color(group, QPalette::Highlight);
    painter.drawLine(QPointF(plot.left(), plot.bottom()), QPointF(plot.right(), plot.bottom()));
    for (qsizetype i = 0; i < count; ++i) {
        const Bar &bar = m_bars.at(i);
        const qreal height = plot.height() * qreal(bar.value) / qreal(top);
        const QRectF column(plot.left() + i * slot + slot * 0.15, plot.bottom() - height, slot * 0.7, height);
        painter.fillRect(column, barColour);
        if (notesFit && bar.value > 0)
            painter.drawText(QRectF(column.center().x() - slot / 2, column.top() - valueHeight, slot, valueHeight),
                             Qt::AlignHCenter | Qt::AlignBottom, bar.note);
        if (i % labelEvery == 0)
            painter.drawText(QRectF(column.center().x() - widestLabel, plot.bottom(), widestLabel * 2, labelHeight),
                             Qt::AlignHCenter | Qt::AlignVCenter, bar.label);
    }
}
