#include "cafe/LaunchQueue.h"

#include <QDateTime>
#include <QUuid>

#include <libpq-fe.h>

namespace {

constexpr char RecordSql[] = "SELECT room_record_launch($1::uuid, $2::bigint, $3::timestamptz)";
constexpr char NoHello[] = "no-hello";

} // namespace

bool LaunchQueue::add(qint64 gameId)
{
    if (!m_clock.isValid())
        m_clock.start();
    const bool full = size() >= Capacity;
    // The oldest goes, unless it is on its way to the server.
    if (full && m_inFlight == 0)
        m_launches.pop_front();
    else if (full)
        return true;
    m_launches.push_back({QUuid::createUuid().toByteArray(QUuid::WithoutBraces), gameId, m_clock.elapsed(),
                          QDateTime::currentMSecsSinceEpoch()});
    return full;
}

std::vector<PgHelper::Segment> LaunchQueue::send(std::optional<qint64> serverOffsetMs)
{
    std::vector<PgHelper::Segment> segments;
    segments.reserve(m_launches.size());
    for (const Launch &launch : m_launches) {
        // NULL is the server's now; older ones keep the time they happened, on the server's clock as
        // far as it is known.
        QByteArray at;
        if (m_clock.elapsed() - launch.happenedMs > FreshMs)
            at = QDateTime::fromMSecsSinceEpoch(launch.utcMs + serverOffsetMs.value_or(0), Qt::UTC)
                     .toString(Qt::ISODateWithMs)
                     .toLatin1();
        segments.push_back({{RecordSql, {launch.key, QByteArray::number(launch.gameId), at}}});
    }
    m_inFlight = size();
    return segments;
}

LaunchQueue::Answers LaunchQueue::answered(std::span<const PgHelper::SegmentAnswer> answers)
{
    Answers out;
    std::deque<Launch> waiting;
    for (qsizetype i = 0; i < m_inFlight; ++i) {
        const Launch &launch = m_launches[size_t(i)];
        const PgHelper::SegmentAnswer *answer = size_t(i) < answers.size() ? &answers[size_t(i)] : nullptr;
        const bool hasRow = answer && answer->error.isEmpty() && answer->rows.size() == 1
            && PQntuples(answer->rows.front().get()) == 1 && !PQgetisnull(answer->rows.front().get(), 0, 0);
        const QByteArray outcome = hasRow ? PgHelper::value(answer->rows.front().get(), 0, 0) : QByteArray();
        if (!hasRow || outcome == NoHello) {
            ++(hasRow ? out.withoutHello : out.failed);
            if (answer && !answer->error.isEmpty())
                qWarning("the server failed to take a game start, kept to send again: %s",
                         qUtf8Printable(answer->error));
            waiting.push_back(launch);
            continue;
        }
        if (outcome != "recorded")
            qWarning("the server did not count a start of game %lld: %s", static_cast<long long>(launch.gameId),
                     outcome.constData());
        out.outcomes.append(QString::fromUtf8(outcome));
    }
    m_launches.erase(m_launches.begin(), m_launches.begin() + m_inFlight);
    m_launches.insert(m_launches.begin(), waiting.begin(), waiting.end());
    m_inFlight = 0;
    return out;
}
