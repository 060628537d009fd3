#include "platform/TerminalEcho.h"

#include <termios.h>
#include <unistd.h>

TerminalEcho::TerminalEcho() = default;

TerminalEcho::~TerminalEcho()
{
    restore();
}

bool TerminalEcho::inputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool TerminalEcho::turnOff()
{
    auto saved = std::make_unique<termios>();
    if (::tcgetattr(STDIN_FILENO, saved.get()) != 0)
        return false;
    termios quiet = *saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL; // the Enter still moves to the next line
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    m_saved = std::move(saved);
    return true;
}

void TerminalEcho::restore()
{
    if (!m_saved)
        return;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, m_saved.get());
    m_saved.reset();
}
