#include "cafe/CatalogueConfig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class tst_CatalogueConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileDecidesTheMode_data();
    void fileDecidesTheMode();
    void onlyASmallRegularFileIsRead();
    void webSearchIsReadWhateverTheServer_data();
    void webSearchIsReadWhateverTheServer();
};

void tst_CatalogueConfig::fileDecidesTheMode_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("malformed");
    QTest::addColumn<QString>("clientName"); // null: the host name

    QTest::newRow("no file") << QByteArray() << QString() << false << QString();
    QTest::newRow("no server key") << QByteArray("[catalogue]\nother=1\n") << QString() << false << QString();
    QTest::newRow("server") << QByteArray("[catalogue]\nserver=postgresql://juyoutai_menu:pw@10.0.0.2:5432/"
                                          "juyoutai?sslmode=prefer\n")
                            << u"postgresql://juyoutai_menu:pw@10.0.0.2:5432/juyoutai?sslmode=prefer"_s << false
                            << QString();
    // An unquoted comma makes a list of the value; libpq's host lists need it back.
    QTest::newRow("host list") << QByteArray("[catalogue]\nserver=postgresql://a:5432,b:5433/juyoutai\n")
                               << u"postgresql://a:5432,b:5433/juyoutai"_s << false << QString();
    QTest::newRow("unclosed section") << QByteArray("[catalogue\nserver=postgresql://a/b\n") << QString() << true
                                      << QString();
    QTest::newRow("empty server") << QByteArray("[catalogue]\nserver=\n") << QString() << true << QString();
    QTest::newRow("option libpq does not know")
        << QByteArray("[catalogue]\nserver=postgresql://a/b?colour=blue\n") << QString() << true << QString();
    QTest::newRow("not an address") << QByteArray("[catalogue]\nserver=just words\n") << QString() << true << QString();
    // The message box shows what is wrong, never the password ("sekrit").
    QTest::newRow("password in a bad URI")
        << QByteArray("[catalogue]\nserver=postgresql://menu:sekrit@[::1/juyoutai\n") << QString() << true << QString();
    QTest::newRow("password in bad keywords")
        << QByteArray("[catalogue]\nserver=host=a password=sekrit colour=blue\n") << QString() << true << QString();
    // libpq would block for ever reading a FIFO ($DIR/fifo) or a device; a regular file is fine.
    QTest::newRow("certificate that is a FIFO")
        << QByteArray("[catalogue]\nserver=postgresql://a/b?sslrootcert=$DIR/fifo\n") << QString() << true << QString();
    QTest::newRow("password file that is a folder")
        << QByteArray("[catalogue]\nserver=host=a passfile=$DIR\n") << QString() << true << QString();
    QTest::newRow("certificate that is a file")
        << QByteArray("[catalogue]\nserver=postgresql://a/b?sslcert=$DIR/juyoutai.ini\n")
        << u"postgresql://a/b?sslcert=$DIR/juyoutai.ini"_s << false << QString();
    // The server counts characters, not UTF-16 units: the emoji is the 64th and stays whole.
    QTest::newRow("long client name") << QByteArray("[catalogue]\nserver=postgresql://a/b\n[client]\nname="
                                                    + QByteArray(63, 'a')
                                                    + "\xF0\x9F\x8E\xAE"
                                                      "bc\n")
                                      << u"postgresql://a/b"_s << false << QString(63, u'a') + u"\U0001F3AE"_s;
}

void tst_CatalogueConfig::fileDecidesTheMode()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, server);
    QFETCH(bool, malformed);
    QFETCH(QString, clientName);
    QTemporaryDir dir;
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(u"fifo"_s)).constData(), 0600) == 0);
    if (!contents.isNull()) {
        QFile file(dir.filePath(u"juyoutai.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents.replace("$DIR", QFile::encodeName(dir.path())));
    }
    const CatalogueConfig config = CatalogueConfig::load(dir.path());
    QCOMPARE(config.serverUri(), server.replace(u"$DIR"_s, dir.path()));
    QCOMPARE(config.isCafe(), !server.isEmpty());
    QCOMPARE(!config.error().isEmpty(), malformed);
    if (!clientName.isNull())
        QCOMPARE(config.clientName(), clientName);
    QVERIFY2(!config.error().contains(u"sekrit"_s), qPrintable(config.error()));
}

void tst_CatalogueConfig::onlyASmallRegularFileIsRead()
{
    // A FIFO would block start-up for ever; a huge file would be read whole.
    QTemporaryDir fifoDir;
    QVERIFY(::mkfifo(QFile::encodeName(fifoDir.filePath(u"juyoutai.ini"_s)).constData(), 0600) == 0);
    QTemporaryDir largeDir;
    QFile large(largeDir.filePath(u"juyoutai.ini"_s));
    QVERIFY(large.open(QIODevice::WriteOnly));
    large.write("[catalogue]\nserver=postgresql://a/b\n" + QByteArray(CatalogueConfig::MaxBytes, ';'));
    large.close();
    for (const QTemporaryDir *dir : {&fifoDir, &largeDir}) {
        const CatalogueConfig config = CatalogueConfig::load(dir->path());
        QVERIFY(!config.isCafe());
        QVERIFY(!config.error().isEmpty());
    }
}

void tst_CatalogueConfig::webSearchIsReadWhateverTheServer_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("webSearch");

    QTest::newRow("none") << QByteArray("[catalogue]\nserver=postgresql://a/b\n") << QString();
    QTest::newRow("alone") << QByteArray("[web]\nsearch=https://www.bing.com/search?q=\n")
                           << u"https://www.bing.com/search?q="_s;
    QTest::newRow("with a server") << QByteArray("[catalogue]\nserver=postgresql://a/b\n[web]\nsearch=http://s/?q=\n")
                                   << u"http://s/?q="_s;
    QTest::newRow("with a bad server") << QByteArray("[catalogue]\nserver=just words\n[web]\nsearch=http://s/?q=\n")
                                       << u"http://s/?q="_s;
    QTest::newRow("commas") << QByteArray("[web]\nsearch=http://s/?a=1,2&q=\n") << u"http://s/?a=1,2&q="_s;
}

void tst_CatalogueConfig::webSearchIsReadWhateverTheServer()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, webSearch);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"juyoutai.ini"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    QCOMPARE(CatalogueConfig::load(dir.path()).webSearch(), webSearch);
}

QTEST_GUILESS_MAIN(tst_CatalogueConfig)
#include "tst_CatalogueConfig.moc"
