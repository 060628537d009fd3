#pragma once

#include "tab_strip/WindowMessage.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class SubclassCallback;

// Routes the window messages of intercepted widgets to one owner's callback, before and/or
// after the widget's own handling, through an event filter. One table row per widget.
class MessageInterceptor : public QObject
{
    Q_OBJECT

public:
    static constexpr int MSG_AFTER = 1;
    static constexpr int MSG_BEFORE = 2;
    static constexpr int ALL_MESSAGES = -1;

    explicit MessageInterceptor(SubclassCallback *owner, QObject *parent = nullptr);
    ~MessageInterceptor() override;

    int StartSubclass(QWidget *window);
    void AddMessage(QWidget *window, int message, int moment);
    void StopSubclass(QWidget *window);
    void StopAllSubclasses();
    int FindSlot(const QWidget *window, bool forAdding) const;

    // Asks for one WM_MOUSELEAVE when the pointer next leaves the window.
    void TrackMouseLeave(QWidget *window);

    int RowCount() const;
    // Count of a window's list for one moment: 0 none, -1 every message, n registered numbers.
    int MessageCount(const QWidget *window, int moment) const;
    QList<int> Messages(const QWidget *window, int moment) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct MessageList
    {
        int count = 0;
        QList<int> numbers;

        void add(int message);
        bool contains(int message) const;
    };

    struct Row
    {
        QPointer<QWidget> window;
        bool hadMouseTracking = false;
        bool leaveRequested = false;
        MessageList after;
        MessageList before;
    };

    bool dispatch(QWidget *window, QEvent *event, WindowMessage message);
    qintptr deliver(QWidget *window, QEvent *event, const WindowMessage &original,
                    const WindowMessage &passed);
    bool wants(const QWidget *window, int moment, int message) const;
    const MessageList *list(const QWidget *window, int moment) const;

    SubclassCallback *m_owner;
    QList<Row> m_rows;
};
