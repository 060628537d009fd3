// juyoutai-catalogue: creates and lists catalogue files for operators, and copies them to and from a server.
#include "DemoCatalogue.h"
#include "DesktopImport.h"
#include "PasswordPrompt.h"
#include "RoomCommands.h"
#include "ServerCatalogue.h"

#include "cafe/PgBackend.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"
#include "operator/OperatorPassword.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <sqlite3.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// A packaged program folder and its catalogue belong to root.
const QString RunAsRoot = u"请以 root 身份运行本命令（例如在命令前加 sudo）。\n"_s;

int usage(QTextStream &err)
{
    err << u"用法:\n"_s << u"  juyoutai-catalogue init DIR        在 DIR 中创建空的游戏目录 GameDB.dbs\n"_s
        << u"  juyoutai-catalogue init-demo DIR   在 DIR 中创建演示游戏目录和演示游戏\n"_s
        << u"  juyoutai-catalogue list DIR        列出 DIR/GameDB.dbs 的分类和游戏\n"_s
        << u"  juyoutai-catalogue server-init ADMIN_URI --menu-password P --operator-password Q\n"_s
        << u"                                     在服务器数据库中创建游戏目录的表和角色 juyoutai_menu、\n"_s
        << u"                                     juyoutai_operator（密码也可由环境变量\n"_s
        << u"                                     JUYOUTAI_MENU_PASSWORD、JUYOUTAI_OPERATOR_PASSWORD 给出）\n"_s
        << u"                                     [--menu-connection-limit N] juyoutai_menu 最多 N 个连接\n"_s
        << u"                                     （默认 max_connections 减 10）；[--retention-days N]\n"_s
        << u"                                     启动记录保留 N 天（默认 400）\n"_s
        << u"  juyoutai-catalogue push DIR URI [--replace]\n"_s
        << u"                                     把 DIR/GameDB.dbs 上传到服务器（服务器上已有目录时需 --replace）\n"_s
        << u"  juyoutai-catalogue pull URI DIR    把服务器上的游戏目录下载为新的 DIR/GameDB.dbs\n"_s
        << u"  juyoutai-catalogue clients URI     列出连接过服务器的机器：机器名、状态、最后在线、最近启动\n"_s
        << u"  juyoutai-catalogue stats URI [--days N] [--top K] [--csv]\n"_s
        << u"                                     最近 N 天（默认 7）启动最多的 K 个游戏（默认 20）\n"_s
        << u"  juyoutai-catalogue set-hot URI --top K --days N | --flag [--retention-days D]\n"_s
        << u"                                     热门推荐改为最近 N 天启动最多的 K 个游戏；--flag 改回按热门标记；\n"_s
        << u"                                     --retention-days 只保留最近 D 天的启动记录\n"_s
        << u"  juyoutai-catalogue set-operator-password [--clear] DIR\n"_s
        << u"                                     设置 DIR/GameDB.dbs 的管理员密码（终端上输入两次，\n"_s
        << u"                                     否则从标准输入读一行）；--clear 清除密码\n"_s
        << u"  juyoutai-catalogue import-desktop DIR|URI [--category 分类] [--hot] [--dry-run] [--from 目录 ...]\n"_s
        << u"                                     把已安装游戏的桌面项（*.desktop）导入 DIR/GameDB.dbs\n"_s
        << u"                                     或服务器（URI 以 juyoutai_operator 登录）；\n"_s
        << u"                                     --from 读取给出的 applications 目录，--dry-run 只列出不写入\n"_s
        << u"URI 是 PostgreSQL 连接字符串，例如 postgresql://用户:密码@主机:5432/数据库\n"_s;
    return 2;
}

bool checkDirectory(const QString &directory, bool forWriting, QTextStream &err)
{
    const QFileInfo info(directory);
    if (!info.isDir()) {
        err << u"错误: 目录不存在: "_s << directory << u'\n';
        return false;
    }
    if (forWriting && !info.isWritable()) {
        err << u"错误: 目录不可写: "_s << directory << u'\n' << RunAsRoot;
        return false;
    }
    return true;
}

// Opens the catalogue in DIR for a change; false when it cannot be changed (already reported).
bool openForWriting(const QString &directory, CatalogueConnection &connection, QTextStream &err)
{
    const QString path = DemoCatalogue::databasePath(directory);
    const QFileInfo file(path);
    if (!file.isFile()) {
        err << u"错误: 找不到游戏目录文件: "_s << path << u'\n';
        return false;
    }
    try {
        connection.Open(path, QString::fromUtf16(Catalogue::Password));
    } catch (const CatalogueError &error) {
        if (error.number() == SQLITE_NOTADB)
            err << u"错误: 无法打开游戏目录文件（不是游戏目录，或密钥不符）: "_s << path << u'\n';
        else
            err << error.message(u"错误: 无法打开游戏目录文件: "_s + path) << u'\n';
        return false;
    }
    // The file's mode bits are honoured even where the user could write anyway, as root can.
    const auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (connection.isReadOnly() || !file.isWritable() || !(file.permissions() & writeBits)) {
        err << u"错误: 游戏目录文件是只读的，无法写入: "_s << path << u'\n'
            << (file.permissions() & writeBits ? RunAsRoot : u"请先恢复该文件的写权限（chmod u+w）。\n"_s);
        return false;
    }
    return true;
}

int setOperatorPassword(QStringList args, QTextStream &out, QTextStream &err)
{
    const bool clear = args.removeAll(u"--clear"_s) > 0;
    if (args.size() != 1)
        return usage(err);
    const QString directory = QDir(args.first()).absolutePath();
    if (!checkDirectory(directory, true, err))
        return 1;
    CatalogueConnection connection;
    if (!openForWriting(directory, connection, err))
        return 1;
    const QString path = DemoCatalogue::databasePath(directory);
    try {
        if (clear) {
            out << (OperatorPassword::clear(connection) ? u"已清除管理员密码: "_s : u"未设置管理员密码，无需清除: "_s)
                << path << u'\n';
            return 0;
        }
        const std::optional<QString> password = PasswordPrompt::readNewPassword(err);
        if (!password)
            return 1;
        OperatorPassword::store(connection, *password);
    } catch (const CatalogueError &error) {
        err << error.message(u"错误: 无法保存管理员密码: "_s + path) << u'\n';
        return 1;
    }
    out << u"已设置管理员密码: "_s << path << u'\n';
    return 0;
}

int importDesktop(const QStringList &args, QTextStream &out, QTextStream &err)
{
    DesktopImport::Options options;
    if (args.isEmpty() || !DesktopImport::parseOptions(args.mid(1), options))
        return usage(err);
    for (const QString &folder : std::as_const(options.fromFolders)) {
        if (!checkDirectory(folder, false, err))
            return 1;
    }
    const QString &target = args.first();
    // A café's catalogue is written on its server, as the operator's windows write it.
    const bool server = target.startsWith(u"postgresql://"_s) || target.startsWith(u"postgres://"_s);
    const QString directory = QDir(target).absolutePath();
    if (!server && !checkDirectory(directory, !options.dryRun, err))
        return 1;
    CatalogueConnection connection;
    try {
        if (server)
            connection.OpenServer(std::make_unique<PgBackend>(target));
        else if (!openForWriting(directory, connection, err))
            return 1;
        DesktopImport::run(connection, options, out);
    } catch (const CatalogueError &error) {
        out.flush();
        const QString where = server ? u"服务器"_s : DemoCatalogue::databasePath(directory);
        err << error.message(u"错误: 导入失败，没有写入任何游戏: "_s + where) << u'\n';
        return 1;
    }
    return 0;
}

int run(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.size() >= 2 && args.at(1) == u"import-desktop"_s)
        return importDesktop(args.mid(2), out, err);
    if (args.size() > 1 && ServerCatalogue::handles(args.at(1))) {
        const int code = ServerCatalogue::run(args.mid(1), out);
        return code == ServerCatalogue::BadUsage ? usage(err) : code;
    }
    if (args.size() > 1 && RoomCommands::handles(args.at(1))) {
        const int code = RoomCommands::run(args.mid(1), out);
        return code == RoomCommands::BadUsage ? usage(err) : code;
    }
    if (args.size() >= 2 && args.at(1) == u"set-operator-password"_s)
        return setOperatorPassword(args.mid(2), out, err);
    if (args.size() != 3)
        return usage(err);
    const QString &command = args.at(1);
    const QString directory = QDir(args.at(2)).absolutePath();
    if (command != u"init"_s && command != u"init-demo"_s && command != u"list"_s)
        return usage(err);
    if (!checkDirectory(directory, command != u"list"_s, err))
        return 1;
    if (command == u"init"_s) {
        DemoCatalogue::createEmpty(directory);
    } else if (command == u"init-demo"_s) {
        const QString program = QCoreApplication::applicationDirPath() + u"/juyoutai-demo-game"_s;
        DemoCatalogue::createDemo(directory, program);
    } else {
        for (const QString &line : DemoCatalogue::listing(directory))
            out << line << u'\n';
        return 0;
    }
    out << u"已创建: "_s << DemoCatalogue::databasePath(directory) << u'\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing the demo icons needs fonts, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        return run(QCoreApplication::arguments(), out, err);
    } catch (const CatalogueError &error) {
        err << u"错误: "_s << error.description() << u" (错误代码 "_s << error.number() << u")\n"_s;
    } catch (const std::exception &error) {
        err << u"错误: "_s << QString::fromUtf8(error.what()) << u'\n';
    }
    return 1;
}
