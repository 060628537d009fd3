#include "ToolRun.h"

#include "PgTestDatabase.h"

#include "cafe/RoomReport.h"
#include "cafe/RoomReportText.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSchema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <libpq-fe.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Every entry under a folder, links not followed: its kind and its link target or content.
QStringList tree(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString name = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink()) {
            entries.append(name + u" -> "_s + info.symLinkTarget());
        } else if (info.isDir()) {
            entries.append(name + u"/"_s);
        } else {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            entries.append(
                name + u" "_s
                + QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex()));
        }
    }
    entries.sort();
    return entries;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What the sqlcipher shell prints for a script on a catalogue file opened with key.
QString sqlcipherShell(const QString &file, const QString &script, const QString &key = u"zmkrot"_s)
{
    QProcess shell;
    shell.start(u"sqlcipher"_s, {file});
    if (!shell.waitForStarted())
        return u"sqlcipher did not start"_s;
    shell.write((u"PRAGMA key='"_s + key + u"';\n"_s + script).toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(60000))
        return u"sqlcipher did not finish"_s;
    return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
}

// The lines of a dump that are not about the settings table.
QStringList withoutSettings(const QString &dump)
{
    QStringList lines = dump.split(u'\n');
    lines.removeIf([](const QString &line) { return line.contains(u"Settings"_s); });
    return lines;
}

// A catalogue file written by the sqlcipher shell, the tables laid out as the program lays them.
bool makeCatalogue(const QString &directory, const QString &rows)
{
    const QString path = QDir(directory).filePath(u"GameDB.dbs"_s);
    const QString printed = sqlcipherShell(path, QString::fromLatin1(CatalogueSchema::CreateSql) + u'\n' + rows);
    return !printed.contains(u"rror"_s) && printed.trimmed().endsWith(u"ok"_s) && QFileInfo(path).isFile();
}

QString dumpTables(const QString &directory)
{
    return sqlcipherShell(QDir(directory).filePath(u"GameDB.dbs"_s), u".dump TypeList\n.dump GameList\n"_s);
}

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

// The first column of every row, or "ERROR" and the server's error code.
QStringList serverRows(const QString &uri, const QString &sql)
{
    const Connection conn(PQconnectdb(uri.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        return {u"NO CONNECTION "_s + QString::fromUtf8(PQerrorMessage(conn.get()))};
    return PgTestDatabase::firstColumn(conn.get(), sql);
}

const QString gameNames = u"SELECT GameName FROM GameList ORDER BY GameID"_s;

} // namespace

class tst_CatalogueTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusesWhatIsInTheWay_data();
    void refusesWhatIsInTheWay();
    void initDemoPlacesGamesWhereTheCatalogueSays();

    void serverInitMakesRolesThatLogInAndAMenuRoleThatOnlyReads();
    void serverInitOutlastsARoleChangeFromAnotherDatabase();
    void serverInitBringsAnOlderServerUpToDate_data();
    void serverInitBringsAnOlderServerUpToDate();
    void clientsAndStatsShowTheRoom();
    void statsAndTheRoomConsoleCountAlike_data();
    void statsAndTheRoomConsoleCountAlike();
    void pushThenPullGivesBackTheSameTables();
    void pushRefusesAFilledCatalogueUnlessReplacing();
    void pushThatFailsPartWayLeavesTheServerEmpty_data();
    void pushThatFailsPartWayLeavesTheServerEmpty();
    void pullRefusesAnExistingFile();
    void serverFailuresAreReported_data();
    void serverFailuresAreReported();
    void operatorPasswordIsStoredOnlyAsAnArgon2idHash();
    void operatorPasswordIsAskedTwiceWithoutEchoOnATerminal();
    void operatorPasswordRefusesBadInput_data();
    void operatorPasswordRefusesBadInput();
};

void tst_CatalogueTool::refusesWhatIsInTheWay_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("planted"); // the name in the target folder that is in the way
    QTest::addColumn<bool>("link"); // a link to a victim file outside, else a file
    QTest::newRow("init, dangling link") << u"init"_s << u"GameDB.dbs"_s << true;
    QTest::newRow("init, existing file") << u"init"_s << u"GameDB.dbs"_s << false;
    QTest::newRow("init-demo, link at an icon") << u"init-demo"_s << u"demo_games/game01/icon.ico"_s << true;
    QTest::newRow("init-demo, link at the catalogue") << u"init-demo"_s << u"GameDB.dbs"_s << true;
    QTest::newRow("init-demo, existing catalogue") << u"init-demo"_s << u"GameDB.dbs"_s << false;
}

void tst_CatalogueTool::refusesWhatIsInTheWay()
{
    QFETCH(QString, command);
    QFETCH(QString, planted);
    QFETCH(bool, link);
    QTemporaryDir outside;
    QTemporaryDir target;
    const QString victim = outside.filePath(u"victim"_s);
    QVERIFY(writeFile(victim, "keep me"));
    const QString dangling = outside.filePath(u"made-through-a-link"_s);
    const QString path = target.filePath(planted);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (!link)
        QVERIFY(writeFile(path, "an operator's file"));
    else
        QVERIFY(QFile::link(command == u"init"_s ? dangling : victim, path));
    const QStringList before = tree(target.path());
    const QStringList outsideBefore = tree(outside.path());

    const Outcome outcome = runTool({command, target.path()});
    QVERIFY2(outcome.exitCode > 0, qPrintable(outcome.errors));
    QVERIFY2(outcome.errors.contains(u"不会覆盖"_s), qPrintable(outcome.errors));
    QCOMPARE(tree(target.path()), before);
    QCOMPARE(tree(outside.path()), outsideBefore);
}

void tst_CatalogueTool::initDemoPlacesGamesWhereTheCatalogueSays()
{
    QTemporaryDir target;
    const Outcome made = runTool({u"init-demo"_s, target.path()});
    QVERIFY2(made.exitCode == 0, qPrintable(made.errors));
    QCOMPARE(QDir(target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{u"GameDB.dbs"_s, u"demo_games"_s}));
    const Outcome listed = runTool({u"list"_s, target.path()});
    QCOMPARE(listed.exitCode, 0);
    const QString firstGame = QDir(target.path()).absoluteFilePath(u"demo_games/game01/"_s);
    QVERIFY2(listed.output.contains(u" | "_s + firstGame + u" | start_game | "_s), qPrintable(listed.output));
    QVERIFY(QFileInfo(firstGame + u"icon.ico"_s).isFile());
}

void tst_CatalogueTool::serverInitMakesRolesThatLogInAndAMenuRoleThatOnlyReads()
{
    PgTestDatabase db(false);
    JYT_REQUIRE_PG(db);
    // The roles are shared by the whole test server, so they keep the passwords other tests use.
    const QStringList init{u"server-init"_s,         db.adminUri(),
                           u"--menu-password"_s,     QString::fromLatin1(PgTestDatabase::MenuPassword),
                           u"--operator-password"_s, QString::fromLatin1(PgTestDatabase::OperatorPassword)};
    const Outcome made = runTool(init);
    QVERIFY2(made.exitCode == 0, qPrintable(made.errors));
    QCOMPARE(serverRows(db.operatorUri(), u"INSERT INTO TypeList (TypeName) VALUES ('动作')"_s), QStringList());
    QCOMPARE(serverRows(db.menuUri(), u"Select * From TypeList"_s), QStringList{u"1"_s});
    QCOMPARE(serverRows(db.menuUri(), u"delete From TypeList Where TypeName= '动作'"_s), QStringList{u"ERROR 42501"_s});
    // The menus leave connections free for the operators and the admin.
    QCOMPARE(serverRows(db.adminUri(),
                        u"SELECT current_setting('max_connections')::int - rolconnlimit FROM pg_roles"
                        " WHERE rolname = 'juyoutai_menu'"_s),
             QStringList{u"10"_s});
    // Nor can a menu take locks of its own, or make tables that hold them.
    QCOMPARE(serverRows(db.menuUri(), u"SELECT pg_advisory_lock(1)"_s), QStringList{u"ERROR 42501"_s});
    QCOMPARE(serverRows(db.menuUri(), u"CREATE TEMP TABLE t (a int)"_s), QStringList{u"ERROR 42501"_s});

    const Outcome again = runTool(init);
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.errors.contains(u"已经初始化"_s), qPrintable(again.errors));
}

void tst_CatalogueTool::serverInitOutlastsARoleChangeFromAnotherDatabase()
{
    const PgTestDatabase roles;
    JYT_REQUIRE_PG(roles);
    PgTestDatabase db(false);
    JYT_REQUIRE_PG(db);
    // Another database's set-up has changed the menu role and not yet committed.
    const std::unique_ptr<PGconn, decltype(&PQfinish)> other(PQconnectdb(roles.adminUri().toUtf8().constData()),
                                                             PQfinish);
    PgTestDatabase::firstColumn(other.get(), u"BEGIN"_s);
    QCOMPARE(PgTestDatabase::firstColumn(
                 other.get(),
                 u"ALTER ROLE juyoutai_menu PASSWORD '%1'"_s.arg(QString::fromLatin1(PgTestDatabase::MenuPassword))),
             QStringList());
    QProcess init;
    init.start(QStringLiteral(JYT_CATALOGUE_TOOL),
               {u"server-init"_s, db.adminUri(), u"--menu-password"_s,
                QString::fromLatin1(PgTestDatabase::MenuPassword), u"--operator-password"_s,
                QString::fromLatin1(PgTestDatabase::OperatorPassword)});
    QTRY_COMPARE(serverRows(roles.adminUri(), u"SELECT count(*) FROM pg_locks WHERE NOT granted"_s),
                 QStringList{u"1"_s});
    PgTestDatabase::firstColumn(other.get(), u"COMMIT"_s);
    QVERIFY(init.waitForFinished(60000));
    QVERIFY2(init.exitCode() == 0, init.readAllStandardError().constData());
    QCOMPARE(serverRows(db.menuUri(), u"SELECT count(*) FROM GameList"_s), QStringList{u"0"_s});
}

void tst_CatalogueTool::serverInitBringsAnOlderServerUpToDate_data()
{
    QTest::addColumn<QString>("older");
    QTest::addColumn<QString>("refusal"); // empty when the upgrade goes through
    const QString roomless =
        u"DROP TABLE CatalogueServer, ClientPresence, GameLaunch, GameLaunchDaily, GameLaunchHourly,"
        " GameClientDay, HotRanking CASCADE;"_s;
    // The room's tables as the version before kept them, with a PC and a launch recorded.
    const QString earlierRoom =
        u"DROP TABLE GameLaunchDaily, GameLaunchHourly, GameClientDay, HotRanking;"
        "ALTER TABLE GameLaunch DROP COLUMN ClientID, DROP COLUMN ClientAddr, DROP COLUMN ReceivedAt;"
        "ALTER TABLE ClientPresence DROP COLUMN FirstAddr, DROP COLUMN FirstSeen;"
        "ALTER TABLE CatalogueServer DROP COLUMN HotComputedAt, DROP COLUMN LaunchRetentionDays,"
        " DROP COLUMN RoomTimeZone, DROP COLUMN LimitExemptAddrs;"
        "ALTER TABLE TypeList DROP CONSTRAINT TypeList_TypeName_Unique;"
        "ALTER TABLE CatalogueDeleted DROP CONSTRAINT CatalogueDeleted_Kind;"
        "DROP FUNCTION room_record_launch(uuid, bigint, timestamptz);"
        "CREATE FUNCTION room_record_launch(text, uuid, bigint, text, timestamptz) RETURNS text LANGUAGE sql"
        " AS 'SELECT ''recorded''';"
        "INSERT INTO ClientPresence (ClientName) VALUES ('PC1');"
        "INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, LaunchedAt)"
        " VALUES (gen_random_uuid(), 1, '扫', 'PC1', now() - interval '1 day');"_s;
    QTest::newRow("before the room's tables") << roomless << QString();
    QTest::newRow("room of the version before") << earlierRoom << QString();
    QTest::newRow("two categories of one name")
        << earlierRoom + u"INSERT INTO TypeList (TypeName) VALUES ('动作'), ('休闲'), ('动作');"_s
        << u"服务器上有同名的分类：'动作'。"_s;
}

void tst_CatalogueTool::serverInitBringsAnOlderServerUpToDate()
{
    QFETCH(QString, older);
    QFETCH(QString, refusal);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(older + u"INSERT INTO GameList (GameName) VALUES ('扫雷')"_s).isEmpty());
    const QStringList init{u"server-init"_s,
                           db.adminUri(),
                           u"--menu-password"_s,
                           QString::fromLatin1(PgTestDatabase::MenuPassword),
                           u"--operator-password"_s,
                           QString::fromLatin1(PgTestDatabase::OperatorPassword),
                           u"--menu-connection-limit"_s,
                           u"300"_s,
                           u"--retention-days"_s,
                           u"30"_s};
    const Outcome upgraded = runTool(init);
    if (!refusal.isEmpty()) {
        QCOMPARE(upgraded.exitCode, 1);
        QVERIFY2(upgraded.errors.contains(refusal), qPrintable(upgraded.errors));
        QCOMPARE(serverRows(db.adminUri(), u"SELECT to_regclass('hotranking') IS NULL"_s), QStringList{u"t"_s});
        return;
    }
    QVERIFY2(upgraded.exitCode == 0, qPrintable(upgraded.errors));
    QVERIFY2(upgraded.output.contains(u"已升级"_s), qPrintable(upgraded.output));
    QCOMPARE(serverRows(db.menuUri(), u"SELECT GameName FROM GameList"_s), QStringList{u"扫雷"_s});
    QCOMPARE(serverRows(db.menuUri(), u"SELECT count(*) || '/' || min(LaunchRetentionDays) FROM CatalogueServer"_s),
             QStringList{u"1/30"_s});
    QCOMPARE(serverRows(db.adminUri(), u"SELECT rolconnlimit FROM pg_roles WHERE rolname = 'juyoutai_menu'"_s),
             QStringList{u"300"_s});
    // The launches recorded before count in the roll-ups, under their PC's number.
    QCOMPARE(serverRows(db.adminUri(), u"SELECT count(ClientID) || '/' || count(*) FROM GameLaunch"_s),
             serverRows(db.adminUri(), u"SELECT coalesce(sum(Launches), 0) || '/' || count(*) FROM GameLaunchDaily"_s));
    QCOMPARE(
        serverRows(db.adminUri(),
                   u"SELECT to_regprocedure('room_record_launch(text, uuid, bigint, text, timestamptz)') IS NULL"_s),
        QStringList{u"t"_s});
    const Connection menu(PQconnectdb(db.menuUri().toUtf8().constData()), PQfinish);
    QCOMPARE(PgTestDatabase::firstColumn(menu.get(), u"SELECT room_client_hello('PC1') IS NOT NULL"_s),
             QStringList{u"t"_s});
    QCOMPARE(PgTestDatabase::firstColumn(menu.get(), u"SELECT room_record_launch(gen_random_uuid(), 1, NULL)"_s),
             QStringList{u"recorded"_s});
    QCOMPARE(runTool(init).exitCode, 1);
}

void tst_CatalogueTool::clientsAndStatsShowTheRoom()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameID, GameName) VALUES (1, '扫雷'), (2, '象棋')"_s).isEmpty());
    const std::unique_ptr<PGconn, decltype(&PQfinish)> on(PQconnectdb(db.menuUri().toUtf8().constData()), PQfinish);
    std::unique_ptr<PGconn, decltype(&PQfinish)> off(PQconnectdb(db.menuUri().toUtf8().constData()), PQfinish);
    QCOMPARE(PgTestDatabase::firstColumn(on.get(), u"SELECT room_client_hello('A区-01') IS NOT NULL"_s),
             QStringList{u"t"_s});
    QCOMPARE(PgTestDatabase::firstColumn(off.get(), u"SELECT room_client_hello('B,02') IS NOT NULL"_s),
             QStringList{u"t"_s});
    const QString launch = u"SELECT room_record_launch(gen_random_uuid(), %1)"_s;
    for (const QString &game : {u"1, now() - interval '2 seconds'"_s, u"2, now() - interval '3 days'"_s})
        QCOMPARE(PgTestDatabase::firstColumn(off.get(), launch.arg(game)), QStringList{u"recorded"_s});
    off.reset();
    for (const QString &game : {u"2, NULL"_s, u"1, now() - interval '1 second'"_s})
        QCOMPARE(PgTestDatabase::firstColumn(on.get(), launch.arg(game)), QStringList{u"recorded"_s});

    const Outcome clients = runTool({u"clients"_s, db.operatorUri()});
    QVERIFY2(clients.exitCode == 0, qPrintable(clients.errors));
    QStringList lines = clients.output.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).startsWith(u"机器名"_s) && lines.at(0).contains(u"最近启动"_s), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith(u"A区-01  在线  20"_s) && lines.at(1).contains(u"象棋（20"_s),
             qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).startsWith(u"B,02    离线  20"_s) && lines.at(2).contains(u"扫雷（20"_s),
             qPrintable(lines.at(2)));

    const Outcome csv = runTool({u"stats"_s, db.operatorUri(), u"--csv"_s});
    QVERIFY2(csv.exitCode == 0, qPrintable(csv.errors));
    QCOMPARE(csv.output, u"排名,游戏名称,启动次数,机器数\r\n1,扫雷,2,2\r\n2,象棋,2,2\r\n合计,,4,2\r\n"_s);
    const Outcome top = runTool({u"stats"_s, db.operatorUri(), u"--days"_s, u"1"_s, u"--top"_s, u"1"_s});
    QVERIFY2(top.exitCode == 0, qPrintable(top.errors));
    lines = top.output.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(2), u"1     扫雷      2         2"_s);
    QCOMPARE(lines.at(3), u"启动总数 3，机器数 2"_s);
    QCOMPARE(runTool({u"stats"_s, db.operatorUri(), u"--top"_s, u"0"_s}).exitCode, 2);

    const Outcome played = runTool({u"set-hot"_s, db.operatorUri(), u"--top"_s, u"5"_s, u"--days"_s, u"3"_s});
    QVERIFY2(played.exitCode == 0 && played.output.contains(u"最近 3 天启动最多的 5 个游戏"_s),
             qPrintable(played.errors));
    QCOMPARE(serverRows(db.menuUri(), u"SELECT HotTop || '/' || HotDays FROM CatalogueServer"_s),
             QStringList{u"5/3"_s});
    QCOMPARE(runTool({u"set-hot"_s, db.operatorUri(), u"--top"_s, u"5"_s}).exitCode, 2);
    QCOMPARE(runTool({u"set-hot"_s, db.menuUri(), u"--flag"_s}).exitCode, 1);
    QCOMPARE(runTool({u"set-hot"_s, db.operatorUri(), u"--flag"_s}).exitCode, 0);
    // Launches past the days kept go, with their roll-ups.
    const Outcome pruned = runTool({u"set-hot"_s, db.operatorUri(), u"--flag"_s, u"--retention-days"_s, u"2"_s});
    QVERIFY2(pruned.exitCode == 0 && pruned.output.contains(u"已删除 1 条"_s),
             qPrintable(pruned.output + pruned.errors));
    QCOMPARE(serverRows(db.operatorUri(),
                        u"SELECT count(*) || '/' || (SELECT sum(Launches) FROM GameLaunchDaily)"
                        " FROM GameLaunch"_s),
             QStringList{u"3/3"_s});
    QCOMPARE(serverRows(db.menuUri(), u"SELECT HotTop IS NULL AND HotDays IS NULL FROM CatalogueServer"_s),
             QStringList{u"t"_s});
    const Outcome menu = runTool({u"clients"_s, db.menuUri()});
    QCOMPARE(menu.exitCode, 1);
    QVERIFY2(menu.errors.contains(u"没有所需的权限"_s), qPrintable(menu.errors));
}

void tst_CatalogueTool::statsAndTheRoomConsoleCountAlike_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("meanwhile"); // between a first read and the one compared
    QTest::newRow("today") << 1 << 20 << QString();
    QTest::newRow("7 days, top 2") << 7 << 2 << QString();
    QTest::newRow("30 days") << 30 << 20 << QString();
    QTest::newRow("400 days, top 1") << 400 << 1 << QString();
    // The period's counts as the day before left them: the day that has left the period goes.
    QTest::newRow("7 days, a day later")
        << 7 << 3
        << u"INSERT INTO GameLaunchPeriod AS w (Days, GameID, Launches) SELECT 7, d.GameID, d.Launches"
           " FROM GameLaunchDaily d, LaunchPeriod p WHERE p.Days = 7 AND d.Day = p.First - 1"
           " ON CONFLICT (Days, GameID) DO UPDATE SET Launches = w.Launches + excluded.Launches;"
           "UPDATE LaunchPeriod SET First = First - 1 WHERE Days = 7;"_s;
    const QString launches =
        u"SELECT room_client_hello('PC9');"
        "SELECT room_record_launch(gen_random_uuid(), 1 + i % 4, now() - i * interval '97 minutes')"
        "  FROM generate_series(1, 100) i;"_s;
    QTest::newRow("today, PCs starting games") << 1 << 20 << launches;
    QTest::newRow("30 days, PCs starting games") << 30 << 20 << launches;
    QTest::newRow("7 days, after a prune")
        << 7 << 20 << u"UPDATE CatalogueServer SET LaunchRetentionDays = 3; SELECT room_prune_launches(100000);"_s;
}

// The roll-ups behind both agree, to the launch, with a count over every launch in the period.
void tst_CatalogueTool::statsAndTheRoomConsoleCountAlike()
{
    QFETCH(int, days);
    QFETCH(int, top);
    QFETCH(QString, meanwhile);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY2(db.run(u"INSERT INTO GameList (GameName) SELECT '游戏' || i FROM generate_series(1, 4) i;"
                    "INSERT INTO ClientPresence (ClientName) SELECT 'PC' || i FROM generate_series(1, 5) i;"
                    "INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, ClientID, LaunchedAt)"
                    " SELECT gen_random_uuid(), 1 + (i * i) % 4, '', p.ClientName, p.ClientID,"
                    "        now() - i * interval '37 minutes'"
                    "   FROM generate_series(0, 2000) i JOIN ClientPresence p ON p.ClientID = 1 + (i * 7) % 5;"
                    "SELECT room_rebuild_rollups();"_s)
                 .isEmpty(),
             "room tables");
    if (!meanwhile.isEmpty()) {
        RoomReport::read(RoomReport::connect(db.operatorUri()).get(), days, top);
        const QString failure = db.run(meanwhile);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    // Counted the long way, over each launch's day in the room's zone.
    const QString period = u"(LaunchedAt AT TIME ZONE (SELECT RoomTimeZone FROM CatalogueServer))::date"
                           " > (now() AT TIME ZONE (SELECT RoomTimeZone FROM CatalogueServer))::date - %1"_s.arg(days);
    QString expected = u"排名,游戏名称,启动次数,机器数\r\n"_s;
    const QStringList ranked =
        serverRows(db.adminUri(),
                   u"SELECT row_number() OVER (ORDER BY count(*) DESC, g.GameName, g.GameID) || ',' || g.GameName"
                   " || ',' || count(*) || ',' || count(DISTINCT l.ClientID)"
                   " FROM GameLaunch l JOIN GameList g USING (GameID) WHERE %1"
                   " GROUP BY g.GameID, g.GameName ORDER BY count(*) DESC, g.GameName, g.GameID LIMIT %2"_s.arg(period)
                       .arg(top));
    for (const QString &row : ranked)
        expected += row + u"\r\n"_s;
    expected += serverRows(db.adminUri(),
                           u"SELECT '合计,,' || count(*) || ',' || count(DISTINCT ClientID)"
                           " FROM GameLaunch WHERE %1"_s.arg(period))
                    .value(0)
        + u"\r\n"_s;

    const Outcome stats = runTool({u"stats"_s, db.operatorUri(), u"--days"_s, QString::number(days), u"--top"_s,
                                   QString::number(top), u"--csv"_s});
    QVERIFY2(stats.exitCode == 0, qPrintable(stats.errors));
    QCOMPARE(stats.output, expected);
    const PgHelper::Connection conn = RoomReport::connect(db.operatorUri());
    const RoomReport report = RoomReport::read(conn.get(), days, top);
    QCOMPARE(RoomReportText::csv(report.ranking), expected);
    qint64 byHour = 0;
    for (const qint64 launches : report.launchesPerHour)
        byHour += launches;
    QCOMPARE(byHour, report.ranking.launches);
}

void tst_CatalogueTool::pushThenPullGivesBackTheSameTables()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QTemporaryDir source;
    QVERIFY(makeCatalogue(
        source.path(),
        u"INSERT INTO TypeList VALUES('射击游戏'),('It''s \"quoted\"'),(NULL),(''),('休闲游戏');\n"
        "INSERT INTO GameList VALUES(3,'CS反恐精英','射击游戏','是','C:\\Games\\CS\\','cs.exe','-game cstrike','无');\n"
        "INSERT INTO GameList VALUES(7,'Tom''s Game',NULL,'否','','',NULL,'');\n"
        "INSERT INTO GameList VALUES(12,'两行'||char(10)||'名字','休闲游戏','否','/g/','a','-x \"y z\"','i');\n"
        "SELECT 'ok';\n"_s));
    const Outcome pushed = runTool({u"push"_s, source.path(), db.operatorUri()});
    QVERIFY2(pushed.exitCode == 0, qPrintable(pushed.errors));

    QTemporaryDir target;
    const Outcome pulled = runTool({u"pull"_s, db.menuUri(), target.path()});
    QVERIFY2(pulled.exitCode == 0, qPrintable(pulled.errors));
    const QString original = dumpTables(source.path());
    QVERIFY2(original.contains(u"Tom''s Game"_s), qPrintable(original));
    QCOMPARE(dumpTables(target.path()), original);
    // A game added on the server later gets a number none of the copied games has.
    QCOMPARE(serverRows(db.operatorUri(), u"INSERT INTO GameList (GameName) VALUES ('新') RETURNING GameID > 12"_s),
             QStringList{u"t"_s});
}

void tst_CatalogueTool::pushRefusesAFilledCatalogueUnlessReplacing()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('旧游戏')"_s).isEmpty());
    QTemporaryDir source;
    QVERIFY(makeCatalogue(source.path(), u"INSERT INTO GameList (GameName) VALUES ('新游戏');\nSELECT 'ok';\n"_s));

    const Outcome refused = runTool({u"push"_s, source.path(), db.operatorUri()});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.errors.contains(u"--replace"_s), qPrintable(refused.errors));
    QCOMPARE(serverRows(db.adminUri(), gameNames), QStringList{u"旧游戏"_s});

    const QString identity = u"SELECT CatalogueId FROM CatalogueServer"_s;
    const QStringList before = serverRows(db.adminUri(), identity);
    QCOMPARE(before.size(), 1);
    const Outcome replaced = runTool({u"push"_s, source.path(), db.operatorUri(), u"--replace"_s});
    QVERIFY2(replaced.exitCode == 0, qPrintable(replaced.errors));
    QCOMPARE(serverRows(db.adminUri(), gameNames), QStringList{u"新游戏"_s});
    // Another catalogue: every menu reads it whole once, whatever its copy holds.
    QVERIFY(serverRows(db.adminUri(), identity) != before);
    // Deleted row by row, so the menus are told the old game went.
    QCOMPARE(serverRows(db.adminUri(), u"SELECT count(*) FROM CatalogueDeleted"_s), QStringList{u"1"_s});
}

void tst_CatalogueTool::pushThatFailsPartWayLeavesTheServerEmpty_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QStringList>("named"); // what the message names
    QTest::newRow("a value that is not text")
        << u"INSERT INTO TypeList VALUES('射击游戏');\n"
           "INSERT INTO GameList (GameID, GameName) VALUES (1, '甲'), (2, '乙');\n"
           "INSERT INTO GameList (GameID, GameName, GameCmd) VALUES (9, '丙', CAST(X'2D78FF' AS TEXT));\n"_s
        << QStringList{u"GameID 为 9"_s, u"GameCmd"_s};
    QTest::newRow("two categories of one name")
        << u"INSERT INTO TypeList VALUES('射击游戏'),(NULL),('休闲'),(NULL),('射击游戏');\n"_s
        << QStringList{u"同名的分类“射击游戏”"_s};
}

void tst_CatalogueTool::pushThatFailsPartWayLeavesTheServerEmpty()
{
    QFETCH(QString, rows);
    QFETCH(QStringList, named);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QTemporaryDir source;
    QVERIFY(makeCatalogue(source.path(), rows + u"SELECT 'ok';\n"_s));
    const Outcome outcome = runTool({u"push"_s, source.path(), db.adminUri()});
    QCOMPARE(outcome.exitCode, 1);
    for (const QString &part : named)
        QVERIFY2(outcome.errors.contains(part), qPrintable(outcome.errors));
    QCOMPARE(serverRows(db.adminUri(), u"SELECT count(*) FROM TypeList"_s), QStringList{u"0"_s});
    QCOMPARE(serverRows(db.adminUri(), u"SELECT count(*) FROM GameList"_s), QStringList{u"0"_s});
}

void tst_CatalogueTool::pullRefusesAnExistingFile()
{
    QTemporaryDir target;
    const QString path = target.filePath(u"GameDB.dbs"_s);
    QVERIFY(writeFile(path, "an operator's file"));
    const QStringList before = tree(target.path());
    // Refused before any server is asked.
    const Outcome outcome = runTool({u"pull"_s, u"postgresql://juyoutai_menu@127.0.0.1:1/none"_s, target.path()});
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.errors.contains(u"不会覆盖"_s), qPrintable(outcome.errors));
    QCOMPARE(tree(target.path()), before);
}

void tst_CatalogueTool::serverFailuresAreReported_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("uri"); // %1 is the test database's admin URI
    QTest::addColumn<bool>("withSchema");
    QTest::addColumn<QString>("message");
    QTest::newRow("bad URI") << u"push"_s << u"postgresql://a@127.0.0.1/x?nosuchoption=1"_s << true
                             << u"连接字符串无效"_s;
    QTest::newRow("nothing listening") << u"pull"_s << u"postgresql://a:b@127.0.0.1:1/x"_s << true
                                       << u"无法连接服务器"_s;
    QTest::newRow("wrong password") << u"pull"_s << u"juyoutai_menu:wrong"_s << true << u"用户名或密码错误"_s;
    QTest::newRow("menu role pushes") << u"push"_s << u"menu"_s << true << u"没有所需的权限"_s;
    QTest::newRow("no tables") << u"pull"_s << u"admin"_s << false << u"请先运行 server-init"_s;
}

void tst_CatalogueTool::serverFailuresAreReported()
{
    QFETCH(QString, command);
    QFETCH(QString, uri);
    QFETCH(bool, withSchema);
    QFETCH(QString, message);
    PgTestDatabase db(withSchema);
    JYT_REQUIRE_PG(db);
    if (uri == u"admin"_s)
        uri = db.adminUri();
    else if (uri == u"menu"_s)
        uri = db.menuUri();
    else if (!uri.contains(u"//"_s))
        uri = db.uriFor(uri.section(u':', 0, 0), uri.section(u':', 1));
    QTemporaryDir folder;
    QVERIFY(makeCatalogue(folder.path(), u"INSERT INTO GameList (GameName) VALUES ('甲');\nSELECT 'ok';\n"_s));
    const QString target = QDir(folder.path()).filePath(u"new"_s);
    QVERIFY(QDir().mkpath(target));

    const Outcome outcome =
        runTool(command == u"push"_s ? QStringList{command, folder.path(), uri} : QStringList{command, uri, target});
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.errors.contains(message), qPrintable(outcome.errors));
    QVERIFY(!QFileInfo::exists(QDir(target).filePath(u"GameDB.dbs"_s)));
}

void tst_CatalogueTool::operatorPasswordIsStoredOnlyAsAnArgon2idHash()
{
    QTemporaryDir target;
    QCOMPARE(runTool({u"init-demo"_s, target.path()}).exitCode, 0);
    const QString file = target.filePath(u"GameDB.dbs"_s);
    const QString before = sqlcipherShell(file, u".dump\n"_s);
    QVERIFY2(before.contains(u"INSERT INTO \"GameList\""_s) || before.contains(u"INSERT INTO GameList"_s),
             qPrintable(before));

    const Outcome set = runTool({u"set-operator-password"_s, target.path()}, "Geheim-口令\n");
    QVERIFY2(set.exitCode == 0, qPrintable(set.errors));
    const QString after = sqlcipherShell(file, u".dump\n"_s);
    QCOMPARE(withoutSettings(after), withoutSettings(before));
    const QString stored = sqlcipherShell(file, u"SELECT Name, Value FROM Settings;\n"_s);
    QVERIFY2(stored.startsWith(u"OperatorPassword|$argon2id$"_s), qPrintable(stored));
    QVERIFY(!after.contains(u"Geheim"_s));

    const Outcome cleared = runTool({u"set-operator-password"_s, u"--clear"_s, target.path()});
    QVERIFY2(cleared.exitCode == 0, qPrintable(cleared.errors));
    QCOMPARE(sqlcipherShell(file, u"SELECT count(*) FROM Settings;\n"_s), u"0\n"_s);
    QCOMPARE(withoutSettings(sqlcipherShell(file, u".dump\n"_s)), withoutSettings(before));
}

void tst_CatalogueTool::operatorPasswordIsAskedTwiceWithoutEchoOnATerminal()
{
    QTemporaryDir target;
    QCOMPARE(runTool({u"init"_s, target.path()}).exitCode, 0);
    const QString file = target.filePath(u"GameDB.dbs"_s);
    // script(1) gives the tool a terminal of its own; each line is typed once its prompt shows.
    const auto onTerminal = [&](const QByteArrayList &lines) {
        QProcess process;
        process.start(
            u"script"_s,
            {u"-qec"_s,
             u"'"_s + QStringLiteral(JYT_CATALOGUE_TOOL) + u"' set-operator-password '"_s + target.path() + u"'"_s,
             u"/dev/null"_s});
        QByteArray shown;
        const QList<QByteArray> prompts{"请输入管理员密码:", "请再次输入:"};
        for (qsizetype i = 0; i < lines.size(); ++i) {
            while (!shown.contains(prompts.at(i)) && process.waitForReadyRead(30000))
                shown += process.readAllStandardOutput();
            process.write(lines.at(i) + '\n');
        }
        if (!process.waitForFinished(60000))
            return Outcome{};
        return Outcome{process.exitCode(), QString::fromUtf8(shown + process.readAllStandardOutput()), QString()};
    };
    const Outcome mismatch = onTerminal({"first-one", "second-one"});
    QVERIFY2(mismatch.exitCode != 0, qPrintable(mismatch.output));
    QVERIFY2(mismatch.output.contains(u"请输入管理员密码:"_s), qPrintable(mismatch.output));
    QVERIFY2(mismatch.output.contains(u"请再次输入:"_s), qPrintable(mismatch.output));
    QVERIFY2(mismatch.output.contains(u"两次输入的密码不一致"_s), qPrintable(mismatch.output));
    QVERIFY2(!mismatch.output.contains(u"first-one"_s), qPrintable(mismatch.output));
    QVERIFY(sqlcipherShell(file, u"SELECT count(*) FROM Settings;\n"_s).contains(u"no such table"_s));

    const Outcome same = onTerminal({"same-one", "same-one"});
    QVERIFY2(same.exitCode == 0, qPrintable(same.output));
    QVERIFY2(!same.output.contains(u"same-one"_s), qPrintable(same.output));
    QVERIFY(sqlcipherShell(file, u"SELECT Value FROM Settings;\n"_s).startsWith(u"$argon2id$"_s));

    const QString stored = sqlcipherShell(file, u"SELECT Value FROM Settings;\n"_s);
    const Outcome overlong = onTerminal({QByteArray(1100, 'x')});
    QVERIFY2(overlong.exitCode == 1, qPrintable(overlong.output));
    QVERIFY2(overlong.output.contains(u"密码过长"_s), qPrintable(overlong.output));
    QVERIFY2(!overlong.output.contains(u"xxxx"_s), qPrintable(overlong.output));
    QCOMPARE(sqlcipherShell(file, u"SELECT Value FROM Settings;\n"_s), stored);
}

void tst_CatalogueTool::operatorPasswordRefusesBadInput_data()
{
    QTest::addColumn<QString>("setUp"); // what the target folder holds
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty password") << u"catalogue"_s << QByteArray("\n") << u"密码不能为空"_s;
    QTest::newRow("nothing on stdin") << u"catalogue"_s << QByteArray() << u"密码不能为空"_s;
    QTest::newRow("no folder") << u"nothing"_s << QByteArray("pw\n") << u"目录不存在"_s;
    QTest::newRow("no catalogue") << u"empty"_s << QByteArray("pw\n") << u"找不到游戏目录文件"_s;
    QTest::newRow("other key") << u"other key"_s << QByteArray("pw\n") << u"密钥不符"_s;
    QTest::newRow("read-only file") << u"read-only"_s << QByteArray("pw\n") << u"只读"_s;
    // Read no further than the limit: an endless input (< /dev/zero) ends the tool just as fast.
    QTest::newRow("over 1 KiB without a newline") << u"catalogue"_s << QByteArray(1025, '\0') << u"密码过长"_s;
}

void tst_CatalogueTool::operatorPasswordRefusesBadInput()
{
    QFETCH(QString, setUp);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    QTemporaryDir target;
    const QString file = target.filePath(u"GameDB.dbs"_s);
    QString folder = target.path();
    if (setUp == u"nothing"_s)
        folder = target.filePath(u"missing"_s);
    else if (setUp == u"other key"_s)
        sqlcipherShell(file, u"CREATE TABLE TypeList(TypeName TEXT);\n"_s, u"another-key"_s);
    else if (setUp != u"empty"_s)
        QCOMPARE(runTool({u"init"_s, folder}).exitCode, 0);
    if (setUp == u"read-only"_s)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QStringList before = tree(target.path());

    const Outcome outcome = runTool({u"set-operator-password"_s, folder}, input);
    QVERIFY2(outcome.exitCode == 1, qPrintable(outcome.errors));
    QVERIFY2(outcome.errors.contains(message), qPrintable(outcome.errors));
    QCOMPARE(tree(target.path()), before);
}

QTEST_GUILESS_MAIN(tst_CatalogueTool)
#include "tst_CatalogueTool.moc"
