#pragma once

#include <QString>

// juyoutai-bench room-console: what one refresh of the room console costs the server, in a fresh
// database of 1,000 PCs and 600 launches each over the last 30 days (dropped at the end), read as the
// admin: the server's CPU (of the one backend that answers it) and the wall time, for the console's
// default period and for 30 days.
class RoomConsoleBenchmark
{
public:
    RoomConsoleBenchmark(const QString &adminUri);
    int run();

    static constexpr int Pcs = 1000;
    static constexpr int LaunchesPerPc = 600;
    static constexpr int Days = 30;
    static constexpr double FloorMs = 50; // server CPU of one refresh

private:
    QString m_adminUri;
};
