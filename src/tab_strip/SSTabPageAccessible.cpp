#include "tab_strip/SSTabPageAccessible.h"

#include "tab_strip/SSTab.h"
#include "tab_strip/SSTabAccessible.h"

SSTabPageAccessible::SSTabPageAccessible(SSTabAccessible *parent, int index)
    : m_parent(parent)
    , m_index(index)
{
}

int SSTabPageAccessible::index() const
{
    return m_index;
}

SSTab *SSTabPageAccessible::tabControl() const
{
    return m_parent->tabControl();
}

bool SSTabPageAccessible::isValid() const
{
    // A tab removed by lowering the count stays invalid until it exists again.
    return m_parent->isValid() && m_index < tabControl()->Tabs();
}

QObject *SSTabPageAccessible::object() const
{
    return nullptr;
}

QWindow *SSTabPageAccessible::window() const
{
    return m_parent->window();
}

QAccessibleInterface *SSTabPageAccessible::parent() const
{
    return m_parent;
}

QAccessibleInterface *SSTabPageAccessible::child(int) const
{
    return nullptr;
}

int SSTabPageAccessible::childCount() const
{
    return 0;
}

int SSTabPageAccessible::indexOfChild(const QAccessibleInterface *) const
{
    return -1;
}

QAccessibleInterface *SSTabPageAccessible::childAt(int, int) const
{
    return nullptr;
}

QString SSTabPageAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && isValid())
        return tabControl()->TabCaption(m_index);
    return {};
}

void SSTabPageAccessible::setText(QAccessible::Text, const QString &)
{
}

QRect SSTabPageAccessible::rect() const
{
    if (!isValid())
        return {};
    const SSTab *tab = tabControl();
    QRect cell = tab->cellRect(m_index);
    // A tab cut by the scroll cells reaches only as far as it shows.
    const QRect shown = cell & QRect(0, cell.top(), tab->tabAreaWidth(), cell.height());
    if (!shown.isEmpty())
        cell = shown;
    return QRect(tab->mapToGlobal(cell.topLeft()), cell.size());
}

QAccessible::Role SSTabPageAccessible::role() const
{
    return QAccessible::PageTab;
}

QAccessible::State SSTabPageAccessible::state() const
{
    QAccessible::State s;
    if (!isValid()) {
        s.invalid = true;
        return s;
    }
    const SSTab *tab = tabControl();
    const bool current = tab->Tab() == m_index;
    s.selectable = true;
    s.focusable = true;
    s.selected = current;
    s.focused = current && tab->hasFocus();
    s.invisible = !tab->isVisible();
    s.disabled = !tab->isEnabled();
    // A tab scrolled out of the row, or under its scroll cells, is not on screen.
    s.offscreen = !QRect(0, 0, tab->tabAreaWidth(), tab->height()).intersects(tab->cellRect(m_index));
    return s;
}

void *SSTabPageAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface)
        return static_cast<QAccessibleActionInterface *>(this);
    return nullptr;
}

QStringList SSTabPageAccessible::actionNames() const
{
    return {pressAction()};
}

void SSTabPageAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction() && isValid())
        tabControl()->pressTab(m_index);
}

QStringList SSTabPageAccessible::keyBindingsForAction(const QString &) const
{
    return {};
}
