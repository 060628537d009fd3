#pragma once

#include <QString>

#include <functional>

class ForMain;
class GameListModel;

// Times the menu's fills in-process on a generated catalogue and prints one table.
class MenuBenchmark
{
public:
    MenuBenchmark(int games, int runs, const QString &program);
    void run();

    // The child side of the start-up measure: starts the menu on the catalogue in directory the
    // way the program does and prints the end of each phase in ms since the process started.
    static int startupChild(const QString &directory);

private:
    struct Timing
    {
        double ms = 0;
        double stallMs = 0; // the longest the event loop went without a turn, icons included
    };

    Timing median(const std::function<void()> &work, const std::function<void()> &prepare = {}) const;
    double floorFor(const QString &statement) const;
    void row(const QString &what, const Timing &timing, double floorMs) const;
    void startupPhases(const QString &directory) const;
    void importDialog() const;

    int m_games;
    int m_runs;
    QString m_program;
    const GameListModel *m_model = nullptr;
    const ForMain *m_window = nullptr;
};
