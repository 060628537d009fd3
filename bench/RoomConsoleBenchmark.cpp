#include "RoomConsoleBenchmark.h"

#include "cafe/RoomReport.h"
#include "cafe/RoomSchema.h"
#include "cafe/ServerSchema.h"
#include "catalogue/CatalogueError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>
#include <QUrl>

#include <libpq-fe.h>

#include <algorithm>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString inDatabase(const QString &uri, const QString &database)
{
    QUrl url(uri);
    url.setPath(u'/' + database);
    return url.toString();
}

// The server's error, empty on success.
QString execute(PGconn *conn, const QString &sql)
{
    const PgHelper::Result result(PQexec(conn, sql.toUtf8().constData()));
    return PgHelper::succeeded(result.get()) ? QString() : PgHelper::errorText(conn, result.get());
}

QString executeOn(const QString &uri, const QString &sql)
{
    const PgHelper::Connection conn(PQconnectdb(uri.toUtf8().constData()));
    if (PQstatus(conn.get()) != CONNECTION_OK)
        return QString::fromUtf8(PQerrorMessage(conn.get()));
    return execute(conn.get(), sql);
}

// CPU seconds of one process of this machine (the backend that answers), from the scheduler's
// nanoseconds; nothing when the server runs elsewhere.
std::optional<double> processCpuSeconds(qint64 pid)
{
    QFile schedstat(u"/proc/%1/schedstat"_s.arg(pid));
    if (!schedstat.open(QIODevice::ReadOnly))
        return std::nullopt;
    return schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
}

struct Refresh
{
    double wallMs = 0;
    std::optional<double> cpuMs;
};

// The median of five refreshes after a first one has warmed the server's caches, as the console's do.
Refresh refresh(PGconn *conn, qint64 backend, int days)
{
    RoomReport::read(conn, days, 20);
    std::vector<Refresh> runs;
    for (int i = 0; i < 5; ++i) {
        const std::optional<double> before = processCpuSeconds(backend);
        QElapsedTimer clock;
        clock.start();
        RoomReport::read(conn, days, 20);
        const double wall = double(clock.nsecsElapsed()) / 1e6;
        const std::optional<double> after = processCpuSeconds(backend);
        runs.push_back({wall, before && after ? std::optional<double>((*after - *before) * 1000) : std::nullopt});
    }
    std::sort(runs.begin(), runs.end(), [](const Refresh &a, const Refresh &b) {
        return a.cpuMs.value_or(a.wallMs) < b.cpuMs.value_or(b.wallMs);
    });
    return runs.at(runs.size() / 2);
}

} // namespace

RoomConsoleBenchmark::RoomConsoleBenchmark(const QString &adminUri)
    : m_adminUri(adminUri)
{
}

int RoomConsoleBenchmark::run()
{
    if (m_adminUri.isEmpty()) {
        out() << u"JYT_PG_ADMIN_URI is not set (scripts/pg-test-server.sh env)"_s << Qt::endl;
        return 2;
    }
    const QString database = u"jyt_bench_room_"_s + QString::number(QRandomGenerator::system()->generate64(), 16);
    QString error = executeOn(m_adminUri, u"CREATE DATABASE "_s + database);
    if (!error.isEmpty()) {
        out() << u"cannot create the database: "_s << error << Qt::endl;
        return 1;
    }
    const QString uri = inDatabase(m_adminUri, database);
    // The PCs start games of a catalogue of 10,000, a few of them far more often than the rest.
    const QString fill = u"BEGIN;"_s + QString::fromUtf8(ServerSchema::CreateSql)
        + QString::fromUtf8(RoomSchema::CreateSql)
        + u"INSERT INTO GameList (GameName) SELECT '游戏' || i FROM generate_series(1, 10000) i;"
          "INSERT INTO ClientPresence (ClientName) SELECT 'PC' || lpad(i::text, 4, '0') FROM generate_series(1, %1) i;"
          "INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, ClientID, LaunchedAt)"
          " SELECT gen_random_uuid(), g, '游戏' || g, p.ClientName, p.ClientID, t"
          "   FROM ClientPresence p, generate_series(1, %2) i,"
          "        LATERAL (SELECT 1 + floor(10000 * power(random(), 4))::bigint + 0 * (i + p.ClientID) AS g,"
          "                        now() - random() * interval '%3 days' + 0 * (i + p.ClientID) * interval '1 s' AS t) "
          "l;"
          "COMMIT;"
          "SELECT room_rebuild_rollups();"_s.arg(Pcs)
              .arg(LaunchesPerPc)
              .arg(Days);
    QElapsedTimer clock;
    clock.start();
    error = executeOn(uri, fill);
    if (error.isEmpty())
        error = executeOn(uri, u"VACUUM ANALYZE"_s);
    int code = 0;
    if (!error.isEmpty()) {
        out() << u"cannot fill the room: "_s << error << Qt::endl;
        code = 1;
    } else {
        out() << u"room generated in %1 s"_s.arg(double(clock.elapsed()) / 1000, 0, 'f', 1) << Qt::endl;
        try {
            const PgHelper::Connection conn = RoomReport::connect(uri);
            const qint64 backend = PQbackendPID(conn.get());
            for (const int days : {7, Days}) {
                const Refresh one = refresh(conn.get(), backend, days);
                out() << u"room console refresh (%1 PCs, %2 launches), last %3 days: server CPU %4, wall %5 ms"
                         " (floor: server CPU < %6 ms)"_s.arg(Pcs)
                             .arg(Pcs * LaunchesPerPc)
                             .arg(days)
                             .arg(one.cpuMs ? u"%1 ms"_s.arg(*one.cpuMs, 0, 'f', 1) : u"unknown"_s)
                             .arg(one.wallMs, 0, 'f', 1)
                             .arg(FloorMs)
                      << Qt::endl;
            }
        } catch (const CatalogueError &failure) {
            out() << u"refresh failed: "_s << RoomReport::explain(failure) << Qt::endl;
            code = 1;
        }
    }
    executeOn(m_adminUri, u"DROP DATABASE IF EXISTS "_s + database + u" WITH (FORCE)"_s);
    return code;
}
