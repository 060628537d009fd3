#include "tab_strip/MessageInterceptor.h"

#include "tab_strip/SubclassCallback.h"

#include <QWidget>

MessageInterceptor::MessageInterceptor(SubclassCallback *owner, QObject *parent)
    : QObject(parent)
    , m_owner(owner)
{
}

MessageInterceptor::~MessageInterceptor()
{
    StopAllSubclasses();
}

void MessageInterceptor::StartSubclass(QWidget *window)
{
    if (m_windows.contains(window))
        return;
    m_windows.insert(window, Registration{window->hasMouseTracking(), {}, {}});
    // Every move over the window counts, not only while a button is held.
    window->setMouseTracking(true);
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this](QObject *gone) { m_windows.remove(gone); });
}

void MessageInterceptor::AddMessage(QWidget *window, QEvent::Type message, int moment)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end())
        return;
    for (auto [bit, list] : {std::pair{MSG_BEFORE, &it->before}, std::pair{MSG_AFTER, &it->after}}) {
        if ((moment & bit) && !list->contains(message))
            list->append(message);
    }
}

void MessageInterceptor::StopSubclass(QWidget *window)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end())
        return;
    window->removeEventFilter(this);
    window->setMouseTracking(it->hadMouseTracking);
    disconnect(window, &QObject::destroyed, this, nullptr);
    m_windows.erase(it);
}

void MessageInterceptor::StopAllSubclasses()
{
    const QList<QObject *> windows = m_windows.keys();
    for (QObject *window : windows)
        StopSubclass(static_cast<QWidget *>(window));
}

bool MessageInterceptor::wants(const QList<QEvent::Type> &list, QEvent::Type type)
{
    return list.contains(type) || list.contains(ALL_MESSAGES);
}

bool MessageInterceptor::eventFilter(QObject *watched, QEvent *event)
{
    const auto it = m_windows.constFind(watched);
    if (it == m_windows.cend())
        return false;
    const bool before = wants(it->before, event->type());
    const bool after = wants(it->after, event->type());
    if (!before && !after)
        return false;
    auto *window = static_cast<QWidget *>(watched);
    bool bHandled = false;
    bool lReturn = false;
    QEvent *passed = event;
    if (before) {
        m_owner->zSubclass_Proc(true, bHandled, lReturn, window, passed);
        if (bHandled) {
            event->accept();
            return true;
        }
    }
    // The widget's own handling, called directly so that this filter does not see it again.
    lReturn = static_cast<QObject *>(window)->event(passed);
    if (passed != event)
        event->setAccepted(passed->isAccepted());
    if (after)
        m_owner->zSubclass_Proc(false, bHandled, lReturn, window, passed);
    return true;
}
