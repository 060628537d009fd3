#pragma once

// Qt's own texts (standard buttons, pickers, context menus) in Simplified Chinese,
// whatever the system locale says.
class QtTranslations
{
public:
    // Installs the zh_CN catalogues shipped with Qt; false when the base one is missing.
    static bool install();
};
