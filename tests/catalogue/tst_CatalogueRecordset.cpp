#include "BothStores.h"
#include "CatalogueFixture.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace CatalogueStatements;

namespace {

// Deletes every game of a name; the name is quoted as every statement's values are.
QString deleteGamesNamed(const QString &name)
{
    return u"delete From GameList Where GameName= "_s + quoted(name);
}

GameRow game(const QString &name, const QString &type, const QString &hot = u"否"_s)
{
    GameRow row;
    row.GameName = name;
    row.GameType = type;
    row.GameHot = hot;
    row.GamePath = u"/games/"_s;
    row.GameRun = name + u".exe"_s;
    return row;
}

QStringList names(const QString &statement)
{
    QStringList result;
    CatalogueRecordset &rs = Catalogue::OpenQuery(statement);
    for (; !rs.Eof(); rs.MoveNext())
        result.append(rs.Field(u"GameName"_s));
    rs.Close();
    return result;
}

} // namespace

class tst_CatalogueRecordset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase_data();
    void walksRowsInInsertionOrder();
    void emptyTablesGiveEofAtOnce();
    void moveNextCommitsAnEditIncludingTheLastRow();
    void updateCommitsAnEdit();
    void keysetIsFixedAtOpen();
    void addNewAssignsNumbersThatAreNeverReused();
    void quotesInNamesAreStoredListedAndDeleted();
    void nullAndEmptyAreDistinct();
    void unknownColumnAndEofAccessThrow();
    void failedOpenLeavesNoStaleCursor();
    void transactionRollbackRestoresBothTables();
    void editOfARowChangedMeanwhileIsRefused();
    void editOfANullFieldIsStored();
};

void tst_CatalogueRecordset::initTestCase_data()
{
    // Every statement text runs unchanged on both stores.
    BothStores::addRows();
}

void tst_CatalogueRecordset::walksRowsInInsertionOrder()
{
    JYT_BOTH_STORES(stores, fixture, {u"b"_s, u"a"_s},
                    {game(u"一"_s, u"a"_s), game(u"二"_s, u"b"_s), game(u"三"_s, u"a"_s)});
    QCOMPARE(names(selectGameList()), (QStringList{u"一"_s, u"二"_s, u"三"_s}));
    QCOMPARE(names(selectGamesByType(u"a"_s)), (QStringList{u"一"_s, u"三"_s}));
    QCOMPARE(Catalogue::CatalogueStatement(), u"Select * From GameList Where GameType= 'a'"_s);
    QCOMPARE(fixture.categories(), (QStringList{u"b"_s, u"a"_s}));
}

void tst_CatalogueRecordset::emptyTablesGiveEofAtOnce()
{
    JYT_BOTH_STORES(stores, fixture);
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeList());
    QVERIFY(rs.Eof());
    rs.Close();
    QVERIFY(names(selectGameList()).isEmpty());
}

void tst_CatalogueRecordset::moveNextCommitsAnEditIncludingTheLastRow()
{
    JYT_BOTH_STORES(stores, fixture, {}, {game(u"x"_s, u"old"_s), game(u"y"_s, u"other"_s), game(u"z"_s, u"old"_s)});
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameList());
    for (; !rs.Eof(); rs.MoveNext()) {
        if (rs.Field(u"GameType"_s) == u"old"_s)
            rs.setField(u"GameType"_s, u"new"_s);
    }
    rs.Close();
    const QList<GameRow> rows = fixture.games();
    QCOMPARE(rows.at(0).GameType, u"new"_s);
    QCOMPARE(rows.at(1).GameType, u"other"_s);
    QCOMPARE(rows.at(2).GameType, u"new"_s); // the last row's edit is stored by the final MoveNext
}

void tst_CatalogueRecordset::updateCommitsAnEdit()
{
    JYT_BOTH_STORES(stores, fixture, {}, {game(u"x"_s, u"t"_s)});
    const QString id = fixture.games().at(0).GameID;
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameById(id));
    rs.setField(u"GameName"_s, u"改名"_s);
    rs.Update();
    rs.Close();
    QCOMPARE(fixture.games().at(0).GameName, u"改名"_s);
    QCOMPARE(fixture.games().at(0).GameID, id);

    // An edit that is never stored is dropped by Close.
    CatalogueRecordset &again = Catalogue::OpenQuery(selectGameById(id));
    again.setField(u"GameName"_s, u"丢弃"_s);
    again.Close();
    QCOMPARE(fixture.games().at(0).GameName, u"改名"_s);
}

void tst_CatalogueRecordset::keysetIsFixedAtOpen()
{
    JYT_BOTH_STORES(stores, fixture, {}, {game(u"x"_s, u"t"_s)});
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameList());
    {
        CatalogueConnection other;
        fixture.openOther(other);
        other.Execute(u"insert into GameList(GameName) values ('later')"_s);
    }
    int seen = 0;
    for (; !rs.Eof(); rs.MoveNext())
        ++seen;
    QCOMPARE(seen, 1);
    rs.Close();
    QCOMPARE(names(selectGameList()).size(), 2);
}

void tst_CatalogueRecordset::addNewAssignsNumbersThatAreNeverReused()
{
    JYT_BOTH_STORES(stores, fixture);
    const QString first = CatalogueFixture::addGame(game(u"a"_s, u"t"_s));
    const QString second = CatalogueFixture::addGame(game(u"b"_s, u"t"_s));
    QVERIFY(second.toInt() > first.toInt());
    Catalogue::ExecuteStatement(deleteGameById(second));
    const QString third = CatalogueFixture::addGame(game(u"c"_s, u"t"_s));
    QVERIFY2(third.toInt() > second.toInt(), "a deleted game's number came back");
    QCOMPARE(Catalogue::CatalogueStatement(), u"Select * From GameList"_s);
}

void tst_CatalogueRecordset::quotesInNamesAreStoredListedAndDeleted()
{
    JYT_BOTH_STORES(stores, fixture, {u"Tom's"_s}, {game(u"Tom's Game"_s, u"Tom's"_s), game(u"Other"_s, u"Tom's"_s)});
    QCOMPARE(names(selectGamesByType(u"Tom's"_s)), (QStringList{u"Tom's Game"_s, u"Other"_s}));
    Catalogue::ExecuteStatement(deleteGamesNamed(u"Tom's Game"_s));
    QCOMPARE(names(selectGameList()), QStringList{u"Other"_s});
    Catalogue::ExecuteStatement(deleteGamesNamed(u"x' or '1'='1"_s));
    QCOMPARE(names(selectGameList()), QStringList{u"Other"_s});
    Catalogue::ExecuteStatement(deleteTypeByName(u"Tom's"_s));
    QVERIFY(fixture.categories().isEmpty());
}

void tst_CatalogueRecordset::nullAndEmptyAreDistinct()
{
    JYT_BOTH_STORES(stores, fixture);
    Catalogue::ExecuteStatement(u"insert into GameList(GameName, GameIcon) values ('', NULL)"_s);
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameList());
    QVERIFY(!rs.isNull(u"GameName"_s));
    QVERIFY(rs.Field(u"GameName"_s).isEmpty());
    QVERIFY(rs.isNull(u"GameIcon"_s));
    rs.Close();
}

void tst_CatalogueRecordset::unknownColumnAndEofAccessThrow()
{
    JYT_BOTH_STORES(stores, fixture, {u"t"_s});
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeList());
    QVERIFY_THROWS_EXCEPTION(CatalogueError, rs.Field(u"NoSuchColumn"_s));
    rs.MoveNext();
    QVERIFY(rs.Eof());
    QVERIFY_THROWS_EXCEPTION(CatalogueError, rs.Field(u"TypeName"_s));
    QVERIFY_THROWS_EXCEPTION(CatalogueError, rs.MoveNext());
    rs.Close();
}

void tst_CatalogueRecordset::failedOpenLeavesNoStaleCursor()
{
    JYT_BOTH_STORES(stores, fixture, {u"t"_s});
    Catalogue::OpenQuery(selectTypeList());
    QVERIFY_THROWS_EXCEPTION(CatalogueError, Catalogue::OpenQuery(u"Select * From NoSuchTable"_s));
    QVERIFY(!Catalogue::CatalogueRecordsetObject().isOpen());
    QCOMPARE(Catalogue::OpenQuery(selectTypeList()).Field(u"TypeName"_s), u"t"_s);
}

void tst_CatalogueRecordset::transactionRollbackRestoresBothTables()
{
    JYT_BOTH_STORES(stores, fixture, {u"old"_s}, {game(u"g"_s, u"old"_s)});
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.BeginTrans();
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeByName(u"old"_s));
    rs.setField(u"TypeName"_s, u"new"_s);
    rs.Update();
    rs.Close();
    connection.RollbackTrans();
    QCOMPARE(fixture.categories(), QStringList{u"old"_s});
}

void tst_CatalogueRecordset::editOfARowChangedMeanwhileIsRefused()
{
    JYT_BOTH_STORES(stores, fixture, {}, {game(u"x"_s, u"t"_s)});
    const QString id = fixture.games().at(0).GameID;
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameById(id));
    {
        // Another operator saves the same game after this cursor read it.
        CatalogueConnection other;
        fixture.openOther(other);
        CatalogueRecordset theirs;
        theirs.Open(selectGameById(id), other);
        theirs.setField(u"GameName"_s, u"先存"_s);
        theirs.Update();
    }
    rs.setField(u"GameName"_s, u"后存"_s);
    try {
        rs.Update();
        QFAIL("an edit overwrote a row changed since it was read");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), int(CatalogueError::RowChanged));
    }
    rs.Close();
    QCOMPARE(fixture.games().at(0).GameName, u"先存"_s);
}

void tst_CatalogueRecordset::editOfANullFieldIsStored()
{
    JYT_BOTH_STORES(stores, fixture);
    Catalogue::ExecuteStatement(u"insert into GameList(GameName, GameIcon) values ('g', NULL)"_s);
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameList());
    rs.setField(u"GameIcon"_s, u"a.ico"_s);
    rs.Update();
    rs.Close();
    QCOMPARE(fixture.games().at(0).GameIcon, u"a.ico"_s);
}

QTEST_GUILESS_MAIN(tst_CatalogueRecordset)
#include "tst_CatalogueRecordset.moc"
