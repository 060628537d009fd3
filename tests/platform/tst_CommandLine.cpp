#include "platform/CommandLine.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split();
    void unquotedTextSplitsOnWhiteSpaceOnly_data();
    void unquotedTextSplitsOnWhiteSpaceOnly();
};

void tst_CommandLine::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("blanks only") << u"  \t "_s << QStringList();
    QTest::newRow("one word") << u"-console"_s << QStringList{u"-console"_s};
    QTest::newRow("runs of blanks") << u"  -game   cstrike\t+map  de_dust2 "_s
                                    << QStringList{u"-game"_s, u"cstrike"_s, u"+map"_s, u"de_dust2"_s};
    QTest::newRow("quotes group words") << u"-path \"C:\\Program Files\\Game\" -w"_s
                                        << QStringList{u"-path"_s, u"C:\\Program Files\\Game"_s, u"-w"_s};
    QTest::newRow("quotes inside a word") << u"name=\"张 三\"x"_s << QStringList{u"name=张 三x"_s};
    QTest::newRow("empty quotes give an empty argument") << u"a \"\" b"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("doubled quote inside quotes") << u"\"say \"\"hi\"\"\""_s << QStringList{u"say \"hi\""_s};
    QTest::newRow("four quotes give one quote") << u"\"\"\"\""_s << QStringList{u"\""_s};
    QTest::newRow("unclosed quote runs to the end") << u"a \"b  c"_s << QStringList{u"a"_s, u"b  c"_s};
    QTest::newRow("trailing backslash in quotes") << u"\"C:\\Games\\\" x"_s << QStringList{u"C:\\Games\\"_s, u"x"_s};
    QTest::newRow("single quotes are plain characters") << u"'two words'"_s << QStringList{u"'two"_s, u"words'"_s};
    QTest::newRow("shell syntax stays literal")
        << u"$(touch pwned) `id` ; | && > out $HOME *"_s
        << QStringList{u"$(touch"_s, u"pwned)"_s, u"`id`"_s, u";"_s,     u"|"_s,
                       u"&&"_s,      u">"_s,      u"out"_s,  u"$HOME"_s, u"*"_s};
    QTest::newRow("quoted shell syntax") << u"\"$(rm -rf ~); `x` | y\""_s << QStringList{u"$(rm -rf ~); `x` | y"_s};
    QTest::newRow("newline separates") << u"a\nb\r\nc"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("ideographic space separates") << u"甲\u3000乙"_s << QStringList{u"甲"_s, u"乙"_s};
    QTest::newRow("chinese") << u"-玩家 \"穿梭 时空\""_s << QStringList{u"-玩家"_s, u"穿梭 时空"_s};
    QTest::newRow("placeholder is an ordinary word here") << u"无"_s << QStringList{u"无"_s};
}

void tst_CommandLine::split()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(CommandLine::split(text), expected);
}

void tst_CommandLine::unquotedTextSplitsOnWhiteSpaceOnly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << u"a b\tc\\d e;f|g&h"_s;
    QTest::newRow("mixed") << u" 反恐\v精英 \f+x=1 "_s;
}

void tst_CommandLine::unquotedTextSplitsOnWhiteSpaceOnly()
{
    // Without quotes the result must be what a plain split on white space gives.
    QFETCH(QString, text);
    QStringList plain;
    QString word;
    for (const QChar c : text) {
        if (c.isSpace()) {
            if (!word.isEmpty())
                plain.append(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        plain.append(word);
    QCOMPARE(CommandLine::split(text), plain);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
