#include "cafe/LaunchQueue.h"

#include <QDateTime>
#include <QUuid>

#include <libpq-fe.h>

namespace {

QByteArray literal(pg_conn *conn, const QByteArray &text)
{
    char *escaped = PQescapeLiteral(conn, text.constData(), size_t(text.size()));
    if (!escaped)
        return "NULL";
    const QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

} // namespace

bool LaunchQueue::add(qint64 gameId, const QByteArray &gameName)
{
    if (!m_clock.isValid())
        m_clock.start();
    const bool full = size() >= Capacity;
    // The oldest goes, unless it is on its way to the server.
    if (full && m_inFlight == 0)
        m_launches.pop_front();
    else if (full)
        return true;
    m_launches.push_back({QUuid::createUuid().toByteArray(QUuid::WithoutBraces), gameId, gameName, m_clock.elapsed(),
                          QDateTime::currentMSecsSinceEpoch()});
    return full;
}

QByteArray LaunchQueue::sendSql(pg_conn *conn, const QByteArray &client, std::optional<qint64> serverOffsetMs)
{
    const QByteArray clientLiteral = literal(conn, client);
    QByteArray sql;
    for (const Launch &launch : m_launches) {
        QByteArray at = "NULL";
        // Older ones keep the time they happened, on the server's clock as far as it is known.
        if (m_clock.elapsed() - launch.happenedMs > FreshMs)
            at = "to_timestamp("
                + QByteArray::number(double(launch.utcMs + serverOffsetMs.value_or(0)) / 1000.0, 'f', 3) + ")";
        sql += "SELECT room_record_launch(" + clientLiteral + ", '" + launch.key + "', "
            + QByteArray::number(launch.gameId) + ", " + literal(conn, launch.gameName) + ", " + at + ");";
    }
    m_inFlight = size();
    return sql;
}

QStringList LaunchQueue::answered(const std::vector<PgHelper::Result> &results)
{
    QStringList outcomes;
    for (const PgHelper::Result &result : results) {
        if (PQntuples(result.get()) == 1)
            outcomes.append(QString::fromUtf8(PQgetvalue(result.get(), 0, 0)));
    }
    m_launches.erase(m_launches.begin(), m_launches.begin() + m_inFlight);
    m_inFlight = 0;
    return outcomes;
}
