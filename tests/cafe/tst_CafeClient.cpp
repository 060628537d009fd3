#include "PgTestDatabase.h"
#include "PrivatePgServer.h"

#include "cafe/CafeClient.h"
#include "cafe/CafeMode.h"
#include "cafe/RoomSchema.h"
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
#include <QUrl>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <libpq-fe.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <memory>

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

// Rows and deletion markers the client has taken from the server, asked on its own thread.
qint64 rowsReadBy(const CafeMode &cafe)
{
    qint64 rows = 0;
    CafeClient *client = cafe.client();
    QMetaObject::invokeMethod(
        client, [&rows, client] { rows = client->rowsRead(); }, Qt::BlockingQueuedConnection);
    return rows;
}

qsizetype launchesWaitingIn(const CafeMode &cafe)
{
    qsizetype waiting = 0;
    CafeClient *client = cafe.client();
    QMetaObject::invokeMethod(
        client, [&waiting, client] { waiting = client->launchesWaiting(); }, Qt::BlockingQueuedConnection);
    return waiting;
}

// The operator's view of the room: "name online lastGame" per PC.
QStringList presenceOf(const PgTestDatabase &db)
{
    PGconn *conn = PQconnectdb(db.adminUri().toUtf8().constData());
    PGresult *result = PQexec(conn, RoomSchema::ClientsSql);
    QStringList rows;
    for (int r = 0; r < PQntuples(result); ++r)
        rows.append(QStringList{QString::fromUtf8(PQgetvalue(result, r, 0)),
                                QString::fromUtf8(PQgetvalue(result, r, 1)),
                                QString::fromUtf8(PQgetvalue(result, r, 3))}
                        .join(u' '));
    PQclear(result);
    PQfinish(conn);
    return rows;
}

} // namespace

// A port that passes each connection through to 127.0.0.1:serverPort, the server's bytes a few at a
// time with a pause between: a server on a slow link.
class SlowLink
{
public:
    explicit SlowLink(int serverPort)
        : m_listener(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, serverPort] { pass(serverPort); });
    }
    ~SlowLink()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    int port() const { return m_port; }

private:
    static sockaddr_in loopback(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(port));
        return address;
    }
    void pass(int serverPort)
    {
        std::vector<std::pair<int, int>> links; // client, server
        while (!m_stop) {
            std::vector<pollfd> watched{{m_listener, POLLIN, 0}};
            for (const auto &[client, server] : links) {
                watched.push_back({client, POLLIN, 0});
                watched.push_back({server, POLLIN, 0});
            }
            if (::poll(watched.data(), watched.size(), 20) <= 0)
                continue;
            std::vector<std::pair<int, int>> open;
            for (size_t link = 0; link < links.size(); ++link) {
                const auto [client, server] = links[link];
                bool ended = false;
                for (const int side : {0, 1}) {
                    const pollfd &ready = watched[1 + 2 * link + size_t(side)];
                    if (ended || !(ready.revents & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    // What the server sends trickles: 128 bytes each 20 ms.
                    char bytes[4096];
                    const ssize_t got = ::read(ready.fd, bytes, side ? 128 : sizeof bytes);
                    ended = got <= 0 || ::send(side ? client : server, bytes, size_t(got), MSG_NOSIGNAL) != got;
                    if (side && !ended)
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                if (ended) {
                    ::close(client);
                    ::close(server);
                } else {
                    open.emplace_back(client, server);
                }
            }
            if (watched[0].revents & POLLIN) {
                const int client = ::accept(m_listener, nullptr, nullptr);
                const int server = ::socket(AF_INET, SOCK_STREAM, 0);
                const sockaddr_in address = loopback(serverPort);
                ::connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address);
                open.emplace_back(client, server);
            }
            links = open;
        }
        for (const auto &[client, server] : links) {
            ::close(client);
            ::close(server);
        }
    }

    int m_listener;
    int m_port = 0;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

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
    void slowLinkReadsAsLongAsRowsKeepComing();
    void busyThreadTakesTheAnswerWaitingAtItsDeadline();
    void startsFromTheCopyAndReadsWhatItMustOnly_data();
    void startsFromTheCopyAndReadsWhatItMustOnly();
    void launchesMadeOfflineAreSentOnceWhenTheServerIsBack();
    void aLaunchTheServerFailsStaysAloneInTheQueue();
    void markerOfAnUnknownKindIsLeftAlone();
    void retryPausesAreFullyJittered();
    void twoPcsWithTheSameNameShareOneRow();
    void hotRuleReachesRunningClientsWithinSeconds();
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

void tst_CafeClient::slowLinkReadsAsLongAsRowsKeepComing()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName, GameType, GamePath, GameRun)"
                   " SELECT '游戏' || g, '动作', 'C:\\games\\' || g, 'run.exe' FROM generate_series(1, 400) g"_s)
                .isEmpty());
    QUrl address(db.menuUri());
    const SlowLink link(address.port());
    address.setPort(link.port());
    QTemporaryDir dir;
    // The whole read takes seconds over the link, each piece of it far less than the patience.
    CafeClient client(address.toString(), dir.filePath(u"GameDB.dbs"_s));
    client.setReadTimeoutMs(1500);
    QSignalSpy synced(&client, &CafeClient::synced);
    QSignalSpy offline(&client, &CafeClient::offline);
    QElapsedTimer clock;
    clock.start();
    client.start();
    QTRY_VERIFY_WITH_TIMEOUT(synced.count() + offline.count() > 0, 60000);
    QVERIFY2(offline.isEmpty(), qPrintable(offline.value(0).value(0).toString()));
    QCOMPARE(client.gameCount(), 400);
    QVERIFY2(clock.elapsed() > 1500, "the link was not slow enough to test the patience");
    client.stop();
}

void tst_CafeClient::busyThreadTakesTheAnswerWaitingAtItsDeadline()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QUrl address(db.menuUri());
    QUrlQuery options(address);
    options.addQueryItem(u"connect_timeout"_s, u"2"_s);
    address.setQuery(options);
    QTemporaryDir dir;
    CafeClient client(address.toString(), dir.filePath(u"GameDB.dbs"_s));
    QSignalSpy synced(&client, &CafeClient::synced);
    QSignalSpy offline(&client, &CafeClient::offline);
    client.start();
    // The client's thread is kept from its socket past its patience while the server answers at once.
    QTest::qSleep(3000);
    QTRY_VERIFY_WITH_TIMEOUT(synced.count() + offline.count() > 0, 30000);
    QVERIFY2(offline.isEmpty(), qPrintable(offline.value(0).value(0).toString()));
    client.stop();
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

void tst_CafeClient::startsFromTheCopyAndReadsWhatItMustOnly_data()
{
    QTest::addColumn<QString>("afterCopy");
    QTest::addColumn<bool>("otherCatalogue");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<qint64>("rowsRead");
    QTest::addColumn<QString>("onCopy");
    QTest::newRow("two changes") << u"UPDATE GameList SET GameName = '壹' WHERE GameID = 1;"
                                    "DELETE FROM GameList WHERE GameID = 2"_s
                                 << false << QStringList{u"1 壹"_s, u"3 三"_s} << qint64(2) << QString();
    QTest::newRow("another server") << QString() << true << QStringList{u"1 甲"_s} << qint64(1) << QString();
    QTest::newRow("replaced") << u"SELECT catalogue_renew_identity()"_s << false
                              << QStringList{u"1 一"_s, u"2 二"_s, u"3 三"_s} << qint64(3) << QString();
    // What the file says it mirrors is checked, and never reaches the server as statement text.
    QTest::newRow("statements in the copy's state")
        << u"UPDATE GameList SET GameName = '壹' WHERE GameID = 1"_s << false
        << QStringList{u"1 壹"_s, u"2 二"_s, u"3 三"_s} << qint64(3)
        << u"UPDATE CafeSync SET Horizon = '0''; DROP TABLE GameList; --',"
           " CatalogueId = '''; DROP TABLE CatalogueServer; --'"_s;
    // The marker of game 2 is pruned; the one of game 4 is not, so only the horizon can tell.
    QTest::newRow("older than the pruning") << u"DELETE FROM GameList WHERE GameID = 2;"
                                               "UPDATE CatalogueDeleted SET DeletedAt = now() - interval '31 days';"
                                               "INSERT INTO GameList (GameID, GameName) VALUES (4, '四');"
                                               "DELETE FROM GameList WHERE GameID = 4"_s
                                            << false << QStringList{u"1 一"_s, u"3 三"_s} << qint64(3) << QString();
    QTest::newRow("server set up by an older version")
        << u"DROP TABLE CatalogueServer CASCADE; DELETE FROM GameList WHERE GameID = 3"_s << false
        << QStringList{u"1 一"_s, u"2 二"_s} << qint64(3) << QString();
}

void tst_CafeClient::startsFromTheCopyAndReadsWhatItMustOnly()
{
    QFETCH(QString, afterCopy);
    QFETCH(bool, otherCatalogue);
    QFETCH(QStringList, rows);
    QFETCH(qint64, rowsRead);
    QFETCH(QString, onCopy);
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('一'), ('二'), ('三')"_s).isEmpty());
    // Another test's transaction still open on the shared server would keep these rows above the
    // copy's horizon and have them read again; the copy is taken once none is.
    QVERIFY(db.run(u"DO $$ BEGIN FOR i IN 1..400 LOOP"
                   " EXIT WHEN pg_snapshot_xmin(pg_current_snapshot()) > (SELECT max(RowVersion) FROM GameList);"
                   " PERFORM pg_sleep(0.05); END LOOP; END $$"_s)
                .isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"GameDB.dbs"_s);
    {
        CafeMode cafe(db.menuUri(), copy);
        QVERIFY(cafe.waitForFirstSync(10000));
    }
    PgTestDatabase other;
    QVERIFY(other.run(u"INSERT INTO GameList (GameName) VALUES ('甲')"_s).isEmpty());
    if (!afterCopy.isEmpty())
        QCOMPARE(db.run(afterCopy), QString());
    if (!onCopy.isEmpty()) {
        CatalogueConnection file;
        file.Open(copy, QString::fromUtf16(Catalogue::Password));
        file.Execute(onCopy);
    }

    CafeMode cafe(otherCatalogue ? other.menuUri() : db.menuUri(), copy);
    QVERIFY(cafe.waitForFirstSync(10000));
    QCOMPARE(rowsOf(copy), rows);
    QCOMPARE(rowsReadBy(cafe), rowsRead);
    QCOMPARE(db.run(u"SELECT FROM GameList"_s), QString());
}

void tst_CafeClient::launchesMadeOfflineAreSentOnceWhenTheServerIsBack()
{
    PrivatePgServer server;
    if (server.adminUri().isEmpty() && !PgTestDatabase::required())
        QSKIP("no private PostgreSQL server could be started");
    PgTestDatabase db(server.adminUri());
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('一'), ('二'), ('三')"_s).isEmpty());
    QTemporaryDir dir;
    CafeMode cafe(db.menuUri(), dir.filePath(u"GameDB.dbs"_s), u"PC-01"_s);
    QVERIFY(cafe.waitForFirstSync(10000));
    QSignalSpy answered(cafe.client(), &CafeClient::launchAnswered);
    cafe.recordLaunch(1, u"一"_s);
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 5000);

    QVERIFY(server.run(u"pause"_s));
    QTRY_VERIFY_WITH_TIMEOUT(!cafe.online(), 10000);
    cafe.recordLaunch(2, u"二"_s);
    cafe.recordLaunch(3, u"三"_s);
    QVERIFY(server.run(u"resume"_s));
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 3, 15000);
    QCOMPARE(answered.at(1).at(0).toString(), u"recorded"_s);
    QCOMPARE(answered.at(2).at(0).toString(), u"recorded"_s);
    // Lost again and back again: nothing is sent a second time.
    QVERIFY(server.run(u"pause"_s));
    QTRY_VERIFY_WITH_TIMEOUT(!cafe.online(), 10000);
    QVERIFY(server.run(u"resume"_s));
    QTRY_VERIFY_WITH_TIMEOUT(cafe.online(), 15000);
    PGconn *conn = PQconnectdb(db.adminUri().toUtf8().constData());
    QCOMPARE(PgTestDatabase::firstColumn(conn, u"SELECT GameName FROM GameLaunch ORDER BY LaunchedAt"_s),
             (QStringList{u"一"_s, u"二"_s, u"三"_s}));
    QCOMPARE(PgTestDatabase::firstColumn(conn,
                                         u"SELECT count(*) FROM GameLaunch"
                                         " WHERE ClientName = 'PC-01' AND LaunchedAt <= now()"_s),
             QStringList{u"3"_s});
    PQfinish(conn);
    QCOMPARE(answered.count(), 3);
}

void tst_CafeClient::aLaunchTheServerFailsStaysAloneInTheQueue()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    // The server fails the launches of game 2 as a fault would, and takes the others as usual.
    QCOMPARE(db.run(u"INSERT INTO GameList (GameName) VALUES ('一'), ('二'), ('三');"
                    "ALTER FUNCTION room_record_launch(uuid, bigint, timestamptz) RENAME TO room_record_launch_held;"
                    "CREATE FUNCTION room_record_launch(launch uuid, game bigint, at timestamptz) RETURNS text"
                    " LANGUAGE plpgsql AS $$ BEGIN IF game = 2 THEN RAISE EXCEPTION 'out of order'; END IF;"
                    " RETURN room_record_launch_held(launch, game, at); END $$;"
                    "GRANT EXECUTE ON FUNCTION room_record_launch_held(uuid, bigint, timestamptz) TO juyoutai_menu"_s),
             QString());
    QTemporaryDir dir;
    CafeMode cafe(db.menuUri(), dir.filePath(u"GameDB.dbs"_s), u"PC-01"_s);
    QSignalSpy answered(cafe.client(), &CafeClient::launchAnswered);
    // Made before the first read: they go to the server together.
    for (const qint64 game : {1, 2, 3})
        cafe.recordLaunch(game, QString());
    QVERIFY(cafe.waitForFirstSync(10000));
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 2, 5000);
    QCOMPARE(launchesWaitingIn(cafe), 1);
    PGconn *conn = PQconnectdb(db.adminUri().toUtf8().constData());
    const QString recorded = u"SELECT string_agg(GameID::text, ' ' ORDER BY GameID) FROM GameLaunch"_s;
    QCOMPARE(PgTestDatabase::firstColumn(conn, recorded), QStringList{u"1 3"_s});

    // Mended: the next start sends the one kept as well, and nothing is counted twice.
    QCOMPARE(db.run(u"DROP FUNCTION room_record_launch(uuid, bigint, timestamptz);"
                    "ALTER FUNCTION room_record_launch_held(uuid, bigint, timestamptz) RENAME TO room_record_launch"_s),
             QString());
    cafe.recordLaunch(3, QString());
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 4, 5000);
    QCOMPARE(launchesWaitingIn(cafe), 0);
    QCOMPARE(PgTestDatabase::firstColumn(conn, recorded), QStringList{u"1 2 3"_s});
    PQfinish(conn);
}

void tst_CafeClient::markerOfAnUnknownKindIsLeftAlone()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO TypeList (TypeName) VALUES ('动作'); INSERT INTO GameList (GameName) VALUES ('一')"_s)
                .isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"GameDB.dbs"_s);
    CafeMode cafe(db.menuUri(), copy);
    QVERIFY(cafe.waitForFirstSync(10000));
    QCOMPARE(rowsOf(copy), (QStringList{u"动作"_s, u"1 一"_s}));
    // A server of another version, or one tampered with, may hold kinds its own check would refuse.
    QCOMPARE(db.run(u"ALTER TABLE CatalogueDeleted DROP CONSTRAINT IF EXISTS CatalogueDeleted_Kind;"
                    "INSERT INTO CatalogueDeleted (TableName, RowKey) SELECT 'TypeList', TypeID FROM TypeList;"
                    "UPDATE GameList SET GameName = '壹'"_s),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(copy), (QStringList{u"动作"_s, u"1 壹"_s}), 5000);
}

void tst_CafeClient::retryPausesAreFullyJittered()
{
    for (int failures = 0; failures < 40; ++failures) {
        const qint64 ceiling =
            qMin<qint64>(CafeClient::LongestRetryMs, qint64(CafeClient::FirstRetryMs) << qMin(failures, 20));
        QCOMPARE(CafeClient::retryDelayMs(failures, 0.0), 0);
        QCOMPARE(CafeClient::retryDelayMs(failures, 0.5), int(ceiling / 2));
        QVERIFY(qAbs(CafeClient::retryDelayMs(failures, 0.999999) - ceiling) <= 1);
    }
    QCOMPARE(CafeClient::LongestRetryMs, 60000);
    QVERIFY(CafeClient::ConnectTimeoutMs >= 20000);
    QCOMPARE(RoomReporter::hotRefreshDelayMs(0.0), RoomReporter::HotRefreshMs * 8 / 10);
    QCOMPARE(RoomReporter::hotRefreshDelayMs(0.5), RoomReporter::HotRefreshMs);
    QCOMPARE(RoomReporter::hotRefreshDelayMs(1.0), RoomReporter::HotRefreshMs * 12 / 10);
}

void tst_CafeClient::twoPcsWithTheSameNameShareOneRow()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameID, GameName) VALUES (7, '扫雷')"_s).isEmpty());
    QTemporaryDir dir;
    auto first = std::make_unique<CafeMode>(db.menuUri(), dir.filePath(u"a.dbs"_s), u"同名"_s);
    CafeMode second(db.menuUri(), dir.filePath(u"b.dbs"_s), u"同名"_s);
    QVERIFY(first->waitForFirstSync(10000));
    QVERIFY(second.waitForFirstSync(10000));
    QTRY_COMPARE_WITH_TIMEOUT(presenceOf(db), QStringList{u"同名 t "_s}, 5000);
    // Both have named themselves (each within a few seconds of its first read).
    PGconn *conn = PQconnectdb(db.adminUri().toUtf8().constData());
    const QString presenceLocks =
        u"SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND classid = %1"
        " AND database = (SELECT oid FROM pg_database WHERE datname = current_database())"_s.arg(
            RoomSchema::PresenceLock);
    QTRY_COMPARE_WITH_TIMEOUT(PgTestDatabase::firstColumn(conn, presenceLocks), QStringList{u"2"_s}, 5000);
    second.recordLaunch(7, u"扫雷"_s);
    QTRY_COMPARE_WITH_TIMEOUT(presenceOf(db), QStringList{u"同名 t 扫雷"_s}, 5000);
    // One of them going does not take the other off the list of PCs that are on.
    first.reset();
    const QString menuConnections =
        u"SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND usename = 'juyoutai_menu'"_s;
    QTRY_COMPARE_WITH_TIMEOUT(PgTestDatabase::firstColumn(conn, menuConnections), QStringList{u"1"_s}, 5000);
    QCOMPARE(presenceOf(db), QStringList{u"同名 t 扫雷"_s});
    PQfinish(conn);
}

void tst_CafeClient::hotRuleReachesRunningClientsWithinSeconds()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(u"INSERT INTO GameList (GameName) VALUES ('一'), ('二'), ('三'), ('四');"
                   "INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, LaunchedAt)"
                   " SELECT gen_random_uuid(), g, '', 'PC' || i, now() - d * interval '1 day'"
                   " FROM (VALUES (3, 1, 0), (3, 2, 0), (2, 1, 0), (4, 1, 0), (1, 1, 10), (1, 2, 10), (1, 3, 10),"
                   " (9, 1, 0), (9, 2, 0), (9, 3, 0)) AS t(g, i, d);"
                   "SELECT room_rebuild_rollups()"_s)
                .isEmpty());
    QTemporaryDir dir;
    CafeMode cafe(db.menuUri(), dir.filePath(u"GameDB.dbs"_s));
    QVERIFY(cafe.waitForFirstSync(10000));
    QCOMPARE(cafe.hotGames(), std::nullopt);
    // Game 1 was played longest ago, game 9 is no longer in the catalogue; 2 and 4 tie, by name.
    QVERIFY(runAs(db.operatorUri(), u"SELECT room_set_hot(3, 7)"_s).isEmpty());
    // The room's menus read it spread over a moment.
    QTRY_COMPARE_WITH_TIMEOUT(cafe.hotGames(), std::optional(QList<qint64>{3, 2, 4}), RoomReporter::HotSpreadMs + 3000);
    QVERIFY(runAs(db.operatorUri(), u"SELECT room_set_hot(NULL, NULL)"_s).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(cafe.hotGames(), std::nullopt, 2000);
}

QTEST_GUILESS_MAIN(tst_CafeClient)
#include "tst_CafeClient.moc"
