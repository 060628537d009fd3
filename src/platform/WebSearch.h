#pragma once

#include <QString>
#include <QUrl>

// Builds the web search address and decides which addresses the web pane may be sent to.
class WebSearch
{
public:
    // The search prefix followed by the words, percent-encoded as UTF-8 so every typed
    // character ("&", "#", "+", spaces, Chinese) reaches the engine as part of the query.
    static QUrl searchAddress(const QString &words);

    // Only http, https and the program's own about page.
    static bool isAllowedAddress(const QUrl &address);

    // The about page shipped inside the program.
    static QUrl aboutAddress();
    static QString aboutScheme();

    // False for root (effective user id 0) unless JUYOUTAI_ALLOW_ROOT_WEB is "1": the web engine
    // runs without its sandbox there.
    static bool remotePagesAllowed(uint effectiveUserId);

    static QString prefix();
    // Tests point the search at a local server; the program itself never changes it.
    static void setPrefixForTesting(const QString &prefix);

private:
    static QString s_prefix;
};
