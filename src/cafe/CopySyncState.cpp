#include "cafe/CopySyncState.h"

#include "cafe/CatalogueCopy.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBackend.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueFileWriter.h"
#include "catalogue/CatalogueSchema.h"

#include <QFileInfo>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <array>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Cell = CatalogueBackend::Cell;

QByteArray bytesOf(const Cell &cell)
{
    return cell.kind == Cell::Null ? QByteArray() : QByteArray(cell.data ? cell.data : "", cell.size);
}

// The sync state's row; nothing when the file has none.
std::optional<std::array<QByteArray, 3>> stateOf(CatalogueBackend &file)
{
    std::optional<std::array<QByteArray, 3>> state;
    file.forEachRow(u"SELECT CatalogueId, Horizon, TypeKeys FROM CafeSync"_s,
                    {u"CatalogueId"_s, u"Horizon"_s, u"TypeKeys"_s}, [&state](const Cell *cells) {
                        state = std::array<QByteArray, 3>{bytesOf(cells[0]), bytesOf(cells[1]), bytesOf(cells[2])};
                    });
    return state;
}

// What the file says it mirrors is trusted only in the shape the client wrote it: a horizon of digits,
// and the server's catalogue as a UUID (none from a server set up by an older version).
bool validSource(const QByteArray &catalogueId, const QByteArray &horizon)
{
    if (!CatalogueCopy::isHorizon(horizon))
        return false;
    return catalogueId.isEmpty()
        || QUuid::fromString(QLatin1StringView(catalogueId)).toByteArray(QUuid::WithoutBraces) == catalogueId;
}

bool readRows(CatalogueBackend &file, const QList<QByteArray> &typeKeys, CatalogueCopy &copy)
{
    using namespace CatalogueSchema;
    qsizetype position = 0;
    bool fits = true;
    file.forEachRow(u"SELECT %1 FROM TypeList ORDER BY rowid"_s.arg(TypeName), {TypeName}, [&](const Cell *cells) {
        if (position < typeKeys.size())
            copy.setType(typeKeys.at(position).toLongLong(), bytesOf(cells[0]));
        fits = fits && position++ < typeKeys.size();
    });
    if (!fits || position != typeKeys.size())
        return false;
    const QStringList columns{GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon};
    file.forEachRow(u"SELECT %1 FROM GameList"_s.arg(columns.join(u", "_s)), columns, [&copy](const Cell *cells) {
        const char *values[CatalogueCopy::GameColumns];
        int lengths[CatalogueCopy::GameColumns];
        for (int column = 0; column < CatalogueCopy::GameColumns; ++column) {
            const Cell &cell = cells[column + 1];
            values[column] = cell.kind == Cell::Null ? nullptr : (cell.data ? cell.data : "");
            lengths[column] = int(cell.size);
        }
        copy.setGame(bytesOf(cells[0]).toLongLong(), CatalogueCopy::packGame(values, lengths));
    });
    return true;
}

} // namespace

void CopySyncState::write(CatalogueFileWriter &writer, const CatalogueCopy &copy)
{
    QByteArray keys;
    for (const qint64 key : copy.typeKeys())
        keys += (keys.isEmpty() ? "" : ",") + QByteArray::number(key);
    writer.execute("CREATE TABLE CafeSync(CatalogueId TEXT, Horizon TEXT, TypeKeys TEXT)");
    // Never NULL, so that a read finds the row as written.
    writer.execute("INSERT INTO CafeSync VALUES (?, ?, ?)", {copy.catalogueId() + "", copy.horizon() + "", keys + ""});
}

bool CopySyncState::read(const QString &path, CatalogueCopy &copy)
{
    copy.clear();
    if (!QFileInfo(path).isFile())
        return false;
    try {
        CatalogueConnection file;
        file.Open(path, QString::fromUtf16(Catalogue::Password));
        const std::optional<std::array<QByteArray, 3>> state = stateOf(file.backend());
        if (!state || state->at(1).isEmpty())
            return false;
        if (!validSource(state->at(0), state->at(1)))
            return false;
        const QList<QByteArray> typeKeys = state->at(2).isEmpty() ? QList<QByteArray>() : state->at(2).split(',');
        if (!std::all_of(typeKeys.begin(), typeKeys.end(), CatalogueCopy::isHorizon))
            return false;
        if (!readRows(file.backend(), typeKeys, copy)) {
            copy.clear();
            return false;
        }
        copy.setSource(state->at(0), state->at(1));
        return true;
    } catch (const CatalogueError &) {
        // Not a copy this client wrote (a local catalogue, another key, a damaged file): read in full.
        copy.clear();
        return false;
    }
}
