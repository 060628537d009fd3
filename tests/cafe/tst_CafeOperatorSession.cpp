#include "CatalogueFixture.h"
#include "PgTestDatabase.h"

#include "cafe/CafeOperatorSession.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/RecordsetGuard.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_CafeOperatorSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passwordIsTheOperatorRolesOwn();
    void offlineRefusesBeforeAsking();
};

void tst_CafeOperatorSession::passwordIsTheOperatorRolesOwn()
{
    PgTestDatabase server;
    JYT_REQUIRE_PG(server);
    QVERIFY(server.run(u"INSERT INTO TypeList (TypeName) VALUES ('服务器分类')"_s).isEmpty());
    const CatalogueFixture copy({u"副本分类"_s});
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    // The menu's settings carry TLS and timeout options that the operator's connection must keep.
    const QString menuUri = server.menuUri() + u"?sslmode=disable&connect_timeout=3"_s;
    CafeOperatorSession session(
        connection, menuUri, [] { return true; }, [&] { return copy.path(); });

    QVERIFY(session.passwordRequired());
    QCOMPARE(session.begin(u"not-the-password"_s).outcome, OperatorSession::Outcome::WrongPassword);
    QVERIFY(!connection.isServer());
    QCOMPARE(RecordsetGuard(CatalogueStatements::selectTypeList())->Field(u"TypeName"_s), u"副本分类"_s);

    QCOMPARE(session.begin(QString::fromLatin1(PgTestDatabase::OperatorPassword)).outcome,
             OperatorSession::Outcome::Granted);
    QVERIFY(connection.isServer());
    Catalogue::ExecuteStatement(CatalogueStatements::deleteTypeByName(u"服务器分类"_s));
    session.end();
    QVERIFY(!connection.isServer());
    QCOMPARE(RecordsetGuard(CatalogueStatements::selectTypeList())->Field(u"TypeName"_s), u"副本分类"_s);
    QVERIFY(server.run(u"DO $$ BEGIN IF EXISTS (SELECT FROM TypeList) THEN RAISE 'not deleted'; END IF; END $$"_s)
                .isEmpty());
}

void tst_CafeOperatorSession::offlineRefusesBeforeAsking()
{
    const CatalogueFixture copy({u"副本分类"_s});
    CafeOperatorSession session(
        Catalogue::CatalogueConnectionObject(), u"postgresql://juyoutai_menu@127.0.0.1:1/juyoutai"_s,
        [] { return false; }, [&] { return copy.path(); });
    // No password is asked for that nobody could check.
    QVERIFY(!session.passwordRequired());
    const OperatorSession::Result result = session.begin(u"anything"_s);
    QCOMPARE(result.outcome, OperatorSession::Outcome::Unavailable);
    QVERIFY(result.message.startsWith(u"离线模式"_s));
    QVERIFY(!Catalogue::CatalogueConnectionObject().isServer());
}

QTEST_GUILESS_MAIN(tst_CafeOperatorSession)
#include "tst_CafeOperatorSession.moc"
