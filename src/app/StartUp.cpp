#include "app/StartUp.h"

#include "cafe/CafeMode.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueKeys.h"
#include "main_window/ForMain.h"
#include "platform/Process.h"
#include "platform/QtTranslations.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

int StartUp::run(int argc, char *argv[])
{
    chooseWindowSystem();
    // The catalogue's key is derived while the window is made (a café copy is in the same place).
    CatalogueKeys::prepare(Process::programDirectory() + u'/' + QString::fromUtf16(Catalogue::FileName),
                           QString::fromUtf16(Catalogue::Password));
    QApplication app(argc, argv);
    setUpApplication();
    return exitWith(runMainWindow());
}

int StartUp::runMainWindow()
{
    ForMain window;
    // The resources are linked in by now. Naming the format spares loading every picture plugin to guess it.
    QApplication::setWindowIcon(QIcon(QPixmap(u":/icons/juyoutai-256.png"_s, "PNG")));
    if (!window.Form_Load())
        return 1;
    window.show();
    return QApplication::exec();
}

int StartUp::exitWith(int code)
{
    // A sync thread still stuck in libpq may be inside the libraries whose exit handlers would
    // run now; the catalogue is closed, so the process ends without them.
    if (CafeMode::threadLeftRunning()) {
        fflush(stdout);
        std::_Exit(code);
    }
    return code;
}

void StartUp::chooseWindowSystem()
{
    // An empty value counts as none, as it does for Qt
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb"); // the web helper, started by the menu, follows it
}

void StartUp::setUpApplication()
{
    QApplication::setApplicationName(u"juyoutai"_s);
    QApplication::setApplicationVersion(QStringLiteral(JYT_VERSION));
    QtTranslations::install();
}
