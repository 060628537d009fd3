#pragma once

// Qt's own texts (standard buttons, pickers, context menus) in Simplified Chinese,
// whatever the system locale says.
class QtTranslations
{
public:
    enum Modules { Base, BaseAndWebEngine };
    // Installs the zh_CN catalogues shipped with Qt; false when the base one is missing. Only the web
    // pane's program shows the web engine's own menus.
    static bool install(Modules modules = Base);
};
