#include "main_window/OperatorWindows.h"

#include "category_manager/ForMtype.h"
#include "game_editor/ForMadd.h"
#include "main_window/ForMain.h"
#include "operator_gate/OperatorGate.h"
#include "room_console/ForMroom.h"
#include "room_console/RoomConsoleSession.h"
#include "widgets/Modal.h"

OperatorWindows::OperatorWindows(ForMain &window, OperatorGate &gate)
    : m_window(window)
    , m_gate(gate)
{
}

OperatorWindows::~OperatorWindows() = default;

void OperatorWindows::addGame()
{
    m_gate.open(&m_window, [this]() -> QWidget * {
        ForMadd editor(&m_window, &m_window);
        editor.openForAdding();
        Modal::exec(editor);
        return nullptr;
    });
}

void OperatorWindows::manageGames()
{
    // The open manager is brought to the front; it already holds the operator session.
    if (ForMtype::instance()) {
        ForMtype::showManager(&m_window);
        return;
    }
    // Non-modal: the session lasts until the manager window is gone.
    m_gate.open(&m_window, [this] { return ForMtype::showManager(&m_window); });
}

void OperatorWindows::enableRoomConsole(const QString &serverUri, std::function<bool()> online)
{
    m_roomSession = std::make_unique<RoomConsoleSession>(serverUri, std::move(online));
}

void OperatorWindows::showRoomConsole()
{
    // The open console comes to the front; it keeps its own connection and asks nothing again.
    if (!ForMroom::bringToFront() && m_roomSession)
        m_gate.openWith(*m_roomSession, &m_window, [this] {
            ForMroom::showConsole(m_roomSession->operatorUri(), m_roomSession->takeConnection());
        });
}
