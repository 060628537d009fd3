#include "pinyin/PinyinSearch.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_PinyinSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void searchInitialsAreLowerCase();
    void rule_data();
    void rule();
    void emptySearchMatchesNonEmptyNames();
    void nameInitialsStayRightPastCacheBound();
};

void tst_PinyinSearch::searchInitialsAreLowerCase()
{
    QCOMPARE(PinyinSearch(u"反恐"_s).searchInitials(), u"fk"_s);
    QCOMPARE(PinyinSearch(u"CS"_s).searchInitials(), u"cs"_s);
    QCOMPARE(PinyinSearch(QString()).searchInitials(), QString());
    QCOMPARE(PinyinSearch::nameInitials(u"CS反恐精英"_s), u"csfkjy"_s);
}

void tst_PinyinSearch::rule_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listed");

    const QString chuansuo = u"穿梭时空"_s;
    const QString cs = u"CS反恐精英"_s;
    const QString counter = u"Counter Strike"_s;
    QTest::newRow("cs 穿梭时空") << u"cs"_s << chuansuo << true;
    QTest::newRow("cs CS反恐精英") << u"cs"_s << cs << true;
    QTest::newRow("cs Counter Strike") << u"cs"_s << counter << false;
    QTest::newRow("CS 穿梭时空") << u"CS"_s << chuansuo << true;
    QTest::newRow("CS CS反恐精英") << u"CS"_s << cs << true;
    QTest::newRow("CS Counter Strike") << u"CS"_s << counter << false;
    QTest::newRow("穿梭 穿梭时空") << u"穿梭"_s << chuansuo << true;
    QTest::newRow("c梭 穿梭时空") << u"c梭"_s << chuansuo << true;
    QTest::newRow("sk 穿梭时空") << u"sk"_s << chuansuo << true;
    QTest::newRow("cssk 穿梭时空") << u"cssk"_s << chuansuo << true;
    QTest::newRow("csskx 穿梭时空") << u"csskx"_s << chuansuo << false;
    QTest::newRow("ck 穿梭时空") << u"ck"_s << chuansuo << false;
    QTest::newRow("反恐 CS反恐精英") << u"反恐"_s << cs << true;
    QTest::newRow("反恐 疯狂赛车") << u"反恐"_s << u"疯狂赛车"_s << true;
    QTest::newRow("反恐 穿梭时空") << u"反恐"_s << chuansuo << false;
    QTest::newRow("mixed case name") << u"cOuNtEr"_s << counter << true;
    QTest::newRow("space kept") << u"r s"_s << counter << true;
    QTest::newRow("no space") << u"rs"_s << counter << false;
    QTest::newRow("accented upper") << u"É"_s << u"éclair"_s << true;
    QTest::newRow("greek upper") << u"Ω"_s << u"ω游戏"_s << true;
    QTest::newRow("second level literal") << u"亍"_s << u"游亍戏"_s << true;
    QTest::newRow("second level vs letter") << u"亍"_s << u"C"_s << false;
    QTest::newRow("digits") << u"3"_s << u"三国3"_s << true;
    QTest::newRow("digit not letter") << u"3"_s << u"三国"_s << false;
    QTest::newRow("longer than name") << u"穿梭时空x"_s << chuansuo << false;
}

void tst_PinyinSearch::rule()
{
    QFETCH(QString, search);
    QFETCH(QString, name);
    QFETCH(bool, listed);
    const PinyinSearch rule(search);
    QCOMPARE(rule.matches(name), listed);
    // A second look goes through the cached initials and must agree.
    QCOMPARE(rule.matches(name), listed);
}

void tst_PinyinSearch::emptySearchMatchesNonEmptyNames()
{
    const PinyinSearch empty{QString()};
    QVERIFY(empty.matches(u"穿梭时空"_s));
    QVERIFY(empty.matches(u" "_s));
    QVERIFY(empty.matches(u"a"_s));
    QVERIFY(!empty.matches(QString()));
    QVERIFY(!empty.matches(u""_s));
    QVERIFY(!PinyinSearch(u"a"_s).matches(QString()));
}

void tst_PinyinSearch::nameInitialsStayRightPastCacheBound()
{
    const PinyinSearch search(u"yx"_s);
    QVERIFY(search.matches(u"游戏0"_s));
    for (int i = 0; i < 20000; ++i) {
        const QString name = u"穿梭%1"_s.arg(i);
        QCOMPARE(PinyinSearch::nameInitials(name), u"cs%1"_s.arg(i));
    }
    QVERIFY(search.matches(u"游戏0"_s));
    QVERIFY(!search.matches(u"穿梭0"_s));
    QCOMPARE(PinyinSearch::nameInitials(u"游戏0"_s), u"yx0"_s);
}

QTEST_APPLESS_MAIN(tst_PinyinSearch)
#include "tst_PinyinSearch.moc"
