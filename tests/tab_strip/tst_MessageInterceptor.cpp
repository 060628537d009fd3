#include "tab_strip/MessageInterceptor.h"
#include "tab_strip/SubclassCallback.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QTest>

#include <functional>

namespace {

// A widget that notes which events its own handling saw.
class ProbeWidget : public QWidget
{
public:
    QList<QEvent::Type> seen;
    QPoint lastPress;

protected:
    bool event(QEvent *event) override
    {
        seen.append(event->type());
        return QWidget::event(event);
    }
    void mousePressEvent(QMouseEvent *event) override { lastPress = event->position().toPoint(); }
};

struct Call
{
    bool before;
    QEvent::Type message;
    bool lReturn;
    int ownSeen;
    QPoint position;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    QSize size;
};

class Recorder : public SubclassCallback
{
public:
    QList<Call> calls;
    ProbeWidget *probe = nullptr;
    std::function<void(bool, bool &, bool &, QEvent *&)> action;

    void zSubclass_Proc(bool bBefore, bool &bHandled, bool &lReturn, QWidget *lhWnd, QEvent *&event) override
    {
        Q_UNUSED(lhWnd);
        Call call{bBefore, event->type(), lReturn, probe ? static_cast<int>(probe->seen.size()) : 0, {}, {}, {}, {}};
        if (event->type() == QEvent::MouseButtonPress) {
            const auto *mouse = static_cast<const QMouseEvent *>(event);
            call.position = mouse->position().toPoint();
            call.buttons = mouse->buttons();
            call.modifiers = mouse->modifiers();
        } else if (event->type() == QEvent::Resize) {
            call.size = static_cast<const QResizeEvent *>(event)->size();
        }
        calls.append(call);
        if (action)
            action(bBefore, bHandled, lReturn, event);
    }

    QList<QEvent::Type> messages(bool before) const
    {
        QList<QEvent::Type> result;
        for (const Call &call : calls)
            if (call.before == before)
                result.append(call.message);
        return result;
    }
};

void press(QWidget *widget, Qt::MouseButton button, QPoint pos, QEvent::Type type = QEvent::MouseButtonPress,
           Qt::KeyboardModifiers modifiers = {})
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), modifiers);
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

class tst_MessageInterceptor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unregisteredWindowBehavesAsBefore();
    void duplicateRegistrationKeepsOneEntry();
    void everyMessageRegistration();
    void beforeHandledSuppressesWidgetAndAfter();
    void afterSeesWidgetResult();
    void bothMoments();
    void eventValuesReachTheCallback();
    void changedValuesReachWidget();
    void leaveReachesTheAfterCallback();
    void stopRestoresOwnHandling();
    void restartedWindowStartsWithEmptyLists();
    void stopAllReleasesEveryWindow();
    void destroyedWindowIsForgotten();
};

void tst_MessageInterceptor::unregisteredWindowBehavesAsBefore()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    press(&widget, Qt::LeftButton, QPoint(4, 5));
    QCOMPARE(widget.lastPress, QPoint(4, 5));
    QVERIFY(widget.seen.contains(QEvent::MouseButtonPress));
    QVERIFY(recorder.calls.isEmpty());
}

void tst_MessageInterceptor::duplicateRegistrationKeepsOneEntry()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&widget, QEvent::Paint, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&widget, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    press(&widget, Qt::LeftButton, QPoint(1, 1));
    QCOMPARE(recorder.messages(true), QList<QEvent::Type>({QEvent::MouseButtonPress}));
    QVERIFY(recorder.messages(false).isEmpty());
}

void tst_MessageInterceptor::everyMessageRegistration()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, MessageInterceptor::ALL_MESSAGES, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&widget, QEvent::Paint, MessageInterceptor::MSG_BEFORE);
    press(&widget, Qt::RightButton, QPoint(1, 1));
    press(&widget, Qt::RightButton, QPoint(1, 1), QEvent::MouseButtonRelease);
    press(&widget, Qt::MiddleButton, QPoint(1, 1), QEvent::MouseButtonDblClick);
    QResizeEvent resize(QSize(30, 40), QSize(10, 10));
    QCoreApplication::sendEvent(&widget, &resize);
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(&widget, &focusIn);
    QFocusEvent focusOut(QEvent::FocusOut);
    QCoreApplication::sendEvent(&widget, &focusOut);
    QCOMPARE(recorder.messages(true),
             QList<QEvent::Type>({QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::Resize, QEvent::FocusIn, QEvent::FocusOut}));
    QVERIFY(recorder.messages(false).isEmpty());
    QCOMPARE(recorder.calls.at(3).size, QSize(30, 40));
}

void tst_MessageInterceptor::beforeHandledSuppressesWidgetAndAfter()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    recorder.probe = &widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::MouseButtonPress, 3);
    recorder.action = [](bool before, bool &handled, bool &, QEvent *&) {
        if (before)
            handled = true;
    };
    press(&widget, Qt::LeftButton, QPoint(7, 8));
    QVERIFY(!widget.seen.contains(QEvent::MouseButtonPress));
    QCOMPARE(widget.lastPress, QPoint());
    QCOMPARE(recorder.calls.size(), 1);
    QVERIFY(recorder.calls.first().before);
}

void tst_MessageInterceptor::afterSeesWidgetResult()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    recorder.probe = &widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::MouseButtonPress, MessageInterceptor::MSG_AFTER);
    // bHandled set in an after call changes nothing.
    recorder.action = [](bool, bool &handled, bool &, QEvent *&) { handled = true; };
    const int earlier = static_cast<int>(widget.seen.size());
    press(&widget, Qt::LeftButton, QPoint(7, 8));
    QCOMPARE(widget.lastPress, QPoint(7, 8));
    QCOMPARE(recorder.calls.size(), 1);
    const Call call = recorder.calls.first();
    QVERIFY(!call.before);
    QCOMPARE(call.lReturn, true);
    QCOMPARE(call.ownSeen, earlier + 1);
    press(&widget, Qt::LeftButton, QPoint(9, 9));
    QCOMPARE(widget.lastPress, QPoint(9, 9));
}

void tst_MessageInterceptor::bothMoments()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    recorder.probe = &widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::MouseMove, 3);
    const int earlier = static_cast<int>(widget.seen.size());
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 4), QPointF(3, 4), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(&widget, &move);
    QCOMPARE(recorder.calls.size(), 2);
    QVERIFY(recorder.calls.at(0).before);
    QCOMPARE(recorder.calls.at(0).ownSeen, earlier);
    QCOMPARE(recorder.calls.at(0).lReturn, false);
    QVERIFY(!recorder.calls.at(1).before);
    QCOMPARE(recorder.calls.at(1).ownSeen, earlier + 1);
    QCOMPARE(widget.seen.last(), QEvent::MouseMove);
}

void tst_MessageInterceptor::eventValuesReachTheCallback()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    QVERIFY(widget.hasMouseTracking());
    interceptor.AddMessage(&widget, MessageInterceptor::ALL_MESSAGES, MessageInterceptor::MSG_BEFORE);
    press(&widget, Qt::LeftButton, QPoint(-5, 300), QEvent::MouseButtonPress, Qt::ShiftModifier);
    QCOMPARE(recorder.calls.size(), 1);
    const Call call = recorder.calls.first();
    QCOMPARE(call.message, QEvent::MouseButtonPress);
    QCOMPARE(call.buttons, Qt::MouseButtons(Qt::LeftButton));
    QCOMPARE(call.modifiers, Qt::KeyboardModifiers(Qt::ShiftModifier));
    QCOMPARE(call.position, QPoint(-5, 300));
}

void tst_MessageInterceptor::changedValuesReachWidget()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    QMouseEvent moved(QEvent::MouseButtonPress, QPointF(20, 21), widget.mapToGlobal(QPointF(20, 21)), Qt::LeftButton,
                      Qt::LeftButton, {});
    recorder.action = [&moved](bool, bool &, bool &, QEvent *&event) { event = &moved; };
    press(&widget, Qt::LeftButton, QPoint(1, 2));
    QCOMPARE(widget.lastPress, QPoint(20, 21));
}

void tst_MessageInterceptor::leaveReachesTheAfterCallback()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    recorder.probe = &widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::Leave, MessageInterceptor::MSG_AFTER);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &leave);
    QVERIFY(widget.seen.contains(QEvent::Leave));
    QCOMPARE(recorder.messages(false), QList<QEvent::Type>({QEvent::Leave}));
    QCOMPARE(recorder.calls.first().ownSeen, widget.seen.size());
    QVERIFY(recorder.messages(true).isEmpty());
}

void tst_MessageInterceptor::stopRestoresOwnHandling()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    recorder.action = [](bool, bool &handled, bool &, QEvent *&) { handled = true; };
    press(&widget, Qt::LeftButton, QPoint(3, 3));
    QCOMPARE(widget.lastPress, QPoint());
    interceptor.StopSubclass(&widget);
    QVERIFY(!widget.hasMouseTracking());
    press(&widget, Qt::LeftButton, QPoint(3, 3));
    QCOMPARE(widget.lastPress, QPoint(3, 3));
    QCOMPARE(recorder.calls.size(), 1);
}

void tst_MessageInterceptor::restartedWindowStartsWithEmptyLists()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget a, b;
    interceptor.StartSubclass(&a);
    interceptor.StartSubclass(&b);
    interceptor.AddMessage(&a, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&b, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    interceptor.StopSubclass(&a);
    interceptor.StartSubclass(&a);
    press(&a, Qt::LeftButton, QPoint(1, 1));
    QVERIFY(recorder.calls.isEmpty());
    // The other window keeps its registrations.
    press(&b, Qt::LeftButton, QPoint(1, 1));
    QCOMPARE(recorder.calls.size(), 1);
}

void tst_MessageInterceptor::stopAllReleasesEveryWindow()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget a, b;
    interceptor.StartSubclass(&a);
    interceptor.StartSubclass(&b);
    interceptor.AddMessage(&a, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&b, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    interceptor.StopAllSubclasses();
    press(&a, Qt::LeftButton, QPoint(1, 1));
    press(&b, Qt::LeftButton, QPoint(1, 1));
    QVERIFY(recorder.calls.isEmpty());
    QCOMPARE(a.lastPress, QPoint(1, 1));
}

void tst_MessageInterceptor::destroyedWindowIsForgotten()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    auto *widget = new ProbeWidget;
    interceptor.StartSubclass(widget);
    interceptor.AddMessage(widget, QEvent::Paint, MessageInterceptor::MSG_BEFORE);
    delete widget;
    // Nothing of the window is left to release.
    interceptor.StopAllSubclasses();
    ProbeWidget other;
    interceptor.StartSubclass(&other);
    interceptor.AddMessage(&other, QEvent::MouseButtonPress, MessageInterceptor::MSG_BEFORE);
    press(&other, Qt::LeftButton, QPoint(1, 1));
    QCOMPARE(recorder.calls.size(), 1);
}

QTEST_MAIN(tst_MessageInterceptor)
#include "tst_MessageInterceptor.moc"
