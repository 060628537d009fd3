#include "desktop_entries/GameCategoryMap.h"

#include <QHash>

using namespace Qt::StringLiterals;

QString GameCategoryMap::categoryFor(const QStringList &categories)
{
    static const QHash<QString, QString> names{
        {u"ActionGame"_s, u"动作游戏"_s},   {u"AdventureGame"_s, u"冒险游戏"_s}, {u"ArcadeGame"_s, u"街机游戏"_s},
        {u"BoardGame"_s, u"棋牌游戏"_s},    {u"CardGame"_s, u"棋牌游戏"_s},      {u"BlocksGame"_s, u"益智游戏"_s},
        {u"LogicGame"_s, u"益智游戏"_s},    {u"KidsGame"_s, u"儿童游戏"_s},      {u"RolePlaying"_s, u"角色扮演"_s},
        {u"Shooter"_s, u"射击游戏"_s},      {u"Simulation"_s, u"模拟游戏"_s},    {u"SportsGame"_s, u"体育游戏"_s},
        {u"StrategyGame"_s, u"策略游戏"_s},
    };
    for (const QString &category : categories) {
        const auto it = names.constFind(category);
        if (it != names.cend())
            return *it;
    }
    return u"其他游戏"_s;
}
