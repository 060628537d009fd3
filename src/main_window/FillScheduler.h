#pragma once

#include <QFuture>
#include <QObject>

#include <functional>

class QTimer;
template<typename T> class QFutureWatcher;

// Fills the main window's list when the shared catalogue is free. Four things keep it busy:
// - an operator's work that has the connection on a worker: the fill, reload or close asked for
//   meanwhile runs once the work is done and no dialog is left telling how it went;
// - the games of a large changed catalogue read again on a worker: the fill asked for meanwhile runs
//   when they are in, and reads here itself when the worker's rows did not stand;
// - other work on a worker that a fill needs (a search the names' initials): the fill runs once it is done,
//   unless a fill asked for meanwhile has run already;
// - open dialogs and operator windows: a café refresh is tried again every RetryMs until they are gone.
// Of the fills asked for while it is busy, only the latest runs.
class FillScheduler : public QObject
{
    Q_OBJECT

public:
    struct Conditions
    {
        std::function<bool()> serverWork; // an operator's work has the connection on a worker
        std::function<bool()> dialogOpen; // a modal dialog is open
        std::function<bool()> operatorBusy; // a password is checked or operator windows are open
        std::function<bool()> readAway; // the games are better read on a worker before the next fill
        // Reads the games on a worker; done(current) runs on context's thread.
        std::function<void(QObject *context, std::function<void(bool)> done)> readGames;
    };

    FillScheduler(Conditions conditions, QObject *parent);

    // True when fill is kept to run once the catalogue is free; it replaces any fill kept before.
    bool defer(std::function<void()> fill);
    // True when fill is kept until ready has finished.
    bool deferUntil(const QFuture<void> &ready, std::function<void()> fill);
    // True when reload, or close, is kept to run after the operator's work.
    bool deferReload(std::function<void()> reload);
    bool deferClose(std::function<void()> close);
    // Runs after the kept fill, or now when none is kept.
    void afterFill(std::function<void()> after);
    // True when anything is busy: retry then runs after RetryMs (replacing an earlier one).
    bool retryWhenBusy(std::function<void()> retry);
    bool retryPending() const;
    // The list waits for the games or other work read on a worker.
    bool readingGames() const { return m_readingGames || m_waiting; }
    // The operator's work has ended.
    void serverWorkEnded();

    static constexpr int RetryMs = 250;

private:
    bool deferUntilGamesRead(std::function<void()> fill);

    Conditions m_conditions;
    bool m_readingGames = false;
    bool m_waiting = false; // for work that deferUntil was given
    QFutureWatcher<void> *m_ready;
    bool m_readHere = false; // the worker's read did not stand: the next fill reads here
    std::function<void()> m_pendingFill; // the latest fill asked for while the worker reads
    std::function<void()> m_fillAfterServerWork;
    std::function<void()> m_reloadAfterServerWork;
    std::function<void()> m_closeAfterServerWork;
    QTimer *m_retry;
    std::function<void()> m_retryTask;
};
