#include "PgTestDatabase.h"
#include "PrivatePgServer.h"

#include "cafe/CafeClient.h"
#include "cafe/CafeMode.h"
#include "cafe/ServerSchema.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// "TypeName" rows, then "GameID GameName" rows, of a catalogue file; an error text when it cannot be read.
QStringList rowsOf(const QString &path)
{
    QStringList rows;
    try {
        CatalogueConnection connection;
        connection.Open(path, QString::fromUtf16(Catalogue::Password));
        for (const CatalogueRow &row : connection.query(u"SELECT rowid, TypeName FROM TypeList"_s)->rows)
            rows.append(row.values.at(0));
        for (const CatalogueRow &row : connection.query(u"SELECT rowid, GameID, GameName FROM GameList"_s)->rows)
            rows.append(row.values.at(0) + u' ' + row.values.at(1));
    } catch (const CatalogueError &error) {
        rows = {error.message(u"unreadable: "_s)};
    }
    return rows;
}

// Runs SQL as the given role; returns the server's error text, empty on success.
QString runAs(const QString &uri, const QString &sql)
{
    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    PGresult *result = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(result);
    const QString error =
        status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ? QString() : QString::fromUtf8(PQerrorMessage(conn));
    PQclear(result);
    PQfinish(conn);
    return error;
}

} // namespace

class tst_CafeClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void firstSyncWritesACopyTheShellReads();
    void operatorChangesArriveWithinTwoSeconds();
    void lostServerLeavesTheCopyAndIsReadAgainWhenBack();
    void unwritableFolderMovesTheCopyToAPrivatePlace();
    void offlineStartReadsTheNewerOfTheTwoCopies();
    void leftoversOfEndedWritersOnThisMachineGo();
    void wrongPasswordGoesOfflineAtOnce();
    void silentServerTimesOutAsTheAddressSays();
    void closingNeverWaitsForAStuckSyncThread();
};

void tst_CafeClient::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_CafeClient::firstSyncWritesACopyTheShellReads()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO TypeList (TypeName) VALUES ('动作'), ('棋牌');"
                   "INSERT INTO GameList (GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon) VALUES"
                   " ('扫雷', '棋牌', '是', 'C:\\games\\', 'mine.exe', '无', '无'),"
                   " ('跑跑', '动作', '否', 'C:\\run\\', 'run.exe', '-w', 'run.ico');"
                   "DELETE FROM GameList WHERE GameName = '扫雷';"
                   "INSERT INTO GameList (GameName, GameType) VALUES ('象棋', '棋牌')"_s)
                .isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"GameDB.dbs"_s);
    CafeMode cafe(db.menuUri(), copy);
    QVERIFY(cafe.waitForFirstSync(10000));

    // The shell of the encryption library, not our own reader, decides that the file is sound.
    QProcess shell;
    shell.start(u"sqlcipher"_s, {copy});
    shell.write("PRAGMA key = 'zmkrot';\n"
                "SELECT TypeName FROM TypeList;\n"
                "SELECT GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon FROM GameList;\n"
                "SELECT count(*) FROM GameList WHERE GameHot IS NULL AND GameIcon IS NULL;\n"
                "PRAGMA integrity_check;\n");
    shell.closeWriteChannel();
    QVERIFY(shell.waitForFinished(30000));
    QStringList lines = QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeAll(u"ok"_s);
    QCOMPARE(lines,
             (QStringList{u"动作"_s, u"棋牌"_s, u"2|跑跑|动作|否|C:\\run\\|run.exe|-w|run.ico"_s, u"3|象棋|棋牌|||||"_s,
                          u"1"_s}));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"GameDB.dbs"_s});
}

void tst_CafeClient::operatorChangesArriveWithinTwoSeconds()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('一')"_s).isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"GameDB.dbs"_s);
    CafeMode cafe(db.menuUri(), copy);
    QVERIFY(cafe.waitForFirstSync(10000));
    QCOMPARE(rowsOf(copy), QStringList{u"1 一"_s});

    // Nothing polls: only the server's notification can bring these in time.
    const QString op = db.operatorUri();
    QVERIFY(
        runAs(op, u"INSERT INTO TypeList (TypeName) VALUES ('新类'); INSERT INTO GameList (GameName) VALUES ('二')"_s)
            .isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(copy), (QStringList{u"新类"_s, u"1 一"_s, u"2 二"_s}), 2000);
    QVERIFY(runAs(op, u"UPDATE GameList SET GameName = '壹' WHERE GameName = '一'"_s).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(copy), (QStringList{u"新类"_s, u"1 壹"_s, u"2 二"_s}), 2000);
    QVERIFY(runAs(op, u"delete From GameList Where GameName= '壹'; DELETE FROM TypeList"_s).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(copy), QStringList{u"2 二"_s}, 2000);
}

void tst_CafeClient::lostServerLeavesTheCopyAndIsReadAgainWhenBack()
{
    PrivatePgServer server;
    if (server.adminUri().isEmpty() && !PgTestDatabase::required())
        QSKIP("no private PostgreSQL server could be started");
    PgTestDatabase db(server.adminUri());
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('一')"_s).isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"GameDB.dbs"_s);
    CafeMode cafe(db.menuUri(), copy);
    QVERIFY(cafe.waitForFirstSync(10000));
    QSignalSpy offline(&cafe, &CafeMode::offline);
    QSignalSpy synced(&cafe, &CafeMode::synced);

    QVERIFY(server.run(u"pause"_s));
    QTRY_COMPARE_WITH_TIMEOUT(offline.count(), 1, 10000);
    QVERIFY(!cafe.online());
    QCOMPARE(rowsOf(copy), QStringList{u"1 一"_s});

    QVERIFY(server.run(u"resume"_s));
    QTRY_VERIFY_WITH_TIMEOUT(cafe.online(), 15000);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('二')"_s).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(copy), (QStringList{u"1 一"_s, u"2 二"_s}), 2000);
    QCOMPARE(offline.count(), 1);
}

void tst_CafeClient::unwritableFolderMovesTheCopyToAPrivatePlace()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('一')"_s).isEmpty());
    QFile::remove(CafeClient::fallbackCopyPath());
    QTemporaryDir dir;
    // A folder where the file should be: nothing can be renamed over it.
    const QString copy = dir.filePath(u"GameDB.dbs"_s);
    QVERIFY(QDir().mkpath(copy));
    CafeMode cafe(db.menuUri(), copy);
    QSignalSpy relocated(&cafe, &CafeMode::copyRelocated);
    QVERIFY(cafe.waitForFirstSync(10000));
    QCOMPARE(relocated.count(), 1);
    QCOMPARE(cafe.copyPath(), CafeClient::fallbackCopyPath());
    QCOMPARE(rowsOf(cafe.copyPath()), QStringList{u"1 一"_s});
    QVERIFY(QFileInfo(copy).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QFile::remove(CafeClient::fallbackCopyPath());
}

void tst_CafeClient::offlineStartReadsTheNewerOfTheTwoCopies()
{
    // A full disk sent the last copy to the private place; the one beside the program is older.
    QTemporaryDir dir;
    const QString beside = dir.filePath(u"GameDB.dbs"_s);
    QVERIFY(CatalogueCopy().writeTo(beside).isEmpty());
    QFile old(beside);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    QVERIFY(QDir().mkpath(QFileInfo(CafeClient::fallbackCopyPath()).absolutePath()));
    QVERIFY(CatalogueCopy().writeTo(CafeClient::fallbackCopyPath()).isEmpty());
    const auto remove = qScopeGuard([] { QFile::remove(CafeClient::fallbackCopyPath()); });
    QCOMPARE(CafeClient(u"host=127.0.0.1 port=1"_s, beside).copyPath(), CafeClient::fallbackCopyPath());
}

void tst_CafeClient::leftoversOfEndedWritersOnThisMachineGo()
{
    qint64 endedPid = 0; // a process number no process holds any more
    {
        QProcess ended;
        ended.start(u"true"_s);
        QVERIFY(ended.waitForStarted());
        endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"GameDB.dbs"_s);
    const QString gone = CatalogueCopy::temporaryPrefix(path, endedPid) + u"0123456789abcdef.tmp"_s;
    // A writer still running here, and one on another machine sharing the folder, keep theirs.
    const QString running = CatalogueCopy::temporaryPrefix(path, ::getppid()) + u"0123456789abcdef.tmp"_s;
    const QString elsewhere = dir.filePath(u".GameDB.dbs-otherpc-%1-0123456789abcdef.tmp"_s.arg(endedPid));
    for (const QString &file : {gone, gone + u"-journal"_s, running, elsewhere}) {
        QFile leftover(file);
        QVERIFY(leftover.open(QIODevice::WriteOnly));
    }
    QVERIFY(CatalogueCopy().writeTo(path).isEmpty());
    QStringList kept{QFileInfo(elsewhere).fileName(), QFileInfo(running).fileName(), u"GameDB.dbs"_s};
    kept.sort();
    QStringList listed = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    listed.sort();
    QCOMPARE(listed, kept);
}

void tst_CafeClient::wrongPasswordGoesOfflineAtOnce()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QTemporaryDir dir;
    CafeMode cafe(db.uriFor(QString::fromLatin1(ServerSchema::MenuRole), u"wrong"_s), dir.filePath(u"GameDB.dbs"_s));
    QSignalSpy offline(&cafe, &CafeMode::offline);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!cafe.waitForFirstSync(CafeMode::StartUpWaitMs));
    QCOMPARE(offline.count(), 1);
    QVERIFY(clock.elapsed() < CafeMode::StartUpWaitMs);
    QVERIFY(!QFileInfo::exists(dir.filePath(u"GameDB.dbs"_s)));
}

void tst_CafeClient::silentServerTimesOutAsTheAddressSays()
{
    // A port whose connections the kernel completes but nobody ever answers: a server that hangs.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    QVERIFY(::listen(listener, 4) == 0);
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    const QString uri =
        u"postgresql://juyoutai_menu:x@127.0.0.1:%1/juyoutai?connect_timeout=2"_s.arg(ntohs(address.sin_port));

    QTemporaryDir dir;
    CafeMode cafe(uri, dir.filePath(u"GameDB.dbs"_s));
    QSignalSpy offline(&cafe, &CafeMode::offline);
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(offline.count(), 1, 10000);
    const qint64 elapsed = clock.elapsed();
    ::close(listener);
    QVERIFY2(elapsed >= 1500 && elapsed < CafeClient::ConnectTimeoutMs, qPrintable(QString::number(elapsed)));
}

void tst_CafeClient::closingNeverWaitsForAStuckSyncThread()
{
    // libpq reads the service file of PGSERVICE as it starts to connect; a FIFO holds it there.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(u"services"_s));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    qputenv("PGSERVICEFILE", fifo);
    qputenv("PGSERVICE", "juyoutai");
    auto cafe = std::make_unique<CafeMode>(u"host=127.0.0.1 port=1"_s, dir.filePath(u"GameDB.dbs"_s));
    int writer = -1;
    // Opening the writing end succeeds once the sync thread waits at the reading end.
    QTRY_VERIFY((writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0);
    qunsetenv("PGSERVICEFILE");
    qunsetenv("PGSERVICE");
    QElapsedTimer clock;
    clock.start();
    cafe.reset();
    const qint64 elapsed = clock.elapsed();
    ::close(writer);
    QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
    QVERIFY(CafeMode::threadLeftRunning());
}

QTEST_GUILESS_MAIN(tst_CafeClient)
#include "tst_CafeClient.moc"
