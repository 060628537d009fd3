#include "pinyin/PinyinSearch.h"

#include "pinyin/PinyinInitial.h"

PinyinSearch::PinyinSearch(const QString &searchText)
    : m_initials(PinyinInitials(searchText).toLower())
{
}

bool PinyinSearch::matches(const QString &gameName) const
{
    return matchesInitials(nameInitials(gameName));
}

bool PinyinSearch::matchesInitials(const QString &nameInitials) const
{
    // An empty name (the only one with empty initials) has nothing to find even the empty search in.
    if (nameInitials.isEmpty())
        return false;
    return nameInitials.contains(m_initials, Qt::CaseSensitive);
}

QString PinyinSearch::nameInitials(const QString &gameName)
{
    // One table look-up per unit: cheaper than finding the name in a shared, locked cache.
    return PinyinInitials(gameName).toLower();
}
