#include "main_window/TabSkinPainter.h"

#include "tab_strip/CSSTab.h"
#include "tab_strip/MDC.h"
#include "tab_strip/SSTab.h"

#include <QPainter>

namespace {

// Skin cells are 13 x 27; column 0 alone is the band behind the tabs.
constexpr int CellWidth = 13;
constexpr int CellHeight = 27;
const QMargins TabMargins(6, 5, 6, 2);

} // namespace

TabSkinPainter::TabSkinPainter(SSTab *tabControl, CSSTab *strip, const QPixmap &skinSurface, QObject *parent)
    : QObject(parent)
    , m_tabControl(tabControl)
    , m_strip(strip)
    , m_skinSurface(skinSurface)
{
}

void TabSkinPainter::DrawBackGround(QPainter *hDC, int Width, int Height)
{
    MDC::FillAlpha(*hDC, QRect(0, 0, Width, Height), QColor(PageColour), 255);
    drawBand(*hDC, 0, 0, Width, m_strip ? m_strip->TabHeight() : 0);
}

void TabSkinPainter::DrawTab(QPainter *hDC, int TabIndex, int State, int Left, int Top, int Width, int Height)
{
    if (!m_tabControl)
        return;
    const QRect tab(Left, Top, Width, Height);
    if (TabIndex == m_tabControl->Tab())
        MDC::DrawNineGrid(*hDC, tab, m_skinSurface, QRect(CellWidth + CellWidth * State, 0, CellWidth, CellHeight),
                          TabMargins);
    else if (State != 0)
        MDC::DrawNineGrid(*hDC, tab, m_skinSurface, QRect(0, 0, CellWidth, CellHeight), TabMargins);
    else
        drawBand(*hDC, Left, Top, Width, m_strip ? m_strip->TabHeight() : Height);
    MDC::DrawTextInRect(*hDC, m_tabControl->TabCaption(TabIndex), tab, CaptionFormat);
}

void TabSkinPainter::drawBand(QPainter &hDC, int Left, int Top, int Width, int Height)
{
    MDC::DrawNineGrid(hDC, QRect(Left, Top, Width, Height), m_skinSurface, QRect(0, 0, 1, CellHeight),
                      QMargins(0, 0, 0, 1));
}
