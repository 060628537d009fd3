#include "ServerCatalogue.h"

#include "DemoCatalogue.h"
#include "StagingFolder.h"

#include "cafe/PgHelper.h"
#include "cafe/RoomSchema.h"
#include "cafe/ServerSchema.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QTextStream>
#include <QThread>

#include <libpq-fe.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Value = std::optional<QByteArray>; // nullopt is NULL
using Row = std::vector<Value>;

constexpr int GameColumns = 8;
constexpr char GameColumnList[] = "GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon";
// Rows per INSERT: few round trips, well under the server's limit on parameters.
constexpr int RowsPerInsert = 500;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

// A set-up of another database changed the roles while this one was changing them.
struct RolesChangedMeanwhile
{
};

QString serverText(const char *text)
{
    return QString::fromUtf8(text).trimmed();
}

// The server keeps only text that is valid UTF-8 without NUL characters.
bool isStorableText(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

using Result = PgHelper::Result;

// One connection to the server; closing it without a commit rolls back whatever was begun.
class Server
{
public:
    explicit Server(const QString &uri);
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    Result run(const QByteArray &sql, const std::vector<Value> &parameters = {});
    // As run, but false where another transaction changed the same row of a catalogue the whole server
    // shares (the server tells it only as an internal error) since this one began to.
    bool runUnlessChangedMeanwhile(const QByteArray &sql);
    QByteArray value(const QByteArray &sql, const std::vector<Value> &parameters = {});
    void commit();
    QByteArray literal(const QByteArray &text);
    QByteArray identifier(const QByteArray &name);
    PGconn *handle() const { return m_conn.get(); }

private:
    [[noreturn]] void failWith(const PGresult *result) const;

    PgHelper::Connection m_conn;
};

void checkUri(const QByteArray &uri)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.constData(), &error);
    if (options) {
        PQconninfoFree(options);
        return;
    }
    const QString text = error ? serverText(error) : u"内存不足"_s;
    PQfreemem(error);
    fail(u"连接字符串无效：%1"_s.arg(text));
}

Server::Server(const QString &uri)
{
    const QByteArray conninfo = uri.toUtf8();
    checkUri(conninfo);
    // The URI's own settings win, except the encoding: values travel as UTF-8 both ways.
    const char *keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char *values[] = {"10", "juyoutai-catalogue", conninfo.constData(), "UTF8", nullptr};
    m_conn.reset(PQconnectdbParams(keys, values, 1));
    if (!m_conn)
        fail(u"无法连接服务器：%1"_s.arg(PgHelper::connectError(nullptr).description()));
    if (PQstatus(handle()) == CONNECTION_OK)
        return;
    const QString text = serverText(PQerrorMessage(handle()));
    if (PQconnectionNeedsPassword(handle()))
        fail(u"服务器要求密码，但连接字符串中没有密码：%1"_s.arg(text));
    if (text.contains(u"password authentication failed"_s))
        fail(u"用户名或密码错误：%1"_s.arg(text));
    fail(u"无法连接服务器（请检查地址、端口、数据库名、用户名和密码）：%1"_s.arg(text));
}

Result Server::run(const QByteArray &sql, const std::vector<Value> &parameters)
{
    std::vector<const char *> values;
    values.reserve(parameters.size());
    for (const Value &parameter : parameters)
        values.push_back(parameter ? parameter->constData() : nullptr);
    Result result(parameters.empty() ? PQexec(handle(), sql.constData())
                                     : PQexecParams(handle(), sql.constData(), int(values.size()), nullptr,
                                                    values.data(), nullptr, nullptr, 0));
    if (!PgHelper::succeeded(result.get()))
        failWith(result.get());
    return result;
}

bool Server::runUnlessChangedMeanwhile(const QByteArray &sql)
{
    const Result result(PQexec(handle(), sql.constData()));
    if (PgHelper::succeeded(result.get()))
        return true;
    if (PgHelper::sqlState(result.get()) == "XX000")
        return false;
    failWith(result.get());
}

QByteArray Server::value(const QByteArray &sql, const std::vector<Value> &parameters)
{
    const Result result = run(sql, parameters);
    return PQntuples(result.get()) > 0 ? QByteArray(PQgetvalue(result.get(), 0, 0)) : QByteArray();
}

void Server::commit()
{
    // A transaction that failed on the server answers COMMIT with ROLLBACK.
    const Result result = run("COMMIT");
    if (qstrcmp(PQcmdStatus(result.get()), "COMMIT") != 0)
        fail(u"服务器没有提交这次修改（已回滚），服务器上的数据没有变化。"_s);
}

QByteArray Server::literal(const QByteArray &text)
{
    char *escaped = PQescapeLiteral(handle(), text.constData(), size_t(text.size()));
    if (!escaped)
        fail(u"无法转义文本：%1"_s.arg(serverText(PQerrorMessage(handle()))));
    const QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

QByteArray Server::identifier(const QByteArray &name)
{
    char *escaped = PQescapeIdentifier(handle(), name.constData(), size_t(name.size()));
    if (!escaped)
        fail(u"无法转义名称：%1"_s.arg(serverText(PQerrorMessage(handle()))));
    const QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

void Server::failWith(const PGresult *result) const
{
    const QByteArray state = PgHelper::sqlState(result);
    const QString text = PgHelper::errorText(handle(), result);
    const int number = PgHelper::errorNumber(handle(), state);
    if (state.isEmpty() || number == CatalogueError::ServerConnectionLost)
        fail(u"与服务器的连接中断，服务器上的数据没有变化：%1"_s.arg(text));
    if (number == CatalogueError::ServerPermissionDenied)
        fail(u"该用户没有所需的权限，服务器上的数据没有变化：%1"_s.arg(text));
    if (state == "42P01" || state == "42883")
        fail(u"服务器上没有游戏目录（请先运行 server-init）：%1"_s.arg(text));
    if (state == "42P07" || state == "42723")
        fail(u"该数据库已经初始化过，没有做任何修改：%1"_s.arg(text));
    fail(u"服务器出错（%1），服务器上的数据没有变化：%2"_s.arg(QString::fromLatin1(state), text));
}

// ---- the catalogue file ----

// A column of the file as the server will keep it; `where` names the row for the operator.
Value fileValue(const CatalogueBackend::Cell &cell, const QString &name, const QString &where)
{
    if (cell.kind == CatalogueBackend::Cell::Null)
        return std::nullopt;
    if (cell.kind == CatalogueBackend::Cell::Bytes)
        fail(u"%1的 %2 列是二进制数据，服务器只能保存文本；请先在本机修改这一项。服务器上的数据没有变化。"_s.arg(where,
                                                                                                                 name));
    const QByteArray bytes(cell.data ? cell.data : "", cell.size);
    if (!isStorableText(bytes))
        fail(
            u"%1的 %2 列不是有效的 UTF-8 文本（或含有 NUL 字符），服务器只能保存有效的文本；请先在本机修改这一项。服务器上的数据没有变化。"_s
                .arg(where, name));
    return bytes;
}

// ---- copying ----

// Sends rows in a few multi-row INSERTs; `head` is "INSERT INTO T (columns)", casts one "$n::type" per column.
class RowSender
{
public:
    RowSender(Server &server, QByteArray head, QList<QByteArray> casts)
        : m_server(server)
        , m_head(std::move(head))
        , m_casts(std::move(casts))
    {
    }

    void add(Row row)
    {
        m_rows.push_back(std::move(row));
        ++m_sent;
        if (int(m_rows.size()) == RowsPerInsert)
            flush();
    }

    void flush()
    {
        if (m_rows.empty())
            return;
        QByteArray sql = m_head + " VALUES ";
        std::vector<Value> parameters;
        for (Row &row : m_rows) {
            sql += parameters.empty() ? "(" : ",(";
            for (int i = 0; i < int(row.size()); ++i) {
                parameters.push_back(std::move(row[i]));
                sql += (i ? ",$" : "$") + QByteArray::number(qsizetype(parameters.size())) + "::" + m_casts[i];
            }
            sql += ')';
        }
        m_server.run(sql, parameters);
        m_rows.clear();
    }

    qint64 sent() const { return m_sent; }

private:
    Server &m_server;
    QByteArray m_head;
    QList<QByteArray> m_casts;
    std::vector<Row> m_rows;
    qint64 m_sent = 0;
};

qint64 sendTypes(CatalogueConnection &file, Server &server)
{
    // The order the menu shows the tabs in.
    RowSender sender(server, "INSERT INTO TypeList (TypeName)", {"text"});
    qint64 position = 0;
    QSet<QByteArray> names;
    file.backend().forEachRow(
        u"SELECT TypeName FROM TypeList"_s, {u"TypeName"_s}, [&](const CatalogueBackend::Cell *cells) {
            Value name = fileValue(cells[0], u"TypeName"_s, u"分类表第 %1 行"_s.arg(++position));
            // The server keeps one category of a name: two would be one tab the menus cannot tell apart.
            if (name && !names.contains(*name))
                names.insert(*name);
            else if (name)
                fail(
                    u"分类表中有同名的分类“%1”，服务器上的分类名称不能重复；请先在本机给其中一个改名或删除它。服务器上的数据没有变化。"_s
                        .arg(QString::fromUtf8(*name)));
            sender.add({std::move(name)});
        });
    sender.flush();
    return sender.sent();
}

qint64 sendGames(CatalogueConnection &file, Server &server)
{
    const QStringList columns = QString::fromLatin1(GameColumnList).split(u", "_s);
    RowSender sender(server, "INSERT INTO GameList ("_ba + GameColumnList + ')',
                     {"bigint", "text", "text", "text", "text", "text", "text", "text"});
    file.backend().forEachRow(u"SELECT "_s + QString::fromLatin1(GameColumnList) + u" FROM GameList ORDER BY GameID"_s,
                              columns, [&](const CatalogueBackend::Cell *cells) {
                                  const QByteArray id(cells[0].data, cells[0].size);
                                  const QString where = u"游戏表中 GameID 为 %1 的行"_s.arg(QString::fromLatin1(id));
                                  Row row{id};
                                  for (int column = 1; column < GameColumns; ++column)
                                      row.push_back(fileValue(cells[column], columns.at(column), where));
                                  sender.add(std::move(row));
                              });
    sender.flush();
    return sender.sent();
}

// Leaves an empty catalogue to fill: what is there stops the copy, or goes with replace.
void clearServer(Server &server, bool replace)
{
    // Other writers wait until the copy is committed; the menus keep reading the old rows meanwhile.
    server.run("LOCK TABLE TypeList, GameList IN EXCLUSIVE MODE");
    const qint64 types = server.value("SELECT count(*) FROM TypeList").toLongLong();
    const qint64 games = server.value("SELECT count(*) FROM GameList").toLongLong();
    if (types == 0 && games == 0)
        return;
    if (!replace)
        fail(
            u"服务器上的游戏目录不是空的（%1 个分类，%2 个游戏），没有做任何修改；要用本机的目录替换它，请加 --replace。"_s
                .arg(types)
                .arg(games));
    // DELETE, not TRUNCATE: the menus learn of each removed row from its deletion marker.
    server.run("DELETE FROM GameList");
    server.run("DELETE FROM TypeList");
}

std::vector<Row> serverRows(Server &server, const QByteArray &sql)
{
    const Result result = server.run(sql);
    std::vector<Row> rows;
    rows.reserve(size_t(PQntuples(result.get())));
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        Row row;
        for (int c = 0; c < PQnfields(result.get()); ++c) {
            if (PQgetisnull(result.get(), r, c)) {
                row.push_back(std::nullopt);
                continue;
            }
            QByteArray bytes(PQgetvalue(result.get(), r, c), PQgetlength(result.get(), r, c));
            if (!isStorableText(bytes))
                fail(u"服务器上的数据不是有效的 UTF-8 文本（第 %1 行），没有写入文件。"_s.arg(r + 1));
            row.push_back(std::move(bytes));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void writeFile(const QString &path, const std::vector<Row> &types, const std::vector<Row> &games)
{
    CatalogueFileWriter file(path, QString::fromUtf16(Catalogue::Password));
    for (const Row &row : types)
        file.addType(row[0].value_or(QByteArray()));
    for (const Row &row : games) {
        CatalogueFileWriter::GameValues values;
        for (int i = 0; i < CatalogueFileWriter::GameColumns; ++i)
            values[i] = row[i + 1].value_or(QByteArray());
        file.addGame(row[0].value_or(QByteArray()).toLongLong(), values);
    }
    file.commit();
}

QString databaseFile(const QString &directory)
{
    return DemoCatalogue::databasePath(directory);
}

void requireDirectory(const QString &directory)
{
    if (!QFileInfo(directory).isDir())
        fail(u"目录不存在：%1"_s.arg(directory));
}

// ---- the command line ----

struct Arguments
{
    QStringList positional;
    QHash<QString, QString> options;
    bool replace = false;
};

std::optional<Arguments> parse(const QStringList &args, const QStringList &valueOptions, bool allowReplace)
{
    Arguments parsed;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (valueOptions.contains(arg) && i + 1 < args.size()) {
            parsed.options.insert(arg, args.at(++i));
        } else if (allowReplace && arg == u"--replace"_s) {
            parsed.replace = true;
        } else if (arg.startsWith(u"--"_s) || arg.isEmpty()) {
            return std::nullopt;
        } else {
            parsed.positional.append(arg);
        }
    }
    return parsed;
}

// From the option, else from the environment, which other users cannot see the way they see argv.
QString password(const Arguments &parsed, const QString &option, const char *variable)
{
    QString value = parsed.options.value(option, qEnvironmentVariable(variable));
    if (value.isEmpty())
        fail(u"缺少密码：请用 %1 或环境变量 %2 给出。"_s.arg(option, QString::fromLatin1(variable)));
    if (value.contains(QChar(0)))
        fail(u"密码不能含有 NUL 字符。"_s);
    return value;
}

// The option's whole number in range; nothing when it is absent or not one.
std::optional<int> wholeNumber(const Arguments &parsed, const QString &option, int lowest, int highest)
{
    bool ok = false;
    const int value = parsed.options.value(option).toInt(&ok);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

QString countsText(const ServerCatalogue::Counts &counts)
{
    return u"%1 个分类，%2 个游戏"_s.arg(counts.types).arg(counts.games);
}

} // namespace

bool ServerCatalogue::handles(const QString &command)
{
    return command == u"server-init"_s || command == u"push"_s || command == u"pull"_s;
}

int ServerCatalogue::run(const QStringList &args, QTextStream &out)
{
    const QString command = args.value(0);
    const QStringList passwordOptions{u"--menu-password"_s, u"--operator-password"_s};
    const QStringList initOptions = passwordOptions + QStringList{u"--menu-connection-limit"_s, u"--retention-days"_s};
    const std::optional<Arguments> parsed =
        parse(args, command == u"server-init"_s ? initOptions : QStringList(), command == u"push"_s);
    if (!parsed || parsed->positional.size() != (command == u"server-init"_s ? 1 : 2))
        return BadUsage;
    const QStringList &p = parsed->positional;
    if (command == u"server-init"_s) {
        Settings settings;
        settings.menuPassword = password(*parsed, passwordOptions.at(0), "JUYOUTAI_MENU_PASSWORD");
        settings.operatorPassword = password(*parsed, passwordOptions.at(1), "JUYOUTAI_OPERATOR_PASSWORD");
        const std::optional<int> limit = wholeNumber(*parsed, u"--menu-connection-limit"_s, 1, 100000);
        const std::optional<int> days = wholeNumber(*parsed, u"--retention-days"_s, 1, 36500);
        if (!limit.has_value() && parsed->options.contains(u"--menu-connection-limit"_s))
            return BadUsage;
        if (!days.has_value() && parsed->options.contains(u"--retention-days"_s))
            return BadUsage;
        settings.menuConnectionLimit = limit.value_or(0);
        settings.retentionDays = days.value_or(0);
        Outcome outcome;
        for (int attempt = 1;; ++attempt) {
            try {
                outcome = initialise(p.at(0), settings);
                break;
            } catch (const RolesChangedMeanwhile &) {
                // Nothing of this attempt was kept: its connection went without a commit.
                if (attempt == 3)
                    fail(
                        u"另一个数据库的设置同时在修改角色 juyoutai_menu、juyoutai_operator，请稍后再试；服务器上的数据没有变化。"_s);
                QThread::msleep(100UL * ulong(attempt));
            }
        }
        out << (outcome.upgraded
                    ? u"服务器已升级：已添加或更新机器、启动记录、统计和热门排行的表与函数，游戏目录和角色的密码没有变化。\n"_s
                    : u"服务器已初始化：已创建游戏目录的表和角色 juyoutai_menu、juyoutai_operator。\n"_s);
        out << u"juyoutai_menu 最多同时 %1 个连接（服务器的 max_connections 为 %2）；启动记录保留 %3 天。\n"_s
                   .arg(outcome.menuConnectionLimit)
                   .arg(outcome.maxConnections)
                   .arg(outcome.retentionDays);
        if (!outcome.locksGuarded)
            out << u"提示：请以超级用户（如 postgres）再运行一次 server-init，才能禁止 juyoutai_menu 直接调用咨询锁函数"
                   "（否则一个菜单连接可以占满服务器的锁表）。\n"_s;
    } else if (command == u"push"_s) {
        const Counts counts = push(QDir(p.at(0)).absolutePath(), p.at(1), parsed->replace);
        out << u"已上传到服务器："_s << countsText(counts) << u'\n';
    } else {
        const QString directory = QDir(p.at(1)).absolutePath();
        const Counts counts = pull(p.at(0), directory);
        out << u"已创建: "_s << databaseFile(directory) << u"（"_s << countsText(counts) << u"）\n"_s;
    }
    return 0;
}

ServerCatalogue::Outcome ServerCatalogue::initialise(const QString &adminUri, const Settings &settings)
{
    Server server(adminUri);
    if (server.value("SELECT pg_encoding_to_char(encoding) FROM pg_database WHERE datname = current_database()")
        != "UTF8")
        fail(u"数据库的编码不是 UTF8，无法保存中文游戏名；请用 CREATE DATABASE ... ENCODING 'UTF8' 新建数据库。"_s);
    server.run("BEGIN");
    Outcome outcome;
    outcome.upgraded = server.value("SELECT to_regclass('typelist') IS NOT NULL OR to_regclass('gamelist') IS NOT NULL"
                                    " OR to_regclass('cataloguedeleted') IS NOT NULL")
        == "t";
    if (outcome.upgraded) {
        // Laid out by an older version: the room's tables and functions are added or brought up to date,
        // the catalogue's rows and the roles' passwords are not touched.
        // A server of the version before this one lacks the running counts of the last days only.
        if (server.value("SELECT to_regclass('hotranking') IS NOT NULL AND to_regclass('launchperiod') IS NOT NULL")
            == "t")
            fail(u"该数据库已经初始化过（已有游戏目录的表），没有做任何修改。"_s);
        // Two categories of one name cannot be told apart: the operator settles which one stays.
        const QByteArray repeated =
            server.value("SELECT string_agg(quote_literal(TypeName), '、' ORDER BY TypeName) FROM"
                         " (SELECT TypeName FROM TypeList GROUP BY TypeName HAVING count(*) > 1) r");
        if (!repeated.isEmpty())
            fail(
                u"服务器上有同名的分类：%1。请先在菜单的分类管理中给重名的分类改名或删除多余的一个，再运行 server-init；没有做任何修改。"_s
                    .arg(QString::fromUtf8(repeated)));
        server.run(RoomSchema::CreateSql);
        server.run(RoomSchema::GrantSql);
        // Roll-ups of the launches recorded so far.
        server.run("SELECT room_rebuild_rollups()");
    } else {
        server.run(ServerSchema::CreateSql);
        server.run(RoomSchema::CreateSql);
    }
    if (settings.retentionDays > 0)
        server.run("UPDATE CatalogueServer SET LaunchRetentionDays = $1::int",
                   {QByteArray::number(settings.retentionDays)});
    outcome.retentionDays = server.value("SELECT LaunchRetentionDays FROM CatalogueServer").toInt();
    // Room for the operators and the admin beside a room full of menus.
    outcome.maxConnections = server.value("SELECT current_setting('max_connections')::int").toInt();
    outcome.menuConnectionLimit = settings.menuConnectionLimit > 0
        ? settings.menuConnectionLimit
        : qMax(1, outcome.maxConnections - MenuConnectionsLeftFree);
    // Roles are the whole server's. The lock keeps two set-ups of this database apart; one of another
    // database that changes a role first makes this one fail, and it is tried again (see run).
    server.run("SELECT pg_advisory_xact_lock(727001)");
    if (!outcome.upgraded) {
        const std::pair<const char *, QString> roles[] = {{ServerSchema::MenuRole, settings.menuPassword},
                                                          {ServerSchema::OperatorRole, settings.operatorPassword}};
        for (const auto &[role, secret] : roles) {
            // Only the verifier travels: the password itself never appears in a statement or a server log.
            char *verifier = PQencryptPasswordConn(server.handle(), secret.toUtf8().constData(), role, nullptr);
            if (!verifier)
                fail(u"无法加密密码：%1"_s.arg(serverText(PQerrorMessage(server.handle()))));
            const QByteArray verifierLiteral = server.literal(verifier);
            PQfreemem(verifier);
            // Roles belong to the whole server: one made for another database only gets the new password.
            const bool exists =
                !server.value("SELECT 1 FROM pg_roles WHERE rolname = $1", {QByteArray(role)}).isEmpty();
            if (!server.runUnlessChangedMeanwhile((exists ? "ALTER ROLE "_ba : "CREATE ROLE "_ba) + role
                                                  + " LOGIN PASSWORD " + verifierLiteral))
                throw RolesChangedMeanwhile();
        }
        server.run(ServerSchema::GrantSql);
        server.run(RoomSchema::GrantSql);
    }
    if (!server.runUnlessChangedMeanwhile("ALTER ROLE "_ba + ServerSchema::MenuRole + " CONNECTION LIMIT "
                                          + QByteArray::number(outcome.menuConnectionLimit)))
        throw RolesChangedMeanwhile();
    const QByteArray database = server.identifier(server.value("SELECT current_database()"));
    server.run("GRANT CONNECT ON DATABASE "_ba + database + " TO " + ServerSchema::MenuRole + ", "
               + ServerSchema::OperatorRole);
    // A menu's session has no use for tables of its own, and each would hold a lock until its transaction ends.
    server.run("REVOKE TEMPORARY ON DATABASE "_ba + database + " FROM PUBLIC");
    outcome.locksGuarded = server.value("SELECT rolsuper FROM pg_roles WHERE rolname = current_user") == "t";
    if (outcome.locksGuarded)
        server.run(RoomSchema::GuardLocksSql);
    server.commit();
    return outcome;
}

ServerCatalogue::Counts ServerCatalogue::push(const QString &directory, const QString &uri, bool replace)
{
    requireDirectory(directory);
    const QString path = databaseFile(directory);
    if (!QFileInfo(path).isFile())
        fail(u"找不到游戏目录文件：%1"_s.arg(path));
    CatalogueConnection file;
    file.Open(path, QString::fromUtf16(Catalogue::Password));
    Server server(uri);
    server.run("BEGIN");
    clearServer(server, replace);
    Counts counts;
    counts.types = sendTypes(file, server);
    counts.games = sendGames(file, server);
    server.run("SELECT catalogue_advance_game_ids()");
    // A replaced catalogue is another one: every menu reads it whole once, whatever its copy holds.
    if (replace && server.value("SELECT to_regprocedure('catalogue_renew_identity()') IS NOT NULL") == "t")
        server.run("SELECT catalogue_renew_identity()");
    server.commit();
    return counts;
}

ServerCatalogue::Counts ServerCatalogue::pull(const QString &uri, const QString &directory)
{
    requireDirectory(directory);
    const QString name = QString::fromUtf16(Catalogue::FileName);
    StagingFolder::requireFree(directory, {name});
    Server server(uri);
    // Both tables from one moment, even while an operator is saving.
    server.run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    const std::vector<Row> types = serverRows(server, "SELECT TypeName FROM TypeList ORDER BY TypeID");
    const std::vector<Row> games = serverRows(server, "SELECT "_ba + GameColumnList + " FROM GameList ORDER BY GameID");
    server.commit();
    StagingFolder staging(directory);
    writeFile(staging.filePath(name), types, games);
    staging.moveIntoPlace({name});
    return {qint64(types.size()), qint64(games.size())};
}
