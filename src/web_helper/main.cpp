// juyoutai-web: the web view of the menu's web pane, started by the menu and spoken to over its
// standard input and output; it ends when the menu closes its end.
#include "platform/Process.h"
#include "platform/QtTranslations.h"
#include "web/WebSearch.h"
#include "web_helper/CommandChannel.h"
#include "web_helper/WebHelper.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    WebHelper::prepareEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"juyoutai-web"_s);
    QApplication::setQuitOnLastWindowClosed(false);
    QtTranslations::install(QtTranslations::BaseAndWebEngine);
    // The menu may forbid remote pages; it cannot allow what this program's own rule refuses
    const bool remote = WebSearch::remotePagesAllowed(Process::effectiveUserId())
        && !QCoreApplication::arguments().contains(u"--no-remote-pages"_s);
    CommandChannel channel;
    WebHelper helper(remote);
    QObject::connect(&helper, &WebHelper::report, &channel, &CommandChannel::send);
    QObject::connect(&channel, &CommandChannel::received, &helper, &WebHelper::handle);
    QObject::connect(&channel, &CommandChannel::closed, &app, &QCoreApplication::quit);
    helper.announce();
    return app.exec();
}
