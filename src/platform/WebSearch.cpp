#include "platform/WebSearch.h"

using namespace Qt::StringLiterals;

QString WebSearch::s_prefix = u"https://www.baidu.com/s?wd="_s;

QUrl WebSearch::searchAddress(const QString &words)
{
    const QByteArray encoded = QUrl::toPercentEncoding(words);
    // StrictMode keeps the encoded words exactly as they are
    return QUrl(s_prefix + QString::fromLatin1(encoded), QUrl::StrictMode);
}

bool WebSearch::isAllowedAddress(const QUrl &address)
{
    if (!address.isValid())
        return false;
    if (address == aboutAddress())
        return true;
    const QString scheme = address.scheme();
    return (scheme == "http"_L1 || scheme == "https"_L1) && !address.host().isEmpty();
}

QUrl WebSearch::aboutAddress()
{
    return QUrl(aboutScheme() + ":about"_L1);
}

QString WebSearch::aboutScheme()
{
    return u"jyt"_s;
}

bool WebSearch::remotePagesAllowed(uint effectiveUserId)
{
    return effectiveUserId != 0 || qgetenv("JUYOUTAI_ALLOW_ROOT_WEB") == "1";
}

QString WebSearch::prefix()
{
    return s_prefix;
}

void WebSearch::setPrefixForTesting(const QString &prefix)
{
    s_prefix = prefix;
}
