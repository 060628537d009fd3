#pragma once

#include "cafe/PgHelper.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

// The game starts a client has still to report to the server, oldest first. Each carries a random
// key the server keeps, so one sent again after a lost answer is never counted twice. Lives on the
// sync client's thread.
class LaunchQueue
{
public:
    static constexpr qsizetype Capacity = 1000;
    // A launch sent within this long of happening is stamped with the server's own clock.
    static constexpr qint64 FreshMs = 2000;

    // When full the oldest goes (the new one, while the oldest are on their way); returns whether one went.
    bool add(qint64 gameId, const QByteArray &gameName);
    bool isEmpty() const { return m_launches.empty(); }
    qsizetype size() const { return qsizetype(m_launches.size()); }
    bool inFlight() const { return m_inFlight > 0; }

    // The statements that report every waiting launch, one result each. serverOffsetMs is the server's
    // clock minus this machine's, as last measured.
    QByteArray sendSql(pg_conn *conn, const QByteArray &client, std::optional<qint64> serverOffsetMs);
    // The server's answers to the statements sent: those launches are done with, whatever the answer.
    QStringList answered(const std::vector<PgHelper::Result> &results);
    // The connection went before the answers came: they go again.
    void unsent() { m_inFlight = 0; }

private:
    struct Launch
    {
        QByteArray key;
        qint64 gameId = 0;
        QByteArray gameName;
        qint64 happenedMs = 0; // on m_clock
        qint64 utcMs = 0; // this machine's clock
    };

    std::deque<Launch> m_launches;
    qsizetype m_inFlight = 0;
    QElapsedTimer m_clock;
};
