#include "game_editor/EditGameID.h"

QString &EditGameID()
{
    static QString value;
    return value;
}
