#pragma once

#include "cafe/LaunchQueue.h"
#include "cafe/PgHelper.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

// What a menu tells the room's server and asks of it besides the catalogue: the PC's name (for the
// operator's 在线 and 最后在线), the games started here, and the Hot tab's ranking while the room's rule
// follows what is played. It owns no connection: the sync client sends what next() gives whenever
// its connection is free, and hands back the answers. Lives on the sync client's thread.
class RoomReporter : public QObject
{
    Q_OBJECT

public:
    explicit RoomReporter(QObject *parent = nullptr);

    // Before the first connection: the name this PC gives the server; empty names none (then nothing
    // is reported, only the ranking read).
    void setClientName(const QByteArray &name) { m_clientName = name; }
    bool hasName() const { return !m_clientName.isEmpty(); }
    qsizetype launchesWaiting() const { return m_launches.size(); }

    // A game was started here; kept (at most LaunchQueue::Capacity) until the server has answered it.
    void recordLaunch(qint64 gameId);
    // A new connection has read the catalogue for the first time: it names its PC within HelloSpreadMs.
    void connectionReady();
    // The connection went: whatever was sent and not answered goes again on the next one.
    void connectionLost();
    // The room's Hot rule as the latest read found it: "top/days", or empty for the GameHot flag.
    void noteHotRule(const QByteArray &rule);

    // What to send now, one segment per request; nothing when nothing is due.
    std::vector<PgHelper::Segment> next();
    // The answers to what next() gave, one per segment, in order.
    void answered(const std::vector<PgHelper::SegmentAnswer> &answers);

    // How often a connected client tells the server it is still there, for the operator's 最后在线.
    static constexpr int PresenceMs = 5 * 60 * 1000;
    // A room switched on together names itself spread over this long after each first read.
    static constexpr int HelloSpreadMs = 3000;
    // While the Hot tab follows what is played, how often its ranking is read again (give or take
    // HotJitterPercent): launches never cause a read.
    static constexpr int HotRefreshMs = 10 * 60 * 1000;
    static constexpr int HotJitterPercent = 20;
    // After the operator changes the rule, the room's menus read the ranking spread over this long.
    static constexpr int HotSpreadMs = 2000;
    // Launches the server failed to take are sent again after this long, or with the next start.
    static constexpr int LaunchRetryMs = 30 * 1000;

    // The wait before the next regular read of the ranking, for a random unit in [0, 1).
    static int hotRefreshDelayMs(double unit);

Q_SIGNALS:
    // Something is due to be sent: the client calls next() when its connection is free.
    void due();
    // The server answered a launch: recorded, duplicate, too-soon, too-many, bad-time or unknown-game.
    void launchAnswered(const QString &outcome);
    // The Hot tab's rule: played false is the GameHot flag; true lists these games, most started first.
    void hotRanking(bool played, const QList<qint64> &games);

private:
    void takeHello(const PgHelper::SegmentAnswer &answer);
    void takeHotRanking(const PgHelper::SegmentAnswer &answer);

    QByteArray m_clientName;
    LaunchQueue m_launches;
    std::optional<qint64> m_serverOffsetMs;
    bool m_helloDue = false;
    bool m_named = false; // this connection has named its PC
    bool m_launchesHeld = false; // the last attempt failed: wait for the retry or a new start
    // What the request on its way holds, in this order: the ranking, the name, the launches.
    bool m_waiting = false;
    bool m_sentHot = false;
    bool m_sentHello = false;

    QTimer m_presence{this};
    QTimer m_launchRetry{this};
    QTimer m_hotRefresh{this};
    QTimer m_hotSoon{this};
    QByteArray m_hotRule;
    bool m_hotRuleKnown = false;
    bool m_hotFetchDue = false;
    bool m_hotPlayed = false;
    QList<qint64> m_hotGames;
};
