#pragma once

#include <QString>

#include <functional>

// Times the menu's fills in-process on a generated catalogue and prints one table.
class MenuBenchmark
{
public:
    MenuBenchmark(int games, int runs);
    void run();

private:
    double median(const std::function<void()> &work) const;
    double floorFor(const QString &statement) const;
    void row(const QString &what, double ms, double floorMs) const;

    int m_games;
    int m_runs;
};
