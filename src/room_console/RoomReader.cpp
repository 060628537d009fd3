#include "room_console/RoomReader.h"

#include "catalogue/CatalogueError.h"
#include "platform/TerminalText.h"

#include <QHash>

#include <libpq-fe.h>

#include <algorithm>

using namespace Qt::StringLiterals;

RoomReader::RoomReader(QString operatorUri, PgHelper::Connection connection)
    : m_operatorUri(std::move(operatorUri))
    , m_connection(std::move(connection))
{
    qRegisterMetaType<RoomReport>();
    qRegisterMetaType<QList<RoomTableModel::Row>>();
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
        QList<RoomReport::Client> clients = report.clients;
        std::stable_sort(clients.begin(), clients.end(), [](const RoomReport::Client &a, const RoomReport::Client &b) {
            return a.online && !b.online;
        });
        m_machineRows = machineRows(clients, m_clients, m_machineRows);
        m_clients = std::move(clients);
        m_shownBefore = std::exchange(m_shown, report);
        Q_EMIT readDone(report, sortedMachines());
    } catch (const CatalogueError &error) {
        Q_EMIT readFailed(RoomReport::explain(error), RoomReport::roomTablesMissing(error));
    }
}

QList<RoomTableModel::Row> RoomReader::machineRows(const QList<RoomReport::Client> &clients,
                                                   const QList<RoomReport::Client> &before,
                                                   const QList<RoomTableModel::Row> &rowsBefore)
{
    QHash<QString, qsizetype> shown;
    shown.reserve(before.size());
    for (qsizetype i = 0; i < before.size() && i < rowsBefore.size(); ++i)
        shown.insert(before.at(i).name, i);
    QList<RoomTableModel::Row> rows;
    rows.reserve(clients.size());
    for (const RoomReport::Client &client : clients) {
        const qsizetype was = shown.value(client.name, -1);
        if (was >= 0 && before.at(was) == client) {
            rows.append(rowsBefore.at(was));
            continue;
        }
        const QString last = client.lastGame.isEmpty()
            ? u"—"_s
            : u"%1（%2）"_s.arg(TerminalText::printable(client.lastGame), client.lastGameAt);
        rows.append(
            {{TerminalText::printable(client.name), client.online ? u"在线"_s : u"离线"_s, client.lastSeen, last},
             {client.name, client.online ? 0 : 1, client.lastSeen, client.lastGameAt},
             !client.online});
    }
    return rows;
}

void RoomReader::sortMachines(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    if (!m_machineRows.isEmpty())
        Q_EMIT machinesSorted(sortedMachines());
}

// As the table's header sorts: stable, numbers as numbers, the rest as text.
QList<RoomTableModel::Row> RoomReader::sortedMachines()
{
    QList<RoomTableModel::Row> rows = m_machineRows;
    const int column = m_sortColumn;
    if (column >= 0) {
        const auto key = [column](const RoomTableModel::Row &row) {
            return column < row.keys.size() ? row.keys.at(column) : QVariant(row.cells.value(column));
        };
        const auto less = [&key](const RoomTableModel::Row &a, const RoomTableModel::Row &b) {
            const QVariant x = key(a);
            const QVariant y = key(b);
            const auto number = [](const QVariant &value) {
                const int type = value.metaType().id();
                return type == QMetaType::Int || type == QMetaType::LongLong;
            };
            if (number(x) && number(y))
                return x.toLongLong() < y.toLongLong();
            return x.toString() < y.toString();
        };
        if (m_sortOrder == Qt::AscendingOrder)
            std::stable_sort(rows.begin(), rows.end(), less);
        else
            std::stable_sort(
                rows.begin(), rows.end(),
                [&less](const RoomTableModel::Row &a, const RoomTableModel::Row &b) { return less(b, a); });
    }
    m_sortedBefore = std::exchange(m_sorted, rows);
    return rows;
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
