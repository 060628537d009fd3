#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

bool installCatalogue(const QString &module, const QString &folder)
{
    // Owned by the application, which keeps it for its whole life
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(module + u"_zh_CN"_s, folder) && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace

bool QtTranslations::install(Modules modules)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const bool base = installCatalogue(u"qtbase"_s, folder);
    // The web pane's own menus; the program does without them
    if (modules == BaseAndWebEngine)
        installCatalogue(u"qtwebengine"_s, folder);
    return base;
}
