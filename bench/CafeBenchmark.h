#pragma once

#include <QString>

// juyoutai-bench cafe N: N sync clients (no windows) on a few threads against the PostgreSQL test
// server, in a fresh database of 10,000 games read and edited through two roles of its own, all three
// dropped at the end (the server's own roles are never touched). Each client names itself and keeps
// its encrypted copy in a file of its own in a temporary folder, as a PC does. Prints the cold start
// of all, one operator edit seen by all, all back after the server is stopped and started again,
// connections alone, a start from the copy files, launches; per phase the server's CPU ("unknown"
// where it cannot be read) and the copies written apart; and one copy write alone.
class CafeBenchmark
{
public:
    CafeBenchmark(int clients, const QString &adminUri, const QString &serverDirectory);
    int run();

    static constexpr int Games = 10000;
    // Threads of the logins that stand for connections alone; the clients have one each, as PCs have.
    static constexpr int BareThreads = 16;
    // Launches per client in the month of play the Hot rule ranks.
    static constexpr int PlayedLaunches = 600;

private:
    int m_clients;
    QString m_adminUri;
    QString m_serverDirectory;
};
