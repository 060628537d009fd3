#pragma once

#include <QFlags>
#include <QString>

#include <array>

class CatalogueRecordset;

// One row of GameList, as text; a NULL column reads as a null QString.
struct GameRecord
{
    enum Column { ID = 0x01, Name = 0x02, Type = 0x04, Hot = 0x08, Path = 0x10, Run = 0x20, Cmd = 0x40, Icon = 0x80 };
    Q_DECLARE_FLAGS(Columns, Column)

    QString GameID;
    QString GameName;
    QString GameType;
    QString GameHot;
    QString GamePath;
    QString GameRun;
    QString GameCmd;
    QString GameIcon;

    // Where each column sits in a cursor's rows; the same for every row of one query.
    using Layout = std::array<int, 8>;
    static Layout layoutOf(const CatalogueRecordset &rs);

    // The cursor's current row.
    static GameRecord read(const CatalogueRecordset &rs);
    static GameRecord read(const CatalogueRecordset &rs, const Layout &layout);
    // Assigns every column but GameID, which the store gives, to the cursor's current row.
    void write(CatalogueRecordset &rs) const;
    // Assigns only the given columns, so the stored bytes of the others stay as they are.
    void write(CatalogueRecordset &rs, Columns columns) const;
    // The columns whose text differs from other's.
    Columns differences(const GameRecord &other) const;

    bool operator==(const GameRecord &other) const = default;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(GameRecord::Columns)
