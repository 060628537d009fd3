#pragma once

#include <QColor>
#include <QObject>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

class CSSTab;
class SSTab;

// Paints the category tabs from the skin: the page colour, the light band behind the tabs,
// one of three tab pictures per tab and the centred caption.
class TabSkinPainter : public QObject
{
    Q_OBJECT

public:
    static constexpr QRgb PageColour = qRgb(225, 234, 246);
    static constexpr int CaptionFormat = 37;

    TabSkinPainter(SSTab *tabControl, CSSTab *strip, const QPixmap &skinSurface, QObject *parent = nullptr);

public Q_SLOTS:
    void DrawBackGround(QPainter *hDC, int Width, int Height);
    void DrawTab(QPainter *hDC, int TabIndex, int State, int Left, int Top, int Width, int Height);

private:
    void drawBand(QPainter &hDC, int Left, int Top, int Width, int Height);

    QPointer<SSTab> m_tabControl;
    QPointer<CSSTab> m_strip;
    QPixmap m_skinSurface;
};
