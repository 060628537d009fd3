#pragma once

#include "cafe/PgHelper.h"

#include <QString>

// juyoutai-bench room-console: what one refresh of the room console costs, in a fresh database of 1,000
// PCs (a quarter of them online) and 600 launches each over the last 30 days (dropped at the end), read
// as the admin. For the console's default period and for 30 days: the server's CPU (of the one backend
// that answers) and the wall time of a refresh once the period's running counts are there, beside a
// SELECT 1 on the same connection; and, once each, the period's first read and the first read of the
// next day, which count more. Then the window itself (offscreen) against the room grown to 10,000 PCs:
// the longest wait of the GUI thread's event loop while the console refreshes, beside the same measure
// with it closed, one refresh's model update and a sort by column.
// Left out: the menus' launches arriving meanwhile (they wait a moment on a period's first read of the
// day), the network between console and server, a server under other load, painting on a real screen,
// and a Debug build's slowness (the figures are the build's own).
class RoomConsoleBenchmark
{
public:
    RoomConsoleBenchmark(const QString &adminUri);
    int run();

    static constexpr int Pcs = 1000;
    static constexpr int LaunchesPerPc = 600;
    static constexpr int Days = 30;
    static constexpr int TablePcs = 10000;
    static constexpr double TargetMs = 50; // server CPU of one refresh

private:
    int measureServer(const QString &uri);
    int measureWindow(const QString &uri);
    QString holdOnline(const QString &uri, int fromPc, int toPc);

    QString m_adminUri;
    PgHelper::Connection m_online;
};
