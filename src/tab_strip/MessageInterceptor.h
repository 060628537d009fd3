#pragma once

#include <QEvent>
#include <QHash>
#include <QList>
#include <QObject>

class SubclassCallback;
class QWidget;

// Routes the events of intercepted widgets to one owner's callback, before and/or after the
// widget's own handling, through an event filter.
class MessageInterceptor : public QObject
{
    Q_OBJECT

public:
    static constexpr int MSG_AFTER = 1;
    static constexpr int MSG_BEFORE = 2;
    // Registered for a moment, it stands for every event.
    static constexpr QEvent::Type ALL_MESSAGES = QEvent::None;

    explicit MessageInterceptor(SubclassCallback *owner, QObject *parent = nullptr);
    ~MessageInterceptor() override;

    void StartSubclass(QWidget *window);
    void AddMessage(QWidget *window, QEvent::Type message, int moment);
    void StopSubclass(QWidget *window);
    void StopAllSubclasses();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Registration
    {
        bool hadMouseTracking = false;
        QList<QEvent::Type> after;
        QList<QEvent::Type> before;
    };

    static bool wants(const QList<QEvent::Type> &list, QEvent::Type type);

    SubclassCallback *m_owner;
    QHash<QObject *, Registration> m_windows;
};
