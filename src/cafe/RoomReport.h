#pragma once

#include "cafe/PgHelper.h"

#include <QDate>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// What the room's server knows about its PCs and their launches, read as the operator: the PCs seen
// (clients), the games started most in the last days with their totals (stats), launches by hour and by
// day, and the Hot tab's rule. The operator tool prints it and the room console shows it, so both tell
// the same numbers. Everything is read from the server's daily and hourly roll-ups, never from the
// launches themselves, so a read costs the server little however many launches it keeps: the launches
// per game of a period up to a month come from running counts the server keeps for the periods read
// lately, and the PCs from the last day each PC started each game. "The last N
// days" are today and the N - 1 calendar days before it in the room's time zone.
// Every read throws CatalogueError; roomTablesMissing tells a server set up by an older version.
class RoomReport
{
public:
    static constexpr int MinDays = 1;
    static constexpr int MaxDays = 3650;
    static constexpr int MinTop = 1;
    static constexpr int MaxTop = 1000;
    static constexpr int DaySeries = 30; // the days of launchesPerDay
    static constexpr int MaxRetentionDays = 36500;

    struct Client
    {
        QString name;
        bool online = false;
        QString lastSeen; // YYYY-MM-DD HH:MM:SS in the room's time zone
        QString lastGame; // empty when the PC never started a game
        QString lastGameAt;
        bool operator==(const Client &) const = default;
    };

    struct Game
    {
        QString name; // the catalogue's
        qint64 launches = 0;
        qint64 machines = 0;
    };

    struct Ranking
    {
        int days = 0;
        QList<Game> games; // most started first, ties by name
        qint64 launches = 0; // of every game in the period
        qint64 machines = 0; // PCs that started any game in the period
    };

    struct DayLaunches
    {
        QDate day;
        qint64 launches = 0;
    };

    struct HotRule
    {
        int top = 0; // 0: the games flagged hot
        int days = 0;
        bool byLaunches() const { return top > 0; }
    };

    // The room at one moment, as the console shows it.
    QList<Client> clients; // by name
    Ranking ranking;
    std::array<qint64, 24> launchesPerHour{}; // over the ranking's days
    QList<DayLaunches> launchesPerDay; // the last DaySeries days, oldest first, days without launches too
    qint64 launchesToday = 0;
    std::optional<Client> latestLaunch; // the PC whose game started last
    HotRule hot;
    QString readAt; // HH:MM:SS, the server's clock in the room's time zone

    int onlineCount() const;

    // A connection as the given role; a refused login has the number ServerLoginRefused.
    static PgHelper::Connection connect(const QString &uri);
    static QList<Client> readClients(pg_conn *conn);
    static Ranking readRanking(pg_conn *conn, int days, int top);
    // Everything above in one consistent view of the server.
    static RoomReport read(pg_conn *conn, int days, int top);
    // The Hot tab's rule; nothing for the games flagged hot. Every menu follows within seconds.
    static void setHot(pg_conn *conn, std::optional<HotRule> rule);
    // Keeps the launches of the last days only and removes older ones, a batch per transaction so that
    // launches arriving meanwhile never wait long. Returns how many went.
    static qint64 setRetention(pg_conn *conn, int days);

    // Whether a failure means the server lacks the room's tables (set up by an older version).
    static bool roomTablesMissing(const CatalogueError &error);
    // A failure as the operator reads it: the cause and what to do.
    static QString explain(const CatalogueError &error);

private:
    // The running counts of the period brought up to date for today, before a read's snapshot.
    static void readyPeriod(pg_conn *conn, int days);
    static Ranking rankingInSnapshot(pg_conn *conn, int days, int top);
};
