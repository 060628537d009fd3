#include "tab_strip/SSTab.h"

#include "tab_strip/SSTabAccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

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
    ensureTabShown(m_current);
    update();
    Q_EMIT TabsChanged();
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
    ensureTabShown(index);
    update();
    currentChanged(previous);
}

void SSTab::pressTab(int index)
{
    if (index == m_current)
        Q_EMIT CurrentTabPressed();
    else
        setTab(index);
}

QString SSTab::TabCaption(int index) const
{
    return m_captions.value(index);
}

int SSTab::tabCalled(const QString &caption, int previousTab) const
{
    if (previousTab >= 0 && previousTab < Tabs() && TabCaption(previousTab) == caption)
        return previousTab;
    const qsizetype found = m_captions.indexOf(caption, 1);
    return found < 0 ? 0 : int(found);
}

void SSTab::setTabCaption(int index, const QString &caption)
{
    if (index < 0 || index >= Tabs() || m_captions.at(index) == caption)
        return;
    m_captions[index] = caption;
    update(cellRect(index));
    Q_EMIT TabsChanged();
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
    ensureTabShown(m_current);
    update();
}

QRect SSTab::cellRect(int index) const
{
    return {(index - m_firstShown) * m_cellWidth, 0, m_cellWidth, m_cellHeight};
}

int SSTab::tabAt(const QPoint &pos) const
{
    if (pos.x() < 0 || pos.y() < 0 || pos.y() >= m_cellHeight || pos.x() >= tabAreaWidth())
        return -1;
    const int index = m_firstShown + pos.x() / m_cellWidth;
    return index < Tabs() ? index : -1;
}

bool SSTab::isScrollable() const
{
    return qint64(Tabs()) * m_cellWidth > width();
}

int SSTab::firstShownTab() const
{
    return m_firstShown;
}

int SSTab::tabAreaWidth() const
{
    return isScrollable() ? qMax(0, width() - 2 * ScrollCellWidth) : width();
}

int SSTab::fullyShownCount() const
{
    return qMax(1, tabAreaWidth() / m_cellWidth);
}

void SSTab::setFirstShownTab(int index)
{
    const int last = isScrollable() ? qMax(0, Tabs() - fullyShownCount()) : 0;
    index = qBound(0, index, last);
    if (index == m_firstShown)
        return;
    m_firstShown = index;
    m_wheelRemainder = 0;
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::LocationChanged);
        QAccessible::updateAccessibility(&event);
    }
    Q_EMIT Scrolled();
}

void SSTab::scrollTabs(int steps)
{
    setFirstShownTab(m_firstShown + steps);
}

void SSTab::ensureTabShown(int index)
{
    if (index < m_firstShown)
        setFirstShownTab(index);
    else if (index >= m_firstShown + fullyShownCount())
        setFirstShownTab(index - fullyShownCount() + 1);
    else
        setFirstShownTab(m_firstShown); // keeps the row within its bounds after a change
}

int SSTab::scrollCellAt(int x) const
{
    if (!isScrollable())
        return 0;
    const int area = tabAreaWidth();
    if (x >= area && x < area + ScrollCellWidth)
        return -1;
    if (x >= area + ScrollCellWidth && x < area + 2 * ScrollCellWidth)
        return 1;
    return 0;
}

QRect SSTab::scrollCellRect(int direction) const
{
    if (!isScrollable() || direction == 0)
        return {};
    return {tabAreaWidth() + (direction > 0 ? ScrollCellWidth : 0), 0, ScrollCellWidth, m_cellHeight};
}

bool SSTab::canScroll(int direction) const
{
    if (!isScrollable())
        return false;
    return direction < 0 ? m_firstShown > 0 : m_firstShown < Tabs() - fullyShownCount();
}

void SSTab::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    // Only the cells that intersect the exposed area: the row may hold thousands of tabs.
    const QRect area = event->rect() & QRect(0, 0, tabAreaWidth(), height());
    if (!area.isEmpty()) {
        painter.save();
        painter.setClipRect(area);
        const int first = m_firstShown + qMax(0, area.left() / m_cellWidth);
        const int last = qMin(Tabs() - 1, m_firstShown + area.right() / m_cellWidth);
        for (int i = first; i <= last; ++i)
            paintCell(painter, i);
        painter.restore();
    }
    if (isScrollable()) {
        paintScrollCell(painter, -1);
        paintScrollCell(painter, 1);
    }
    painter.setPen(palette().mid().color());
    painter.drawLine(0, m_cellHeight - 1, width() - 1, m_cellHeight - 1);
}

void SSTab::paintScrollCell(QPainter &painter, int direction)
{
    const QRect cell = scrollCellRect(direction);
    painter.fillRect(cell, palette().button());
    painter.setPen(palette().mid().color());
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
    painter.setPen(canScroll(direction) ? palette().buttonText().color() : palette().mid().color());
    painter.drawText(cell, Qt::AlignCenter, QString(QLatin1Char(direction < 0 ? '<' : '>')));
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
    painter.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignCenter | Qt::TextSingleLine, m_captions.at(index));
}

void SSTab::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int scroll = pos.y() >= 0 && pos.y() < m_cellHeight ? scrollCellAt(pos.x()) : 0;
    if (scroll != 0)
        scrollTabs(scroll);
    else if (const int index = tabAt(pos); index >= 0)
        pressTab(index);
    setFocus(Qt::MouseFocusReason);
}

void SSTab::wheelEvent(QWheelEvent *event)
{
    if (!isScrollable()) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPoint delta = event->angleDelta();
    // One notch (120) moves the row by one tab; turning the wheel away from oneself goes back.
    m_wheelRemainder += delta.y() != 0 ? delta.y() : delta.x();
    const int steps = m_wheelRemainder / 120;
    m_wheelRemainder -= steps * 120;
    if (steps != 0)
        scrollTabs(-steps);
    event->accept();
}

void SSTab::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ensureTabShown(m_current);
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
