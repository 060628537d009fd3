#include "cafe/LaunchQueue.h"

#include <QDateTime>
#include <QUuid>

#include <libpq-fe.h>

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
    // The server records a launch for the PC this connection named, under the catalogue's name.
    Q_UNUSED(conn);
    Q_UNUSED(client);
    QByteArray sql;
    for (const Launch &launch : m_launches) {
        QByteArray at = "NULL";
        // Older ones keep the time they happened, on the server's clock as far as it is known.
        if (m_clock.elapsed() - launch.happenedMs > FreshMs)
            at = "to_timestamp("
                + QByteArray::number(double(launch.utcMs + serverOffsetMs.value_or(0)) / 1000.0, 'f', 3) + ")";
        sql +=
            "SELECT room_record_launch('" + launch.key + "', " + QByteArray::number(launch.gameId) + ", " + at + ");";
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
