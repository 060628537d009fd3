#include "catalogue/GameRecord.h"

#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"

namespace {

struct ColumnField
{
    GameRecord::Column column;
    const QString &name;
    QString GameRecord::*field;
};

// In the order a game write assigns them; GameID comes last because it is never written.
const ColumnField &columnAt(int index)
{
    static const ColumnField columns[] = {
        {GameRecord::Name, CatalogueSchema::GameName, &GameRecord::GameName},
        {GameRecord::Path, CatalogueSchema::GamePath, &GameRecord::GamePath},
        {GameRecord::Type, CatalogueSchema::GameType, &GameRecord::GameType},
        {GameRecord::Hot, CatalogueSchema::GameHot, &GameRecord::GameHot},
        {GameRecord::Run, CatalogueSchema::GameRun, &GameRecord::GameRun},
        {GameRecord::Icon, CatalogueSchema::GameIcon, &GameRecord::GameIcon},
        {GameRecord::Cmd, CatalogueSchema::GameCmd, &GameRecord::GameCmd},
        {GameRecord::ID, CatalogueSchema::GameID, &GameRecord::GameID},
    };
    return columns[index];
}

constexpr int ColumnCount = std::tuple_size_v<GameRecord::Layout>;
constexpr int WrittenCount = 7;

} // namespace

GameRecord::Layout GameRecord::layoutOf(const CatalogueRecordset &rs)
{
    Layout layout{};
    for (int i = 0; i < ColumnCount; ++i)
        layout[i] = rs.fieldIndex(columnAt(i).name);
    return layout;
}

GameRecord GameRecord::read(const CatalogueRecordset &rs)
{
    return read(rs, layoutOf(rs));
}

GameRecord GameRecord::read(const CatalogueRecordset &rs, const Layout &layout)
{
    GameRecord record;
    for (int i = 0; i < ColumnCount; ++i)
        record.*columnAt(i).field = rs.Field(layout[i]);
    return record;
}

void GameRecord::write(CatalogueRecordset &rs) const
{
    write(rs, ~Columns());
}

void GameRecord::write(CatalogueRecordset &rs, Columns columns) const
{
    for (int i = 0; i < WrittenCount; ++i) {
        if (columns.testFlag(columnAt(i).column))
            rs.setField(columnAt(i).name, this->*columnAt(i).field);
    }
}

GameRecord::Columns GameRecord::differences(const GameRecord &other) const
{
    Columns changed;
    for (int i = 0; i < ColumnCount; ++i) {
        if (this->*columnAt(i).field != other.*columnAt(i).field)
            changed |= columnAt(i).column;
    }
    return changed;
}
