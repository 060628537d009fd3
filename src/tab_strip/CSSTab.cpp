#include "tab_strip/CSSTab.h"

#include "tab_strip/MDC.h"
#include "tab_strip/SSTab.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

namespace {

constexpr int MinimumTabSize = 3;

// Painting and the mouse are taken before the control sees them; size, focus and leaving after.
constexpr QEvent::Type Before[] = {QEvent::Paint, QEvent::MouseMove, QEvent::MouseButtonDblClick,
                                   QEvent::MouseButtonPress, QEvent::MouseButtonRelease};
constexpr QEvent::Type After[] = {QEvent::Resize, QEvent::FocusIn, QEvent::FocusOut, QEvent::Leave};

} // namespace

CSSTab::CSSTab(QObject *parent)
    : QObject(parent)
{
}

CSSTab::~CSSTab()
{
    Detach();
}

int CSSTab::Attach(SSTab *SSTabCtr)
{
    if (!SSTabCtr || c_Tab)
        return 0;
    c_Tab = SSTabCtr;
    connect(SSTabCtr, &SSTab::Click, this, [this] { Redraw(true); });
    connect(SSTabCtr, &SSTab::TabsChanged, this, &CSSTab::c_Tab_Changed);
    connect(SSTabCtr, &SSTab::Scrolled, this, &CSSTab::c_Tab_Scrolled);
    SSTabCtr->setTabsPerRow(SSTabCtr->Tabs());
    syncCells();
    m_interceptor.StartSubclass(SSTabCtr);
    for (QEvent::Type message : Before)
        m_interceptor.AddMessage(SSTabCtr, message, MessageInterceptor::MSG_BEFORE);
    for (QEvent::Type message : After)
        m_interceptor.AddMessage(SSTabCtr, message, MessageInterceptor::MSG_AFTER);
    m_hoverIndex = -1;
    RebuildSurfaces(SSTabCtr->size());
    SSTabCtr->update();
    return 1;
}

int CSSTab::Detach()
{
    SSTab *window = c_Tab;
    if (!window)
        return 0;
    disconnect(window, nullptr, this, nullptr);
    c_Tab = nullptr;
    MDC::DeleteSurface(m_backgroundSurface);
    MDC::DeleteSurface(m_workSurface);
    m_interceptor.StopAllSubclasses();
    m_hoverIndex = -1;
    m_stale = false;
    // The control's own look shows again.
    window->update();
    return 1;
}

QWidget *CSSTab::hWnd() const
{
    return c_Tab;
}

int CSSTab::TabWidth() const
{
    return m_tabWidth;
}

void CSSTab::setTabWidth(int NewValue)
{
    if (NewValue == m_tabWidth)
        return;
    m_tabWidth = qMax(NewValue, MinimumTabSize);
    syncCells();
    Redraw(true);
}

int CSSTab::TabHeight() const
{
    return m_tabHeight;
}

void CSSTab::setTabHeight(int NewValue)
{
    if (NewValue == m_tabHeight)
        return;
    m_tabHeight = qMax(NewValue, MinimumTabSize);
    syncCells();
    Redraw(true);
}

bool CSSTab::Focus() const
{
    return c_Tab && QApplication::focusWidget() == c_Tab;
}

void CSSTab::zSubclass_Proc(bool bBefore, bool &bHandled, bool &lReturn, QWidget *lhWnd, QEvent *&event)
{
    Q_UNUSED(bBefore);
    Q_UNUSED(lReturn);
    switch (event->type()) {
    case QEvent::Paint:
        paintWindow();
        bHandled = true;
        return;
    case QEvent::Resize:
        RebuildSurfaces(lhWnd->size());
        return;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        Redraw(true);
        return;
    case QEvent::Leave:
        setHoverIndex(-1);
        return;
    default:
        break;
    }
    // Every other registration is a mouse event, which the control never sees.
    bHandled = true;
    const auto *mouse = static_cast<const QMouseEvent *>(event);
    const QPoint at(qFloor(mouse->position().x()), qFloor(mouse->position().y()));
    if (event->type() == QEvent::MouseMove)
        OnMouseMove(at);
    else if (mouse->button() == Qt::LeftButton && event->type() == QEvent::MouseButtonPress)
        OnMouseDown(at);
    else if (mouse->button() == Qt::LeftButton && event->type() == QEvent::MouseButtonDblClick)
        OnDblClick(at);
}

// Tabs added or renamed one by one are drawn once, at the next paint, not once per change.
void CSSTab::c_Tab_Changed()
{
    m_stale = true;
    if (c_Tab)
        c_Tab->update();
}

void CSSTab::c_Tab_Scrolled()
{
    // Another tab now lies under the pointer; the next move finds it.
    m_hoverIndex = -1;
    c_Tab_Changed();
}

// Runs inside the control's paint event, so the painter may draw on the control itself.
void CSSTab::paintWindow()
{
    if (m_stale)
        Redraw(false);
    if (m_workSurface.isNull())
        return;
    QPainter painter(c_Tab);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), m_workSurface);
}

void CSSTab::RebuildSurfaces(const QSize &size)
{
    m_backgroundSurface = QImage(size, QImage::Format_RGB32);
    if (m_backgroundSurface.isNull()) {
        MDC::DeleteSurface(m_workSurface);
        return;
    }
    m_backgroundSurface.fill(Qt::black);
    QPainter hDC(&m_backgroundSurface);
    m_font = MDC::SelectNewFont(hDC, c_Tab->font().family(), 14);
    Q_EMIT DrawBackGround(&hDC, size.width(), size.height());
    hDC.end();
    Redraw(false);
}

void CSSTab::Redraw(bool copyToWindow)
{
    if (!c_Tab || m_backgroundSurface.isNull())
        return;
    m_stale = false;
    m_workSurface = m_backgroundSurface;
    QPainter hDC(&m_workSurface);
    hDC.setFont(m_font);
    const int first = c_Tab->firstShownTab();
    const int area = c_Tab->tabAreaWidth();
    // Only the tabs the row shows, each at its scrolled place.
    for (int i = first; i < c_Tab->Tabs() && (i - first) * m_tabWidth < area; ++i)
        Q_EMIT DrawTab(&hDC, i, i == m_hoverIndex ? 1 : 0, (i - first) * m_tabWidth, 0, m_tabWidth, m_tabHeight);
    if (c_Tab->isScrollable()) {
        DrawScrollCell(hDC, -1);
        DrawScrollCell(hDC, 1);
    }
    // Painting happens in the control's paint event, which copies the work surface.
    if (copyToWindow)
        c_Tab->update();
}

// A scroll cell on the band: back (-1) points left, forward (+1) right; dimmed at the row's end.
void CSSTab::DrawScrollCell(QPainter &hDC, int direction)
{
    const QRect cell = c_Tab->scrollCellRect(direction);
    MDC::BlitSurface(hDC, cell.topLeft(), m_backgroundSurface, QRect(cell.x(), 0, cell.width(), m_tabHeight));
    if (direction < 0)
        MDC::FillAlpha(hDC, QRect(cell.x(), 2, 1, m_tabHeight - 4), Qt::black, 64);
    const int alpha = c_Tab->canScroll(direction) ? 255 : 80;
    const int centreX = cell.x() + cell.width() / 2;
    const int centreY = m_tabHeight / 2;
    for (int k = 0; k < 4; ++k) {
        const int x = direction < 0 ? centreX - 2 + k : centreX + 1 - k;
        MDC::FillAlpha(hDC, QRect(x, centreY - k, 1, 2 * k + 1), Qt::black, alpha);
    }
}

// The row boundary itself counts as inside; x left of the row truncates towards the first tab.
int CSSTab::HitTest(QPoint point) const
{
    if (point.y() > m_tabHeight || !c_Tab)
        return -1;
    if (c_Tab->isScrollable() && point.x() >= c_Tab->tabAreaWidth())
        return -1;
    const int shown = point.x() / m_tabWidth;
    const int index = c_Tab->firstShownTab() + shown;
    return shown >= 0 && index < c_Tab->Tabs() ? index : -1;
}

void CSSTab::OnMouseMove(QPoint point)
{
    setHoverIndex(point.y() > m_tabHeight ? -1 : HitTest(point));
}

void CSSTab::OnMouseDown(QPoint point)
{
    if (point.y() > m_tabHeight || !c_Tab)
        return;
    if (const int scroll = c_Tab->scrollCellAt(point.x()); scroll != 0)
        c_Tab->scrollTabs(scroll);
    else if (const int index = HitTest(point); index >= 0)
        c_Tab->pressTab(index);
    if (c_Tab)
        c_Tab->setFocus(Qt::MouseFocusReason);
}

void CSSTab::OnDblClick(QPoint point)
{
    // The second press of a quick double press on a scroll cell scrolls again.
    if (point.y() <= m_tabHeight && c_Tab)
        c_Tab->scrollTabs(c_Tab->scrollCellAt(point.x()));
}

// Every change of the tab under the pointer shows at once.
void CSSTab::setHoverIndex(int index)
{
    if (index == m_hoverIndex)
        return;
    m_hoverIndex = index;
    Redraw(true);
}

// Keeps the control's own idea of its cells, which assistive technology reads, on the strip's.
void CSSTab::syncCells()
{
    if (c_Tab)
        c_Tab->setCellSize(m_tabWidth, m_tabHeight);
}
