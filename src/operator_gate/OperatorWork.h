#pragma once

#include <QString>

#include <functional>

class QWidget;

// An operator's work on the catalogue (a password's check, a server's answer, an edit) runs on a worker
// while the window's thread keeps turning its events. The shared connection is handed to that worker for
// the work's length and back afterwards, so that it has one owner at a time: the window's thread is
// refused while the work has it.
class OperatorWork
{
public:
    // Returns when work has ended, rethrowing whatever it threw; window shows what it does meanwhile.
    static void run(QWidget *window, const QString &text, const std::function<void()> &work);
};
