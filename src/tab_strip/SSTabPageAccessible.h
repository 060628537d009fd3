#pragma once

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>

class SSTab;
class SSTabAccessible;

// One tab of a tab control as assistive technology sees it: a page tab named by its caption,
// selected when current, whose rectangle is its cell in the tab row.
class SSTabPageAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    SSTabPageAccessible(SSTabAccessible *parent, int index);

    int index() const;

    bool isValid() const override;
    QObject *object() const override;
    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString &text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    SSTab *tabControl() const;

    SSTabAccessible *m_parent;
    int m_index;
};
