#include "main_window/HeldKeys.h"

#include <QApplication>
#include <QKeyEvent>

HeldKeys::HeldKeys()
{
    // Releases reach whichever widget has the focus by then; the application sees them all.
    qApp->installEventFilter(this);
}

HeldKeys &HeldKeys::instance()
{
    static HeldKeys keys;
    return keys;
}

bool HeldKeys::isRepeat(const QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return true;
    HeldKeys &keys = instance();
    if (keys.m_down.contains(event->key()))
        return true;
    keys.m_down.insert(event->key());
    // X sends a repeat as a release and a press of the same instant; Qt flags the pair only when
    // the press has already arrived as it reads the release.
    return event->timestamp() != 0 && keys.m_releasedAt.value(event->key()) == event->timestamp();
}

bool HeldKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat()) {
            m_down.remove(key->key());
            m_releasedAt.insert(key->key(), key->timestamp());
        }
    } else if (event->type() == QEvent::ApplicationStateChange
               && QGuiApplication::applicationState() != Qt::ApplicationActive) {
        // A key let go while another program had the focus sends no release here.
        m_down.clear();
    }
    return QObject::eventFilter(watched, event);
}
