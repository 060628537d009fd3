#include "room_console/RoomReader.h"

#include "catalogue/CatalogueError.h"

#include <libpq-fe.h>

RoomReader::RoomReader(QString operatorUri, PgHelper::Connection connection)
    : m_operatorUri(std::move(operatorUri))
    , m_connection(std::move(connection))
{
    qRegisterMetaType<RoomReport>();
}

pg_conn *RoomReader::connection()
{
    if (!m_connection || PQstatus(m_connection.get()) != CONNECTION_OK) {
        m_connection.reset();
        m_connection = RoomReport::connect(m_operatorUri);
    }
    return m_connection.get();
}

void RoomReader::read(int days, int top)
{
    try {
        const RoomReport report = RoomReport::read(connection(), days, top);
        Q_EMIT readDone(report);
    } catch (const CatalogueError &error) {
        Q_EMIT readFailed(RoomReport::explain(error), RoomReport::roomTablesMissing(error));
    }
}

void RoomReader::setHot(int top, int days)
{
    try {
        RoomReport::setHot(connection(), top > 0 ? std::optional<RoomReport::HotRule>({top, days}) : std::nullopt);
        Q_EMIT hotSet(QString());
    } catch (const CatalogueError &error) {
        Q_EMIT hotSet(RoomReport::explain(error));
    }
}
