#include "catalogue/CatalogueEdits.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/RecordsetGuard.h"
#include "catalogue/TransactionGuard.h"

#include <QDir>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString NoValue = u"无"_s;

QString orNone(const QString &text)
{
    return text.isEmpty() ? NoValue : text;
}

// Writes the given columns to the cursor's row in one statement, so a refusal writes nothing.
void store(CatalogueRecordset &rs, GameRecord game, GameRecord::Columns changed)
{
    game.GameIcon = orNone(game.GameIcon);
    game.GameCmd = orNone(game.GameCmd);
    game.write(rs, changed);
    rs.Update();
}

// On a server that several operators share, keeps the others' writes out until the transaction
// ends; true there, so that the edit first checks that what the operator saw still holds.
bool holdTables()
{
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    if (!connection.isServer())
        return false;
    connection.backend().holdTablesForWriting();
    return true;
}

bool categoryExists(const QString &name)
{
    return !RecordsetGuard(CatalogueStatements::selectTypeByName(name))->Eof();
}

void requireCategory(const QString &name)
{
    if (!categoryExists(name))
        throw CatalogueError(CatalogueError::RowChanged,
                             u"分类“%1”已被另一位管理员删除或改名，请关闭窗口后重新打开再试"_s.arg(name));
}

void requireNoCategory(const QString &name)
{
    if (categoryExists(name))
        throw CatalogueError(CatalogueError::RowChanged,
                             u"已有名为“%1”的分类（可能刚由另一位管理员添加），请换一个名称"_s.arg(name));
}

} // namespace

namespace CatalogueEdits {

void addCategory(const QString &name)
{
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    if (holdTables())
        requireNoCategory(name);
    {
        RecordsetGuard rs(CatalogueStatements::selectTypeList());
        rs->AddNew();
        rs->setField(CatalogueSchema::TypeName, name);
        rs->Update();
    }
    transaction.commit();
}

void renameCategory(const QString &oldName, const QString &newName)
{
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    if (holdTables()) {
        requireCategory(oldName);
        if (newName != oldName)
            requireNoCategory(newName);
    }
    {
        RecordsetGuard types(CatalogueStatements::selectTypeByName(oldName));
        types->setField(CatalogueSchema::TypeName, newName);
        types->Update();
    }
    if (Catalogue::CatalogueConnectionObject().backend().moveGames(oldName, newName) < 0) {
        RecordsetGuard games(CatalogueStatements::selectGameList());
        for (; !games->Eof(); games->MoveNext()) {
            if (!games->isNull(CatalogueSchema::GameType) && games->Field(CatalogueSchema::GameType) == oldName)
                games->setField(CatalogueSchema::GameType, newName);
        }
    }
    transaction.commit();
}

bool deleteCategory(const QString &name)
{
    // The check and the delete see the same games.
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    if (holdTables())
        requireCategory(name);
    if (!RecordsetGuard(CatalogueStatements::selectGamesByType(name))->Eof())
        return false;
    Catalogue::ExecuteStatement(CatalogueStatements::deleteTypeByName(name));
    transaction.commit();
    return true;
}

void addGame(GameRecord game)
{
    // A save the server never confirms is rolled back, so trying again cannot store the game twice.
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    RecordsetGuard rs(CatalogueStatements::selectGameList());
    rs->AddNew();
    store(*rs, std::move(game), ~GameRecord::Columns());
    transaction.commit();
}

void addGames(const QList<GameRecord> &games)
{
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    QStringList categories;
    {
        RecordsetGuard types(CatalogueStatements::selectTypeList());
        for (; !types->Eof(); types->MoveNext())
            categories.append(types->Field(CatalogueSchema::TypeName));
    }
    for (const GameRecord &game : games) {
        if (categories.contains(game.GameType))
            continue;
        categories.append(game.GameType);
        RecordsetGuard types(CatalogueStatements::selectTypeList());
        types->AddNew();
        types->setField(CatalogueSchema::TypeName, game.GameType);
        types->Update();
    }
    RecordsetGuard rs(CatalogueStatements::selectGameList());
    for (const GameRecord &game : games) {
        rs->AddNew();
        store(*rs, game, ~GameRecord::Columns());
    }
    transaction.commit();
}

QString gameIdentity(const GameRecord &game)
{
    const QString arguments = game.GameCmd.trimmed() == NoValue ? QString() : game.GameCmd.trimmed();
    return QDir::cleanPath(game.GamePath) + u'\n' + game.GameRun.trimmed() + u'\n' + arguments;
}

void modifyGame(const GameRecord &opened, const GameRecord &openedGame, GameRecord game)
{
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    RecordsetGuard rs(CatalogueStatements::selectGameById(opened.GameID));
    // Another operator saved this game since it was opened: their values must not be overwritten.
    // Reading fails when the game is gone meanwhile: there is no row to write.
    if (shownAs(GameRecord::read(*rs)).differences(openedGame))
        throw CatalogueError(CatalogueError::RowChanged, u"游戏在打开后已被修改"_s);
    // A field the operator left as it was opened is not written, so its stored bytes stay.
    const GameRecord::Columns changed = game.differences(opened);
    store(*rs, std::move(game), changed);
    transaction.commit();
}

void deleteGame(const QString &gameId)
{
    const QString statement = CatalogueStatements::deleteGameById(gameId);
    TransactionGuard transaction(Catalogue::CatalogueConnectionObject());
    Catalogue::ExecuteStatement(statement);
    transaction.commit();
}

bool hasOwnIcon(const GameRecord &game)
{
    return !game.GameIcon.isNull() && game.GameIcon != NoValue;
}

GameRecord shownAs(const GameRecord &game)
{
    GameRecord shown = game;
    if (!hasOwnIcon(game))
        shown.GameIcon = QString();
    return shown;
}

} // namespace CatalogueEdits
