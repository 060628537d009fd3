#include "RoomCommands.h"

#include "cafe/RoomReport.h"
#include "cafe/RoomReportText.h"
#include "catalogue/CatalogueError.h"

#include <QTextStream>

#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// The work of one command on a connection as the given role; failures as the operator reads them.
template<typename Work> int onServer(const QString &uri, Work work)
{
    try {
        const PgHelper::Connection conn = RoomReport::connect(uri);
        work(conn.get());
        return 0;
    } catch (const CatalogueError &error) {
        throw std::runtime_error(RoomReport::explain(error).toStdString());
    }
}

// Stored on the server and announced to the running menus, which follow within moments.
int setHot(const QString &uri, std::optional<RoomReport::HotRule> rule, QTextStream &out)
{
    onServer(uri, [&rule](pg_conn *conn) { RoomReport::setHot(conn, rule); });
    if (rule)
        out << u"热门推荐已改为：最近 %1 天启动最多的 %2 个游戏（各机器约 2 秒内更新）。\n"_s.arg(rule->days)
                   .arg(rule->top);
    else
        out << u"热门推荐已改回：列出标记为热门的游戏（GameHot）。\n"_s;
    return 0;
}

// A whole number in range after the option, or nothing.
std::optional<int> number(const QStringList &args, qsizetype at, int lowest, int highest)
{
    bool ok = false;
    const int value = args.value(at).toInt(&ok);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

int setHotCommand(QStringList args, QTextStream &out)
{
    std::optional<int> retention;
    if (const qsizetype at = args.indexOf(u"--retention-days"_s); at >= 2) {
        retention = number(args, at + 1, RoomReport::MinDays, RoomReport::MaxRetentionDays);
        if (!retention)
            return RoomCommands::BadUsage;
        args.remove(at, 2);
    }
    int code = RoomCommands::BadUsage;
    if (args.size() == 3 && args.at(2) == u"--flag"_s) {
        code = setHot(args.at(1), std::nullopt, out);
    } else {
        std::optional<int> top;
        std::optional<int> days;
        for (qsizetype i = 2; i + 1 < args.size() && args.size() == 6; i += 2) {
            if (args.at(i) == u"--top"_s)
                top = number(args, i + 1, RoomReport::MinTop, RoomReport::MaxTop);
            else if (args.at(i) == u"--days"_s)
                days = number(args, i + 1, RoomReport::MinDays, RoomReport::MaxDays);
        }
        if (top && days)
            code = setHot(args.at(1), RoomReport::HotRule{*top, *days}, out);
    }
    if (code != 0 || !retention)
        return code;
    // Launches older than the given days go.
    qint64 pruned = 0;
    onServer(args.at(1), [&](pg_conn *conn) { pruned = RoomReport::setRetention(conn, *retention); });
    out << u"启动记录保留 %1 天；已删除 %2 条更早的记录。\n"_s.arg(*retention).arg(pruned);
    return 0;
}

} // namespace

bool RoomCommands::handles(const QString &command)
{
    return command == u"clients"_s || command == u"stats"_s || command == u"set-hot"_s;
}

int RoomCommands::run(const QStringList &args, QTextStream &out)
{
    if (args.value(0) == u"clients"_s) {
        if (args.size() != 2)
            return BadUsage;
        return onServer(args.at(1),
                        [&out](pg_conn *conn) { out << RoomReportText::clients(RoomReport::readClients(conn)); });
    }
    if (args.size() < 2 || args.at(1).startsWith(u"--"_s))
        return BadUsage;
    if (args.at(0) == u"set-hot"_s)
        return setHotCommand(args, out);
    int days = DefaultDays;
    int top = DefaultTop;
    bool csv = false;
    for (qsizetype i = 2; i < args.size(); ++i) {
        std::optional<int> value;
        if (args.at(i) == u"--csv"_s)
            csv = true;
        else if (args.at(i) == u"--days"_s && (value = number(args, ++i, RoomReport::MinDays, RoomReport::MaxDays)))
            days = *value;
        else if (args.at(i) == u"--top"_s && (value = number(args, ++i, RoomReport::MinTop, RoomReport::MaxTop)))
            top = *value;
        else
            return BadUsage;
    }
    return onServer(args.at(1), [&](pg_conn *conn) {
        const RoomReport::Ranking ranking = RoomReport::readRanking(conn, days, top);
        out << (csv ? RoomReportText::csv(ranking) : RoomReportText::stats(ranking));
    });
}
