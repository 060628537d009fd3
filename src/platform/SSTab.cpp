#include "platform/SSTab.h"

#include "platform/SSTabAccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("SSTab") && object && object->isWidgetType())
        return new SSTabAccessible(static_cast<SSTab *>(object));
    return nullptr;
}

void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace

SSTab::SSTab(QWidget *parent)
    : QWidget(parent)
    , m_captions(1)
{
    installAccessibleFactory();
    // Tab focus only: a click gives focus through the press handling, never on its own.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_KeyCompression, false);
}

int SSTab::Tabs() const
{
    return static_cast<int>(m_captions.size());
}

void SSTab::setTabs(int count)
{
    if (count < 1 || count == Tabs())
        return;
    const int previous = m_current;
    const int oldCount = Tabs();
    m_captions.resize(count);
    if (m_current >= count)
        m_current = count - 1;
    announceCountChange(oldCount);
    update();
    if (m_current != previous)
        currentChanged(previous);
}

int SSTab::Tab() const
{
    return m_current;
}

void SSTab::setTab(int index)
{
    if (index < 0 || index >= Tabs() || index == m_current)
        return;
    const int previous = m_current;
    m_current = index;
    update();
    currentChanged(previous);
}

QString SSTab::TabCaption(int index) const
{
    return m_captions.value(index);
}

void SSTab::setTabCaption(int index, const QString &caption)
{
    if (index < 0 || index >= Tabs() || m_captions.at(index) == caption)
        return;
    m_captions[index] = caption;
    update(cellRect(index));
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        event.setChild(index);
        QAccessible::updateAccessibility(&event);
    }
}

int SSTab::TabsPerRow() const
{
    return m_tabsPerRow;
}

void SSTab::setTabsPerRow(int count)
{
    m_tabsPerRow = qMax(1, count);
}

int SSTab::cellWidth() const
{
    return m_cellWidth;
}

int SSTab::cellHeight() const
{
    return m_cellHeight;
}

void SSTab::setCellSize(int width, int height)
{
    m_cellWidth = qMax(1, width);
    m_cellHeight = qMax(1, height);
    update();
}

QRect SSTab::cellRect(int index) const
{
    return {index * m_cellWidth, 0, m_cellWidth, m_cellHeight};
}

int SSTab::tabAt(const QPoint &pos) const
{
    if (pos.x() < 0 || pos.y() < 0 || pos.y() >= m_cellHeight)
        return -1;
    const int index = pos.x() / m_cellWidth;
    return index < Tabs() ? index : -1;
}

void SSTab::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    // Only the cells that intersect the exposed area: the row may hold thousands of tabs.
    const int first = qMax(0, event->rect().left() / m_cellWidth);
    const int last = qMin(Tabs() - 1, event->rect().right() / m_cellWidth);
    for (int i = first; i <= last; ++i)
        paintCell(painter, i);
    painter.setPen(palette().mid().color());
    painter.drawLine(0, m_cellHeight - 1, width() - 1, m_cellHeight - 1);
}

void SSTab::paintCell(QPainter &painter, int index)
{
    const QRect cell = cellRect(index);
    const bool current = index == m_current;
    painter.fillRect(cell, current ? palette().base() : palette().button());
    painter.setPen(palette().mid().color());
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
    if (current && hasFocus())
        painter.fillRect(cell.left() + 1, cell.top() + 1, cell.width() - 2, 2, palette().highlight());
    painter.setPen(palette().buttonText().color());
    painter.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignCenter | Qt::TextSingleLine,
                     m_captions.at(index));
}

void SSTab::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int index = tabAt(event->position().toPoint());
    if (index >= 0)
        setTab(index);
    setFocus(Qt::MouseFocusReason);
}

void SSTab::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        setTab(m_current - 1);
        break;
    case Qt::Key_Right:
        setTab(m_current + 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void SSTab::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update(cellRect(m_current));
    announceFocus();
}

void SSTab::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update(cellRect(m_current));
}

void SSTab::currentChanged(int previous)
{
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::Selection);
        event.setChild(m_current);
        QAccessible::updateAccessibility(&event);
        announceFocus();
    }
    Q_EMIT Click(previous);
}

void SSTab::announceFocus()
{
    if (!QAccessible::isActive() || !hasFocus())
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(m_current);
    QAccessible::updateAccessibility(&event);
}

void SSTab::announceCountChange(int oldCount)
{
    if (!QAccessible::isActive())
        return;
    if (Tabs() < oldCount) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
    for (int i = oldCount; i < Tabs(); ++i) {
        QAccessibleEvent event(this, QAccessible::ObjectCreated);
        event.setChild(i);
        QAccessible::updateAccessibility(&event);
    }
}
