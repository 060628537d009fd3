// A stand-in game for the demo catalogue: shows how it was started and logs it in its
// working directory, so that a launch can be checked by eye and by tests.
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// One line per start: time, working directory and the arguments, which are joined by the
// unit separator so that arguments holding spaces or tabs stay apart.
bool appendLog(const QString &cwd, const QStringList &arguments)
{
    QFile log(QDir(cwd).filePath(u"demo_game.log"_s));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QString line =
        QDateTime::currentDateTime().toString(Qt::ISODate) + u'\t' + cwd + u'\t' + arguments.join(QChar(0x1f)) + u'\n';
    return log.write(line.toUtf8()) >= 0;
}

QLabel *addLine(QVBoxLayout *layout, const QString &caption, const QString &value)
{
    auto *label = new QLabel(caption + u"："_s + value);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    layout->addWidget(label);
    return label;
}

QString describe(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return u"（无）"_s;
    QStringList quoted;
    for (const QString &argument : arguments)
        quoted.append(u'[' + argument + u']');
    return quoted.join(u' ');
}

} // namespace

int main(int argc, char *argv[])
{
    // Tests start the game without a display: log and leave at once.
    const bool exitAtOnce = qEnvironmentVariableIntValue("JYT_DEMO_GAME_EXIT") == 1;
    std::unique_ptr<QCoreApplication> app(exitAtOnce ? new QCoreApplication(argc, argv) : new QApplication(argc, argv));
    const QString cwd = QDir::currentPath();
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool logged = appendLog(cwd, arguments);
    if (exitAtOnce)
        return logged ? 0 : 1;

    // The name it was started under, which for a symlink differs from the binary's own.
    const QString invoked = QCoreApplication::arguments().value(0);
    const QString name = QFileInfo(invoked).fileName();
    QWidget window;
    window.setWindowTitle(u"演示游戏 - "_s + name);
    auto *layout = new QVBoxLayout(&window);
    addLine(layout, u"程序"_s, name);
    addLine(layout, u"路径"_s, QFileInfo(invoked).absoluteFilePath());
    addLine(layout, u"参数"_s, describe(arguments));
    addLine(layout, u"工作目录"_s, cwd);
    if (!logged)
        addLine(layout, u"日志"_s, u"无法写入 demo_game.log"_s);
    window.resize(480, 200);
    window.show();
    return app->exec();
}
