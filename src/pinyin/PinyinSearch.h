#pragma once

#include <QString>

// The local search rule: a game matches when the lower-cased pinyin initials of the
// search text occur inside the lower-cased initials of its name.
class PinyinSearch
{
public:
    explicit PinyinSearch(const QString &searchText);

    bool matches(const QString &gameName) const;
    // The same rule on initials already worked out with nameInitials.
    bool matchesInitials(const QString &nameInitials) const;

    // Lower-cased initials of the search text.
    const QString &searchInitials() const { return m_initials; }

    // Lower-cased initials of a game name.
    static QString nameInitials(const QString &gameName);

private:
    QString m_initials;
};
