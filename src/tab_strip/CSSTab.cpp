#include "tab_strip/CSSTab.h"

#include "platform/SSTab.h"
#include "tab_strip/MDC.h"
#include "tab_strip/MessageInterceptor.h"
#include "tab_strip/WindowMessage.h"

#include <QApplication>
#include <QPainter>

namespace {

using WM = WindowMessage;

constexpr int MinimumTabSize = 3;

struct Registration
{
    int message;
    int moment;
};

constexpr Registration Registrations[] = {
    {WM::WM_PAINT, MessageInterceptor::MSG_BEFORE},
    {WM::WM_SIZE, MessageInterceptor::MSG_AFTER},
    {WM::WM_SETFOCUS, MessageInterceptor::MSG_AFTER},
    {WM::WM_KILLFOCUS, MessageInterceptor::MSG_AFTER},
    {WM::WM_MOUSEMOVE, MessageInterceptor::MSG_BEFORE},
    {WM::WM_LBUTTONDBLCLK, MessageInterceptor::MSG_BEFORE},
    {WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE},
    {WM::WM_LBUTTONUP, MessageInterceptor::MSG_BEFORE},
    {WM::WM_MBUTTONDBLCLK, MessageInterceptor::MSG_BEFORE},
    {WM::WM_MBUTTONDOWN, MessageInterceptor::MSG_BEFORE},
    {WM::WM_MBUTTONUP, MessageInterceptor::MSG_BEFORE},
    {WM::WM_RBUTTONDBLCLK, MessageInterceptor::MSG_BEFORE},
    {WM::WM_RBUTTONDOWN, MessageInterceptor::MSG_BEFORE},
    {WM::WM_RBUTTONUP, MessageInterceptor::MSG_BEFORE},
    {WM::WM_MOUSELEAVE, MessageInterceptor::MSG_AFTER},
};

} // namespace

CSSTab::CSSTab(QObject *parent)
    : QObject(parent)
    , m_interceptor(new MessageInterceptor(this, this))
{
}

CSSTab::~CSSTab()
{
    Detach();
}

int CSSTab::LOWORD(qintptr DWord)
{
    return WindowMessage::loWord(DWord);
}

int CSSTab::HIWORD(qintptr DWord)
{
    return WindowMessage::hiWord(DWord);
}

int CSSTab::Attach(SSTab *SSTabCtr)
{
    if (!SSTabCtr || m_attached)
        return 0;
    c_Tab = SSTabCtr;
    m_hWnd = SSTabCtr;
    m_attached = true;
    connect(SSTabCtr, &SSTab::Click, this, &CSSTab::c_Tab_Click);
    connect(SSTabCtr, &SSTab::TabsChanged, this, &CSSTab::c_Tab_Changed);
    connect(SSTabCtr, &SSTab::Scrolled, this, &CSSTab::c_Tab_Scrolled);
    SSTabCtr->setTabsPerRow(SSTabCtr->Tabs());
    syncCells();
    m_interceptor->StartSubclass(m_hWnd);
    for (const Registration &r : Registrations)
        m_interceptor->AddMessage(m_hWnd, r.message, r.moment);
    RebuildSurfaces(m_hWnd->width(), m_hWnd->height());
    m_hoverIndex = -1;
    m_hWnd->update();
    return 1;
}

int CSSTab::Detach()
{
    if (!m_attached)
        return 0;
    QWidget *window = c_Tab.data();
    if (window)
        disconnect(c_Tab.data(), nullptr, this, nullptr);
    m_hWnd = nullptr;
    c_Tab = nullptr;
    m_attached = false;
    ReleaseSurfaces();
    m_interceptor->StopAllSubclasses();
    m_hoverIndex = -1;
    m_leaveTracking = false;
    m_stale = false;
    // The control's own look shows again.
    if (window)
        window->update();
    return 1;
}

QWidget *CSSTab::hWnd() const
{
    return m_hWnd;
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
    if (m_attached) {
        syncCells();
        Redraw(true);
    }
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
    if (m_attached) {
        syncCells();
        Redraw(true);
    }
}

bool CSSTab::Focus() const
{
    return m_attached && m_hWnd && QApplication::focusWidget() == m_hWnd;
}

int CSSTab::HoverIndex() const
{
    return m_hoverIndex;
}

int CSSTab::BackgroundSurface() const
{
    return m_backgroundSurface;
}

int CSSTab::WorkSurface() const
{
    return m_workSurface;
}

const MessageInterceptor *CSSTab::Interceptor() const
{
    return m_interceptor;
}

void CSSTab::zSubclass_Proc(bool bBefore, bool &bHandled, qintptr &lReturn, QWidget *&lhWnd,
                            int &uMsg, qintptr &wParam, qintptr &lParam)
{
    Q_UNUSED(bBefore);
    Q_UNUSED(lhWnd);
    const int x = LOWORD(lParam);
    const int y = HIWORD(lParam);
    switch (uMsg) {
    case WM::WM_PAINT:
        paintWindow();
        bHandled = true;
        lReturn = 0;
        break;
    case WM::WM_SIZE:
        if (m_hWnd)
            RebuildSurfaces(m_hWnd->width(), m_hWnd->height());
        break;
    case WM::WM_SETFOCUS:
    case WM::WM_KILLFOCUS:
        Redraw(true);
        break;
    case WM::WM_MOUSEMOVE:
        bHandled = true;
        lReturn = 0;
        if (!m_leaveTracking) {
            m_leaveTracking = true;
            StartLeaveTracking(m_hWnd);
        }
        OnMouseMove(wParam, x, y);
        break;
    case WM::WM_LBUTTONDOWN:
    case WM::WM_RBUTTONDOWN:
    case WM::WM_MBUTTONDOWN:
        bHandled = true;
        lReturn = 0;
        OnMouseDown((uMsg - WM::WM_LBUTTONDOWN) / 3 + 1, x, y);
        break;
    case WM::WM_LBUTTONUP:
    case WM::WM_RBUTTONUP:
    case WM::WM_MBUTTONUP:
        bHandled = true;
        lReturn = 0;
        OnMouseUp((uMsg - WM::WM_LBUTTONUP) / 3 + 1, x, y);
        break;
    case WM::WM_LBUTTONDBLCLK:
    case WM::WM_RBUTTONDBLCLK:
    case WM::WM_MBUTTONDBLCLK:
        bHandled = true;
        lReturn = 0;
        OnDblClick((uMsg - WM::WM_LBUTTONDBLCLK) / 3 + 1, x, y);
        break;
    case WM::WM_MOUSELEAVE:
        m_leaveTracking = false;
        OnMouseLeave();
        break;
    default:
        break;
    }
}

void CSSTab::c_Tab_Click(int previousTab)
{
    Q_UNUSED(previousTab);
    Redraw(true);
}

// Tabs added or renamed one by one are drawn once, at the next paint, not once per change.
void CSSTab::c_Tab_Changed()
{
    m_stale = true;
    if (m_hWnd)
        m_hWnd->update();
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
    if (!m_hWnd)
        return;
    if (m_stale)
        Redraw(false);
    const QImage work = MDC::SurfaceImage(m_workSurface);
    if (work.isNull())
        return;
    QPainter painter(m_hWnd);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), work, QRect(0, 0, m_surfaceWidth, m_surfaceHeight));
}

void CSSTab::ReleaseSurfaces()
{
    MDC::DeleteSurface(m_backgroundSurface);
    MDC::DeleteSurface(m_workSurface);
    m_backgroundSurface = 0;
    m_workSurface = 0;
}

void CSSTab::RebuildSurfaces(int width, int height)
{
    ReleaseSurfaces();
    m_surfaceWidth = width;
    m_surfaceHeight = height;
    m_backgroundSurface = MDC::CreateSurface(width, height);
    m_workSurface = MDC::CreateSurface(width, height);
    const QString face = c_Tab ? c_Tab->font().family() : QString();
    MDC::SelectNewFont(m_backgroundSurface, face, 14);
    MDC::SelectNewFont(m_workSurface, face, 14);
    MDC::SetBackgroundMode(m_backgroundSurface, MDC::TRANSPARENT);
    MDC::SetBackgroundMode(m_workSurface, MDC::TRANSPARENT);
    Q_EMIT DrawBackGround(m_backgroundSurface, width, height);
    MDC::BlitSurface(m_workSurface, 0, 0, width, height, m_backgroundSurface, 0, 0, MDC::SRCCOPY);
    Redraw(false);
}

void CSSTab::Redraw(bool copyToWindow)
{
    if (!c_Tab)
        return;
    m_stale = false;
    MDC::BlitSurface(m_workSurface, 0, 0, m_surfaceWidth, m_surfaceHeight, m_backgroundSurface, 0,
                     0, MDC::SRCCOPY);
    const int count = c_Tab->Tabs();
    const int first = c_Tab->firstShownTab();
    const int area = c_Tab->tabAreaWidth();
    // Only the tabs the row shows, each at its scrolled place.
    for (int i = first; i < count; ++i) {
        const int left = (i - first) * m_tabWidth;
        if (left >= area)
            break;
        Q_EMIT DrawTab(m_workSurface, i, i == m_hoverIndex ? 1 : 0, left, 0, m_tabWidth, m_tabHeight);
    }
    if (c_Tab->isScrollable()) {
        DrawScrollCell(-1);
        DrawScrollCell(1);
    }
    // Painting happens in the control's paint event, which copies the work surface.
    if (copyToWindow && m_hWnd)
        m_hWnd->update();
}

// A scroll cell on the band: back (-1) points left, forward (+1) right; dimmed at the row's end.
void CSSTab::DrawScrollCell(int direction)
{
    const QRect cell = c_Tab->scrollCellRect(direction);
    MDC::BlitSurface(m_workSurface, cell.x(), 0, cell.width(), m_tabHeight, m_backgroundSurface,
                     cell.x(), 0, MDC::SRCCOPY);
    if (direction < 0)
        MDC::FillAlpha(m_workSurface, cell.x(), 2, 1, m_tabHeight - 4, 0x000000, 64);
    const int alpha = c_Tab->canScroll(direction) ? 255 : 80;
    const int centreX = cell.x() + cell.width() / 2;
    const int centreY = m_tabHeight / 2;
    for (int k = 0; k < 4; ++k) {
        const int x = direction < 0 ? centreX - 2 + k : centreX + 1 - k;
        MDC::FillAlpha(m_workSurface, x, centreY - k, 1, 2 * k + 1, 0x000000, alpha);
    }
}

int CSSTab::HitTest(int x, int y) const
{
    if (y > m_tabHeight || !c_Tab)
        return -1;
    if (c_Tab->isScrollable() && x >= c_Tab->tabAreaWidth())
        return -1;
    const int shown = static_cast<int>(static_cast<double>(x) / m_tabWidth);
    if (shown < 0)
        return -1;
    const int index = c_Tab->firstShownTab() + shown;
    if (index > c_Tab->Tabs() - 1)
        return -1;
    return index;
}

void CSSTab::OnMouseMove(qintptr keys, int x, int y)
{
    Q_UNUSED(keys);
    if (y > m_tabHeight) {
        if (m_hoverIndex >= 0) {
            m_hoverIndex = -1;
            Redraw(true);
        }
        return;
    }
    const int index = HitTest(x, y);
    if (index != m_hoverIndex) {
        m_hoverIndex = index;
        Redraw(true);
    }
}

void CSSTab::OnMouseDown(int button, int x, int y)
{
    if (y > m_tabHeight || button != 1 || !c_Tab)
        return;
    if (const int scroll = c_Tab->scrollCellAt(x); scroll != 0)
        c_Tab->scrollTabs(scroll);
    else if (const int index = HitTest(x, y); index >= 0)
        c_Tab->pressTab(static_cast<qint16>(index));
    if (c_Tab)
        c_Tab->setFocus(Qt::MouseFocusReason);
}

void CSSTab::OnMouseUp(int button, int x, int y)
{
    Q_UNUSED(button);
    Q_UNUSED(x);
    Q_UNUSED(y);
}

void CSSTab::OnDblClick(int button, int x, int y)
{
    // The second press of a quick double press on a scroll cell scrolls again.
    if (button == 1 && y <= m_tabHeight && c_Tab)
        c_Tab->scrollTabs(c_Tab->scrollCellAt(x));
}

void CSSTab::OnMouseLeave()
{
    if (m_hoverIndex >= 0) {
        m_hoverIndex = -1;
        Redraw(true);
    }
}

void CSSTab::StartLeaveTracking(QWidget *window)
{
    m_interceptor->TrackMouseLeave(window);
}

// Keeps the control's own idea of its cells, which assistive technology reads, on the strip's.
void CSSTab::syncCells()
{
    if (c_Tab)
        c_Tab->setCellSize(m_tabWidth, m_tabHeight);
}
