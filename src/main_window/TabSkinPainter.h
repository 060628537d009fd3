#pragma once

#include <QObject>
#include <QPointer>

class CSSTab;
class SSTab;

// Paints the category tabs from the skin surface: the page colour, the light band behind the
// tabs, one of three tab pictures per tab and the centred caption.
class TabSkinPainter : public QObject
{
    Q_OBJECT

public:
    static constexpr quint32 PageColour = 0xF6EAE1;
    static constexpr int CaptionFormat = 37;

    TabSkinPainter(SSTab *tabControl, CSSTab *strip, int skinSurface, QObject *parent = nullptr);

    int SkinSurface() const;
    void setSkinSurface(int surface);

public Q_SLOTS:
    void DrawBackGround(int hDC, int Width, int Height);
    void DrawTab(int hDC, int TabIndex, int State, int Left, int Top, int Width, int Height);

private:
    void drawBand(int hDC, int Left, int Top, int Width, int Height);

    QPointer<SSTab> m_tabControl;
    QPointer<CSSTab> m_strip;
    int m_skinSurface;
};
