#include "ServerCatalogue.h"

#include "DemoCatalogue.h"
#include "StagingFolder.h"

#include "cafe/RoomSchema.h"
#include "cafe/ServerSchema.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QTextStream>

#include <libpq-fe.h>
#include <sqlite3.h>

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

struct ResultFree
{
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// One connection to the server; closing it without a commit rolls back whatever was begun.
class Server
{
public:
    explicit Server(const QString &uri);
    ~Server() { PQfinish(m_conn); }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    Result run(const QByteArray &sql, const std::vector<Value> &parameters = {});
    QByteArray value(const QByteArray &sql, const std::vector<Value> &parameters = {});
    void commit();
    QByteArray literal(const QByteArray &text);
    QByteArray identifier(const QByteArray &name);
    PGconn *handle() const { return m_conn; }

private:
    [[noreturn]] void failWith(const PGresult *result) const;

    PGconn *m_conn = nullptr;
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
    m_conn = PQconnectdbParams(keys, values, 1);
    if (!m_conn)
        fail(u"无法连接服务器：内存不足"_s);
    if (PQstatus(m_conn) == CONNECTION_OK)
        return;
    const QString text = serverText(PQerrorMessage(m_conn));
    if (PQconnectionNeedsPassword(m_conn))
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
    Result result(parameters.empty() ? PQexec(m_conn, sql.constData())
                                     : PQexecParams(m_conn, sql.constData(), int(values.size()), nullptr, values.data(),
                                                    nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        failWith(result.get());
    return result;
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
    char *escaped = PQescapeLiteral(m_conn, text.constData(), size_t(text.size()));
    if (!escaped)
        fail(u"无法转义文本：%1"_s.arg(serverText(PQerrorMessage(m_conn))));
    const QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

QByteArray Server::identifier(const QByteArray &name)
{
    char *escaped = PQescapeIdentifier(m_conn, name.constData(), size_t(name.size()));
    if (!escaped)
        fail(u"无法转义名称：%1"_s.arg(serverText(PQerrorMessage(m_conn))));
    const QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

void Server::failWith(const PGresult *result) const
{
    const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString text = serverText(result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
    if (state.isEmpty())
        fail(u"与服务器的连接中断，服务器上的数据没有变化：%1"_s.arg(serverText(PQerrorMessage(m_conn))));
    if (state == "42501")
        fail(u"该用户没有所需的权限，服务器上的数据没有变化：%1"_s.arg(text));
    if (state == "42P01" || state == "42883")
        fail(u"服务器上没有游戏目录（请先运行 server-init）：%1"_s.arg(text));
    if (state == "42P07" || state == "42723")
        fail(u"该数据库已经初始化过，没有做任何修改：%1"_s.arg(text));
    fail(u"服务器出错（%1），服务器上的数据没有变化：%2"_s.arg(QString::fromLatin1(state), text));
}

// ---- the catalogue file ----

class Statement
{
public:
    Statement(CatalogueConnection &file, const char *sql)
        : m_file(file)
    {
        if (sqlite3_prepare_v2(file.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            file.throwLastError();
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool next()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_file.throwLastError();
        return rc == SQLITE_ROW;
    }
    // keyFirst: the first value is the row's integer key.
    void insert(const Row &row, bool keyFirst = false)
    {
        sqlite3_reset(m_stmt);
        for (int i = 0; i < int(row.size()); ++i) {
            if (keyFirst && i == 0 && row[0]) {
                if (sqlite3_bind_int64(m_stmt, 1, row[0]->toLongLong()) != SQLITE_OK)
                    m_file.throwLastError();
                continue;
            }
            const int rc = row[i]
                ? sqlite3_bind_text(m_stmt, i + 1, row[i]->constData(), int(row[i]->size()), SQLITE_TRANSIENT)
                : sqlite3_bind_null(m_stmt, i + 1);
            if (rc != SQLITE_OK)
                m_file.throwLastError();
        }
        next();
    }
    sqlite3_stmt *get() const { return m_stmt; }

private:
    CatalogueConnection &m_file;
    sqlite3_stmt *m_stmt = nullptr;
};

// A column of the file as the server will keep it; `where` names the row for the operator.
Value fileValue(sqlite3_stmt *stmt, int column, const QString &where)
{
    const int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_NULL)
        return std::nullopt;
    const QString name = QString::fromUtf8(sqlite3_column_name(stmt, column));
    if (type == SQLITE_BLOB)
        fail(u"%1的 %2 列是二进制数据，服务器只能保存文本；请先在本机修改这一项。服务器上的数据没有变化。"_s.arg(where,
                                                                                                                 name));
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    const QByteArray bytes(text ? text : "", sqlite3_column_bytes(stmt, column));
    if (!isStorableText(bytes))
        fail(
            u"%1的 %2 列不是有效的 UTF-8 文本（或含有 NUL 字符），服务器只能保存有效的文本；请先在本机修改这一项。服务器上的数据没有变化。"_s
                .arg(where, name));
    return bytes;
}

QString gameRowName(sqlite3_stmt *stmt)
{
    return u"游戏表中 GameID 为 %1 的行"_s.arg(sqlite3_column_int64(stmt, 0));
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
    Statement select(file, "SELECT TypeName FROM TypeList");
    RowSender sender(server, "INSERT INTO TypeList (TypeName)", {"text"});
    for (int position = 1; select.next(); ++position)
        sender.add({fileValue(select.get(), 0, u"分类表第 %1 行"_s.arg(position))});
    sender.flush();
    return sender.sent();
}

qint64 sendGames(CatalogueConnection &file, Server &server)
{
    Statement select(file, QByteArray("SELECT "_ba + GameColumnList + " FROM GameList ORDER BY GameID").constData());
    RowSender sender(server, "INSERT INTO GameList ("_ba + GameColumnList + ')',
                     {"bigint", "text", "text", "text", "text", "text", "text", "text"});
    while (select.next()) {
        const QString where = gameRowName(select.get());
        Row row{QByteArray::number(sqlite3_column_int64(select.get(), 0))};
        for (int column = 1; column < GameColumns; ++column)
            row.push_back(fileValue(select.get(), column, where));
        sender.add(std::move(row));
    }
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
    CatalogueConnection::Create(path, QString::fromUtf16(Catalogue::Password));
    CatalogueConnection file;
    file.Open(path, QString::fromUtf16(Catalogue::Password));
    file.BeginTrans();
    {
        Statement typeInsert(file, "INSERT INTO TypeList (TypeName) VALUES (?)");
        for (const Row &row : types)
            typeInsert.insert(row);
        Statement gameInsert(
            file, QByteArray("INSERT INTO GameList ("_ba + GameColumnList + ") VALUES (?,?,?,?,?,?,?,?)").constData());
        for (const Row &row : games)
            gameInsert.insert(row, true);
    }
    file.CommitTrans();
    file.Close();
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
    const std::optional<Arguments> parsed =
        parse(args, command == u"server-init"_s ? passwordOptions : QStringList(), command == u"push"_s);
    if (!parsed || parsed->positional.size() != (command == u"server-init"_s ? 1 : 2))
        return BadUsage;
    const QStringList &p = parsed->positional;
    if (command == u"server-init"_s) {
        const bool upgraded = initialise(p.at(0), password(*parsed, passwordOptions.at(0), "JUYOUTAI_MENU_PASSWORD"),
                                         password(*parsed, passwordOptions.at(1), "JUYOUTAI_OPERATOR_PASSWORD"));
        out << (upgraded ? u"服务器已升级：已添加机器、启动记录和目录标识的表，游戏目录和角色没有变化。\n"_s
                         : u"服务器已初始化：已创建游戏目录的表和角色 juyoutai_menu、juyoutai_operator。\n"_s);
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

bool ServerCatalogue::initialise(const QString &adminUri, const QString &menuPassword, const QString &operatorPassword)
{
    Server server(adminUri);
    if (server.value("SELECT pg_encoding_to_char(encoding) FROM pg_database WHERE datname = current_database()")
        != "UTF8")
        fail(u"数据库的编码不是 UTF8，无法保存中文游戏名；请用 CREATE DATABASE ... ENCODING 'UTF8' 新建数据库。"_s);
    server.run("BEGIN");
    if (server.value("SELECT to_regclass('typelist') IS NOT NULL OR to_regclass('gamelist') IS NOT NULL"
                     " OR to_regclass('cataloguedeleted') IS NOT NULL")
        == "t") {
        // Laid out by an older version: the room's tables are added, nothing else is touched.
        if (server.value("SELECT to_regclass('catalogueserver') IS NOT NULL") == "t")
            fail(u"该数据库已经初始化过（已有游戏目录的表），没有做任何修改。"_s);
        server.run(RoomSchema::CreateSql);
        server.run(RoomSchema::GrantSql);
        server.commit();
        return true;
    }
    server.run(ServerSchema::CreateSql);
    server.run(RoomSchema::CreateSql);
    // Roles are the whole server's: two set-ups at once, for two databases, would race on the same rows.
    server.run("SELECT pg_advisory_xact_lock(727001)");
    const std::pair<const char *, QString> roles[] = {{ServerSchema::MenuRole, menuPassword},
                                                      {ServerSchema::OperatorRole, operatorPassword}};
    for (const auto &[role, secret] : roles) {
        // Only the verifier travels: the password itself never appears in a statement or a server log.
        char *verifier = PQencryptPasswordConn(server.handle(), secret.toUtf8().constData(), role, nullptr);
        if (!verifier)
            fail(u"无法加密密码：%1"_s.arg(serverText(PQerrorMessage(server.handle()))));
        const QByteArray verifierLiteral = server.literal(verifier);
        PQfreemem(verifier);
        // Roles belong to the whole server: one made for another database only gets the new password.
        const bool exists = !server.value("SELECT 1 FROM pg_roles WHERE rolname = $1", {QByteArray(role)}).isEmpty();
        server.run((exists ? "ALTER ROLE "_ba : "CREATE ROLE "_ba) + role + " LOGIN PASSWORD " + verifierLiteral);
    }
    server.run(ServerSchema::GrantSql);
    server.run(RoomSchema::GrantSql);
    const QByteArray database = server.identifier(server.value("SELECT current_database()"));
    server.run("GRANT CONNECT ON DATABASE "_ba + database + " TO " + ServerSchema::MenuRole + ", "
               + ServerSchema::OperatorRole);
    server.commit();
    return false;
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
