#include "cafe/CatalogueConfig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_CatalogueConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileDecidesTheMode_data();
    void fileDecidesTheMode();
};

void tst_CatalogueConfig::fileDecidesTheMode_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("malformed");

    QTest::newRow("no file") << QByteArray() << QString() << false;
    QTest::newRow("no server key") << QByteArray("[catalogue]\nother=1\n") << QString() << false;
    QTest::newRow("server") << QByteArray("[catalogue]\nserver=postgresql://juyoutai_menu:pw@10.0.0.2:5432/"
                                          "juyoutai?sslmode=prefer\n")
                            << u"postgresql://juyoutai_menu:pw@10.0.0.2:5432/juyoutai?sslmode=prefer"_s << false;
    // An unquoted comma makes a list of the value; libpq's host lists need it back.
    QTest::newRow("host list") << QByteArray("[catalogue]\nserver=postgresql://a:5432,b:5433/juyoutai\n")
                               << u"postgresql://a:5432,b:5433/juyoutai"_s << false;
    QTest::newRow("unclosed section") << QByteArray("[catalogue\nserver=postgresql://a/b\n") << QString() << true;
    QTest::newRow("empty server") << QByteArray("[catalogue]\nserver=\n") << QString() << true;
    QTest::newRow("option libpq does not know")
        << QByteArray("[catalogue]\nserver=postgresql://a/b?colour=blue\n") << QString() << true;
    QTest::newRow("not an address") << QByteArray("[catalogue]\nserver=just words\n") << QString() << true;
}

void tst_CatalogueConfig::fileDecidesTheMode()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, server);
    QFETCH(bool, malformed);
    QTemporaryDir dir;
    if (!contents.isNull()) {
        QFile file(dir.filePath(u"juyoutai.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    const CatalogueConfig config = CatalogueConfig::load(dir.path());
    QCOMPARE(config.serverUri(), server);
    QCOMPARE(config.isCafe(), !server.isEmpty());
    QCOMPARE(!config.error().isEmpty(), malformed);
}

QTEST_GUILESS_MAIN(tst_CatalogueConfig)
#include "tst_CatalogueConfig.moc"
