#include "pinyin/PinyinInitial.h"

#include <QtTest>

#include <iconv.h>

#include <array>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct InitialRange
{
    char letter;
    qint16 first;
    qint16 last;
};

// The first-level ranges as signed codes, kept apart from the generator's copy.
constexpr std::array<InitialRange, 23> kRanges{{
    {'A', -20319, -20284}, {'B', -20283, -19776}, {'C', -19775, -19219}, {'D', -19218, -18711}, {'E', -18710, -18527},
    {'F', -18526, -18240}, {'G', -18239, -17923}, {'H', -17922, -17418}, {'J', -17417, -16475}, {'K', -16474, -16213},
    {'L', -16212, -15641}, {'M', -15640, -15166}, {'N', -15165, -14923}, {'O', -14922, -14915}, {'P', -14914, -14631},
    {'Q', -14630, -14150}, {'R', -14149, -14091}, {'S', -14090, -13319}, {'T', -13318, -12839}, {'W', -12838, -12557},
    {'X', -12556, -11848}, {'Y', -11847, -11056}, {'Z', -11055, -10247},
}};

constexpr int kQuestionMark = 63;

// The system converter, used as the reference for code page 936.
class Cp936Oracle
{
public:
    Cp936Oracle()
        : m_toGbk(iconv_open("CP936", "UTF-16LE"))
        , m_fromGbk(iconv_open("UTF-16LE", "CP936"))
    {
    }
    ~Cp936Oracle()
    {
        if (isOpen()) {
            iconv_close(m_toGbk);
            iconv_close(m_fromGbk);
        }
    }
    Cp936Oracle(const Cp936Oracle &) = delete;
    Cp936Oracle &operator=(const Cp936Oracle &) = delete;

    bool isOpen() const { return m_toGbk != iconv_t(-1) && m_fromGbk != iconv_t(-1); }

    // Unsigned code of one UTF-16 unit; "?" when the code page has no such character.
    int code(char16_t unit) const
    {
        char in[2] = {char(unit & 0xFF), char(unit >> 8)};
        unsigned char out[8] = {};
        const auto written = convert(m_toGbk, in, sizeof in, reinterpret_cast<char *>(out), sizeof out);
        if (written == 1)
            return out[0];
        if (written == 2)
            return out[0] * 256 + out[1];
        return kQuestionMark;
    }

    // The one UTF-16 unit a double-byte code decodes to, if any.
    std::optional<char16_t> decode(int code) const
    {
        char in[2] = {char(code >> 8), char(code & 0xFF)};
        unsigned char out[8] = {};
        if (convert(m_fromGbk, in, sizeof in, reinterpret_cast<char *>(out), sizeof out) != 2)
            return std::nullopt;
        return char16_t(out[0] | (out[1] << 8));
    }

private:
    static long convert(iconv_t cd, char *in, size_t inSize, char *out, size_t outSize)
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *inPtr = in;
        char *outPtr = out;
        size_t inLeft = inSize;
        size_t outLeft = outSize;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0)
            return -1;
        return long(outSize - outLeft);
    }

    iconv_t m_toGbk;
    iconv_t m_fromGbk;
};

// Letter for a code page 936 code, or 0 outside every range.
char expectedLetter(int code)
{
    const qint16 signedCode = qint16(quint16(code));
    for (const InitialRange &range : kRanges) {
        if (signedCode >= range.first && signedCode <= range.last)
            return range.letter;
    }
    return 0;
}

QString expectedInitial(const Cp936Oracle &oracle, char16_t unit)
{
    const char letter = expectedLetter(oracle.code(unit));
    return letter ? QString(QChar(char16_t(letter))) : QString(QChar(unit));
}

} // namespace

class tst_PinyinInitial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rangeBounds_data();
    void rangeBounds();
    void unchangedCharacters_data();
    void unchangedCharacters();
    void everyGb2312Character();
    void extensionCharactersTakeRangeLetter();
    void wholeBasicPlaneMatchesConverter();
    void neverGivesIUV();
    void stringOverloadUsesFirstCharacter();
    void initialsOfText();

private:
    Cp936Oracle m_oracle;
};

void tst_PinyinInitial::initTestCase()
{
    QVERIFY2(m_oracle.isOpen(), "iconv has no CP936 converter");
}

void tst_PinyinInitial::rangeBounds_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("initial");
    const char16_t *bounds[][3] = {
        {u"A", u"啊", u"澳"}, {u"B", u"芭", u"怖"}, {u"C", u"擦", u"错"}, {u"D", u"搭", u"堕"}, {u"E", u"蛾", u"贰"},
        {u"F", u"发", u"咐"}, {u"G", u"噶", u"过"}, {u"H", u"哈", u"祸"}, {u"J", u"击", u"骏"}, {u"K", u"喀", u"阔"},
        {u"L", u"垃", u"络"}, {u"M", u"妈", u"穆"}, {u"N", u"拿", u"诺"}, {u"O", u"哦", u"沤"}, {u"P", u"啪", u"瀑"},
        {u"Q", u"期", u"群"}, {u"R", u"然", u"弱"}, {u"S", u"撒", u"所"}, {u"T", u"塌", u"唾"}, {u"W", u"挖", u"误"},
        {u"X", u"昔", u"迅"}, {u"Y", u"压", u"孕"}, {u"Z", u"匝", u"座"},
    };
    for (const auto &bound : bounds) {
        const QString letter = QString::fromUtf16(bound[0]);
        for (int side : {1, 2}) {
            const QString character = QString::fromUtf16(bound[side]);
            QTest::addRow("%s %s", qPrintable(letter), qPrintable(character)) << character << letter;
        }
    }
}

void tst_PinyinInitial::rangeBounds()
{
    QFETCH(QString, character);
    QFETCH(QString, initial);
    QCOMPARE(GetPinyinInitial(character.front()), initial);
    QCOMPARE(GetPinyinInitial(character), initial);
}

void tst_PinyinInitial::unchangedCharacters_data()
{
    QTest::addColumn<QString>("character");
    QTest::newRow("lower z") << u"z"_s;
    QTest::newRow("upper Z") << u"Z"_s;
    QTest::newRow("digit") << u"5"_s;
    QTest::newRow("hyphen") << u"-"_s;
    QTest::newRow("space") << u" "_s;
    QTest::newRow("nul") << QString(QChar(u'\0'));
    QTest::newRow("second level 亍") << u"亍"_s;
    QTest::newRow("high surrogate") << QString(QChar(char16_t(0xD83D)));
    QTest::newRow("low surrogate") << QString(QChar(char16_t(0xDE00)));
    QTest::newRow("Thai") << QString(QChar(char16_t(0x0E01)));
    QTest::newRow("full-width A") << u"Ａ"_s;
    QTest::newRow("replacement") << QString(QChar(char16_t(0xFFFD)));
}

void tst_PinyinInitial::unchangedCharacters()
{
    QFETCH(QString, character);
    QCOMPARE(GetPinyinInitial(character.front()), character);
    QCOMPARE(GetPinyinInitial(character), character);
}

void tst_PinyinInitial::everyGb2312Character()
{
    int checked = 0;
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const int code = lead * 256 + trail;
            if (code >= 0xD7FA && code <= 0xD7FE)
                continue;
            const std::optional<char16_t> unit = m_oracle.decode(code);
            QVERIFY2(unit.has_value(), qPrintable(u"no character for 0x%1"_s.arg(code, 4, 16)));
            QCOMPARE(m_oracle.code(*unit), code);
            const char letter = expectedLetter(code);
            QCOMPARE(bool(letter), code <= 0xD7F9);
            const QString expected = letter ? QString(QChar(char16_t(letter))) : QString(QChar(*unit));
            QCOMPARE(GetPinyinInitial(QChar(*unit)), expected);
            ++checked;
        }
    }
    QCOMPARE(checked, 6763);
}

void tst_PinyinInitial::extensionCharactersTakeRangeLetter()
{
    // Codes below a row's first GB2312 cell still lie inside the numeric ranges.
    const struct
    {
        int code;
        char letter;
    } cases[] = {{0xB140, 'B'}, {0xB2A0, 'B'}, {0xB340, 'C'}, {0xC540, 'N'}, {0xD740, 'Z'}, {0xD7A0, 'Z'}, {0xB0A0, 0}};
    for (const auto &c : cases) {
        const std::optional<char16_t> unit = m_oracle.decode(c.code);
        QVERIFY2(unit.has_value(), qPrintable(u"no character for 0x%1"_s.arg(c.code, 4, 16)));
        const QString expected = c.letter ? QString(QChar(char16_t(c.letter))) : QString(QChar(*unit));
        QCOMPARE(GetPinyinInitial(QChar(*unit)), expected);
    }
}

void tst_PinyinInitial::wholeBasicPlaneMatchesConverter()
{
    int lettered = 0;
    for (int unit = 0; unit <= 0xFFFF; ++unit) {
        const QString expected = expectedInitial(m_oracle, char16_t(unit));
        const QString actual = GetPinyinInitial(QChar(char16_t(unit)));
        if (actual != expected)
            QFAIL(qPrintable(u"U+%1 gives %2, expected %3"_s.arg(unit, 4, 16, QChar(u'0')).arg(actual, expected)));
        if (expected.front().unicode() != unit)
            ++lettered;
    }
    // 3,755 first-level characters and 3,744 extension characters between them.
    QCOMPARE(lettered, 7499);
}

void tst_PinyinInitial::neverGivesIUV()
{
    for (int unit = 0; unit <= 0xFFFF; ++unit) {
        const QString initial = GetPinyinInitial(QChar(char16_t(unit)));
        QCOMPARE(initial.size(), 1);
        const QChar c = initial.front();
        if (c.unicode() != unit)
            QVERIFY(c >= u'A' && c <= u'Z' && c != u'I' && c != u'U' && c != u'V');
    }
}

void tst_PinyinInitial::stringOverloadUsesFirstCharacter()
{
    QCOMPARE(GetPinyinInitial(QString()), QString());
    QCOMPARE(GetPinyinInitial(u""_s), QString());
    QCOMPARE(GetPinyinInitial(u"穿梭"_s), u"C"_s);
    QCOMPARE(GetPinyinInitial(u"x穿"_s), u"x穿"_s);
}

void tst_PinyinInitial::initialsOfText()
{
    QCOMPARE(PinyinInitials(u"穿梭时空"_s), u"CSSK"_s);
    QCOMPARE(PinyinInitials(u"CS反恐精英"_s), u"CSFKJY"_s);
    QCOMPARE(PinyinInitials(u"Counter Strike"_s), u"Counter Strike"_s);
    QCOMPARE(PinyinInitials(u"c梭亍5-"_s), u"cS亍5-"_s);
    QCOMPARE(PinyinInitials(QString()), QString());
    const QString emoji = u"游😀戏"_s;
    QCOMPARE(PinyinInitials(emoji), u"Y😀X"_s);

    QString everyUnit;
    QString expected;
    for (int unit = 0; unit <= 0xFFFF; ++unit) {
        everyUnit.append(QChar(char16_t(unit)));
        expected.append(GetPinyinInitial(QChar(char16_t(unit))));
    }
    QCOMPARE(PinyinInitials(everyUnit), expected);
}

QTEST_APPLESS_MAIN(tst_PinyinInitial)
#include "tst_PinyinInitial.moc"
