#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>

class QPainter;

// The window system's tab control: tab count, current tab and captions, with a click
// notification raised after every change of the current tab. It paints a plain look of its
// own; the owner-drawn strip takes over its painting and mouse input when attached.
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

    QString TabCaption(int index) const;
    void setTabCaption(int index, const QString &caption);

    int TabsPerRow() const;
    void setTabsPerRow(int count);

    // Width and height of one cell of the plain look's tab row, in pixels.
    int cellWidth() const;
    int cellHeight() const;
    void setCellSize(int width, int height);

    // The cell of tab index in the plain look's row, and the tab under a point (-1 for none).
    QRect cellRect(int index) const;
    int tabAt(const QPoint &pos) const;

Q_SIGNALS:
    void Click(int previousTab);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void paintCell(QPainter &painter, int index);
    void currentChanged(int previous);
    void announceFocus();
    void announceCountChange(int oldCount);

    QStringList m_captions;
    int m_current = 0;
    int m_tabsPerRow = 1;
    int m_cellWidth = 70;
    int m_cellHeight = 30;
};
