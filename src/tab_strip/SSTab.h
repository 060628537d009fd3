#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>

class QPainter;

// The window system's tab control: tab count, current tab and captions, with a click
// notification raised after every change of the current tab. It paints a plain look of its
// own; the owner-drawn strip takes over its painting and mouse input when attached.
// When the tabs are wider than the control, the row scrolls by whole tabs: two scroll cells
// at its right end and the mouse wheel move it, and the current tab is always brought into view.
class SSTab : public QWidget
{
    Q_OBJECT

public:
    explicit SSTab(QWidget *parent = nullptr);

    // Writing 1 keeps only tab 0 and makes it current; writing count + 1 appends one tab.
    int Tabs() const;
    void setTabs(int count);

    // Writing a different index makes that tab current and raises Click(previous).
    int Tab() const;
    void setTab(int index);
    // A press on a tab: selects it, or reports a press on the tab that is already current.
    void pressTab(int index);

    QString TabCaption(int index) const;
    void setTabCaption(int index, const QString &caption);
    // The tab that bears the caption: previousTab when it still does, else the first other one; 0 when none does.
    int tabCalled(const QString &caption, int previousTab) const;

    int TabsPerRow() const;
    void setTabsPerRow(int count);

    // Width and height of one cell of the plain look's tab row, in pixels.
    int cellWidth() const;
    int cellHeight() const;
    void setCellSize(int width, int height);

    // The cell of tab index in the row as it is scrolled, and the tab under a point (-1 for none).
    QRect cellRect(int index) const;
    int tabAt(const QPoint &pos) const;

    static constexpr int ScrollCellWidth = 17;
    // Whether the tabs are wider than the control, so the row scrolls.
    bool isScrollable() const;
    // The first tab shown at the left end of the row.
    int firstShownTab() const;
    // The part of the row that shows tabs: the whole width, less the scroll cells when scrollable.
    int tabAreaWidth() const;
    // Moves the row by whole tabs; negative towards the first tab.
    void scrollTabs(int steps);
    void ensureTabShown(int index);
    // The scroll cell at x: -1 back, +1 forward, 0 none (also when the row does not scroll).
    int scrollCellAt(int x) const;
    // The back (-1) or forward (+1) scroll cell; empty when the row does not scroll.
    QRect scrollCellRect(int direction) const;
    bool canScroll(int direction) const;

Q_SIGNALS:
    void Click(int previousTab);
    // A press on the tab that was current already; Click is not raised for it.
    void CurrentTabPressed();
    // The tab count or a caption changed.
    void TabsChanged();
    // The row was scrolled: the tabs stand at other places.
    void Scrolled();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void paintCell(QPainter &painter, int index);
    void paintScrollCell(QPainter &painter, int direction);
    int fullyShownCount() const;
    void setFirstShownTab(int index);
    void currentChanged(int previous);
    void announceFocus();
    void announceCountChange(int oldCount);

    QStringList m_captions;
    int m_current = 0;
    int m_tabsPerRow = 1;
    int m_cellWidth = 70;
    int m_cellHeight = 30;
    int m_firstShown = 0;
    int m_wheelRemainder = 0;
};
