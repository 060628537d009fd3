#pragma once

#include <QAccessibleWidget>
#include <QHash>

class SSTab;

// What assistive technology sees of a tab control: a page tab list whose children are made
// on demand, one per tab, so that thousands of tabs cost nothing until someone asks.
class SSTabAccessible : public QAccessibleWidget
{
public:
    explicit SSTabAccessible(SSTab *tabControl);
    ~SSTabAccessible() override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    QString text(QAccessible::Text t) const override;

    SSTab *tabControl() const;

private:
    mutable QHash<int, QAccessible::Id> m_children;
};
