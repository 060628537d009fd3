#include "cafe/RoomReporter.h"

#include "cafe/RoomSchema.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <libpq-fe.h>

#include <utility>

namespace {

constexpr char HelloSql[] = "SELECT extract(epoch FROM room_client_hello($1::text))";

double randomUnit()
{
    return QRandomGenerator::global()->generateDouble();
}

} // namespace

RoomReporter::RoomReporter(QObject *parent)
    : QObject(parent)
{
    for (QTimer *timer : {&m_presence, &m_launchRetry, &m_hotRefresh, &m_hotSoon})
        timer->setSingleShot(true);
    connect(&m_presence, &QTimer::timeout, this, [this] {
        m_helloDue = true;
        Q_EMIT due();
    });
    connect(&m_launchRetry, &QTimer::timeout, this, [this] {
        m_launchesHeld = false;
        Q_EMIT due();
    });
    connect(&m_hotRefresh, &QTimer::timeout, this, [this] {
        m_hotRefresh.start(hotRefreshDelayMs(randomUnit()));
        m_hotFetchDue = !m_hotRule.isEmpty();
        Q_EMIT due();
    });
    connect(&m_hotSoon, &QTimer::timeout, this, [this] {
        m_hotFetchDue = !m_hotRule.isEmpty();
        Q_EMIT due();
    });
}

int RoomReporter::hotRefreshDelayMs(double unit)
{
    const double spread = HotJitterPercent / 100.0;
    return int(HotRefreshMs * (1.0 - spread + 2.0 * spread * qBound(0.0, unit, 1.0)));
}

void RoomReporter::recordLaunch(qint64 gameId)
{
    if (m_launches.add(gameId))
        qWarning("too many game starts waiting for the server: one is dropped");
    // A new start is a good moment to try again those the server failed to take.
    m_launchesHeld = false;
    m_launchRetry.stop();
    Q_EMIT due();
}

void RoomReporter::connectionReady()
{
    if (hasName())
        m_presence.start(QRandomGenerator::global()->bounded(HelloSpreadMs));
}

void RoomReporter::connectionLost()
{
    m_presence.stop();
    m_launchRetry.stop();
    m_launches.unsent();
    m_hotFetchDue = m_hotFetchDue || m_sentHot;
    m_waiting = m_sentHot = m_sentHello = false;
    m_helloDue = m_named = m_launchesHeld = false;
}

void RoomReporter::noteHotRule(const QByteArray &rule)
{
    if (m_hotRuleKnown && rule == m_hotRule)
        return;
    const bool first = !std::exchange(m_hotRuleKnown, true);
    m_hotRule = rule;
    if (!rule.isEmpty()) {
        // At start the Hot tab needs its ranking now; a change under a running room is read by its
        // menus spread over a moment, not all in the same instant.
        if (first)
            m_hotFetchDue = true;
        else
            m_hotSoon.start(QRandomGenerator::global()->bounded(HotSpreadMs));
        m_hotRefresh.start(hotRefreshDelayMs(randomUnit()));
        return;
    }
    m_hotRefresh.stop();
    m_hotSoon.stop();
    m_hotFetchDue = false;
    if (std::exchange(m_hotPlayed, false))
        Q_EMIT hotRanking(false, {});
}

std::vector<PgHelper::Segment> RoomReporter::next()
{
    std::vector<PgHelper::Segment> segments;
    if (m_waiting)
        return segments;
    if (std::exchange(m_hotFetchDue, false)) {
        segments.push_back({{RoomSchema::HotGamesSql, {}}});
        m_sentHot = true;
    }
    const bool launches = hasName() && !m_launches.isEmpty() && !m_launchesHeld;
    // A launch is taken only from a connection that has named its PC: the name goes first.
    if (hasName() && (m_helloDue || (launches && !m_named))) {
        m_helloDue = false;
        // Again in a while, for the operator's 最后在线, whatever the answer.
        m_presence.start(PresenceMs);
        segments.push_back({{HelloSql, {m_clientName}}});
        m_sentHello = true;
    }
    if (launches) {
        std::vector<PgHelper::Segment> sent = m_launches.send(m_serverOffsetMs);
        segments.insert(segments.end(), std::make_move_iterator(sent.begin()), std::make_move_iterator(sent.end()));
    }
    m_waiting = !segments.empty();
    return segments;
}

void RoomReporter::answered(const std::vector<PgHelper::SegmentAnswer> &answers)
{
    size_t at = 0;
    const auto take = [&answers, &at]() -> const PgHelper::SegmentAnswer & {
        static const PgHelper::SegmentAnswer none{{}, QStringLiteral("no answer")};
        return at < answers.size() ? answers[at++] : none;
    };
    m_waiting = false;
    if (std::exchange(m_sentHot, false))
        takeHotRanking(take());
    const bool helloSent = std::exchange(m_sentHello, false);
    if (helloSent)
        takeHello(take());
    if (!m_launches.inFlight())
        return;
    const LaunchQueue::Answers launches = m_launches.answered(std::span(answers).subspan(at));
    for (const QString &outcome : launches.outcomes)
        Q_EMIT launchAnswered(outcome);
    if (launches.withoutHello > 0 && !helloSent) {
        // The server no longer knows this connection's name: named again, then sent again.
        m_named = false;
        Q_EMIT due();
    } else if (launches.failed > 0 || launches.withoutHello > 0) {
        m_launchesHeld = true;
        m_launchRetry.start(LaunchRetryMs);
    }
}

void RoomReporter::takeHello(const PgHelper::SegmentAnswer &answer)
{
    if (!answer.error.isEmpty() || answer.rows.size() != 1 || PQntuples(answer.rows.front().get()) != 1) {
        qWarning("the server did not take this PC's name: %s", qUtf8Printable(answer.error));
        m_named = false;
        // Launches wait for the next hello rather than be refused one by one.
        m_launchesHeld = true;
        m_launchRetry.start(LaunchRetryMs);
        return;
    }
    m_named = true;
    m_serverOffsetMs = qint64(PgHelper::value(answer.rows.front().get(), 0, 0).toDouble() * 1000.0)
        - QDateTime::currentMSecsSinceEpoch();
}

void RoomReporter::takeHotRanking(const PgHelper::SegmentAnswer &answer)
{
    if (!answer.error.isEmpty() || answer.rows.size() != 1) {
        qWarning("the server did not give the Hot tab's ranking: %s", qUtf8Printable(answer.error));
        return;
    }
    const PGresult *rows = answer.rows.front().get();
    QList<qint64> games;
    for (int row = 0; row < PQntuples(rows); ++row)
        games.append(PgHelper::value(rows, row, 0).toLongLong());
    if (m_hotPlayed && games == m_hotGames)
        return;
    m_hotPlayed = true;
    m_hotGames = games;
    Q_EMIT hotRanking(true, games);
}
