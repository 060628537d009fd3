#include "cafe/CopySyncState.h"

#include "cafe/CatalogueCopy.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBackend.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueFileWriter.h"

#include <QFileInfo>
#include <QStringList>

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

bool readRows(CatalogueBackend &file, const QList<QByteArray> &typeKeys, CatalogueCopy &copy)
{
    qsizetype position = 0;
    bool fits = true;
    file.forEachRow(u"SELECT TypeName FROM TypeList ORDER BY rowid"_s, {u"TypeName"_s}, [&](const Cell *cells) {
        if (position < typeKeys.size())
            copy.setType(typeKeys.at(position).toLongLong(), bytesOf(cells[0]));
        fits = fits && position++ < typeKeys.size();
    });
    if (!fits || position != typeKeys.size())
        return false;
    const QStringList columns{u"GameID"_s,   u"GameName"_s, u"GameType"_s, u"GameHot"_s,
                              u"GamePath"_s, u"GameRun"_s,  u"GameCmd"_s,  u"GameIcon"_s};
    file.forEachRow(u"SELECT GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon FROM GameList"_s,
                    columns, [&copy](const Cell *cells) {
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
        const QList<QByteArray> typeKeys = state->at(2).isEmpty() ? QList<QByteArray>() : state->at(2).split(',');
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
