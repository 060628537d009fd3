// juyoutai-bench [GAMES...]: times start-up, tab refills and searches on generated catalogues.
// juyoutai-bench cafe N: N café clients against the PostgreSQL test server (JYT_PG_ADMIN_URI, JYT_PG_DIR).
// juyoutai-bench web: the first web search and a search in a running web helper, on 127.0.0.1.
#include "CafeBenchmark.h"
// juyoutai-bench room-console: the server's cost of one refresh of the room console, and the window's.
#include "RoomConsoleBenchmark.h"
// juyoutai-bench --generate GAMES DIR: only writes such a catalogue into DIR.
#include "DemoCatalogue.h"
#include "MenuBenchmark.h"
#include "WebBenchmark.h"
#include "platform/Process.h"
#include "web/WebSearch.h"

#include <QApplication>
#include <QTextStream>

#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A fresh process per start-up measure, so that linking and the first open are counted.
    if (argc == 3 && std::strcmp(argv[1], "--startup") == 0)
        return MenuBenchmark::startupChild(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "cafe") == 0) {
        QCoreApplication app(argc, argv);
        return CafeBenchmark(QByteArray(argv[2]).toInt(), qEnvironmentVariable("JYT_PG_ADMIN_URI"),
                             qEnvironmentVariable("JYT_PG_DIR"))
            .run();
    }
    if (argc == 2 && std::strcmp(argv[1], "room-console") == 0) {
        QApplication app(argc, argv);
        return RoomConsoleBenchmark(qEnvironmentVariable("JYT_PG_ADMIN_URI")).run();
    }
    QApplication app(argc, argv);
    // A catalogue for measures made from outside (scripts/startup-ratio.sh).
    if (argc == 4 && std::strcmp(argv[1], "--generate") == 0) {
        DemoCatalogue::createGenerated(QString::fromLocal8Bit(argv[3]), std::atoi(argv[2]), 50);
        return 0;
    }
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 5;
    if (argc == 2 && std::strcmp(argv[1], "web") == 0) {
        if (!WebSearch::remotePagesAllowed(Process::effectiveUserId())) {
            QTextStream(stderr) << "as root, set JUYOUTAI_ALLOW_ROOT_WEB=1 to show pages\n";
            return 1;
        }
        return WebBenchmark(runs).run();
    }
    QList<int> sizes;
    for (const QString &arg : QCoreApplication::arguments().mid(1))
        sizes.append(arg.toInt());
    if (sizes.isEmpty())
        sizes = {1000, 10000};
    for (int games : sizes)
        MenuBenchmark(games, runs, QCoreApplication::applicationFilePath()).run();
    return 0;
}
