#include "tab_strip/WindowMessage.h"

#include <QMouseEvent>
#include <QResizeEvent>
#include <QWidget>

#include <cmath>

namespace {

int buttonMessage(QEvent::Type type, Qt::MouseButton button)
{
    int first = 0;
    switch (button) {
    case Qt::LeftButton:
        first = WindowMessage::WM_LBUTTONDOWN;
        break;
    case Qt::RightButton:
        first = WindowMessage::WM_RBUTTONDOWN;
        break;
    case Qt::MiddleButton:
        first = WindowMessage::WM_MBUTTONDOWN;
        break;
    default:
        return 0;
    }
    switch (type) {
    case QEvent::MouseButtonPress:
        return first;
    case QEvent::MouseButtonRelease:
        return first + 1;
    case QEvent::MouseButtonDblClick:
        return first + 2;
    default:
        return 0;
    }
}

qintptr keyState(const QMouseEvent *event)
{
    qintptr state = 0;
    if (event->buttons() & Qt::LeftButton)
        state |= WindowMessage::MK_LBUTTON;
    if (event->buttons() & Qt::RightButton)
        state |= WindowMessage::MK_RBUTTON;
    if (event->buttons() & Qt::MiddleButton)
        state |= WindowMessage::MK_MBUTTON;
    if (event->modifiers() & Qt::ShiftModifier)
        state |= WindowMessage::MK_SHIFT;
    if (event->modifiers() & Qt::ControlModifier)
        state |= WindowMessage::MK_CONTROL;
    return state;
}

std::optional<WindowMessage> mouseMessage(const QMouseEvent *event)
{
    const int number = event->type() == QEvent::MouseMove
        ? WindowMessage::WM_MOUSEMOVE
        : buttonMessage(event->type(), event->button());
    if (number == 0)
        return std::nullopt;
    const QPointF pos = event->position();
    return WindowMessage{number, keyState(event),
                         WindowMessage::makeLong(static_cast<int>(std::floor(pos.x())),
                                                 static_cast<int>(std::floor(pos.y())))};
}

} // namespace

qintptr WindowMessage::makeLong(int low, int high)
{
    const quint32 packed = (quint32(low) & 0xFFFFu) | ((quint32(high) & 0xFFFFu) << 16);
    return static_cast<qint32>(packed);
}

int WindowMessage::loWord(qintptr value)
{
    return static_cast<qint16>(value & 0xFFFF);
}

int WindowMessage::hiWord(qintptr value)
{
    return static_cast<qint16>((value >> 16) & 0xFFFF);
}

std::optional<WindowMessage> WindowMessage::fromEvent(const QEvent *event, bool leaveRequested)
{
    switch (event->type()) {
    case QEvent::Paint:
        return WindowMessage{WM_PAINT, 0, 0};
    case QEvent::Resize: {
        const QSize size = static_cast<const QResizeEvent *>(event)->size();
        return WindowMessage{WM_SIZE, 0, makeLong(size.width(), size.height())};
    }
    case QEvent::FocusIn:
        return WindowMessage{WM_SETFOCUS, 0, 0};
    case QEvent::FocusOut:
        return WindowMessage{WM_KILLFOCUS, 0, 0};
    case QEvent::Leave:
        if (!leaveRequested)
            return std::nullopt;
        return WindowMessage{WM_MOUSELEAVE, 0, 0};
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return mouseMessage(static_cast<const QMouseEvent *>(event));
    default:
        return std::nullopt;
    }
}

std::unique_ptr<QEvent> WindowMessage::toMouseEvent(const WindowMessage &message,
                                                    const QWidget *window, const QEvent *original)
{
    QEvent::Type type = QEvent::MouseMove;
    Qt::MouseButton button = Qt::NoButton;
    if (message.uMsg >= WM_LBUTTONDOWN && message.uMsg <= WM_MBUTTONDBLCLK) {
        const int offset = message.uMsg - WM_LBUTTONDOWN;
        static constexpr Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        static constexpr QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                                 QEvent::MouseButtonDblClick};
        button = buttons[offset / 3];
        type = types[offset % 3];
    } else if (message.uMsg != WM_MOUSEMOVE) {
        return nullptr;
    }
    Qt::MouseButtons held;
    if (message.wParam & MK_LBUTTON)
        held |= Qt::LeftButton;
    if (message.wParam & MK_RBUTTON)
        held |= Qt::RightButton;
    if (message.wParam & MK_MBUTTON)
        held |= Qt::MiddleButton;
    Qt::KeyboardModifiers modifiers;
    if (message.wParam & MK_SHIFT)
        modifiers |= Qt::ShiftModifier;
    if (message.wParam & MK_CONTROL)
        modifiers |= Qt::ControlModifier;
    if (original && original->isInputEvent())
        modifiers |= static_cast<const QInputEvent *>(original)->modifiers() & Qt::AltModifier;
    const QPointF local(loWord(message.lParam), hiWord(message.lParam));
    return std::make_unique<QMouseEvent>(type, local, window->mapToGlobal(local), button, held, modifiers);
}
