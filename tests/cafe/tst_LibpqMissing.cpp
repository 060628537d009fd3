#include "cafe/CafeMode.h"
#include "cafe/Libpq.h"
#include "cafe/PgBackend.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// libpq is opened once per process, so a missing one has a test program of its own.
class tst_LibpqMissing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void connectingSaysLibpqIsMissing();
};

void tst_LibpqMissing::initTestCase()
{
    Libpq::setFileNameForTesting(u"libpq-missing.so.5"_s);
}

void tst_LibpqMissing::connectingSaysLibpqIsMissing()
{
    const QString uri = u"postgresql://juyoutai_menu@127.0.0.1:1/juyoutai"_s;
    const QString expected = u"无法加载 libpq-missing.so.5："_s;

    QTemporaryDir dir;
    CafeMode cafe(uri, dir.filePath(u"GameDB.dbs"_s));
    QVERIFY(!cafe.waitForFirstSync(10000));
    QVERIFY2(cafe.offlineReason().startsWith(expected), qPrintable(cafe.offlineReason()));

    try {
        PgBackend backend(uri);
        QFAIL("connected without libpq");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), int(CatalogueError::ServerUnreachable));
        QVERIFY2(error.description().startsWith(expected), qPrintable(error.description()));
    }
}

QTEST_GUILESS_MAIN(tst_LibpqMissing)
#include "tst_LibpqMissing.moc"
