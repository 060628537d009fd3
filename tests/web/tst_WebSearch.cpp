#include "web/WebSearch.h"

#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

class tst_WebSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void defaultPrefix();
    void encodesWords_data();
    void encodesWords();
    void everyCharacterIsSearchedFor_data();
    void everyCharacterIsSearchedFor();
    void emptyWordsGiveEmptyValue();
    void injectedPrefixIsKept();
    void configuredPrefix_data();
    void configuredPrefix();
    void allowedAddresses_data();
    void allowedAddresses();
};

void tst_WebSearch::cleanup()
{
    WebSearch::setPrefixForTesting(u"https://www.baidu.com/s?wd="_s);
}

void tst_WebSearch::defaultPrefix()
{
    QCOMPARE(WebSearch::prefix(), u"https://www.baidu.com/s?wd="_s);
    const QUrl address = WebSearch::searchAddress(u"x"_s);
    QCOMPARE(address.scheme(), u"https"_s);
    QCOMPARE(address.host(), u"www.baidu.com"_s);
    QCOMPARE(address.path(), u"/s"_s);
}

void tst_WebSearch::encodesWords_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("ampersand") << u"C&C"_s << QByteArray("C%26C");
    QTest::newRow("hash") << u"C#"_s << QByteArray("C%23");
    QTest::newRow("plus") << u"C++"_s << QByteArray("C%2B%2B");
    QTest::newRow("spaces") << u"red alert 2"_s << QByteArray("red%20alert%202");
    QTest::newRow("chinese") << u"穿梭时空"_s << QByteArray("%E7%A9%BF%E6%A2%AD%E6%97%B6%E7%A9%BA");
    QTest::newRow("query syntax") << u"a=b/c?d%"_s << QByteArray("a%3Db%2Fc%3Fd%25");
}

void tst_WebSearch::encodesWords()
{
    QFETCH(QString, words);
    QFETCH(QByteArray, encoded);

    const QUrl address = WebSearch::searchAddress(words);
    QVERIFY(address.isValid());
    QCOMPARE(address.toEncoded(), QByteArray("https://www.baidu.com/s?wd=") + encoded);
}

void tst_WebSearch::everyCharacterIsSearchedFor_data()
{
    QTest::addColumn<QString>("words");

    QTest::newRow("ampersand") << u"C&C"_s;
    QTest::newRow("hash") << u"Counter Strike #1"_s;
    QTest::newRow("plus") << u"1+1=2"_s;
    QTest::newRow("chinese") << u"CS反恐精英 穿梭时空"_s;
    QTest::newRow("percent") << u"100% 完成"_s;
}

void tst_WebSearch::everyCharacterIsSearchedFor()
{
    QFETCH(QString, words);

    const QUrl address = WebSearch::searchAddress(words);
    QVERIFY(!address.hasFragment());
    const QUrlQuery query(address);
    QCOMPARE(query.queryItems().size(), 1);
    QCOMPARE(query.queryItemValue(u"wd"_s, QUrl::FullyDecoded), words);
}

void tst_WebSearch::emptyWordsGiveEmptyValue()
{
    const QUrl address = WebSearch::searchAddress(QString());
    QCOMPARE(address.toEncoded(), QByteArray("https://www.baidu.com/s?wd="));
    const QUrlQuery query(address);
    QVERIFY(query.hasQueryItem(u"wd"_s));
    QCOMPARE(query.queryItemValue(u"wd"_s), QString());
}

void tst_WebSearch::injectedPrefixIsKept()
{
    WebSearch::setPrefixForTesting(u"http://127.0.0.1:8123/s?wd="_s);
    QCOMPARE(WebSearch::searchAddress(u"C&C"_s).toEncoded(), QByteArray("http://127.0.0.1:8123/s?wd=C%26C"));
}

void tst_WebSearch::configuredPrefix_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("used");

    QTest::newRow("another engine") << u"https://www.bing.com/search?q="_s << true;
    QTest::newRow("http and a port") << u"http://127.0.0.1:8123/find?words="_s << true;
    QTest::newRow("longest") << u"https://a.cn/?q="_s + QString(WebSearch::MaxPrefixLength - 16, u'x') << true;
    QTest::newRow("none") << QString() << true;
    QTest::newRow("too long") << u"https://a.cn/?q="_s + QString(WebSearch::MaxPrefixLength - 15, u'x') << false;
    QTest::newRow("ftp") << u"ftp://example.com/s?wd="_s << false;
    QTest::newRow("file") << u"file:///etc/passwd?"_s << false;
    QTest::newRow("javascript") << u"javascript:alert(1)//"_s << false;
    QTest::newRow("no host") << u"https:///s?wd="_s << false;
    QTest::newRow("no scheme") << u"www.bing.com/search?q="_s << false;
    QTest::newRow("fragment") << u"https://www.bing.com/#q="_s << false;
    QTest::newRow("space") << u"https://www.bing.com/search?x=a b&q="_s << false;
    QTest::newRow("control character") << u"https://www.bing.com/search?"_s + QChar(0x1b) + u"[2Jq="_s << false;
}

void tst_WebSearch::configuredPrefix()
{
    QFETCH(QString, prefix);
    QFETCH(bool, used);

    WebSearch::setPrefixForTesting(u"http://127.0.0.1:1/s?wd="_s); // a value from before
    if (!used)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^juyoutai.ini: \\[web\\] search= "_s));
    QCOMPARE(WebSearch::usePrefix(prefix), used);
    const QString expected = used && !prefix.isEmpty() ? prefix : u"https://www.baidu.com/s?wd="_s;
    QCOMPARE(WebSearch::prefix(), expected);
    // The words are encoded as with the default engine
    QCOMPARE(WebSearch::searchAddress(u"C&C #1"_s).toEncoded(), expected.toUtf8() + "C%26C%20%231");
}

void tst_WebSearch::allowedAddresses_data()
{
    QTest::addColumn<QUrl>("address");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("http") << QUrl(u"http://example.com/"_s) << true;
    QTest::newRow("https") << QUrl(u"https://www.baidu.com/s?wd=x"_s) << true;
    QTest::newRow("search address") << WebSearch::searchAddress(u"C&C"_s) << true;
    QTest::newRow("about page") << WebSearch::aboutAddress() << true;
    QTest::newRow("file") << QUrl(u"file:///etc/passwd"_s) << false;
    QTest::newRow("javascript") << QUrl(u"javascript:alert(1)"_s) << false;
    QTest::newRow("data") << QUrl(u"data:text/html,<b>x</b>"_s) << false;
    QTest::newRow("ftp") << QUrl(u"ftp://example.com/file"_s) << false;
    QTest::newRow("other page of own scheme") << QUrl(u"jyt:settings"_s) << false;
    QTest::newRow("http without host") << QUrl(u"http:/etc/passwd"_s) << false;
    QTest::newRow("no scheme") << QUrl(u"www.baidu.com"_s) << false;
    QTest::newRow("empty") << QUrl() << false;
}

void tst_WebSearch::allowedAddresses()
{
    QFETCH(QUrl, address);
    QFETCH(bool, allowed);

    QCOMPARE(WebSearch::isAllowedAddress(address), allowed);
}

QTEST_GUILESS_MAIN(tst_WebSearch)
#include "tst_WebSearch.moc"
