// juyoutai-catalogue: creates and lists catalogue files for operators.
#include "DemoCatalogue.h"

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

int usage(QTextStream &err)
{
    err << u"用法:\n"_s << u"  juyoutai-catalogue init DIR        在 DIR 中创建空的游戏目录 GameDB.dbs\n"_s
        << u"  juyoutai-catalogue init-demo DIR   在 DIR 中创建演示游戏目录和演示游戏\n"_s
        << u"  juyoutai-catalogue list DIR        列出 DIR/GameDB.dbs 的分类和游戏\n"_s;
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
        err << u"错误: 目录不可写: "_s << directory << u'\n';
        return false;
    }
    return true;
}

int run(const QStringList &args, QTextStream &out, QTextStream &err)
{
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
