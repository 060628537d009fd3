#pragma once

#include <memory>

struct termios;

// The echo of what is typed on standard input's terminal, turned off for a password and
// restored afterwards (at the latest when this object ends).
class TerminalEcho
{
public:
    TerminalEcho();
    ~TerminalEcho();
    TerminalEcho(const TerminalEcho &) = delete;
    TerminalEcho &operator=(const TerminalEcho &) = delete;

    static bool inputIsTerminal();

    // Typed characters stop showing; the Enter still moves to the next line. False when standard
    // input is no terminal.
    bool turnOff();
    // Puts back the settings turnOff found; nothing when it changed none.
    void restore();

private:
    std::unique_ptr<termios> m_saved;
};
