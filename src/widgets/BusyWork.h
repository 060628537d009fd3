#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// Runs blocking work (a server's answer, a wait) off the window's thread while that thread keeps
// turning its event loop: every other window goes on redrawing and answering. Meanwhile the window
// the work belongs to takes no input and shows what it is doing; without a window, a small note does.
class BusyWork : public QObject
{
    Q_OBJECT

public:
    static BusyWork &instance();

    // Returns when work has ended, rethrowing whatever it threw. work must not touch any widget.
    static void run(QWidget *window, const QString &text, const std::function<void()> &work);
    // Waits without work, the same way.
    static void wait(QWidget *window, const QString &text, int milliseconds);
    // While any work runs, this window takes no input either, so that nothing starts twice.
    static void guard(QWidget *window);
    // Whether a run (not a wait) is under way.
    static bool running();

    static constexpr char BusyTextName[] = "BusyText";

Q_SIGNALS:
    // The last run has ended and its caller has had its result.
    void finished();

private:
    BusyWork(); // follows which window has the focus, for the notes without a window
    static void turnLoopUntil(QWidget *window, const QString &text, const std::function<void(bool &)> &start);

    int m_running = 0;
};
