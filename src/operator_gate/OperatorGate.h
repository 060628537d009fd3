#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class OperatorSession;
class QWidget;

// Opens the windows that change the catalogue (the game editor, the category manager, the room
// console) behind the operator password. The first window of a session asks for the password and
// begins the session; windows opened while it lasts share it; the last one to close ends it. Each
// wrong password in a row waits twice as long as the one before, up to PasswordDelayCap times the
// first wait, without freezing the windows.
class OperatorGate : public QObject
{
    Q_OBJECT

public:
    // A window that opens returns itself when it stays open (the session lasts until it is destroyed),
    // or nullptr when it has already closed again (a modal window).
    using WindowOpener = std::function<QWidget *()>;

    // The check of the catalogue file the shared connection reads, until setSession installs another.
    explicit OperatorGate(QObject *parent = nullptr);
    // Ends a session still open.
    ~OperatorGate() override;

    // Asks for the password unless a session is open, then calls openWindow; false when nothing opened
    // (refused, cancelled or already under way: the operator has been told). What openWindow throws
    // ends a session it would have held and passes on.
    bool open(QWidget *parentWindow, const WindowOpener &openWindow);
    // The same dialog, check and wait after wrong passwords, with a session of the window's own (the room
    // console reads on a connection of its own and leaves the shared one to the menu): the window keeps
    // what session granted, and the gate's own session is neither begun nor held. False when refused.
    bool openWith(OperatorSession &session, QWidget *parentWindow, const std::function<void()> &openWindow);

    // Only while no window is open: start-up installs the café check before the window shows.
    void setSession(std::unique_ptr<OperatorSession> session);
    // The wait after the first wrong password.
    void setPasswordDelayMs(int milliseconds) { m_passwordDelayMs = milliseconds; }
    // A password is being checked or operator windows are open: the catalogue is in an operator's hands.
    bool busy() const { return m_checking || m_openWindows > 0; }

    static constexpr int PasswordDelayMs = 1000;
    static constexpr int PasswordDelayCap = 30;

Q_SIGNALS:
    // The last window of a session has closed and the session has ended.
    void sessionEnded();

private:
    bool enter(QWidget *parentWindow);
    // Asks for the password and begins session with it; false when refused (the operator has been told).
    bool check(OperatorSession &session, QWidget *parentWindow);
    void leave() noexcept;
    void waitAfterWrongPassword();

    std::unique_ptr<OperatorSession> m_session;
    int m_openWindows = 0; // of the current session
    int m_passwordDelayMs = PasswordDelayMs;
    int m_wrongPasswords = 0; // in a row
    bool m_checking = false; // from the password's check to the end of its delay
};
