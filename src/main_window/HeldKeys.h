#pragma once

#include <QHash>
#include <QObject>
#include <QSet>

class QKeyEvent;

// Tells a fresh key press from the repeats of a held key. Qt flags a repeat only where the window
// system reports it as one, and not always then: a press of a key that was not released since its
// last press, or that comes at the very instant of its release, counts as a repeat too.
class HeldKeys : public QObject
{
    Q_OBJECT

public:
    // Records a fresh press; ask once per press, where it arrives first.
    static bool isRepeat(const QKeyEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    HeldKeys();
    static HeldKeys &instance();

    QSet<int> m_down; // the keys pressed and not released since
    QHash<int, quint64> m_releasedAt; // when each key was last released
};
