#pragma once

#include "cafe/PgHelper.h"
#include "cafe/RoomReport.h"

#include <QObject>
#include <QString>

// The room console's work on the server, on a thread of its own: each read of the room and each change
// of the Hot rule runs there on the operator's connection, which it opens again after the server was
// lost. Its answers come back as signals, so the windows never wait for the server.
class RoomReader : public QObject
{
    Q_OBJECT

public:
    RoomReader(QString operatorUri, PgHelper::Connection connection);

    void read(int days, int top);
    // top 0: the games flagged hot.
    void setHot(int top, int days);

Q_SIGNALS:
    void readDone(const RoomReport &report);
    // tablesMissing: the server was set up by an older version.
    void readFailed(const QString &message, bool tablesMissing);
    void hotSet(const QString &failure); // empty when set

private:
    pg_conn *connection();

    QString m_operatorUri;
    PgHelper::Connection m_connection;
};

Q_DECLARE_METATYPE(RoomReport)
