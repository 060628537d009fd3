#include "cafe/CopySyncState.h"

#include "cafe/CatalogueCopy.h"
#include "catalogue/Catalogue.h"

#include <QFile>

#include <sqlite3.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Database = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;
using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

Statement prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    return Statement(raw, sqlite3_finalize);
}

QByteArray columnText(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QByteArray();
    const auto *text = static_cast<const char *>(static_cast<const void *>(sqlite3_column_text(stmt, column)));
    return QByteArray(text ? text : "", sqlite3_column_bytes(stmt, column));
}

bool readRows(sqlite3 *db, const QList<QByteArray> &typeKeys, CatalogueCopy &copy)
{
    const Statement types = prepare(db, "SELECT TypeName FROM TypeList ORDER BY rowid");
    if (!types)
        return false;
    qsizetype position = 0;
    while (sqlite3_step(types.get()) == SQLITE_ROW) {
        if (position >= typeKeys.size())
            return false;
        copy.setType(typeKeys.at(position++).toLongLong(), columnText(types.get(), 0));
    }
    if (position != typeKeys.size())
        return false;
    const Statement games =
        prepare(db, "SELECT GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon FROM GameList");
    if (!games)
        return false;
    const char *values[CatalogueCopy::GameColumns];
    int lengths[CatalogueCopy::GameColumns];
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(games.get())) == SQLITE_ROW) {
        for (int column = 0; column < CatalogueCopy::GameColumns; ++column) {
            const bool null = sqlite3_column_type(games.get(), column + 1) == SQLITE_NULL;
            values[column] = null
                ? nullptr
                : static_cast<const char *>(static_cast<const void *>(sqlite3_column_text(games.get(), column + 1)));
            lengths[column] = sqlite3_column_bytes(games.get(), column + 1);
        }
        copy.setGame(sqlite3_column_int64(games.get(), 0), CatalogueCopy::packGame(values, lengths));
    }
    return rc == SQLITE_DONE;
}

} // namespace

QString CopySyncState::write(sqlite3 *db, const CatalogueCopy &copy)
{
    QByteArray keys;
    for (const qint64 key : copy.typeKeys())
        keys += (keys.isEmpty() ? "" : ",") + QByteArray::number(key);
    if (sqlite3_exec(db, "CREATE TABLE CafeSync(CatalogueId TEXT, Horizon TEXT, TypeKeys TEXT)", nullptr, nullptr,
                     nullptr)
        != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(db));
    const Statement insert = prepare(db, "INSERT INTO CafeSync VALUES (?, ?, ?)");
    if (!insert)
        return QString::fromUtf8(sqlite3_errmsg(db));
    const QByteArray values[] = {copy.catalogueId(), copy.horizon(), keys};
    for (int i = 0; i < 3; ++i)
        sqlite3_bind_text(insert.get(), i + 1, values[i].constData(), int(values[i].size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString();
}

bool CopySyncState::read(const QString &path, CatalogueCopy &copy)
{
    copy.clear();
    if (!QFile::exists(path))
        return false;
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Database db(raw, sqlite3_close);
    const QByteArray key = QString::fromUtf16(Catalogue::Password).toUtf8();
    if (rc != SQLITE_OK || sqlite3_key(raw, key.constData(), int(key.size())) != SQLITE_OK)
        return false;
    const Statement state = prepare(raw, "SELECT CatalogueId, Horizon, TypeKeys FROM CafeSync");
    if (!state || sqlite3_step(state.get()) != SQLITE_ROW)
        return false;
    const QByteArray catalogueId = columnText(state.get(), 0);
    const QByteArray horizon = columnText(state.get(), 1);
    const QByteArray keys = columnText(state.get(), 2);
    const QList<QByteArray> typeKeys = keys.isEmpty() ? QList<QByteArray>() : keys.split(',');
    if (horizon.isEmpty() || !readRows(raw, typeKeys, copy)) {
        copy.clear();
        return false;
    }
    copy.setSource(catalogueId, horizon);
    return true;
}
