#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace CatalogueStatements;

class tst_CatalogueStatements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textsForPlainNames();
    void quotesAreDoubled();
    void gameKeyMustBeANumber();
};

void tst_CatalogueStatements::textsForPlainNames()
{
    QCOMPARE(selectTypeList(), u"Select * From TypeList"_s);
    QCOMPARE(selectTypeByName(u"射击游戏"_s), u"Select * From TypeList Where TypeName= '射击游戏'"_s);
    QCOMPARE(deleteTypeByName(u"射击游戏"_s), u"delete From TypeList Where TypeName= '射击游戏'"_s);
    QCOMPARE(selectGameList(), u"Select * From GameList"_s);
    QCOMPARE(selectGamesByType(u"网络游戏"_s), u"Select * From GameList Where GameType= '网络游戏'"_s);
    QCOMPARE(selectGameById(u"42"_s), u"Select * From GameList Where CAST(GameID AS TEXT)= '42'"_s);
    QCOMPARE(deleteGameById(u"7"_s), u"delete From GameList Where CAST(GameID AS TEXT)= '7'"_s);
    QCOMPARE(
        selectGamesRanked({9, 4}),
        u"Select * From GameList Where GameID In (NULL,9,4) Order By CASE GameID WHEN 9 THEN 0 WHEN 4 THEN 1 ELSE 0 END"_s);
}

void tst_CatalogueStatements::quotesAreDoubled()
{
    QCOMPARE(deleteTypeByName(u"Tom's Game"_s), u"delete From TypeList Where TypeName= 'Tom''s Game'"_s);
    QCOMPARE(selectGamesByType(u"'; drop table GameList; --"_s),
             u"Select * From GameList Where GameType= '''; drop table GameList; --'"_s);
    QCOMPARE(quoted(QString()), u"''"_s);
}

void tst_CatalogueStatements::gameKeyMustBeANumber()
{
    QVERIFY_THROWS_EXCEPTION(CatalogueError, selectGameById(u"1 or 1=1"_s));
    QVERIFY_THROWS_EXCEPTION(CatalogueError, deleteGameById(u""_s));
    QVERIFY_THROWS_EXCEPTION(CatalogueError, deleteGameById(u" 3"_s));
    QVERIFY_THROWS_EXCEPTION(CatalogueError, deleteGameById(u"3\n"_s));
    QCOMPARE(deleteGameById(u"-3"_s), u"delete From GameList Where CAST(GameID AS TEXT)= '-3'"_s);
    // The key is compared as read, never normalised to another game's number.
    QCOMPARE(selectGameById(u"05"_s), u"Select * From GameList Where CAST(GameID AS TEXT)= '05'"_s);
}

QTEST_GUILESS_MAIN(tst_CatalogueStatements)
#include "tst_CatalogueStatements.moc"
