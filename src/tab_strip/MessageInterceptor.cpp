#include "tab_strip/MessageInterceptor.h"

#include "tab_strip/SubclassCallback.h"

#include <QEvent>

void MessageInterceptor::MessageList::add(int message)
{
    if (message == ALL_MESSAGES) {
        count = ALL_MESSAGES;
        return;
    }
    // Every message already counts; a number would add nothing.
    if (count == ALL_MESSAGES || contains(message))
        return;
    numbers.append(message);
    count = static_cast<int>(numbers.size());
}

bool MessageInterceptor::MessageList::contains(int message) const
{
    if (count == ALL_MESSAGES)
        return true;
    return numbers.contains(message);
}

MessageInterceptor::MessageInterceptor(SubclassCallback *owner, QObject *parent)
    : QObject(parent)
    , m_owner(owner)
{
}

MessageInterceptor::~MessageInterceptor()
{
    StopAllSubclasses();
}

int MessageInterceptor::StartSubclass(QWidget *window)
{
    int row = FindSlot(nullptr, true);
    if (row < 0) {
        m_rows.append(Row());
        row = static_cast<int>(m_rows.size()) - 1;
    }
    Row &slot = m_rows[row];
    slot = Row();
    slot.window = window;
    slot.hadMouseTracking = window->hasMouseTracking();
    // The window system reports every move over a window, not only while a button is held.
    window->setMouseTracking(true);
    window->installEventFilter(this);
    return row;
}

void MessageInterceptor::AddMessage(QWidget *window, int message, int moment)
{
    const int row = FindSlot(window, false);
    if (row < 0)
        return;
    if (moment & MSG_BEFORE)
        m_rows[row].before.add(message);
    if (moment & MSG_AFTER)
        m_rows[row].after.add(message);
}

void MessageInterceptor::StopSubclass(QWidget *window)
{
    const int row = FindSlot(window, false);
    if (row < 0)
        return;
    Row &slot = m_rows[row];
    if (QWidget *alive = slot.window.data()) {
        alive->removeEventFilter(this);
        alive->setMouseTracking(slot.hadMouseTracking);
    }
    slot = Row();
}

void MessageInterceptor::StopAllSubclasses()
{
    for (int row = static_cast<int>(m_rows.size()) - 1; row >= 0; --row) {
        if (QWidget *window = m_rows.at(row).window.data())
            StopSubclass(window);
    }
}

int MessageInterceptor::FindSlot(const QWidget *window, bool forAdding) const
{
    for (int row = static_cast<int>(m_rows.size()) - 1; row >= 0; --row) {
        const QWidget *held = m_rows.at(row).window.data();
        if (forAdding ? held == nullptr : (held != nullptr && held == window))
            return row;
    }
    return -1;
}

void MessageInterceptor::TrackMouseLeave(QWidget *window)
{
    const int row = FindSlot(window, false);
    if (row >= 0)
        m_rows[row].leaveRequested = true;
}

int MessageInterceptor::RowCount() const
{
    return static_cast<int>(m_rows.size());
}

const MessageInterceptor::MessageList *MessageInterceptor::list(const QWidget *window,
                                                                 int moment) const
{
    const int row = FindSlot(window, false);
    if (row < 0)
        return nullptr;
    return moment == MSG_BEFORE ? &m_rows.at(row).before : &m_rows.at(row).after;
}

int MessageInterceptor::MessageCount(const QWidget *window, int moment) const
{
    const MessageList *messages = list(window, moment);
    return messages ? messages->count : 0;
}

QList<int> MessageInterceptor::Messages(const QWidget *window, int moment) const
{
    const MessageList *messages = list(window, moment);
    return messages ? messages->numbers : QList<int>();
}

bool MessageInterceptor::wants(const QWidget *window, int moment, int message) const
{
    const MessageList *messages = list(window, moment);
    return messages && messages->contains(message);
}

bool MessageInterceptor::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched->isWidgetType())
        return false;
    auto *window = static_cast<QWidget *>(watched);
    const int row = FindSlot(window, false);
    if (row < 0)
        return false;
    const auto message = WindowMessage::fromEvent(event, m_rows.at(row).leaveRequested);
    if (!message)
        return false;
    if (message->uMsg == WindowMessage::WM_MOUSELEAVE)
        m_rows[row].leaveRequested = false;
    if (!wants(window, MSG_BEFORE, message->uMsg) && !wants(window, MSG_AFTER, message->uMsg))
        return false;
    return dispatch(window, event, *message);
}

bool MessageInterceptor::dispatch(QWidget *window, QEvent *event, WindowMessage message)
{
    const WindowMessage original = message;
    bool bHandled = false;
    qintptr lReturn = 0;
    QWidget *lhWnd = window;
    if (wants(window, MSG_BEFORE, message.uMsg)) {
        m_owner->zSubclass_Proc(true, bHandled, lReturn, lhWnd, message.uMsg, message.wParam,
                                message.lParam);
        if (bHandled) {
            event->accept();
            return true;
        }
    }
    lReturn = deliver(window, event, original, message);
    if (wants(window, MSG_AFTER, message.uMsg)) {
        m_owner->zSubclass_Proc(false, bHandled, lReturn, lhWnd, message.uMsg, message.wParam,
                                message.lParam);
    }
    return true;
}

qintptr MessageInterceptor::deliver(QWidget *window, QEvent *event, const WindowMessage &original,
                                    const WindowMessage &passed)
{
    // Values a before callback changed reach the widget as a rebuilt mouse event.
    std::unique_ptr<QEvent> rebuilt;
    if (!(passed == original))
        rebuilt = WindowMessage::toMouseEvent(passed, window, event);
    QEvent *handed = rebuilt ? rebuilt.get() : event;
    // The widget's own handling, called directly so that this filter does not see it again.
    const bool handled = static_cast<QObject *>(window)->event(handed);
    if (rebuilt)
        event->setAccepted(rebuilt->isAccepted());
    return handled ? 1 : 0;
}
