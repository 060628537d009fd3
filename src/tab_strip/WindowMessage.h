#pragma once

#include <QtGlobal>

#include <memory>
#include <optional>

class QEvent;
class QWidget;

// A Qt event seen as the window message it stands for: number, wParam and lParam packed the
// way the window system packs them (lParam = MAKELONG(x, y), wParam = button and key state).
struct WindowMessage
{
    static constexpr int WM_SIZE = 5;
    static constexpr int WM_SETFOCUS = 7;
    static constexpr int WM_KILLFOCUS = 8;
    static constexpr int WM_PAINT = 15;
    static constexpr int WM_MOUSEMOVE = 512;
    static constexpr int WM_LBUTTONDOWN = 513;
    static constexpr int WM_LBUTTONUP = 514;
    static constexpr int WM_LBUTTONDBLCLK = 515;
    static constexpr int WM_RBUTTONDOWN = 516;
    static constexpr int WM_RBUTTONUP = 517;
    static constexpr int WM_RBUTTONDBLCLK = 518;
    static constexpr int WM_MBUTTONDOWN = 519;
    static constexpr int WM_MBUTTONUP = 520;
    static constexpr int WM_MBUTTONDBLCLK = 521;
    static constexpr int WM_MOUSELEAVE = 675;

    static constexpr int MK_LBUTTON = 0x01;
    static constexpr int MK_RBUTTON = 0x02;
    static constexpr int MK_SHIFT = 0x04;
    static constexpr int MK_CONTROL = 0x08;
    static constexpr int MK_MBUTTON = 0x10;

    int uMsg = 0;
    qintptr wParam = 0;
    qintptr lParam = 0;

    bool operator==(const WindowMessage &) const = default;

    // The message for an event, if it stands for one. A leave counts only when requested.
    static std::optional<WindowMessage> fromEvent(const QEvent *event, bool leaveRequested);
    // A mouse event rebuilt from changed message values; null when the message is no mouse message.
    static std::unique_ptr<QEvent> toMouseEvent(const WindowMessage &message, const QWidget *window,
                                                const QEvent *original);

    static qintptr makeLong(int low, int high);
    static int loWord(qintptr value);
    static int hiWord(qintptr value);
};
