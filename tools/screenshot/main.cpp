// juyoutai-screenshot FILE: saves a picture of the whole screen of $DISPLAY as PNG.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << QStringLiteral("用法: juyoutai-screenshot FILE.png\n");
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        err << QStringLiteral("错误: 没有可用的屏幕\n");
        return 1;
    }
    if (!screen->grabWindow(0).save(args.at(1), "PNG")) {
        err << QStringLiteral("错误: 无法保存截图: ") << args.at(1) << QLatin1Char('\n');
        return 1;
    }
    return 0;
}
