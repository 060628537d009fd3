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
    static QString defaultPrefix();
    // Searches go to the given prefix (juyoutai.ini's [web] search=) from now on; an empty one
    // keeps the default. One that is not an http or https address with a host, or that is longer
    // than MaxPrefixLength, holds a fragment, spaces or control characters, is refused with a
    // warning and the default is used: false then.
    static bool usePrefix(const QString &prefix);
    static constexpr qsizetype MaxPrefixLength = 1024;
    // Tests point the search at a local server without the checks.
    static void setPrefixForTesting(const QString &prefix);

private:
    static bool isUsablePrefix(const QString &prefix);

    static QString s_prefix;
};
