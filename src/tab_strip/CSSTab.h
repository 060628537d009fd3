#pragma once

#include "tab_strip/SubclassCallback.h"

#include <QObject>
#include <QPointer>

class MessageInterceptor;
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

    void zSubclass_Proc(bool bBefore, bool &bHandled, qintptr &lReturn, QWidget *&lhWnd, int &uMsg,
                        qintptr &wParam, qintptr &lParam) override;

    static int LOWORD(qintptr DWord);
    static int HIWORD(qintptr DWord);

    int Attach(SSTab *SSTabCtr);
    int Detach();

    QWidget *hWnd() const;
    int TabWidth() const;
    void setTabWidth(int NewValue);
    int TabHeight() const;
    void setTabHeight(int NewValue);
    bool Focus() const;

    int HoverIndex() const;
    int BackgroundSurface() const;
    int WorkSurface() const;
    const MessageInterceptor *Interceptor() const;

Q_SIGNALS:
    void DrawBackGround(int hDC, int Width, int Height);
    void DrawTab(int hDC, int TabIndex, int State, int Left, int Top, int Width, int Height);

private:
    void c_Tab_Click(int previousTab);
    void c_Tab_Changed();
    void c_Tab_Scrolled();
    void paintWindow();
    void RebuildSurfaces(int width, int height);
    void ReleaseSurfaces();
    void Redraw(bool copyToWindow);
    void DrawScrollCell(int direction);
    int HitTest(int x, int y) const;
    void OnMouseDown(int button, int x, int y);
    void OnMouseMove(qintptr keys, int x, int y);
    void OnMouseUp(int button, int x, int y);
    void OnDblClick(int button, int x, int y);
    void OnMouseLeave();
    void StartLeaveTracking(QWidget *window);
    void syncCells();

    MessageInterceptor *m_interceptor;
    QPointer<SSTab> c_Tab;
    QWidget *m_hWnd = nullptr;
    bool m_attached = false;
    bool m_leaveTracking = false;
    // The work surface no longer shows the tabs; the next paint draws them first.
    bool m_stale = false;
    int m_backgroundSurface = 0;
    int m_workSurface = 0;
    int m_surfaceWidth = 0;
    int m_surfaceHeight = 0;
    int m_hoverIndex = -1;
    int m_tabWidth = 70;
    int m_tabHeight = 20;
};
