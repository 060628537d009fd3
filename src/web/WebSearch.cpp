#include "web/WebSearch.h"

using namespace Qt::StringLiterals;

namespace {
QUrl addressFor(const QString &prefix, const QString &words)
{
    const QByteArray encoded = QUrl::toPercentEncoding(words);
    // StrictMode keeps the encoded words exactly as they are
    return QUrl(prefix + QString::fromLatin1(encoded), QUrl::StrictMode);
}
} // namespace

QString WebSearch::s_prefix = defaultPrefix();

QUrl WebSearch::searchAddress(const QString &words)
{
    return addressFor(s_prefix, words);
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

QString WebSearch::defaultPrefix()
{
    return u"https://www.baidu.com/s?wd="_s;
}

bool WebSearch::usePrefix(const QString &prefix)
{
    if (prefix.isEmpty() || isUsablePrefix(prefix)) {
        s_prefix = prefix.isEmpty() ? defaultPrefix() : prefix;
        return true;
    }
    // The value itself is not printed: it may hold anything
    qWarning("juyoutai.ini: [web] search= is not an http or https address of at most %d characters; "
             "searching with %s",
             int(MaxPrefixLength), qUtf8Printable(defaultPrefix()));
    s_prefix = defaultPrefix();
    return false;
}

bool WebSearch::isUsablePrefix(const QString &prefix)
{
    if (prefix.size() > MaxPrefixLength || prefix.contains(u'#'))
        return false;
    for (const QChar c : prefix) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    }
    const QUrl address(prefix, QUrl::StrictMode);
    const QString scheme = address.scheme();
    // The words are appended as they are typed, so the address with words must be one too
    return address.isValid() && (scheme == "http"_L1 || scheme == "https"_L1) && !address.host().isEmpty()
        && isAllowedAddress(addressFor(prefix, u"x"_s));
}

void WebSearch::setPrefixForTesting(const QString &prefix)
{
    s_prefix = prefix;
}
