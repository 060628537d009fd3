#include "RoomReport.h"

#include "cafe/RoomSchema.h"

#include <QTextStream>

#include <libpq-fe.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;
using Table = std::vector<QStringList>;

Connection connectTo(const QString &uri)
{
    const QByteArray conninfo = uri.toUtf8();
    const char *keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char *values[] = {"10", "juyoutai-catalogue", conninfo.constData(), "UTF8", nullptr};
    Connection conn(PQconnectdbParams(keys, values, 1), PQfinish);
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK)
        fail(u"无法连接服务器（请检查地址、端口、数据库名、用户名和密码）：%1"_s.arg(
            conn ? QString::fromUtf8(PQerrorMessage(conn.get())).trimmed() : u"内存不足"_s));
    return conn;
}

Table query(PGconn *conn, const char *sql, const std::vector<QByteArray> &parameters = {})
{
    std::vector<const char *> values;
    for (const QByteArray &parameter : parameters)
        values.push_back(parameter.constData());
    const Result result(PQexecParams(conn, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0),
                        PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        const QByteArray state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        const QString text = QString::fromUtf8(PQresultErrorMessage(result.get())).trimmed();
        if (state == "42P01" || state == "42883")
            fail(u"服务器上没有机器和启动记录的表（请用新版本再运行一次 server-init）：%1"_s.arg(text));
        if (state == "42501")
            fail(u"该用户没有所需的权限（请用 juyoutai_operator 连接）：%1"_s.arg(text));
        fail(u"服务器出错：%1"_s.arg(text));
    }
    Table table;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        QStringList row;
        for (int c = 0; c < PQnfields(result.get()); ++c)
            row.append(QString::fromUtf8(PQgetvalue(result.get(), r, c)));
        table.push_back(row);
    }
    return table;
}

// Columns line up in a terminal: Chinese characters take two cells.
int cells(const QString &text)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x1100 ? 2 : 1;
    return width;
}

void printAligned(const Table &table, QTextStream &out)
{
    std::vector<int> widths;
    for (const QStringList &row : table) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (size_t(c) >= widths.size())
                widths.push_back(0);
            widths[size_t(c)] = qMax(widths[size_t(c)], cells(row.at(c)));
        }
    }
    for (const QStringList &row : table) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            line += row.at(c);
            if (c + 1 < row.size())
                line += QString(widths[size_t(c)] - cells(row.at(c)) + 2, u' ');
        }
        out << line << u'\n';
    }
}

QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u"\""_s, u"\"\""_s) + u'"';
}

int clients(const QString &uri, QTextStream &out)
{
    const Connection conn = connectTo(uri);
    Table table{{u"机器名"_s, u"状态"_s, u"最后在线"_s, u"最近启动"_s}};
    for (const QStringList &row : query(conn.get(), RoomSchema::ClientsSql)) {
        const QString last = row.at(3).isEmpty() ? u"—"_s : u"%1（%2）"_s.arg(row.at(3), row.at(4));
        table.push_back({row.at(0), row.at(1) == u"t"_s ? u"在线"_s : u"离线"_s, row.at(2), last});
    }
    printAligned(table, out);
    return 0;
}

int stats(const QString &uri, int days, int top, bool csv, QTextStream &out)
{
    const Connection conn = connectTo(uri);
    const QByteArray dayText = QByteArray::number(days);
    const Table games = query(conn.get(), RoomSchema::TopGamesSql, {dayText, QByteArray::number(top)});
    const QStringList totals = query(conn.get(), RoomSchema::TotalsSql, {dayText}).at(0);
    Table table{{u"排名"_s, u"游戏名称"_s, u"启动次数"_s, u"机器数"_s}};
    for (size_t i = 0; i < games.size(); ++i)
        table.push_back({QString::number(i + 1), games[i].at(0), games[i].at(1), games[i].at(2)});
    if (csv) {
        table.push_back({u"合计"_s, QString(), totals.at(0), totals.at(1)});
        for (const QStringList &row : table) {
            QStringList fields;
            for (const QString &field : row)
                fields.append(csvField(field));
            out << fields.join(u',') << u"\r\n"_s;
        }
        return 0;
    }
    out << u"最近 %1 天启动最多的游戏：\n"_s.arg(days);
    printAligned(table, out);
    out << u"启动总数 %1，机器数 %2\n"_s.arg(totals.at(0), totals.at(1));
    return 0;
}

// Stored on the server and announced to the running menus, which follow within moments.
int setHot(const QString &uri, std::optional<int> top, std::optional<int> days, QTextStream &out)
{
    const Connection conn = connectTo(uri);
    const QByteArray topText = top ? QByteArray::number(*top) : QByteArray();
    const QByteArray dayText = days ? QByteArray::number(*days) : QByteArray();
    // Both NULL for the flag.
    const char *values[] = {top ? topText.constData() : nullptr, days ? dayText.constData() : nullptr};
    const Result result(
        PQexecParams(conn.get(), "SELECT room_set_hot($1::int, $2::int)", 2, nullptr, values, nullptr, nullptr, 0),
        PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        const QByteArray state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        const QString text = QString::fromUtf8(PQresultErrorMessage(result.get())).trimmed();
        if (state == "42883")
            fail(u"服务器上没有热门推荐的设置（请用新版本再运行一次 server-init）：%1"_s.arg(text));
        if (state == "42501")
            fail(u"该用户没有所需的权限（请用 juyoutai_operator 连接）：%1"_s.arg(text));
        fail(u"服务器出错，设置没有改变：%1"_s.arg(text));
    }
    if (top)
        out << u"热门推荐已改为：最近 %1 天启动最多的 %2 个游戏（各机器约 2 秒内更新）。\n"_s.arg(*days).arg(*top);
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

// Launches older than the given days go, a batch per transaction, so the launches arriving meanwhile
// never wait long.
int setRetention(const QString &uri, int days, QTextStream &out)
{
    const Connection conn = connectTo(uri);
    const QByteArray dayText = QByteArray::number(days);
    query(conn.get(), "SELECT 1 FROM room_set_retention($1::int)", {dayText});
    qint64 pruned = 0;
    for (;;) {
        const qint64 batch = query(conn.get(), "SELECT room_prune_launches(10000)").at(0).at(0).toLongLong();
        pruned += batch;
        if (batch == 0)
            break;
    }
    out << u"启动记录保留 %1 天；已删除 %2 条更早的记录。\n"_s.arg(days).arg(pruned);
    return 0;
}

int setHotCommand(QStringList args, QTextStream &out)
{
    std::optional<int> retention;
    if (const qsizetype at = args.indexOf(u"--retention-days"_s); at >= 2) {
        retention = number(args, at + 1, 1, 36500);
        if (!retention)
            return RoomReport::BadUsage;
        args.remove(at, 2);
    }
    int code = RoomReport::BadUsage;
    if (args.size() == 3 && args.at(2) == u"--flag"_s) {
        code = setHot(args.at(1), std::nullopt, std::nullopt, out);
    } else {
        std::optional<int> top;
        std::optional<int> days;
        for (qsizetype i = 2; i + 1 < args.size() && args.size() == 6; i += 2) {
            if (args.at(i) == u"--top"_s)
                top = number(args, i + 1, 1, 1000);
            else if (args.at(i) == u"--days"_s)
                days = number(args, i + 1, 1, 3650);
        }
        if (top && days)
            code = setHot(args.at(1), top, days, out);
    }
    return code == 0 && retention ? setRetention(args.at(1), *retention, out) : code;
}

} // namespace

bool RoomReport::handles(const QString &command)
{
    return command == u"clients"_s || command == u"stats"_s || command == u"set-hot"_s;
}

int RoomReport::run(const QStringList &args, QTextStream &out)
{
    if (args.value(0) == u"clients"_s)
        return args.size() == 2 ? clients(args.at(1), out) : BadUsage;
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
        else if (args.at(i) == u"--days"_s && (value = number(args, ++i, 1, 3650)))
            days = *value;
        else if (args.at(i) == u"--top"_s && (value = number(args, ++i, 1, 1000)))
            top = *value;
        else
            return BadUsage;
    }
    return stats(args.at(1), days, top, csv, out);
}
