#include "PgTestDatabase.h"

#include "cafe/ServerSchema.h"

#include <QTest>

#include <libpq-fe.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

Connection connectTo(const QString &uri)
{
    return Connection(PQconnectdb(uri.toUtf8().constData()), PQfinish);
}

QStringList rows(PGconn *conn, const QString &sql, const QByteArray &parameter = QByteArray())
{
    return PgTestDatabase::firstColumn(conn, sql, parameter);
}

} // namespace

class tst_ServerSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void menuRoleOnlyReads();
    void changesFromATransactionStillOpenAtTheLastReadAreNotMissed();
};

void tst_ServerSchema::menuRoleOnlyReads()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('扫雷')"_s).isEmpty());
    const Connection menu = connectTo(db.menuUri());
    QCOMPARE(PQstatus(menu.get()), CONNECTION_OK);
    QCOMPARE(rows(menu.get(), u"Select GameName From GameList"_s), QStringList{u"扫雷"_s});
    // 42501: insufficient privilege, refused by the server itself.
    QCOMPARE(rows(menu.get(), u"delete From GameList Where GameName= '扫雷'"_s), QStringList{u"ERROR 42501"_s});
    QCOMPARE(rows(menu.get(), u"INSERT INTO TypeList (TypeName) VALUES ('x')"_s), QStringList{u"ERROR 42501"_s});

    const Connection op = connectTo(db.operatorUri());
    QCOMPARE(rows(op.get(), u"INSERT INTO TypeList (TypeName) VALUES ('动作')"_s), QStringList());
    QCOMPARE(rows(op.get(), u"DELETE FROM CatalogueDeleted"_s), QStringList{u"ERROR 42501"_s});
    QCOMPARE(rows(op.get(), u"CREATE TABLE Other (a int)"_s), QStringList{u"ERROR 42501"_s});
}

void tst_ServerSchema::changesFromATransactionStillOpenAtTheLastReadAreNotMissed()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    const Connection slow = connectTo(db.operatorUri());
    const Connection fast = connectTo(db.operatorUri());
    const Connection menu = connectTo(db.menuUri());
    QCOMPARE(rows(slow.get(), u"INSERT INTO GameList (GameName) VALUES ('kept')"_s), QStringList());

    // A writer that started first but commits after a later writer and after the client's read.
    rows(slow.get(), u"BEGIN"_s);
    rows(slow.get(), u"UPDATE GameList SET GameName = 'slow'"_s);
    rows(fast.get(), u"INSERT INTO GameList (GameName) VALUES ('fast')"_s);
    rows(menu.get(), u"BEGIN ISOLATION LEVEL REPEATABLE READ"_s);
    const QByteArray horizon = rows(menu.get(), QString::fromLatin1(ServerSchema::HorizonSql)).value(0).toLatin1();
    const QStringList firstRead =
        rows(menu.get(), QString::fromLatin1(ServerSchema::ChangedGamesSql).replace(u"SELECT GameID, "_s, u"SELECT "_s),
             QByteArray("0"));
    rows(menu.get(), u"COMMIT"_s);
    QCOMPARE(firstRead, (QStringList{u"kept"_s, u"fast"_s}));
    rows(slow.get(), u"COMMIT"_s);

    rows(slow.get(), u"delete From GameList Where GameName= 'fast'"_s);
    const QString names =
        QString::fromLatin1(ServerSchema::ChangedGamesSql).replace(u"SELECT GameID, "_s, u"SELECT "_s);
    QCOMPARE(rows(menu.get(), names, horizon), QStringList{u"slow"_s});
    QCOMPARE(rows(menu.get(), QString::fromLatin1(ServerSchema::DeletedRowsSql).replace(u"TableName, "_s, QString()),
                  horizon),
             QStringList{u"2"_s});
}

QTEST_GUILESS_MAIN(tst_ServerSchema)
#include "tst_ServerSchema.moc"
