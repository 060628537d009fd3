#include "main_window/TabSkinPainter.h"

#include "platform/SSTab.h"
#include "tab_strip/CSSTab.h"
#include "tab_strip/MDC.h"

namespace {

// Skin cells are 13 x 27; column 0 alone is the band behind the tabs.
constexpr int CellWidth = 13;
constexpr int CellHeight = 27;

} // namespace

TabSkinPainter::TabSkinPainter(SSTab *tabControl, CSSTab *strip, int skinSurface, QObject *parent)
    : QObject(parent)
    , m_tabControl(tabControl)
    , m_strip(strip)
    , m_skinSurface(skinSurface)
{
}

int TabSkinPainter::SkinSurface() const
{
    return m_skinSurface;
}

void TabSkinPainter::setSkinSurface(int surface)
{
    m_skinSurface = surface;
}

void TabSkinPainter::DrawBackGround(int hDC, int Width, int Height)
{
    MDC::FillAlpha(hDC, 0, 0, Width, Height, PageColour, 255);
    drawBand(hDC, 0, 0, Width, m_strip ? m_strip->TabHeight() : 0);
}

void TabSkinPainter::DrawTab(int hDC, int TabIndex, int State, int Left, int Top, int Width,
                             int Height)
{
    if (!m_tabControl)
        return;
    if (TabIndex == m_tabControl->Tab()) {
        MDC::DrawNineGrid(hDC, Left, Top, Width, Height, m_skinSurface, CellWidth + CellWidth * State, 0,
                          CellWidth, CellHeight, 6, 5, 6, 2);
    } else if (State != 0) {
        MDC::DrawNineGrid(hDC, Left, Top, Width, Height, m_skinSurface, 0, 0, CellWidth, CellHeight, 6,
                          5, 6, 2);
    } else {
        drawBand(hDC, Left, Top, Width, m_strip ? m_strip->TabHeight() : Height);
    }
    MDC::DrawTextInRect(hDC, m_tabControl->TabCaption(TabIndex), Left, Top, Width, Height,
                        CaptionFormat);
}

void TabSkinPainter::drawBand(int hDC, int Left, int Top, int Width, int Height)
{
    MDC::DrawNineGrid(hDC, Left, Top, Width, Height, m_skinSurface, 0, 0, 1, CellHeight, 0, 0, 0, 1);
}
