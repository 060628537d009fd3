#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QPainter;

// A bar chart painted by itself: sharp at any screen scaling, with the skin's colours. Across: one bar
// per row, its length the value, the note written at its end (the ranking). Upright: one column per
// label along the bottom (hours, days). The figures stand in a table beside every chart as well.
class RoomBarChart : public QWidget
{
    Q_OBJECT

public:
    enum class Direction { Across, Upright };

    struct Bar
    {
        QString label;
        qint64 value = 0;
        QString note; // written at the bar's end or above it
    };

    RoomBarChart(Direction direction, QWidget *parent = nullptr);

    void setBars(QList<Bar> bars);
    const QList<Bar> &bars() const { return m_bars; }
    // Figures from a server since lost are drawn grey.
    void setStale(bool stale);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintAcross(QPainter &painter, const QRectF &area) const;
    void paintUpright(QPainter &painter, const QRectF &area) const;
    qint64 highest() const;

    Direction m_direction;
    QList<Bar> m_bars;
    bool m_stale = false;
};
