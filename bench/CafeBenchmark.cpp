#include "CafeBenchmark.h"

#include "cafe/CafeClient.h"
#include "cafe/CatalogueCopy.h"
#include "cafe/RoomSchema.h"
#include "cafe/ServerSchema.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString withDatabase(const QString &uri, const QString &database, const QString &user = {},
                     const QString &password = {})
{
    QUrl url(uri);
    url.setPath(u'/' + database);
    if (!user.isEmpty()) {
        url.setUserName(user);
        url.setPassword(password);
    }
    return url.toString();
}

QString runOn(const QString &uri, const QString &sql)
{
    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    QString error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = QString::fromUtf8(PQerrorMessage(conn));
    } else {
        PGresult *result = PQexec(conn, sql.toUtf8().constData());
        if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK)
            error = QString::fromUtf8(PQerrorMessage(conn));
        PQclear(result);
    }
    PQfinish(conn);
    return error;
}

// CPU time of the server and all its backends, in seconds: schedstat's nanoseconds where the kernel
// keeps them, since utime + stime count whole ticks and a backend's few milliseconds round to none.
// Only live processes count, so a phase starts once the backends of the last one are gone.
// Nothing when the server is not one whose processes this machine shows; processes counts them.
std::optional<double> serverCpuSeconds(const QString &serverDirectory, int *processes = nullptr)
{
    if (serverDirectory.isEmpty())
        return std::nullopt;
    QFile pidFile(serverDirectory + u"/data/postmaster.pid"_s);
    if (!pidFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    const double ticks = double(Process::clockTicksPerSecond());
    double total = 0;
    bool found = false;
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(u"/proc/%1/stat"_s.arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // Fields after the command's closing parenthesis: state, ppid, ... utime (14), stime (15).
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13 || (pid != postmaster && fields.at(1).toLongLong() != postmaster))
            continue;
        found = found || pid == postmaster;
        if (processes)
            ++*processes;
        QFile schedstat(u"/proc/%1/schedstat"_s.arg(entry));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
        else
            total += (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
    }
    return found ? std::optional<double>(total) : std::nullopt;
}

int serverProcesses(const QString &serverDirectory)
{
    int processes = 0;
    serverCpuSeconds(serverDirectory, &processes);
    return processes;
}

// What the server spends on connections alone: n logins of the menu's role, each asking "SELECT 1" and
// staying connected until all are in, opened together from a few threads. Returns the server's CPU.
std::optional<double> bareConnections(const QString &uri, const QString &serverDirectory, int n, int threads,
                                      qint64 *elapsedMs)
{
    std::vector<PGconn *> conns(size_t(n), nullptr);
    const std::optional<double> before = serverCpuSeconds(serverDirectory);
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<QThread>> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(QThread::create([&, t] {
            for (int i = t; i < n; i += threads) {
                conns[size_t(i)] = PQconnectdb(uri.toUtf8().constData());
                PQclear(PQexec(conns[size_t(i)], "SELECT 1"));
            }
        }));
        workers.back()->start();
    }
    for (auto &worker : workers)
        worker->wait();
    *elapsedMs = clock.elapsed();
    const std::optional<double> after = serverCpuSeconds(serverDirectory);
    int failed = 0;
    for (PGconn *conn : conns) {
        failed += PQstatus(conn) == CONNECTION_OK ? 0 : 1;
        PQfinish(conn);
    }
    if (failed > 0 || !before || !after)
        return std::nullopt;
    return *after - *before;
}

// The server's CPU and this process's, which stands in for the room's PCs and shares the machine with it.
struct CpuMark
{
    std::optional<double> server;
    double clients = 0;
};

CpuMark cpuNow(const QString &serverDirectory)
{
    return {serverCpuSeconds(serverDirectory), double(std::clock()) / CLOCKS_PER_SEC};
}

QString cpuText(const CpuMark &before, const CpuMark &after)
{
    const QString clients = u", clients %1 s"_s.arg(after.clients - before.clients, 0, 'f', 2);
    if (!before.server || !after.server)
        return u"unknown"_s + clients;
    return u"%1 s"_s.arg(*after.server - *before.server, 0, 'f', 2) + clients;
}

// A name no other run and no real role has: the server's roles are shared by all its databases.
QString randomHex()
{
    return QString::number(QRandomGenerator::system()->generate64(), 16);
}

// One simulated client's marks, written on its thread and read on the main one.
struct Marks
{
    std::atomic<qint64> syncedAt{-1};
    std::atomic<int> syncs{0};
    std::atomic<int> games{0};
    std::atomic<qint64> rowsRead{0};
    std::atomic<qint64> launchSentAt{-1};
    std::atomic<qint64> launchAnsweredAt{-1};
    std::atomic<bool> launchRecorded{false};
};

struct Percentiles
{
    double p50 = 0, p99 = 0, max = 0;
};

Percentiles percentiles(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values.at(std::min(values.size() - 1, size_t(q * double(values.size())))); };
    return {at(0.50), at(0.99), values.back()};
}

// Turns the event loop until done() or the time is up; false on time-out.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The run's own database and two roles of its own, dropped again at the end: roles belong to the
// whole server, so the room's juyoutai_menu and juyoutai_operator are never touched.
class BenchServer
{
public:
    explicit BenchServer(const QString &adminUri)
        : m_adminUri(adminUri)
        , m_database(u"jyt_bench_"_s + randomHex())
        , m_menuRole(m_database + u"_menu"_s)
        , m_operatorRole(m_database + u"_operator"_s)
        , m_menuPassword(randomHex() + randomHex())
        , m_operatorPassword(randomHex() + randomHex())
    {
    }
    ~BenchServer() { drop(); }

    // The database filled with games, or the server's error.
    QString create(int games)
    {
        QString error = runOn(m_adminUri, u"CREATE DATABASE "_s + m_database);
        m_databaseMade = error.isEmpty();
        for (const auto &[role, password] :
             {std::pair{m_menuRole, m_menuPassword}, {m_operatorRole, m_operatorPassword}}) {
            if (error.isEmpty())
                error = runOn(m_adminUri, u"CREATE ROLE %1 LOGIN PASSWORD '%2'"_s.arg(role, password));
            if (error.isEmpty())
                m_rolesMade.append(role);
        }
        if (error.isEmpty())
            error = runOn(withDatabase(m_adminUri, m_database), fillSql(games));
        return error;
    }
    QString menuUri() const { return withDatabase(m_adminUri, m_database, m_menuRole, m_menuPassword); }
    QString operatorUri() const { return withDatabase(m_adminUri, m_database, m_operatorRole, m_operatorPassword); }

private:
    QString fillSql(int games) const
    {
        QString grants = QString::fromUtf8(ServerSchema::GrantSql) + QString::fromUtf8(RoomSchema::GrantSql);
        grants.replace(QString::fromLatin1(ServerSchema::MenuRole), m_menuRole);
        grants.replace(QString::fromLatin1(ServerSchema::OperatorRole), m_operatorRole);
        return u"BEGIN;"_s + QString::fromUtf8(ServerSchema::CreateSql) + QString::fromUtf8(RoomSchema::CreateSql)
            + grants
            + u"GRANT CONNECT ON DATABASE %1 TO %2, %3;"
              "INSERT INTO TypeList (TypeName) SELECT '类别' || i FROM generate_series(1, 20) i;"
              "INSERT INTO GameList (GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon)"
              " SELECT '游戏' || i, '类别' || (i % 20 + 1), CASE WHEN i % 10 = 0 THEN '是' ELSE '否' END,"
              " 'D:\\games\\' || i || '\\', 'game.exe', '无', '无' FROM generate_series(1, %4) i;"
              "COMMIT;"_s.arg(m_database, m_menuRole, m_operatorRole)
                  .arg(games);
    }
    // Only what this run made: the database first, as it holds the roles' grants.
    void drop()
    {
        if (m_databaseMade)
            runOn(m_adminUri, u"DROP DATABASE IF EXISTS "_s + m_database + u" WITH (FORCE)"_s);
        for (const QString &role : std::as_const(m_rolesMade)) {
            const QString error = runOn(m_adminUri, u"DROP ROLE IF EXISTS "_s + role);
            if (!error.isEmpty())
                out() << u"警告: 无法删除临时角色 "_s << role << u": "_s << error << Qt::endl;
        }
    }

    QString m_adminUri;
    QString m_database;
    QString m_menuRole;
    QString m_operatorRole;
    QString m_menuPassword;
    QString m_operatorPassword;
    bool m_databaseMade = false;
    QStringList m_rolesMade;
};

bool script(const QString &serverDirectory, const QString &command)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"JYT_PG_DIR"_s, serverDirectory);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(u"bash"_s, {QStringLiteral(JYT_SOURCE_DIR "/scripts/pg-test-server.sh"), command});
    return process.waitForFinished(120000) && process.exitCode() == 0;
}

} // namespace

CafeBenchmark::CafeBenchmark(int clients, const QString &adminUri, const QString &serverDirectory)
    : m_clients(clients)
    , m_adminUri(adminUri)
    , m_serverDirectory(serverDirectory)
{
}

int CafeBenchmark::run()
{
    if (m_clients < 1 || m_adminUri.isEmpty()) {
        out() << u"用法: JYT_PG_ADMIN_URI=postgresql://管理员@主机/数据库 juyoutai-bench cafe N（N ≥ 1）"_s << Qt::endl;
        return 2;
    }
    BenchServer server(m_adminUri);
    if (const QString error = server.create(Games); !error.isEmpty()) {
        out() << u"错误: "_s << error << Qt::endl;
        return 1;
    }
    const QString menuUri = server.menuUri();
    const QString operatorUri = server.operatorUri();

    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < Threads; ++i) {
        threads.push_back(std::make_unique<QThread>());
        threads.back()->start();
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<Marks>> marks;
    std::vector<CafeClient *> clients;
    // Client i on its worker thread, set up by prepare first; its marks note each sync.
    const auto addClient = [&](int i, const std::function<void(CafeClient *)> &prepare) {
        marks.push_back(std::make_unique<Marks>());
        auto *client = new CafeClient(menuUri, QString());
        client->setWritesCopy(false);
        prepare(client);
        client->moveToThread(threads.at(i % Threads).get());
        Marks *mark = marks.back().get();
        QObject::connect(client, &CafeClient::synced, client, [client, mark, &clock] {
            mark->games = int(client->gameCount());
            mark->rowsRead = client->rowsRead();
            mark->syncedAt = clock.elapsed();
            ++mark->syncs;
        });
        QObject::connect(threads.at(i % Threads).get(), &QThread::finished, client, &QObject::deleteLater);
        clients.push_back(client);
        return mark;
    };
    for (int i = 0; i < m_clients; ++i)
        addClient(i, [](CafeClient *) {});
    const auto all = [&](const std::function<bool(const Marks &)> &test) {
        return std::all_of(marks.begin(), marks.end(), [&](const auto &m) { return test(*m); });
    };
    const auto syncedAgain = [&](const std::vector<int> &before) {
        for (size_t i = 0; i < marks.size(); ++i) {
            if (marks[i]->syncs <= before[i])
                return false;
        }
        return true;
    };
    const auto latencies = [&](qint64 since) {
        std::vector<double> values;
        for (const auto &m : marks)
            values.push_back(double(m->syncedAt - since));
        return percentiles(values);
    };
    const auto line = [](const QString &what, double ms, const Percentiles &p, const QString &cpu, bool ok) {
        out() << QStringLiteral("%1 %2 ms (p50 %3, p99 %4, max %5)  server CPU %6%7")
                     .arg(what, -28)
                     .arg(ms, 7, 'f', 0)
                     .arg(p.p50, 0, 'f', 0)
                     .arg(p.p99, 0, 'f', 0)
                     .arg(p.max, 0, 'f', 0)
                     .arg(cpu)
                     .arg(ok ? QString() : u"  (未完成)"_s)
              << Qt::endl;
    };
    out() << u"café clients: "_s << m_clients << u", games: "_s << Games << u", client threads: "_s << Threads
          << Qt::endl;

    const int idleProcesses = serverProcesses(m_serverDirectory);
    const auto backendsGone = [&] {
        if (!waitUntil([&] { return serverProcesses(m_serverDirectory) <= idleProcesses; }, 60000))
            out() << u"警告: 上一阶段的服务器进程仍未退出"_s << Qt::endl;
    };

    // A room switched on together in the morning.
    CpuMark cpu = cpuNow(m_serverDirectory);
    qint64 start = clock.elapsed();
    for (CafeClient *client : clients)
        QMetaObject::invokeMethod(client, &CafeClient::start, Qt::QueuedConnection);
    bool ok = waitUntil([&] { return all([](const Marks &m) { return m.games == Games; }); }, 120000);
    line(u"cold start, all synced"_s, double(clock.elapsed() - start), latencies(start),
         cpuText(cpu, cpuNow(m_serverDirectory)), ok);

    // One operator edit.
    waitUntil([] { return false; }, 500);
    std::vector<int> before;
    for (const auto &m : marks)
        before.push_back(m->syncs);
    cpu = cpuNow(m_serverDirectory);
    start = clock.elapsed();
    if (const QString error = runOn(operatorUri, u"UPDATE GameList SET GameName = '改名' WHERE GameID = 5000"_s);
        !error.isEmpty())
        out() << u"错误: "_s << error << Qt::endl;
    ok = waitUntil([&] { return syncedAgain(before); }, 60000);
    line(u"one edit seen by all"_s, double(clock.elapsed() - start), latencies(start),
         cpuText(cpu, cpuNow(m_serverDirectory)), ok);

    // The server stopped and started again.
    if (!m_serverDirectory.isEmpty() && script(m_serverDirectory, u"pause"_s)) {
        waitUntil([] { return false; }, 1000);
        for (size_t i = 0; i < marks.size(); ++i)
            before[i] = marks[i]->syncs;
        const bool resumed = script(m_serverDirectory, u"resume"_s);
        cpu = cpuNow(m_serverDirectory);
        start = clock.elapsed();
        ok = resumed && waitUntil([&] { return syncedAgain(before); }, 120000);
        line(u"all back after restart"_s, double(clock.elapsed() - start), latencies(start),
             cpuText(cpu, cpuNow(m_serverDirectory)), ok);
    } else {
        out() << u"restart: skipped (JYT_PG_DIR not set or pause failed)"_s << Qt::endl;
    }

    // The room switched off and on again, each client with a copy 10 changes behind the server.
    CatalogueCopy seed;
    QMetaObject::invokeMethod(
        clients.front(), [&seed, first = clients.front()] { seed = first->rows(); }, Qt::BlockingQueuedConnection);
    // Every client gone, and the server's backends with them.
    const auto stopAll = [&] {
        for (CafeClient *client : clients) {
            QMetaObject::invokeMethod(client, &CafeClient::stop, Qt::BlockingQueuedConnection);
            QMetaObject::invokeMethod(client, &QObject::deleteLater, Qt::QueuedConnection);
        }
        clients.clear();
        marks.clear();
        backendsGone();
    };
    stopAll();
    for (int edit = 1; edit <= 10; ++edit) {
        if (const QString error = runOn(
                operatorUri, u"UPDATE GameList SET GameName = '改名%1' WHERE GameID = %2"_s.arg(edit).arg(edit * 97));
            !error.isEmpty())
            out() << u"错误: "_s << error << Qt::endl;
    }

    // The part of a cold start no client can save: the server starting one backend per login.
    qint64 bareMs = 0;
    const std::optional<double> bareCpu = bareConnections(menuUri, m_serverDirectory, m_clients, Threads, &bareMs);
    out() << QStringLiteral("%1 %2 ms  server CPU %3")
                 .arg(u"connections alone"_s, -28)
                 .arg(double(bareMs), 7, 'f', 0)
                 .arg(bareCpu ? u"%1 s"_s.arg(*bareCpu, 0, 'f', 2) : u"unknown"_s)
          << Qt::endl;
    backendsGone();

    // The room's PCs started together with that copy; each starts again on a new connection.
    const auto startFromCopies = [&](bool print) {
        for (int i = 0; i < m_clients; ++i) {
            Marks *mark = addClient(i, [&](CafeClient *client) {
                client->setStartingCopy(seed);
                client->setClientName(u"bench-pc-%1"_s.arg(i));
            });
            QObject::connect(clients.back(), &CafeClient::launchAnswered, clients.back(),
                             [mark, &clock](const QString &outcome) {
                                 mark->launchRecorded = outcome == u"recorded"_s;
                                 mark->launchAnsweredAt = clock.elapsed();
                             });
        }
        const CpuMark cpuBefore = cpuNow(m_serverDirectory);
        const qint64 phaseStart = clock.elapsed();
        for (CafeClient *client : clients)
            QMetaObject::invokeMethod(client, &CafeClient::start, Qt::QueuedConnection);
        const bool synced = waitUntil([&] { return all([](const Marks &m) { return m.syncs > 0; }); }, 120000);
        if (print || !synced)
            line(u"cold start from copies"_s, double(clock.elapsed() - phaseStart), latencies(phaseStart),
                 cpuText(cpuBefore, cpuNow(m_serverDirectory)), synced);
    };
    startFromCopies(true);
    qint64 rowsRead = 0;
    for (const auto &m : marks)
        rowsRead = std::max(rowsRead, m->rowsRead.load());
    out() << u"  rows read per client at most: "_s << rowsRead << Qt::endl;

    // Every PC of a room just started starts a game, once the first hellos after the start are in:
    // first all in the same instant, then spread evenly over one second, each timed from its own start.
    // The calls only queue work on the clients' threads.
    const auto launchPhase = [&](const QString &what, int spreadMs, int gameOffset) {
        waitUntil([] { return false; }, CafeClient::HelloSpreadMs + 1000);
        const CpuMark cpuBefore = cpuNow(m_serverDirectory);
        const qint64 phaseStart = clock.elapsed();
        for (int i = 0; i < m_clients; ++i) {
            CafeClient *client = clients.at(size_t(i));
            Marks *mark = marks.at(size_t(i)).get();
            const qint64 game = (i + gameOffset) % Games + 1;
            const int delayMs = int(qint64(i) * spreadMs / m_clients);
            QMetaObject::invokeMethod(
                client,
                [client, mark, game, delayMs, &clock] {
                    QTimer::singleShot(delayMs, Qt::PreciseTimer, client, [client, mark, game, &clock] {
                        mark->launchSentAt = clock.elapsed();
                        client->recordLaunch(game, u"游戏%1"_s.arg(game));
                    });
                },
                Qt::QueuedConnection);
        }
        const bool answered =
            waitUntil([&] { return all([](const Marks &m) { return m.launchAnsweredAt >= 0; }); }, 60000);
        std::vector<double> launchTimes;
        int recorded = 0;
        for (const auto &m : marks) {
            launchTimes.push_back(double(m->launchAnsweredAt - (spreadMs > 0 ? m->launchSentAt.load() : phaseStart)));
            recorded += m->launchRecorded ? 1 : 0;
        }
        line(what, double(clock.elapsed() - phaseStart), percentiles(launchTimes),
             cpuText(cpuBefore, cpuNow(m_serverDirectory)), answered && recorded == m_clients);
        out() << u"  launches recorded: "_s << recorded << u" of "_s << m_clients << Qt::endl;
    };
    launchPhase(u"one launch each, same instant"_s, 0, 0);
    // The same on new connections, where a PC's first launch costs the server most.
    stopAll();
    startFromCopies(false);
    launchPhase(u"one launch each, over 1 s"_s, 1000, 1);

    // One client's copy: the whole catalogue written as a new encrypted file.
    CatalogueCopy copy;
    for (int i = 1; i <= Games; ++i) {
        const QByteArray name = QByteArray("游戏") + QByteArray::number(i);
        const char *values[] = {name.constData(), "类别1", "否", "D:\\games\\", "game.exe", "无", "无"};
        int lengths[CatalogueCopy::GameColumns];
        for (int c = 0; c < CatalogueCopy::GameColumns; ++c)
            lengths[c] = int(qstrlen(values[c]));
        copy.setGame(i, CatalogueCopy::packGame(values, lengths));
    }
    QTemporaryDir dir;
    QElapsedTimer write;
    write.start();
    const QString copyError = copy.writeTo(dir.filePath(u"GameDB.dbs"_s));
    out() << QStringLiteral("one copy write (%1 games)        %2 ms%3")
                 .arg(Games)
                 .arg(write.elapsed())
                 .arg(copyError.isEmpty() ? QString() : u"  错误: "_s + copyError)
          << Qt::endl;

    for (size_t i = 0; i < clients.size(); ++i)
        QMetaObject::invokeMethod(clients[i], &CafeClient::stop, Qt::BlockingQueuedConnection);
    for (auto &thread : threads) {
        thread->quit();
        thread->wait();
    }
    return 0;
}
