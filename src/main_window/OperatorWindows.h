#pragma once

#include <QString>

#include <functional>
#include <memory>

class ForMain;
class OperatorGate;
class RoomConsoleSession;

// The operator's windows behind the popup menu: the game editor, the category manager and, in café
// mode, the room console. Each opens behind the operator gate, which asks for the password.
class OperatorWindows
{
public:
    OperatorWindows(ForMain &window, OperatorGate &gate);
    ~OperatorWindows();

    void addGame();
    void manageGames();
    // Café mode: the room console checks the operator on a server connection of its own.
    void enableRoomConsole(const QString &serverUri, std::function<bool()> online);
    void showRoomConsole();

private:
    ForMain &m_window;
    OperatorGate &m_gate;
    std::unique_ptr<RoomConsoleSession> m_roomSession;
};
