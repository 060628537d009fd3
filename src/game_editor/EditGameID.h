#pragma once

#include <QString>

// The GameID, as text, of the game the editor rewrites in modify mode; set by the manager.
QString &EditGameID();
