#include "PgTestDatabase.h"

#include "cafe/RoomSchema.h"
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
    void menuRoleOnlyRecordsThroughTheRoomFunctions_data();
    void menuRoleOnlyRecordsThroughTheRoomFunctions();
    void changesFromATransactionStillOpenAtTheLastReadAreNotMissed();
    void twoPcsOfOneNameStartingAGameTogetherAreCountedOnce();
    void aSessionNamesOnePcAndHoldsOneLock();
    void aKnownNameUsesNoNumber();
    void limitsHoldPerAddressAcrossNames();
    void menusReadTheHotRankingTheServerKeeps();
    void serverKeepsTheCatalogueConsistent_data();
    void serverKeepsTheCatalogueConsistent();
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

void tst_ServerSchema::menuRoleOnlyRecordsThroughTheRoomFunctions_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("answer");
    const QStringList refused{u"ERROR 42501"_s};
    QTest::newRow("insert launch") << u"INSERT INTO GameLaunch (LaunchKey, GameID, ClientName, LaunchedAt)"
                                      " VALUES (gen_random_uuid(), 1, 'PC1', now())"_s
                                   << refused;
    QTest::newRow("change launch") << u"UPDATE GameLaunch SET GameID = 2"_s << refused;
    QTest::newRow("delete launch") << u"DELETE FROM GameLaunch"_s << refused;
    QTest::newRow("read launches") << u"SELECT count(*) FROM GameLaunch"_s << refused;
    QTest::newRow("change presence") << u"UPDATE ClientPresence SET LastSeen = now()"_s << refused;
    QTest::newRow("delete presence") << u"DELETE FROM ClientPresence"_s << refused;
    QTest::newRow("read presence") << u"SELECT ClientName FROM ClientPresence"_s << refused;
    QTest::newRow("renew identity") << u"SELECT catalogue_renew_identity()"_s << refused;
    QTest::newRow("count a period") << u"SELECT room_ready_period(7)"_s << refused;
    QTest::newRow("change a period's counts")
        << u"INSERT INTO GameLaunchPeriod (Days, GameID, Launches) VALUES (7, 1, 1000000)"_s << refused;
    QTest::newRow("65-character name") << u"SELECT room_client_hello(repeat('x', 65))"_s
                                       << QStringList{u"ERROR 23514"_s};
    const QString launch = u"SELECT room_record_launch(gen_random_uuid(), %1, %2)"_s;
    QTest::newRow("future") << launch.arg(u"1"_s, u"now() + interval '1 minute'"_s) << QStringList{u"bad-time"_s};
    QTest::newRow("8 days ago") << launch.arg(u"1"_s, u"now() - interval '8 days'"_s) << QStringList{u"bad-time"_s};
    QTest::newRow("same game within 10 s")
        << launch.arg(u"1"_s, u"now() - interval '5 seconds'"_s) << QStringList{u"too-soon"_s};
    QTest::newRow("same key again") << u"SELECT room_record_launch('00000000-0000-0000-0000-000000000001', 9, NULL)"_s
                                    << QStringList{u"duplicate"_s};
    QTest::newRow("121st in an hour")
        << u"SELECT count(*) FILTER (WHERE room_record_launch(gen_random_uuid(), i, now()"
           " - (122 - i) * interval '20 seconds') = 'recorded') FROM generate_series(1, 121) i"_s
        << QStringList{u"120"_s};
    QTest::newRow("another game") << launch.arg(u"2"_s, u"NULL"_s) << QStringList{u"recorded"_s};
    QTest::newRow("game not in the catalogue") << launch.arg(u"1000"_s, u"NULL"_s) << QStringList{u"unknown-game"_s};
    QTest::newRow("second name") << u"SELECT room_client_hello('PC2')"_s << refused;
    QTest::newRow("same name again") << u"SELECT room_client_hello('PC1') IS NOT NULL"_s << QStringList{u"t"_s};
}

void tst_ServerSchema::menuRoleOnlyRecordsThroughTheRoomFunctions()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, answer);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameID, GameName) SELECT i, 'g' || i FROM generate_series(1, 200) i"_s)
                .isEmpty());
    const Connection menu = connectTo(db.menuUri());
    QCOMPARE(rows(menu.get(), u"SELECT room_record_launch(gen_random_uuid(), 1, NULL)"_s), QStringList{u"no-hello"_s});
    QCOMPARE(rows(menu.get(), u"SELECT room_client_hello('PC1')"_s).size(), 1);
    QCOMPARE(rows(menu.get(), u"SELECT room_record_launch('00000000-0000-0000-0000-000000000001', 1, NULL)"_s),
             QStringList{u"recorded"_s});
    QCOMPARE(rows(menu.get(), sql), answer);
    // Whatever the menu tried, only what the functions let through is there, under the catalogue's names.
    const int extra = answer == QStringList{u"120"_s} ? 120 : answer == QStringList{u"recorded"_s} ? 1 : 0;
    const Connection admin = connectTo(db.adminUri());
    QCOMPARE(rows(admin.get(), u"SELECT count(*) FROM GameLaunch"_s), QStringList{QString::number(1 + extra)});
    QCOMPARE(rows(admin.get(), u"SELECT count(*) FROM GameLaunch WHERE GameName <> 'g' || GameID"_s),
             QStringList{u"0"_s});
    QCOMPARE(rows(admin.get(), u"SELECT sum(Launches) FROM GameLaunchDaily"_s),
             QStringList{QString::number(1 + extra)});
    QCOMPARE(rows(admin.get(), u"SELECT string_agg(DISTINCT ClientName, ',') FROM GameLaunch"_s),
             QStringList{u"PC1"_s});
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

void tst_ServerSchema::twoPcsOfOneNameStartingAGameTogetherAreCountedOnce()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameID, GameName) VALUES (7, '扫雷')"_s).isEmpty());
    const Connection first = connectTo(db.menuUri());
    const Connection second = connectTo(db.menuUri());
    QCOMPARE(rows(first.get(), u"SELECT room_client_hello('PC1') IS NOT NULL"_s), QStringList{u"t"_s});
    QCOMPARE(rows(second.get(), u"SELECT room_client_hello('PC1') IS NOT NULL"_s), QStringList{u"t"_s});
    const QString launch = u"SELECT room_record_launch(gen_random_uuid(), 7, NULL)"_s;
    rows(first.get(), u"BEGIN"_s);
    QCOMPARE(rows(first.get(), launch), QStringList{u"recorded"_s});
    // The second waits for the first one's lock, then must see what it committed.
    QVERIFY(PQsendQuery(second.get(), launch.toUtf8().constData()));
    const Connection admin = connectTo(db.adminUri());
    QTRY_COMPARE(rows(admin.get(), u"SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND NOT granted"_s),
                 QStringList{u"1"_s});
    rows(first.get(), u"COMMIT"_s);
    const std::unique_ptr<PGresult, decltype(&PQclear)> answer(PQgetResult(second.get()), PQclear);
    QCOMPARE(PQntuples(answer.get()), 1);
    QCOMPARE(QByteArray(PQgetvalue(answer.get(), 0, 0)), QByteArray("too-soon"));
}

void tst_ServerSchema::aSessionNamesOnePcAndHoldsOneLock()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    const Connection menu = connectTo(db.menuUri());
    const Connection admin = connectTo(db.adminUri());
    const QString pid = QString::number(PQbackendPID(menu.get()));
    // What an ended session with the same process id left binds nobody.
    QVERIFY(db.run(u"INSERT INTO ClientPresence (ClientName) VALUES ('gone'); INSERT INTO ClientSession "
                   "SELECT %1, now() - interval '1 day', ClientID FROM ClientPresence"_s.arg(pid))
                .isEmpty());
    // A player naming names one after another, each in a statement of its own, as a loop would.
    for (int i = 1; i <= 100; ++i)
        rows(menu.get(), u"SELECT room_client_hello('x%1')"_s.arg(i));
    QCOMPARE(rows(admin.get(), u"SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND pid = "_s + pid),
             QStringList{u"1"_s});
    QCOMPARE(rows(admin.get(), u"SELECT string_agg(ClientName, ',' ORDER BY ClientID) FROM ClientPresence"_s),
             QStringList{u"gone,x1"_s});
    QCOMPARE(rows(menu.get(), u"SELECT room_client_hello('x2')"_s), QStringList{u"ERROR 42501"_s});
    // Every other PC still names itself.
    const Connection other = connectTo(db.menuUri());
    QCOMPARE(rows(other.get(), u"SELECT room_client_hello('PC2') IS NOT NULL"_s), QStringList{u"t"_s});
}

void tst_ServerSchema::aKnownNameUsesNoNumber()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QCOMPARE(rows(connectTo(db.menuUri()).get(), u"SELECT room_client_hello('PC1') IS NOT NULL"_s),
             QStringList{u"t"_s});
    const Connection admin = connectTo(db.adminUri());
    const QString numbers = u"SELECT last_value FROM clientpresence_clientid_seq"_s;
    const QStringList before = rows(admin.get(), numbers);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rows(connectTo(db.menuUri()).get(), u"SELECT room_client_hello('PC1') IS NOT NULL"_s),
                 QStringList{u"t"_s});
    QCOMPARE(rows(admin.get(), numbers), before);
}

void tst_ServerSchema::limitsHoldPerAddressAcrossNames()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameID, GameName) SELECT i, 'g' || i FROM generate_series(1, 120) i"_s)
                .isEmpty());
    // The test connects over loopback, which is exempt unless the server's list says otherwise.
    QVERIFY(db.run(u"UPDATE CatalogueServer SET LimitExemptAddrs = '{}'"_s).isEmpty());
    const QString launches = u"SELECT count(*) FILTER (WHERE room_record_launch(gen_random_uuid(), i, now()"
                             " - (121 - i) * interval '20 seconds') = 'recorded') FROM generate_series(1, 120) i"_s;
    QStringList recorded;
    QStringList named;
    for (int pc = 1; pc <= 11; ++pc) {
        const Connection menu = connectTo(db.menuUri());
        named += rows(menu.get(), u"SELECT room_client_hello('PC%1') IS NOT NULL"_s.arg(pc));
        if (pc <= 3)
            recorded += rows(menu.get(), launches);
    }
    QCOMPARE(recorded, (QStringList{u"120"_s, u"120"_s, u"0"_s}));
    QCOMPARE(named, QStringList(10, u"t"_s) << u"ERROR 54000"_s);
    // A known name is no new one.
    QCOMPARE(rows(connectTo(db.menuUri()).get(), u"SELECT room_client_hello('PC1') IS NOT NULL"_s),
             QStringList{u"t"_s});

    QVERIFY(db.run(u"UPDATE CatalogueServer SET LimitExemptAddrs = '{127.0.0.0/8}'"_s).isEmpty());
    const Connection front = connectTo(db.menuUri());
    QCOMPARE(rows(front.get(), u"SELECT room_client_hello('PC11') IS NOT NULL"_s), QStringList{u"t"_s});
    QCOMPARE(rows(front.get(), launches), QStringList{u"120"_s});
}

void tst_ServerSchema::menusReadTheHotRankingTheServerKeeps()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameID, GameName) VALUES (1, '一'), (2, '二'), (3, '三')"_s).isEmpty());
    const Connection menu = connectTo(db.menuUri());
    rows(menu.get(), u"SELECT room_client_hello('PC1')"_s);
    for (const QString &minutesAndGame : {u"1, 2"_s, u"2, 2"_s, u"3, 1"_s})
        QCOMPARE(rows(menu.get(),
                      u"SELECT room_record_launch(gen_random_uuid(), g, now() - m * interval '1 minute')"
                      " FROM (VALUES (%1)) v (m, g)"_s.arg(minutesAndGame)),
                 QStringList{u"recorded"_s});
    const Connection op = connectTo(db.operatorUri());
    QCOMPARE(rows(op.get(), u"SELECT room_set_hot(2, 7)"_s), QStringList{QString()});
    QCOMPARE(rows(menu.get(), QString::fromLatin1(RoomSchema::HotGamesSql)), (QStringList{u"2"_s, u"1"_s}));
    // The menus read the table as it stands while it is fresh...
    QVERIFY(db.run(u"UPDATE HotRanking SET GameID = 3 WHERE Rank = 1"_s).isEmpty());
    QCOMPARE(rows(menu.get(), QString::fromLatin1(RoomSchema::HotGamesSql)), (QStringList{u"3"_s, u"1"_s}));
    // ...and the first to find it stale computes it again.
    QVERIFY(db.run(u"UPDATE CatalogueServer SET HotComputedAt = now() - interval '1 hour'"_s).isEmpty());
    QCOMPARE(rows(menu.get(), QString::fromLatin1(RoomSchema::HotGamesSql)), (QStringList{u"2"_s, u"1"_s}));
}

void tst_ServerSchema::serverKeepsTheCatalogueConsistent_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("error");
    QTest::newRow("category of an existing name")
        << u"INSERT INTO TypeList (TypeName) VALUES ('动作')"_s << u"ERROR 23505"_s;
    QTest::newRow("marker of an unknown kind")
        << u"INSERT INTO CatalogueDeleted (TableName, RowKey) VALUES ('settings', 1)"_s << u"ERROR 23514"_s;
}

void tst_ServerSchema::serverKeepsTheCatalogueConsistent()
{
    QFETCH(QString, sql);
    QFETCH(QString, error);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO TypeList (TypeName) VALUES ('动作')"_s).isEmpty());
    QCOMPARE(rows(connectTo(db.adminUri()).get(), sql), QStringList{error});
}

QTEST_GUILESS_MAIN(tst_ServerSchema)
#include "tst_ServerSchema.moc"
