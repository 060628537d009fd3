#pragma once

#include <QString>
#include <QStringList>

// The Chinese category for a game's freedesktop categories.
class GameCategoryMap
{
public:
    // The first additional category with a Chinese name decides; anything else is "其他游戏".
    static QString categoryFor(const QStringList &categories);
};
