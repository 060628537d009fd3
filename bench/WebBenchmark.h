#pragma once

#include <QString>

#include <functional>
#include <memory>

class ForMain;
class LocalWebServer;

// Times the web search from Enter until the page shows in the pane, with a page served on
// 127.0.0.1: as a player's first search (the helper started at the first key, while the words
// were typed, or only at Enter) and beside it the same load in a helper that already runs.
class WebBenchmark
{
public:
    explicit WebBenchmark(int runs);
    ~WebBenchmark();
    int run();

private:
public:
    struct Timing
    {
        double shownMs = -1; // until the pane shows the helper's window
        double paintedMs = -1; // until the screen shows the page (X11 only)
    };

private:
    std::unique_ptr<ForMain> openMenu() const;
    Timing search(ForMain &window, const QString &words) const;
    Timing firstSearch(int typingMs) const;
    void row(const QString &what, const std::function<Timing()> &measure, double floorMs,
             double *median = nullptr) const;

    int m_runs;
    std::unique_ptr<LocalWebServer> m_server;
    QString m_catalogue;
};
