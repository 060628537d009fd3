#pragma once

#include "tab_strip/MessageInterceptor.h"
#include "tab_strip/SubclassCallback.h"

#include <QFont>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QPointer>

class SSTab;

// Owner-drawn tab strip: takes over a tab control's painting and mouse input, tracks the tab
// under the pointer, selects tabs on left presses and composes the strip on two off-screen
// surfaces from what its owner paints in DrawBackGround and DrawTab.
class CSSTab : public QObject, public SubclassCallback
{
    Q_OBJECT

public:
    explicit CSSTab(QObject *parent = nullptr);
    ~CSSTab() override;

    void zSubclass_Proc(bool bBefore, bool &bHandled, bool &lReturn, QWidget *lhWnd, QEvent *&event) override;

    int Attach(SSTab *SSTabCtr);
    int Detach();

    QWidget *hWnd() const;
    int TabWidth() const;
    void setTabWidth(int NewValue);
    int TabHeight() const;
    void setTabHeight(int NewValue);
    bool Focus() const;

Q_SIGNALS:
    // hDC paints on the background surface, once per size, in the surfaces' font.
    void DrawBackGround(QPainter *hDC, int Width, int Height);
    // hDC paints on the work surface, once per shown tab and redraw.
    void DrawTab(QPainter *hDC, int TabIndex, int State, int Left, int Top, int Width, int Height);

private:
    void c_Tab_Changed();
    void c_Tab_Scrolled();
    void paintWindow();
    void RebuildSurfaces(const QSize &size);
    void Redraw(bool copyToWindow);
    void DrawScrollCell(QPainter &hDC, int direction);
    int HitTest(QPoint point) const;
    void OnMouseDown(QPoint point);
    void OnMouseMove(QPoint point);
    void OnDblClick(QPoint point);
    void setHoverIndex(int index);
    void syncCells();

    MessageInterceptor m_interceptor{this};
    QPointer<SSTab> c_Tab;
    QImage m_backgroundSurface;
    QImage m_workSurface;
    QFont m_font;
    // The work surface no longer shows the tabs; the next paint draws them first.
    bool m_stale = false;
    int m_hoverIndex = -1;
    int m_tabWidth = 70;
    int m_tabHeight = 20;
};
