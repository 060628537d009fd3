#include "tab_strip/MessageInterceptor.h"
#include "tab_strip/SubclassCallback.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QTest>

#include <functional>

using WM = WindowMessage;

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
    void mousePressEvent(QMouseEvent *event) override
    {
        lastPress = event->position().toPoint();
    }
};

struct Call
{
    bool before;
    int message;
    qintptr wParam;
    qintptr lParam;
    qintptr lReturn;
    int ownSeen;
};

class Recorder : public SubclassCallback
{
public:
    QList<Call> calls;
    ProbeWidget *probe = nullptr;
    std::function<void(bool, bool &, qintptr &, int &, qintptr &, qintptr &)> action;

    void zSubclass_Proc(bool bBefore, bool &bHandled, qintptr &lReturn, QWidget *&lhWnd, int &uMsg,
                        qintptr &wParam, qintptr &lParam) override
    {
        Q_UNUSED(lhWnd);
        calls.append({bBefore, uMsg, wParam, lParam, lReturn,
                      probe ? static_cast<int>(probe->seen.size()) : 0});
        if (action)
            action(bBefore, bHandled, lReturn, uMsg, wParam, lParam);
    }

    QList<int> messages(bool before) const
    {
        QList<int> result;
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
    void messageValuesArePacked();
    void changedValuesReachWidget();
    void leaveOnlyWhenRequested();
    void stopRestoresOwnHandling();
    void rowsAreReusedFromTheTop();
    void stopAllReleasesEveryWindow();
    void destroyedWindowFreesItsRow();
};

void tst_MessageInterceptor::unregisteredWindowBehavesAsBefore()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    QCOMPARE(interceptor.StartSubclass(&widget), 0);
    QCOMPARE(interceptor.MessageCount(&widget, MessageInterceptor::MSG_BEFORE), 0);
    QCOMPARE(interceptor.MessageCount(&widget, MessageInterceptor::MSG_AFTER), 0);
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
    interceptor.AddMessage(&widget, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&widget, WM::WM_PAINT, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&widget, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE);
    QCOMPARE(interceptor.MessageCount(&widget, MessageInterceptor::MSG_BEFORE), 2);
    QCOMPARE(interceptor.Messages(&widget, MessageInterceptor::MSG_BEFORE),
             QList<int>({WM::WM_LBUTTONDOWN, WM::WM_PAINT}));
    QCOMPARE(interceptor.MessageCount(&widget, MessageInterceptor::MSG_AFTER), 0);
    press(&widget, Qt::LeftButton, QPoint(1, 1));
    QCOMPARE(recorder.calls.size(), 1);
}

void tst_MessageInterceptor::everyMessageRegistration()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, MessageInterceptor::ALL_MESSAGES, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&widget, WM::WM_PAINT, MessageInterceptor::MSG_BEFORE);
    QCOMPARE(interceptor.MessageCount(&widget, MessageInterceptor::MSG_BEFORE), -1);
    press(&widget, Qt::RightButton, QPoint(1, 1));
    press(&widget, Qt::RightButton, QPoint(1, 1), QEvent::MouseButtonRelease);
    press(&widget, Qt::MiddleButton, QPoint(1, 1), QEvent::MouseButtonDblClick);
    QResizeEvent resize(QSize(30, 40), QSize(10, 10));
    QCoreApplication::sendEvent(&widget, &resize);
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(&widget, &focusIn);
    QFocusEvent focusOut(QEvent::FocusOut);
    QCoreApplication::sendEvent(&widget, &focusOut);
    QCOMPARE(recorder.messages(true), QList<int>({WM::WM_RBUTTONDOWN, WM::WM_RBUTTONUP, WM::WM_MBUTTONDBLCLK,
                                                  WM::WM_SIZE, WM::WM_SETFOCUS, WM::WM_KILLFOCUS}));
    QVERIFY(recorder.messages(false).isEmpty());
    QCOMPARE(recorder.calls.at(3).lParam, WindowMessage::makeLong(30, 40));
}

void tst_MessageInterceptor::beforeHandledSuppressesWidgetAndAfter()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    recorder.probe = &widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, WM::WM_LBUTTONDOWN, 3);
    recorder.action = [](bool before, bool &handled, qintptr &result, int &, qintptr &, qintptr &) {
        if (before) {
            handled = true;
            result = 42;
        }
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
    interceptor.AddMessage(&widget, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_AFTER);
    // bHandled set in an after call changes nothing.
    recorder.action = [](bool, bool &handled, qintptr &, int &, qintptr &, qintptr &) { handled = true; };
    const int earlier = static_cast<int>(widget.seen.size());
    press(&widget, Qt::LeftButton, QPoint(7, 8));
    QCOMPARE(widget.lastPress, QPoint(7, 8));
    QCOMPARE(recorder.calls.size(), 1);
    const Call call = recorder.calls.first();
    QVERIFY(!call.before);
    QCOMPARE(call.lReturn, 1);
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
    interceptor.AddMessage(&widget, WM::WM_MOUSEMOVE, 3);
    QCOMPARE(interceptor.Messages(&widget, MessageInterceptor::MSG_BEFORE), QList<int>({WM::WM_MOUSEMOVE}));
    QCOMPARE(interceptor.Messages(&widget, MessageInterceptor::MSG_AFTER), QList<int>({WM::WM_MOUSEMOVE}));
    const int earlier = static_cast<int>(widget.seen.size());
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 4), QPointF(3, 4), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(&widget, &move);
    QCOMPARE(recorder.calls.size(), 2);
    QVERIFY(recorder.calls.at(0).before);
    QCOMPARE(recorder.calls.at(0).ownSeen, earlier);
    QCOMPARE(recorder.calls.at(0).lReturn, 0);
    QVERIFY(!recorder.calls.at(1).before);
    QCOMPARE(recorder.calls.at(1).ownSeen, earlier + 1);
    QCOMPARE(widget.seen.last(), QEvent::MouseMove);
}

void tst_MessageInterceptor::messageValuesArePacked()
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
    QCOMPARE(call.message, WM::WM_LBUTTONDOWN);
    QCOMPARE(call.wParam, qintptr(WM::MK_LBUTTON | WM::MK_SHIFT));
    QCOMPARE(call.lParam, qintptr(qint32(0x012CFFFB)));
    QCOMPARE(WindowMessage::loWord(call.lParam), -5);
    QCOMPARE(WindowMessage::hiWord(call.lParam), 300);
    QCOMPARE(WindowMessage::hiWord(WindowMessage::makeLong(0, -2)), -2);
}

void tst_MessageInterceptor::changedValuesReachWidget()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE);
    recorder.action = [](bool, bool &, qintptr &, int &, qintptr &, qintptr &lParam) {
        lParam = WindowMessage::makeLong(20, 21);
    };
    press(&widget, Qt::LeftButton, QPoint(1, 2));
    QCOMPARE(widget.lastPress, QPoint(20, 21));
}

void tst_MessageInterceptor::leaveOnlyWhenRequested()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, WM::WM_MOUSELEAVE, MessageInterceptor::MSG_AFTER);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &leave);
    QVERIFY(recorder.calls.isEmpty());
    QVERIFY(widget.seen.contains(QEvent::Leave));
    interceptor.TrackMouseLeave(&widget);
    QCoreApplication::sendEvent(&widget, &leave);
    QCoreApplication::sendEvent(&widget, &leave);
    QCOMPARE(recorder.messages(false), QList<int>({WM::WM_MOUSELEAVE}));
}

void tst_MessageInterceptor::stopRestoresOwnHandling()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget widget;
    interceptor.StartSubclass(&widget);
    interceptor.AddMessage(&widget, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE);
    recorder.action = [](bool, bool &handled, qintptr &, int &, qintptr &, qintptr &) { handled = true; };
    press(&widget, Qt::LeftButton, QPoint(3, 3));
    QCOMPARE(widget.lastPress, QPoint());
    interceptor.StopSubclass(&widget);
    QVERIFY(!widget.hasMouseTracking());
    QCOMPARE(interceptor.FindSlot(&widget, false), -1);
    QCOMPARE(interceptor.FindSlot(nullptr, true), 0);
    press(&widget, Qt::LeftButton, QPoint(3, 3));
    QCOMPARE(widget.lastPress, QPoint(3, 3));
    QCOMPARE(recorder.calls.size(), 1);
}

void tst_MessageInterceptor::rowsAreReusedFromTheTop()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget a, b, c, d, e;
    QCOMPARE(interceptor.StartSubclass(&a), 0);
    QCOMPARE(interceptor.StartSubclass(&b), 1);
    QCOMPARE(interceptor.StartSubclass(&c), 2);
    interceptor.StopSubclass(&a);
    interceptor.StopSubclass(&c);
    QCOMPARE(interceptor.StartSubclass(&d), 2);
    QCOMPARE(interceptor.StartSubclass(&e), 0);
    QCOMPARE(interceptor.RowCount(), 3);
    // A reused row starts with empty lists.
    QCOMPARE(interceptor.MessageCount(&d, MessageInterceptor::MSG_BEFORE), 0);
    interceptor.AddMessage(&d, WM::WM_PAINT, MessageInterceptor::MSG_BEFORE);
    QCOMPARE(interceptor.MessageCount(&b, MessageInterceptor::MSG_BEFORE), 0);
    QCOMPARE(interceptor.FindSlot(&d, false), 2);
}

void tst_MessageInterceptor::stopAllReleasesEveryWindow()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    ProbeWidget a, b;
    interceptor.StartSubclass(&a);
    interceptor.StartSubclass(&b);
    interceptor.AddMessage(&a, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE);
    interceptor.AddMessage(&b, WM::WM_LBUTTONDOWN, MessageInterceptor::MSG_BEFORE);
    interceptor.StopAllSubclasses();
    press(&a, Qt::LeftButton, QPoint(1, 1));
    press(&b, Qt::LeftButton, QPoint(1, 1));
    QVERIFY(recorder.calls.isEmpty());
    QCOMPARE(interceptor.FindSlot(nullptr, true), 1);
}

void tst_MessageInterceptor::destroyedWindowFreesItsRow()
{
    Recorder recorder;
    MessageInterceptor interceptor(&recorder);
    auto *widget = new ProbeWidget;
    interceptor.StartSubclass(widget);
    interceptor.AddMessage(widget, WM::WM_PAINT, MessageInterceptor::MSG_BEFORE);
    delete widget;
    QCOMPARE(interceptor.FindSlot(nullptr, true), 0);
    interceptor.StopAllSubclasses();
}

QTEST_MAIN(tst_MessageInterceptor)
#include "tst_MessageInterceptor.moc"
