#include "catalogue/PinyinSearch.h"

#include "catalogue/PinyinInitial.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace {

// Enough for the largest catalogues we plan for; past it the cache starts over rather than grow.
constexpr qsizetype kMaxCachedNames = 262144;

} // namespace

PinyinSearch::PinyinSearch(const QString &searchText)
    : m_initials(PinyinInitials(searchText).toLower())
{
}

bool PinyinSearch::matches(const QString &gameName) const
{
    // An empty name has nothing to find even the empty search in.
    if (gameName.isEmpty())
        return false;
    return nameInitials(gameName).contains(m_initials, Qt::CaseSensitive);
}

QString PinyinSearch::nameInitials(const QString &gameName)
{
    static QMutex mutex;
    static QHash<QString, QString> cache;

    const QMutexLocker lock(&mutex);
    const auto found = cache.constFind(gameName);
    if (found != cache.cend())
        return found.value();
    if (cache.size() >= kMaxCachedNames)
        cache.clear();
    const QString initials = PinyinInitials(gameName).toLower();
    cache.insert(gameName, initials);
    return initials;
}
