#include "tab_strip/SSTabAccessible.h"

#include "tab_strip/SSTab.h"
#include "tab_strip/SSTabPageAccessible.h"

SSTabAccessible::SSTabAccessible(SSTab *tabControl)
    : QAccessibleWidget(tabControl, QAccessible::PageTabList)
{
}

SSTabAccessible::~SSTabAccessible()
{
    for (QAccessible::Id id : std::as_const(m_children))
        QAccessible::deleteAccessibleInterface(id);
}

SSTab *SSTabAccessible::tabControl() const
{
    return static_cast<SSTab *>(widget());
}

int SSTabAccessible::childCount() const
{
    return tabControl()->Tabs();
}

QAccessibleInterface *SSTabAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (const auto id = m_children.value(index))
        return QAccessible::accessibleInterface(id);
    auto *page = new SSTabPageAccessible(const_cast<SSTabAccessible *>(this), index);
    m_children.insert(index, QAccessible::registerAccessibleInterface(page));
    return page;
}

int SSTabAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child || child->role() != QAccessible::PageTab || child->parent() != this)
        return -1;
    const int index = static_cast<const SSTabPageAccessible *>(child)->index();
    return index < childCount() ? index : -1;
}

QAccessibleInterface *SSTabAccessible::childAt(int x, int y) const
{
    const QPoint local = tabControl()->mapFromGlobal(QPoint(x, y));
    return child(tabControl()->tabAt(local));
}

QAccessibleInterface *SSTabAccessible::focusChild() const
{
    if (!tabControl()->hasFocus())
        return nullptr;
    return child(tabControl()->Tab());
}

QString SSTabAccessible::text(QAccessible::Text t) const
{
    QString result = QAccessibleWidget::text(t);
    if (result.isEmpty() && t == QAccessible::Name)
        result = tabControl()->TabCaption(tabControl()->Tab());
    return result;
}
