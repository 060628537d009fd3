#include "platform/TerminalText.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_TerminalText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printable_data();
    void printable();
};

void tst_TerminalText::printable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString m = QString::fromUcs4(&TerminalText::mark, 1);
    QTest::newRow("plain") << u"穿梭时空 Quake 3"_s << u"穿梭时空 Quake 3"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("escape sequences") << u"\x1b[2J\x1b]0;T\x07x"_s << (m + u"[2J"_s + m + u"]0;T"_s + m + u"x"_s);
    QTest::newRow("newline, return and tab") << u"a\nb\rc\td"_s << (u"a"_s + m + u"b"_s + m + u"c"_s + m + u"d"_s);
    QTest::newRow("nul") << QString(QChar(0)) << m;
    QTest::newRow("del") << u"a\x7f"_s << (u"a"_s + m);
    QTest::newRow("c1 csi") << u"a\u009b2J"_s << (u"a"_s + m + u"2J"_s);
    QTest::newRow("c1 last") << u"\u009f"_s << m;
    QTest::newRow("first after c1 stays") << u"\u00a0\u00e9"_s << u"\u00a0\u00e9"_s;
    QTest::newRow("bidi overrides") << u"\u202a\u202b\u202c\u202d\u202e"_s << m.repeated(5);
    QTest::newRow("bidi isolates") << u"\u2066\u2067\u2068\u2069"_s << m.repeated(4);
    QTest::newRow("marks beside the overrides stay") << u"\u2029\u202f\u2065\u206a"_s << u"\u2029\u202f\u2065\u206a"_s;
    QTest::newRow("emoji is one character") << u"a😀b"_s << u"a😀b"_s;
}

void tst_TerminalText::printable()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(TerminalText::printable(text), expected);
}

QTEST_GUILESS_MAIN(tst_TerminalText)
#include "tst_TerminalText.moc"
