#include "cafe/RoomReport.h"

#include "cafe/RoomSchema.h"
#include "catalogue/CatalogueError.h"

#include <QByteArray>

#include <libpq-fe.h>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The first day of "the last N days" ($1) and today, in the room's zone.
constexpr char PeriodCte[] =
    "WITH period AS (SELECT (now() AT TIME ZONE RoomTimeZone)::date AS today,"
    " (now() AT TIME ZONE RoomTimeZone)::date - ($1::int - 1) AS first, RoomTimeZone AS zone FROM CatalogueServer) ";

// Whether the period's running counts are up to date for today (see room_ready_period).
const QByteArray CountedSql = QByteArray(PeriodCte) + R"sql(
SELECT EXISTS (SELECT FROM LaunchPeriod p, period WHERE p.Days = $1::int AND p.First = period.first)
)sql";

// The PCs that started the game in the period: those whose last day with it is in the period.
constexpr char MachinesColumn[] =
    "(SELECT count(*) FROM GameClientLast m, period WHERE m.GameID = r.GameID AND m.LastDay >= period.first)";

// The K ($2) games started most in the period: the catalogue's name, launches, PCs; most first, ties by
// name. From the running counts, the K largest and their ties are read in order and only they get a
// name; the PCs are counted for the K only.
const QByteArray RankingSql = QByteArray(PeriodCte) + R"sql(,
ranked AS (
    SELECT w.GameID, w.Launches AS n,
           coalesce((SELECT g.GameName FROM GameList g WHERE g.GameID = w.GameID), '已删除的游戏 ' || w.GameID) AS name
      FROM GameLaunchPeriod w
     WHERE w.Days = $1::int AND w.Launches >= (
           SELECT coalesce(min(k.Launches), 1) FROM (
               SELECT m.Launches FROM GameLaunchPeriod m WHERE m.Days = $1::int AND m.Launches > 0
                ORDER BY m.Launches DESC LIMIT $2::int) k)
     ORDER BY 2 DESC, 3, 1 LIMIT $2::int)
SELECT r.name, r.n, )sql"
    + MachinesColumn + R"sql(
  FROM ranked r ORDER BY r.n DESC, r.name, r.GameID
)sql";

// The same from the daily roll-up, for a period longer than the running counts keep, or read before
// they were moved on to today.
const QByteArray RankingFromDaysSql = QByteArray(PeriodCte) + R"sql(,
counts AS (SELECT d.GameID, sum(d.Launches) AS n FROM GameLaunchDaily d, period WHERE d.Day >= period.first
            GROUP BY d.GameID),
ranked AS (SELECT c.GameID, coalesce(g.GameName, '已删除的游戏 ' || c.GameID) AS name, c.n
             FROM counts c LEFT JOIN GameList g ON g.GameID = c.GameID
            ORDER BY c.n DESC, 2, c.GameID LIMIT $2::int)
SELECT r.name, r.n, )sql"
    + MachinesColumn + R"sql(
  FROM ranked r ORDER BY r.n DESC, r.name, r.GameID
)sql";

// Every launch of the period, and the PCs that made one.
const QByteArray TotalsSql = QByteArray(PeriodCte) + R"sql(
SELECT (SELECT coalesce(sum(h.Launches), 0) FROM GameLaunchHourly h WHERE h.Day >= period.first),
       (SELECT count(*) FROM ClientPresence p WHERE p.LastLaunchDay >= period.first)
  FROM period
)sql";

const QByteArray HoursSql = QByteArray(PeriodCte) + R"sql(
SELECT h.Hour, sum(h.Launches) FROM GameLaunchHourly h, period WHERE h.Day >= period.first GROUP BY h.Hour
)sql";

// $1 is the series' length here.
const QByteArray DaysSql = QByteArray(PeriodCte) + R"sql(
SELECT to_char(h.Day, 'YYYY-MM-DD'), sum(h.Launches) FROM GameLaunchHourly h, period
 WHERE h.Day >= period.first GROUP BY h.Day
)sql";

constexpr char NowSql[] =
    "SELECT to_char((now() AT TIME ZONE RoomTimeZone)::date, 'YYYY-MM-DD'),"
    " to_char(now() AT TIME ZONE RoomTimeZone, 'HH24:MI:SS'), HotTop, HotDays FROM CatalogueServer";

constexpr char LatestSql[] =
    "SELECT p.ClientName, p.LastGame, to_char(p.LastGameAt AT TIME ZONE s.RoomTimeZone, 'HH24:MI')"
    " FROM ClientPresence p, CatalogueServer s WHERE p.LastGameAt IS NOT NULL ORDER BY p.LastGameAt DESC LIMIT 1";

PgHelper::Result run(pg_conn *conn, const char *sql, const std::vector<QByteArray> &parameters = {})
{
    std::vector<const char *> values;
    for (const QByteArray &parameter : parameters)
        values.push_back(parameter.isNull() ? nullptr : parameter.constData());
    PgHelper::Result result(PQexecParams(conn, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    if (!PgHelper::succeeded(result.get()))
        throw PgHelper::error(conn, result.get());
    return result;
}

QString text(const PgHelper::Result &result, int row, int column)
{
    return QString::fromUtf8(PQgetvalue(result.get(), row, column));
}

qint64 number(const PgHelper::Result &result, int row, int column)
{
    return QByteArray(PQgetvalue(result.get(), row, column)).toLongLong();
}

QByteArray days(int value)
{
    return QByteArray::number(qBound(RoomReport::MinDays, value, RoomReport::MaxDays));
}

} // namespace

int RoomReport::onlineCount() const
{
    return int(std::count_if(clients.cbegin(), clients.cend(), [](const Client &client) { return client.online; }));
}

PgHelper::Connection RoomReport::connect(const QString &uri)
{
    const QByteArray conninfo = uri.toUtf8();
    // Keywords after the address would override it, so the defaults come first.
    const char *keys[] = {"connect_timeout", "application_name", "client_encoding", "options", "dbname", nullptr};
    // The report's statements are short: compiling them to machine code would cost more than it saves.
    const char *values[] = {
        "10", "juyoutai-room", "UTF8", "-c statement_timeout=30000 -c jit=off", conninfo.constData(), nullptr};
    PgHelper::Connection conn(PQconnectdbParams(keys, values, 1));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK)
        throw PgHelper::connectError(conn.get());
    return conn;
}

QList<RoomReport::Client> RoomReport::readClients(pg_conn *conn)
{
    const PgHelper::Result result = run(conn, RoomSchema::ClientsSql);
    QList<Client> clients;
    for (int r = 0; r < PQntuples(result.get()); ++r)
        clients.append({text(result, r, 0), text(result, r, 1) == u"t"_s, text(result, r, 2), text(result, r, 3),
                        text(result, r, 4)});
    return clients;
}

void RoomReport::readyPeriod(pg_conn *conn, int days)
{
    run(conn, "SELECT 1 FROM room_ready_period($1::int)", {::days(days)});
}

RoomReport::Ranking RoomReport::readRanking(pg_conn *conn, int days, int top)
{
    readyPeriod(conn, days);
    run(conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    try {
        Ranking ranking = rankingInSnapshot(conn, days, top);
        run(conn, "COMMIT");
        return ranking;
    } catch (const CatalogueError &) {
        PgHelper::Result(PQexec(conn, "ROLLBACK"));
        throw;
    }
}

RoomReport::Ranking RoomReport::rankingInSnapshot(pg_conn *conn, int days, int top)
{
    Ranking ranking;
    ranking.days = qBound(MinDays, days, MaxDays);
    const PgHelper::Result counted = run(conn, CountedSql.constData(), {::days(days)});
    const bool running = PQntuples(counted.get()) == 1 && text(counted, 0, 0) == u"t"_s;
    const PgHelper::Result games = run(conn, (running ? RankingSql : RankingFromDaysSql).constData(),
                                       {::days(days), QByteArray::number(qBound(MinTop, top, MaxTop))});
    for (int r = 0; r < PQntuples(games.get()); ++r)
        ranking.games.append({text(games, r, 0), number(games, r, 1), number(games, r, 2)});
    const PgHelper::Result totals = run(conn, TotalsSql.constData(), {::days(days)});
    if (PQntuples(totals.get()) == 1) {
        ranking.launches = number(totals, 0, 0);
        ranking.machines = number(totals, 0, 1);
    }
    return ranking;
}

RoomReport RoomReport::read(pg_conn *conn, int days, int top)
{
    readyPeriod(conn, days);
    // One snapshot for every figure, so the totals agree with the tables.
    run(conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    try {
        RoomReport report;
        const PgHelper::Result now = run(conn, NowSql);
        const QDate today = QDate::fromString(text(now, 0, 0), Qt::ISODate);
        report.readAt = text(now, 0, 1);
        report.hot = {int(number(now, 0, 2)), int(number(now, 0, 3))};
        report.clients = readClients(conn);
        report.ranking = rankingInSnapshot(conn, days, top);
        const PgHelper::Result hours = run(conn, HoursSql.constData(), {::days(days)});
        for (int r = 0; r < PQntuples(hours.get()); ++r)
            report.launchesPerHour.at(size_t(qBound(0, int(number(hours, r, 0)), 23))) += number(hours, r, 1);
        const PgHelper::Result perDay = run(conn, DaysSql.constData(), {QByteArray::number(DaySeries)});
        for (int d = DaySeries - 1; d >= 0; --d)
            report.launchesPerDay.append({today.addDays(-d), 0});
        for (int r = 0; r < PQntuples(perDay.get()); ++r) {
            const qint64 at = today.daysTo(QDate::fromString(text(perDay, r, 0), Qt::ISODate)) + DaySeries - 1;
            if (at >= 0 && at < DaySeries)
                report.launchesPerDay[at].launches = number(perDay, r, 1);
        }
        report.launchesToday = report.launchesPerDay.constLast().launches;
        const PgHelper::Result latest = run(conn, LatestSql);
        if (PQntuples(latest.get()) == 1)
            report.latestLaunch = Client{text(latest, 0, 0), false, QString(), text(latest, 0, 1), text(latest, 0, 2)};
        run(conn, "COMMIT");
        return report;
    } catch (const CatalogueError &) {
        PgHelper::Result(PQexec(conn, "ROLLBACK"));
        throw;
    }
}

qint64 RoomReport::setRetention(pg_conn *conn, int days)
{
    run(conn, "SELECT 1 FROM room_set_retention($1::int)", {QByteArray::number(days)});
    qint64 pruned = 0;
    for (;;) {
        const PgHelper::Result batch = run(conn, "SELECT room_prune_launches(10000)");
        const qint64 count = number(batch, 0, 0);
        pruned += count;
        if (count == 0)
            return pruned;
    }
}

void RoomReport::setHot(pg_conn *conn, std::optional<HotRule> rule)
{
    // Both NULL for the flag.
    const QByteArray top = rule ? QByteArray::number(qBound(MinTop, rule->top, MaxTop)) : QByteArray();
    const QByteArray period = rule ? days(rule->days) : QByteArray();
    run(conn, "SELECT room_set_hot($1::int, $2::int)", {top, period});
}

bool RoomReport::roomTablesMissing(const CatalogueError &error)
{
    // A table, a function or a column the older set-up lacks.
    const QString text = error.description();
    return text.contains(u"(SQLSTATE 42P01)"_s) || text.contains(u"(SQLSTATE 42883)"_s)
        || text.contains(u"(SQLSTATE 42703)"_s);
}

QString RoomReport::explain(const CatalogueError &error)
{
    if (roomTablesMissing(error))
        return u"服务器上没有机器和启动记录的统计表（请在服务器上用新版本再运行一次 server-init）：%1"_s.arg(
            error.description());
    switch (error.number()) {
    case CatalogueError::ServerPermissionDenied:
        return u"该用户没有所需的权限（请用 juyoutai_operator 连接）：%1"_s.arg(error.description());
    case CatalogueError::ServerLoginRefused:
        return u"服务器拒绝了登录（用户名或密码不对）：%1"_s.arg(error.description());
    case CatalogueError::ServerUnreachable:
        return u"无法连接服务器（请检查地址、端口、数据库名、用户名和密码）：%1"_s.arg(error.description());
    case CatalogueError::ServerConnectionLost:
        return u"与服务器的连接断开了：%1"_s.arg(error.description());
    default:
        return u"服务器出错：%1"_s.arg(error.description());
    }
}
