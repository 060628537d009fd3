#include "cafe/CsvCell.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_CsvCell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quoted_data();
    void quoted();
};

void tst_CsvCell::quoted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << u"穿梭时空"_s << u"穿梭时空"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("number") << u"42"_s << u"42"_s;
    QTest::newRow("formula") << u"=1+1"_s << u"'=1+1"_s;
    QTest::newRow("plus") << u"+cmd"_s << u"'+cmd"_s;
    QTest::newRow("minus") << u"-2"_s << u"'-2"_s;
    QTest::newRow("at") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s;
    QTest::newRow("tab") << u"\t=x"_s << u"'\t=x"_s;
    QTest::newRow("carriage return") << u"\r=x"_s << u"\"'\r=x\""_s;
    QTest::newRow("formula sign later stays") << u"a=b"_s << u"a=b"_s;
    QTest::newRow("comma") << u"a,b"_s << u"\"a,b\""_s;
    QTest::newRow("quote") << u"say \"hi\""_s << u"\"say \"\"hi\"\"\""_s;
    QTest::newRow("newline") << u"a\nb"_s << u"\"a\nb\""_s;
    QTest::newRow("formula with comma") << u"=HYPERLINK(\"x\",\"y\")"_s << u"\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""_s;
}

void tst_CsvCell::quoted()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(CsvCell::quoted(text), expected);
}

QTEST_GUILESS_MAIN(tst_CsvCell)
#include "tst_CsvCell.moc"
