#include "CafeBenchmark.h"

#include "cafe/CafeClient.h"
#include "cafe/CatalogueCopy.h"
#include "cafe/RoomSchema.h"
#include "cafe/ServerSchema.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDateTime>
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
    std::atomic<qint64> namedAt{-1}; // when the server last had its hello, on the same clock
    std::atomic<int> syncs{0};
    std::atomic<int> games{0};
    std::atomic<qint64> rowsRead{0};
    std::atomic<int> copyWrites{0};
    std::atomic<qint64> copyWriteNs{0};
    std::atomic<qint64> hotAt{-1}; // when the Hot tab's ranking by play came
    std::atomic<qint64> launchSentAt{-1};
    std::atomic<qint64> launchAnsweredAt{-1};
    std::atomic<bool> launchRecorded{false};
};

// The run's admin connection to its own database, for what only the server knows: whose hello it
// has had and its statistics. Made again after the server was restarted.
class ServerLook
{
public:
    explicit ServerLook(const QString &uri)
        : m_uri(uri.toUtf8())
    {
    }
    ~ServerLook()
    {
        if (m_conn)
            PQfinish(m_conn);
    }
    ServerLook(const ServerLook &) = delete;
    ServerLook &operator=(const ServerLook &) = delete;

    // Each row's columns as text, or nothing when the server does not answer.
    std::optional<QList<QStringList>> rows(const QString &sql)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
                if (m_conn)
                    PQfinish(m_conn);
                m_conn = PQconnectdb(m_uri.constData());
                if (PQstatus(m_conn) != CONNECTION_OK)
                    continue;
            }
            PGresult *result = PQexec(m_conn, sql.toUtf8().constData());
            if (PQresultStatus(result) == PGRES_TUPLES_OK) {
                QList<QStringList> values;
                for (int row = 0; row < PQntuples(result); ++row) {
                    QStringList columns;
                    for (int column = 0; column < PQnfields(result); ++column)
                        columns.append(QString::fromUtf8(PQgetvalue(result, row, column)));
                    values.append(columns);
                }
                PQclear(result);
                return values;
            }
            PQclear(result);
        }
        return std::nullopt;
    }

private:
    QByteArray m_uri;
    PGconn *m_conn = nullptr;
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
    QString adminUri() const { return withDatabase(m_adminUri, m_database); }

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

// Holds the server (the postmaster and every process it has started, and so every backend it starts
// later) to these CPUs; returns the CPUs it had, or nothing where that cannot be done.
std::optional<QString> holdServer(const QString &serverDirectory, const QString &cpus)
{
    QFile pidFile(serverDirectory + u"/data/postmaster.pid"_s);
    if (serverDirectory.isEmpty() || !pidFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    const auto taskset = [](const QStringList &arguments) -> std::optional<QString> {
        QProcess process;
        process.start(u"taskset"_s, arguments);
        if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    };
    // "pid N's current affinity list: 0,1"
    const std::optional<QString> had = taskset({u"-pc"_s, QString::fromLatin1(postmaster)});
    if (!had || !had->contains(u": "_s))
        return std::nullopt;
    QStringList pids{QString::fromLatin1(postmaster)};
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(u"/proc/%1/stat"_s.arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        if (line.mid(line.lastIndexOf(')') + 2).split(' ').value(1) == postmaster)
            pids.append(entry);
    }
    for (const QString &pid : std::as_const(pids)) {
        if (!taskset({u"-a"_s, u"-pc"_s, cpus, pid}) && pid == pids.front())
            return std::nullopt;
    }
    return had->section(u": "_s, -1).trimmed();
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
    // Each client's copy in a folder of the run's own, and the private place a copy falls back to with them.
    QTemporaryDir copies;
    if (!copies.isValid()) {
        out() << u"错误: 无法创建临时文件夹"_s << Qt::endl;
        return 1;
    }
    qputenv("XDG_CACHE_HOME", copies.filePath(u"cache"_s).toLocal8Bit());
    BenchServer server(m_adminUri);
    if (const QString error = server.create(Games); !error.isEmpty()) {
        out() << u"错误: "_s << error << Qt::endl;
        return 1;
    }
    const QString menuUri = server.menuUri();
    const QString operatorUri = server.operatorUri();
    ServerLook look(server.adminUri());

    // A thread per client, as each PC has its own: no client waits behind another's copy to take its
    // turn in a login, and the machine's scheduler shares the cores among them.
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < m_clients; ++i) {
        threads.push_back(std::make_unique<QThread>());
        threads.back()->start();
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<Marks>> marks;
    std::vector<CafeClient *> clients;
    // Client i on its worker thread with a copy file and a name of its own, as a PC has; its marks
    // note each sync and the copies written so far.
    const auto addClient = [&](int i) {
        marks.push_back(std::make_unique<Marks>());
        auto *client = new CafeClient(menuUri, copies.filePath(u"pc%1.dbs"_s.arg(i)));
        client->setClientName(u"bench-pc-%1"_s.arg(i));
        client->moveToThread(threads.at(i).get());
        Marks *mark = marks.back().get();
        QObject::connect(client, &CafeClient::synced, client, [client, mark, &clock] {
            mark->games = int(client->gameCount());
            mark->rowsRead = client->rowsRead();
            mark->copyWrites = client->copyWrites();
            mark->copyWriteNs = client->copyWriteNs();
            mark->syncedAt = clock.elapsed();
            ++mark->syncs;
        });
        QObject::connect(client, &CafeClient::launchAnswered, client, [mark, &clock](const QString &outcome) {
            mark->launchRecorded = outcome == u"recorded"_s;
            mark->launchAnsweredAt = clock.elapsed();
        });
        QObject::connect(client, &CafeClient::hotRanking, client, [mark, &clock](bool played) {
            if (played)
                mark->hotAt = clock.elapsed();
        });
        QObject::connect(threads.at(i).get(), &QThread::finished, client, &QObject::deleteLater);
        clients.push_back(client);
    };
    for (int i = 0; i < m_clients; ++i)
        addClient(i);
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
    const auto syncCounts = [&] {
        std::vector<int> counts;
        for (const auto &m : marks)
            counts.push_back(m->syncs);
        return counts;
    };
    out() << u"café clients: "_s << m_clients << u", games: "_s << Games
          << u", a thread per client; connections alone on "_s << BareThreads << u" threads"_s << Qt::endl;

    // A phase's starting marks: its clock, the server's and this process's CPU, the copies written.
    struct Phase
    {
        CpuMark cpu;
        qint64 startMs = 0;
        qint64 startEpochMs = 0;
        int copyWrites = 0;
        qint64 copyWriteNs = 0;
        std::optional<qint64> abandoned;
    };
    // Connection starts the server began and the client left before they were done.
    const auto abandoned = [&]() -> std::optional<qint64> {
        const auto rows =
            look.rows(u"SELECT sessions_abandoned FROM pg_stat_database WHERE datname = current_database()"_s);
        if (!rows || rows->size() != 1)
            return std::nullopt;
        return rows->at(0).value(0).toLongLong();
    };
    const auto abandonedText = [&](const std::optional<qint64> &before) {
        const std::optional<qint64> after = abandoned();
        return u"  abandoned connection starts: "_s
            + (before && after ? QString::number(*after - *before) : u"unknown"_s);
    };
    const auto beginPhase = [&] {
        Phase phase;
        for (const auto &m : marks) {
            phase.copyWrites += m->copyWrites;
            phase.copyWriteNs += m->copyWriteNs;
            m->namedAt = -1;
        }
        phase.abandoned = abandoned();
        phase.cpu = cpuNow(m_serverDirectory);
        phase.startEpochMs = QDateTime::currentMSecsSinceEpoch();
        phase.startMs = clock.elapsed();
        return phase;
    };
    // The phase's line: its wall time, each client's time from the phase's start to done (p50, p99,
    // max), the CPU it cost; then the copies the clients wrote in it, their cost apart.
    const auto endPhase = [&](const QString &what, const Phase &phase, const std::vector<double> &doneMs,
                              bool ok) -> std::optional<double> {
        const qint64 wallMs = clock.elapsed() - phase.startMs;
        const CpuMark cpuAfter = cpuNow(m_serverDirectory);
        const Percentiles p = percentiles(doneMs);
        out() << QStringLiteral("%1 %2 ms (p50 %3, p99 %4, max %5)  server CPU %6%7")
                     .arg(what, -28)
                     .arg(double(wallMs), 7, 'f', 0)
                     .arg(p.p50, 0, 'f', 0)
                     .arg(p.p99, 0, 'f', 0)
                     .arg(p.max, 0, 'f', 0)
                     .arg(cpuText(phase.cpu, cpuAfter))
                     .arg(ok ? QString() : u"  (未完成)"_s)
              << Qt::endl;
        int writes = -phase.copyWrites;
        qint64 writeNs = -phase.copyWriteNs;
        for (const auto &m : marks) {
            writes += m->copyWrites;
            writeNs += m->copyWriteNs;
        }
        out() << abandonedText(phase.abandoned) << Qt::endl;
        // The stand-ins for the PCs share this machine's cores, where a room's PCs each work on their own.
        const int cores = std::max(1, QThread::idealThreadCount());
        out() << u"  floor here: the clients' own CPU over this machine's %1 cores, %2 s"_s.arg(cores).arg(
            (cpuAfter.clients - phase.cpu.clients) / cores, 0, 'f', 1)
              << Qt::endl;
        if (writes > 0)
            out() << u"  copy writes: %1, %2 ms of CPU each on average, %3 s of the clients' CPU in all"_s.arg(writes)
                         .arg(double(writeNs) / 1e6 / writes, 0, 'f', 1)
                         .arg(double(writeNs) / 1e9, 0, 'f', 2)
                  << Qt::endl;
        if (!phase.cpu.server || !cpuAfter.server)
            return std::nullopt;
        return *cpuAfter.server - *phase.cpu.server;
    };
    // The server's CPU per client, for phases that compare.
    const auto perClient = [&](const std::optional<double> &serverCpu) {
        out() << u"  server CPU per client: "_s
              << (serverCpu ? u"%1 ms"_s.arg(*serverCpu * 1000 / m_clients, 0, 'f', 2) : u"unknown"_s) << Qt::endl;
    };
    // Notes when the server last had each client's hello; true once every client's came in this phase.
    qint64 lastLook = -1000;
    const auto allNamed = [&](const Phase &phase) {
        if (clock.elapsed() - lastLook < 100)
            return false;
        lastLook = clock.elapsed();
        const std::optional<QList<QStringList>> rows = look.rows(
            u"SELECT substr(ClientName, 10), (extract(epoch FROM LastSeen) * 1000)::bigint"
            " FROM ClientPresence WHERE ClientName LIKE 'bench-pc-%%' AND LastSeen >= to_timestamp(%1 / 1000.0)"_s.arg(
                phase.startEpochMs));
        for (const QStringList &row : rows.value_or(QList<QStringList>())) {
            const size_t i = size_t(row.value(0).toLongLong());
            if (i < marks.size())
                marks[i]->namedAt = row.value(1).toLongLong() - phase.startEpochMs + phase.startMs;
        }
        return all([](const Marks &m) { return m.namedAt >= 0; });
    };
    // Each client's time until it has read and the server has had its hello.
    const auto readyTimes = [&](const Phase &phase) {
        std::vector<double> values;
        for (const auto &m : marks)
            values.push_back(double(std::max(m->syncedAt.load(), m->namedAt.load()) - phase.startMs));
        return values;
    };
    const auto syncTimes = [&](const Phase &phase) {
        std::vector<double> values;
        for (const auto &m : marks)
            values.push_back(double(m->syncedAt - phase.startMs));
        return values;
    };

    // The server idle but for the run's own look at it.
    look.rows(u"SELECT 1"_s);
    const int idleProcesses = serverProcesses(m_serverDirectory);
    // How long a phase may take before it counts as unfinished: the clients' copies are read and
    // written on a few threads for all of them, which at a thousand clients takes minutes by itself.
    const int phaseMs = 120000 + 500 * m_clients;
    const auto backendsGone = [&] {
        if (!waitUntil([&] { return serverProcesses(m_serverDirectory) <= idleProcesses; }, 60000))
            out() << u"警告: 上一阶段的服务器进程仍未退出"_s << Qt::endl;
    };

    // A room switched on together in the morning, with no copies yet: each reads everything, writes its
    // copy and names itself.
    Phase phase = beginPhase();
    for (CafeClient *client : clients)
        QMetaObject::invokeMethod(client, &CafeClient::start, Qt::QueuedConnection);
    bool ok =
        waitUntil([&] { return all([](const Marks &m) { return m.games == Games; }) && allNamed(phase); }, phaseMs);
    endPhase(u"cold start, all synced"_s, phase, readyTimes(phase), ok);

    // One operator edit.
    waitUntil([] { return false; }, 500);
    std::vector<int> before = syncCounts();
    phase = beginPhase();
    if (const QString error = runOn(operatorUri, u"UPDATE GameList SET GameName = '改名' WHERE GameID = 5000"_s);
        !error.isEmpty())
        out() << u"错误: "_s << error << Qt::endl;
    ok = waitUntil([&] { return syncedAgain(before); }, phaseMs);
    endPhase(u"one edit seen by all"_s, phase, syncTimes(phase), ok);

    // The server stopped and started again: every client reads and names itself again.
    if (!m_serverDirectory.isEmpty() && script(m_serverDirectory, u"pause"_s)) {
        waitUntil([] { return false; }, 1000);
        before = syncCounts();
        // Timed from the server's start: a client may be back before the start script returns. The
        // server's CPU is read once it runs.
        const qint64 startingEpochMs = QDateTime::currentMSecsSinceEpoch();
        const qint64 startingMs = clock.elapsed();
        const bool resumed = script(m_serverDirectory, u"resume"_s);
        phase = beginPhase();
        phase.startEpochMs = startingEpochMs;
        phase.startMs = startingMs;
        ok = resumed && waitUntil([&] { return syncedAgain(before) && allNamed(phase); }, phaseMs);
        endPhase(u"all back after restart"_s, phase, readyTimes(phase), ok);
    } else {
        out() << u"restart: skipped (JYT_PG_DIR not set or pause failed)"_s << Qt::endl;
    }

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
    // The room switched off; meanwhile the operator makes 10 edits, so each copy is 10 changes behind.
    const auto editTen = [&](const QString &tag) {
        for (int edit = 1; edit <= 10; ++edit) {
            if (const QString error = runOn(
                    operatorUri,
                    u"UPDATE GameList SET GameName = '改名%1' WHERE GameID = %2"_s.arg(tag + QString::number(edit))
                        .arg(edit * 97));
                !error.isEmpty())
                out() << u"错误: "_s << error << Qt::endl;
        }
    };
    stopAll();
    editTen(QString());

    // The part of a cold start no client can save: the server starting one backend per login.
    qint64 bareMs = 0;
    const std::optional<qint64> bareAbandoned = abandoned();
    const std::optional<double> bareCpu = bareConnections(menuUri, m_serverDirectory, m_clients, BareThreads, &bareMs);
    out() << QStringLiteral("%1 %2 ms  server CPU %3")
                 .arg(u"connections alone"_s, -28)
                 .arg(double(bareMs), 7, 'f', 0)
                 .arg(bareCpu ? u"%1 s"_s.arg(*bareCpu, 0, 'f', 2) : u"unknown"_s)
          << Qt::endl
          << abandonedText(bareAbandoned) << Qt::endl;
    backendsGone();

    // The room's PCs switched on together: each reads its copy from its file, then only what changed
    // since from the server, writes its copy again and names itself; each on a new connection.
    // With hot, each also waits for the Hot tab's ranking by play. Returns the server's CPU.
    const auto startFromCopies = [&](const QString &what, bool print, bool hot, int timeoutMs) {
        for (int i = 0; i < m_clients; ++i)
            addClient(i);
        const Phase started = beginPhase();
        for (CafeClient *client : clients)
            QMetaObject::invokeMethod(client, &CafeClient::start, Qt::QueuedConnection);
        const bool ready = waitUntil(
            [&] {
                return all([hot](const Marks &m) { return m.syncs > 0 && (!hot || m.hotAt >= 0); })
                    && allNamed(started);
            },
            timeoutMs);
        std::vector<double> times = readyTimes(started);
        for (size_t i = 0; hot && i < times.size(); ++i)
            times[i] = std::max(times[i], double(marks[i]->hotAt - started.startMs));
        return print || !ready ? endPhase(what, started, times, ready) : std::nullopt;
    };
    perClient(startFromCopies(u"cold start from copies"_s, true, false, phaseMs));
    qint64 rowsRead = 0;
    for (const auto &m : marks)
        rowsRead = std::max(rowsRead, m->rowsRead.load());
    out() << u"  rows read per client at most: "_s << rowsRead << Qt::endl;

    // Every PC of a room just started (and named) starts a game: first all in the same instant, then
    // spread evenly over one second, each timed from its own start. The calls only queue work on the
    // clients' threads.
    const auto launchPhase = [&](const QString &what, int spreadMs, int gameOffset) {
        const Phase started = beginPhase();
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
            launchTimes.push_back(
                double(m->launchAnsweredAt - (spreadMs > 0 ? m->launchSentAt.load() : started.startMs)));
            recorded += m->launchRecorded ? 1 : 0;
        }
        endPhase(what, started, launchTimes, answered && recorded == m_clients);
        out() << u"  launches recorded: "_s << recorded << u" of "_s << m_clients << Qt::endl;
    };
    launchPhase(u"one launch each, same instant"_s, 0, 0);
    // The same on new connections, where a PC's first launch costs the server most.
    stopAll();
    startFromCopies(u"cold start from copies"_s, false, false, phaseMs);
    launchPhase(u"one launch each, over 1 s"_s, 1000, 1);

    // A month of play: 600 launches per client over the last 30 days, in no time order, the games
    // most started among the first; the roll-ups made from them; the Hot tab's rule on play. Then the
    // room switched on again under that rule, each copy 10 changes behind as before.
    stopAll();
    QElapsedTimer generated;
    generated.start();
    QString error =
        runOn(server.adminUri(),
              u"INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, ClientID, ClientAddr,"
              " LaunchedAt, ReceivedAt)"
              " SELECT gen_random_uuid(), g.GameID, g.GameName, p.ClientName, p.ClientID, '127.0.0.1', r.t, r.t"
              " FROM ClientPresence p CROSS JOIN LATERAL (SELECT now() - random() * interval '30 days' AS t,"
              " 1 + floor(power(random(), 3) * %1)::bigint AS game"
              " FROM generate_series(1, %2 + 0 * p.ClientID)) r JOIN GameList g ON g.GameID = r.game"
              " WHERE p.ClientName LIKE 'bench-pc-%%'"_s.arg(Games)
                  .arg(PlayedLaunches));
    if (error.isEmpty())
        error = runOn(operatorUri, u"SELECT room_rebuild_rollups(); SELECT room_set_hot(20, 30)"_s);
    out() << u"  launches generated: "_s << qint64(PlayedLaunches) * m_clients << u" in "_s << generated.elapsed()
          << u" ms, with the roll-ups and the Hot rule --top 20 --days 30"_s
          << (error.isEmpty() ? QString() : u"  错误: "_s + error) << Qt::endl;
    editTen(u"乙"_s);
    backendsGone();
    perClient(startFromCopies(u"cold start under the play rule"_s, true, true, phaseMs));

    // The room switched on together again while the server has one CPU only; each client must come up.
    stopAll();
    if (std::optional<QString> mask = holdServer(m_serverDirectory, u"0"_s)) {
        startFromCopies(u"storm on a slow server"_s, true, false, std::max(600000, 2 * phaseMs));
        int connected = 0;
        for (const auto &m : marks)
            connected += m->syncs > 0 ? 1 : 0;
        out() << u"  connected "_s << connected << u" of "_s << m_clients << Qt::endl;
        holdServer(m_serverDirectory, *mask);
    } else {
        out() << u"storm on a slow server: skipped (JYT_PG_DIR not set or taskset failed)"_s << Qt::endl;
    }

    // One client's copy alone: the whole catalogue written as a new encrypted file, on an idle thread.
    CatalogueCopy copy;
    for (int i = 1; i <= Games; ++i) {
        const QByteArray name = QByteArray("游戏") + QByteArray::number(i);
        const char *values[] = {name.constData(), "类别1", "否", "D:\\games\\", "game.exe", "无", "无"};
        int lengths[CatalogueCopy::GameColumns];
        for (int c = 0; c < CatalogueCopy::GameColumns; ++c)
            lengths[c] = int(qstrlen(values[c]));
        copy.setGame(i, CatalogueCopy::packGame(values, lengths));
    }
    QElapsedTimer write;
    write.start();
    const QString copyError = copy.writeTo(copies.filePath(u"alone.dbs"_s));
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
