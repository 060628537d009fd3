#pragma once

#include "cafe/PgHelper.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringList>

#include <deque>
#include <optional>
#include <span>
#include <vector>

// The game starts a client has still to report to the server, oldest first. Each carries a random
// key the server keeps, so one sent again after a lost answer is never counted twice. Lives on the
// sync client's thread.
class LaunchQueue
{
public:
    static constexpr qsizetype Capacity = 1000;
    // A launch sent within this long of happening is stamped with the server's own clock.
    static constexpr qint64 FreshMs = 2000;

    // What the server said to the launches sent.
    struct Answers
    {
        // The final answers (recorded, duplicate, too-soon, …), in the order sent; those launches are done with.
        QStringList outcomes;
        // Launches that got no answer (the statement failed): still waiting.
        int failed = 0;
        // Launches the server would not take before this connection named its PC: still waiting.
        int withoutHello = 0;
    };

    // When full the oldest goes (the new one, while the oldest are on their way); returns whether one went.
    bool add(qint64 gameId);
    bool isEmpty() const { return m_launches.empty(); }
    qsizetype size() const { return qsizetype(m_launches.size()); }
    bool inFlight() const { return m_inFlight > 0; }

    // One segment per waiting launch, so that each is answered on its own. serverOffsetMs is the
    // server's clock minus this machine's, as last measured.
    std::vector<PgHelper::Segment> send(std::optional<qint64> serverOffsetMs);
    // The server's answers to the segments sent, in order: only launches with an answer leave the queue.
    Answers answered(std::span<const PgHelper::SegmentAnswer> answers);
    // The connection went before the answers came: they go again.
    void unsent() { m_inFlight = 0; }

private:
    struct Launch
    {
        QByteArray key;
        qint64 gameId = 0;
        qint64 happenedMs = 0; // on m_clock
        qint64 utcMs = 0; // this machine's clock
    };

    std::deque<Launch> m_launches;
    qsizetype m_inFlight = 0;
    QElapsedTimer m_clock;
};
