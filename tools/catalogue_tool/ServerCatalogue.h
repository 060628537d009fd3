#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// The operator tool's commands for a catalogue kept on a PostgreSQL server: laying out a new
// server database with its two roles, and copying a catalogue file to and from it, each as one
// transaction. Every failure throws std::runtime_error with a message for the operator and
// leaves the server and the target folder as they were.
class ServerCatalogue
{
public:
    struct Counts
    {
        qint64 types = 0;
        qint64 games = 0;
    };

    static constexpr int BadUsage = -1;
    // Connections the menu role leaves to the operators and the admin unless told otherwise.
    static constexpr int MenuConnectionsLeftFree = 10;

    struct Settings
    {
        QString menuPassword;
        QString operatorPassword;
        int menuConnectionLimit = 0; // 0: max_connections less MenuConnectionsLeftFree
        int retentionDays = 0; // 0: as the server keeps it (400 days on a new one)
    };
    struct Outcome
    {
        bool upgraded = false;
        int menuConnectionLimit = 0;
        int maxConnections = 0;
        int retentionDays = 0;
    };

    static bool handles(const QString &command);
    // args starts with the command. Returns the exit code, or BadUsage.
    static int run(const QStringList &args, QTextStream &out);

    // Creates the tables and roles in the database the URI names; existing roles get the new passwords.
    // A database laid out by an older version only gets the room's tables and functions brought up to
    // date (upgraded). Either way the menu role gets its connection limit.
    static Outcome initialise(const QString &adminUri, const Settings &settings);
    // Copies DIR/GameDB.dbs into the server's catalogue; a catalogue already there stops it unless replace.
    static Counts push(const QString &directory, const QString &uri, bool replace);
    // Writes the server's catalogue into a new DIR/GameDB.dbs; never replaces anything.
    static Counts pull(const QString &uri, const QString &directory);
};
