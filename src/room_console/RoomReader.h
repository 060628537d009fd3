#pragma once

#include "cafe/PgHelper.h"
#include "cafe/RoomReport.h"
#include "room_console/RoomTableModel.h"

#include <QObject>
#include <QString>

// The room console's work on the server, on a thread of its own: each read of the room and each change
// of the Hot rule runs there on the operator's connection, which it opens again after the server was
// lost. Its answers come back as signals, so the windows never wait for the server; the rows of the PCs'
// table are made and sorted here too, so that a room of thousands of PCs costs the window only the rows
// that changed.
class RoomReader : public QObject
{
    Q_OBJECT

public:
    RoomReader(QString operatorUri, PgHelper::Connection connection);

    void read(int days, int top);

    // The PCs' table: online first, then by name. A PC shown as it was keeps its row as it was.
    static QList<RoomTableModel::Row> machineRows(const QList<RoomReport::Client> &clients,
                                                  const QList<RoomReport::Client> &before,
                                                  const QList<RoomTableModel::Row> &rowsBefore);
    // top 0: the games flagged hot.
    void setHot(int top, int days);
    // The PCs' table by a column's keys from now on (-1: online first, then by name); the rows as they
    // stand come back at once.
    void sortMachines(int column, Qt::SortOrder order);

Q_SIGNALS:
    void readDone(const RoomReport &report, const QList<RoomTableModel::Row> &machines);
    // tablesMissing: the server was set up by an older version.
    void readFailed(const QString &message, bool tablesMissing);
    void hotSet(const QString &failure); // empty when set
    void machinesSorted(const QList<RoomTableModel::Row> &machines);

private:
    pg_conn *connection();
    // The PCs' rows in the order asked for, kept until the window has let go of them.
    QList<RoomTableModel::Row> sortedMachines();

    QString m_operatorUri;
    PgHelper::Connection m_connection;
    QList<RoomReport::Client> m_clients; // as the rows below show them, online first, then by name
    QList<RoomTableModel::Row> m_machineRows;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    // What the window showed before the last answer: it lets go of them when it shows the last, and they
    // are freed here, at the next answer, rather than in the window.
    RoomReport m_shown;
    RoomReport m_shownBefore;
    QList<RoomTableModel::Row> m_sorted;
    QList<RoomTableModel::Row> m_sortedBefore;
};

Q_DECLARE_METATYPE(RoomReport)
Q_DECLARE_METATYPE(QList<RoomTableModel::Row>)
