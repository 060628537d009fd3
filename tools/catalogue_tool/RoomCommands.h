#pragma once

#include <QStringList>

class QTextStream;

// The operator tool's commands about a room: which PCs the server has seen and whether they are on now
// (clients), which games were started most (stats), and whether the Hot tab follows them (set-hot).
// Failures throw std::runtime_error with a message for the operator.
class RoomCommands
{
public:
    static constexpr int BadUsage = -1;
    static constexpr int DefaultDays = 7;
    static constexpr int DefaultTop = 20;

    static bool handles(const QString &command);
    // args starts with the command. Returns the exit code, or BadUsage.
    static int run(const QStringList &args, QTextStream &out);
};
