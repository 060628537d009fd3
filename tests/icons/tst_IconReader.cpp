#include "IconFile.h"
#include "icons/IconReader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QRgb Red = qRgb(255, 0, 0);
const QRgb Green = qRgb(0, 255, 0);
const QRgb Blue = qRgb(0, 0, 255);
const QRgb Yellow = qRgb(255, 255, 0);

void append16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF)).append(char(value >> 8));
}

void append32(QByteArray &bytes, quint32 value)
{
    append16(bytes, quint16(value & 0xFFFF));
    append16(bytes, quint16(value >> 16));
}

// Pixel value: a palette index for 1-8 bpp, 0xAARRGGBB for 24 and 32 bpp.
using PixelFn = std::function<quint32(int x, int y)>;
using MaskFn = std::function<bool(int x, int y)>;

// A DIB as icons store it: header, palette, bottom-up XOR rows, bottom-up AND mask.
QByteArray dib(int width, int height, int bpp, const QList<QRgb> &palette, const PixelFn &pixel, const MaskFn &masked)
{
    QByteArray bytes;
    append32(bytes, 40);
    append32(bytes, quint32(width));
    append32(bytes, quint32(2 * height));
    append16(bytes, 1);
    append16(bytes, quint16(bpp));
    append32(bytes, 0);
    append32(bytes, 0);
    append32(bytes, 0);
    append32(bytes, 0);
    append32(bytes, quint32(palette.size()));
    append32(bytes, 0);
    for (QRgb c : palette)
        append32(bytes, c & 0xFFFFFF);
    const int stride = (width * bpp + 31) / 32 * 4;
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            const quint32 v = pixel(x, y);
            if (bpp == 24 || bpp == 32) {
                for (int b = 0; b < bpp / 8; ++b)
                    row[x * bpp / 8 + b] = char(v >> (8 * b));
            } else {
                const int bit = x * bpp;
                row[bit / 8] = char(row.at(bit / 8) | (v << (8 - bpp - bit % 8)));
            }
        }
        bytes += row;
    }
    const int maskStride = (width + 31) / 32 * 4;
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < width; ++x) {
            if (masked(x, y))
                row[x / 8] = char(row.at(x / 8) | (0x80 >> (x % 8)));
        }
        bytes += row;
    }
    return bytes;
}

QByteArray solidDib(int side, QRgb colour, int bpp = 32)
{
    const QRgb opaque = colour | 0xFF000000u;
    return dib(
        side, side, bpp, {}, [opaque](int, int) { return opaque; }, [](int, int) { return false; });
}

struct IcoImage
{
    int width;
    int height;
    int bpp;
    QByteArray data;
};

QByteArray ico(const QList<IcoImage> &images)
{
    QByteArray bytes;
    append16(bytes, 0);
    append16(bytes, 1);
    append16(bytes, quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (const IcoImage &image : images) {
        bytes.append(char(image.width & 0xFF)).append(char(image.height & 0xFF)).append('\0').append('\0');
        append16(bytes, 1);
        append16(bytes, quint16(image.bpp));
        append32(bytes, quint32(image.data.size()));
        append32(bytes, offset);
        offset += quint32(image.data.size());
    }
    for (const IcoImage &image : images)
        bytes += image.data;
    return bytes;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage solidImage(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// A 32 x 32 picture whose every pixel differs, to catch flipped or shifted rows.
QImage gradient()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y, qRgba(x * 8, y * 8, 100, x == y ? 0 : 255));
    }
    return image;
}

bool near(QRgb a, QRgb b, int tolerance = 24)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

} // namespace

class tst_IconReader : public QObject
{
    Q_OBJECT

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write fixture");
        return path;
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void icoPrefers32WithMostColours();
    void icoPicksNearestSize_data();
    void icoPicksNearestSize();
    void dibBitDepths_data();
    void dibBitDepths();
    void dib32WithoutAlphaUsesMask();
    void dibOddWidthRowsArePadded();
    void imageMagickIcons_data();
    void imageMagickIcons();
    void icoEntryWithoutMask();
    void pngInIco();
    void icoDetectedByContent();
    void peWithIcon_data();
    void peWithIcon();
    void peTakesFirstGroupNamedBeforeIds();
    void largePeReadsOnlyWhatItNeeds();
    void truncatedIco();
    void truncatedPe();
    void garbledBytesNeverCrash();
    void absurdHeaders_data();
    void absurdHeaders();
    void pictureFiles();
    void svgIsDrawnAtIconSize();
    void largePictureIsScaledKeepingAspect();
    void hugePictureIsRefused();
    void gifFile();
    void missingAndDirectoryAndText();
    void canvasWithoutIconIsWhite();
    void canvasHasIconAtTopLeft();
    void writeIcoRoundTrips();
};

void tst_IconReader::icoPrefers32WithMostColours()
{
    const QByteArray bytes = ico({{16, 16, 32, solidDib(16, Red)},
                                  {32, 32, 24, solidDib(32, Green, 24)},
                                  {32, 32, 32, solidDib(32, Blue)},
                                  {48, 48, 32, solidDib(48, Yellow)}});
    const QImage icon = IconReader::firstIcon(write(u"several.ico"_s, bytes));
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.format(), QImage::Format_ARGB32);
    QCOMPARE(icon.pixel(5, 5), Blue);
}

void tst_IconReader::icoPicksNearestSize_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QRgb>("expected");
    QTest::newRow("24 beats 48") << 24 << 48 << Red;
    QTest::newRow("40 beats 16") << 16 << 40 << Blue;
    QTest::newRow("tie goes to the larger") << 16 << 48 << Blue;
}

void tst_IconReader::icoPicksNearestSize()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QRgb, expected);
    const QByteArray bytes =
        ico({{first, first, 32, solidDib(first, Red)}, {second, second, 32, solidDib(second, Blue)}});
    const QImage icon = IconReader::firstIconFromBytes(bytes);
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.pixel(16, 16), expected);
}

void tst_IconReader::dibBitDepths_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<int>("colours");
    QTest::newRow("1 bpp") << 1 << 2;
    QTest::newRow("4 bpp") << 4 << 16;
    QTest::newRow("4 bpp short palette") << 4 << 5;
    QTest::newRow("8 bpp") << 8 << 256;
    QTest::newRow("24 bpp") << 24 << 0;
}

// Palette formats colour (x + 2y) mod colours; 24 bpp a gradient; the mask cuts the diagonal.
void tst_IconReader::dibBitDepths()
{
    QFETCH(int, bpp);
    QFETCH(int, colours);
    QList<QRgb> palette;
    for (int i = 0; i < colours; ++i)
        palette.append(qRgb(i * 37 % 256, 255 - i, i * 11 % 256));
    const PixelFn pixel = [&](int x, int y) -> quint32 {
        return colours ? quint32((x + 2 * y) % colours) : quint32(qRgb(x * 8, y * 8, 100) & 0xFFFFFF);
    };
    const QByteArray bytes =
        ico({{32, 32, bpp, dib(32, 32, bpp, palette, pixel, [](int x, int y) { return x == y; })}});
    const QImage icon = IconReader::firstIconFromBytes(bytes);
    QCOMPARE(icon.size(), QSize(32, 32));
    for (const QPoint p : {QPoint(0, 1), QPoint(31, 0), QPoint(0, 31), QPoint(7, 3), QPoint(30, 31)}) {
        const QRgb expected = colours ? palette.at(pixel(p.x(), p.y())) : qRgb(p.x() * 8, p.y() * 8, 100);
        QCOMPARE(icon.pixel(p), expected);
    }
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(17, 17)), 0);
}

void tst_IconReader::dib32WithoutAlphaUsesMask()
{
    const QByteArray data = dib(
        32, 32, 32, {}, [](int x, int) { return quint32(x * 8) << 16; }, [](int x, int) { return x >= 16; });
    const QImage icon = IconReader::firstIconFromBytes(ico({{32, 32, 32, data}}));
    QCOMPARE(icon.pixel(3, 9), qRgb(24, 0, 0));
    QCOMPARE(qAlpha(icon.pixel(20, 9)), 0);
}

void tst_IconReader::dibOddWidthRowsArePadded()
{
    const QByteArray data = dib(
        31, 31, 24, {}, [](int x, int) { return x < 15 ? Red : Blue; }, [](int, int) { return false; });
    const QImage icon = IconReader::firstIconFromBytes(ico({{31, 31, 24, data}}));
    QCOMPARE(icon.size(), QSize(32, 32));
    QVERIFY(near(icon.pixel(2, 29), Red));
    QVERIFY(near(icon.pixel(29, 29), Blue));
    QVERIFY(near(icon.pixel(29, 2), Blue));
}

void tst_IconReader::imageMagickIcons_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QRgb>("expected");
    QTest::newRow("32-bit, 32 x 32 chosen") << u"im-sizes.ico"_s << QPoint(20, 20) << Blue;
    QTest::newRow("32-bit, transparent corner") << u"im-sizes.ico"_s << QPoint(2, 2) << qRgba(0, 0, 0, 0);
    QTest::newRow("4-bit palette") << u"im-palette.ico"_s << QPoint(20, 20) << Red;
    QTest::newRow("4-bit palette, other colour") << u"im-palette.ico"_s << QPoint(12, 2) << Yellow;
    QTest::newRow("4-bit palette, masked") << u"im-palette.ico"_s << QPoint(2, 2) << qRgba(0, 0, 0, 0);
    QTest::newRow("PNG entry, left") << u"im-png256.ico"_s << QPoint(4, 16) << Red;
    QTest::newRow("PNG entry, right") << u"im-png256.ico"_s << QPoint(28, 16) << Blue;
}

// Icons written by another program, not by our own writer.
void tst_IconReader::imageMagickIcons()
{
    QFETCH(QString, file);
    QFETCH(QPoint, at);
    QFETCH(QRgb, expected);
    const QImage icon = IconReader::firstIcon(QStringLiteral(JYT_TEST_DATA "/icons/") + file);
    QCOMPARE(icon.size(), QSize(32, 32));
    // A transparent pixel's colour is not shown, so only its alpha counts.
    const QRgb actual = qAlpha(expected) == 0 ? icon.pixel(at) & 0xFF000000u : icon.pixel(at);
    QVERIFY2(near(actual, expected), QByteArray::number(icon.pixel(at), 16).constData());
}

// Many real files store 32-bit images with their alpha only and leave out the AND mask.
void tst_IconReader::icoEntryWithoutMask()
{
    QFile file(QStringLiteral(JYT_TEST_DATA "/icons/im-sizes.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const quint32 length = qFromLittleEndian<quint32>(bytes.constData() + 22 + 8);
    const quint32 offset = qFromLittleEndian<quint32>(bytes.constData() + 22 + 12);
    QCOMPARE(length, 40u + 32 * 32 * 4 + 32 * 4);
    const QByteArray withoutMask = bytes.mid(offset, length - 32 * 4);
    const QImage icon = IconReader::firstIconFromBytes(ico({{32, 32, 32, withoutMask}}));
    QCOMPARE(icon.pixel(20, 20), Blue);
    QCOMPARE(qAlpha(icon.pixel(2, 2)), 0);
}

void tst_IconReader::pngInIco()
{
    const QImage source = gradient();
    const QByteArray bytes = ico({{16, 16, 32, solidDib(16, Red)}, {32, 32, 32, encoded(source, "PNG")}});
    const QImage icon = IconReader::firstIcon(write(u"png.ico"_s, bytes));
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.pixel(9, 4), source.pixel(9, 4));
    QCOMPARE(qAlpha(icon.pixel(6, 6)), 0);
}

void tst_IconReader::icoDetectedByContent()
{
    const QByteArray bytes = ico({{32, 32, 32, solidDib(32, Green)}});
    QCOMPARE(IconReader::firstIcon(write(u"no-extension"_s, bytes)).pixel(1, 1), Green);
}

void tst_IconReader::peWithIcon_data()
{
    QTest::addColumn<IconFile::PeFormat>("format");
    QTest::newRow("PE32") << IconFile::PeFormat::Pe32;
    QTest::newRow("PE32+") << IconFile::PeFormat::Pe32Plus;
}

void tst_IconReader::peWithIcon()
{
    QFETCH(IconFile::PeFormat, format);
    const QImage source = gradient();
    const QString path = write(u"game.exe"_s, IconFile::makePeWithIcon(source, format));
    const QImage icon = IconReader::firstIcon(path);
    QCOMPARE(icon.size(), QSize(32, 32));
    for (const QPoint p : {QPoint(0, 1), QPoint(31, 0), QPoint(0, 31), QPoint(12, 20)})
        QCOMPARE(icon.pixel(p), source.pixel(p));
    QCOMPARE(qAlpha(icon.pixel(5, 5)), 0);
}

void tst_IconReader::peTakesFirstGroupNamedBeforeIds()
{
    const QByteArray bytes = IconFile::makePeWithIcons({solidImage(32, 32, Red), solidImage(32, 32, Blue)});
    QCOMPARE(IconReader::firstIconFromBytes(bytes).pixel(3, 3), Red);
}

void tst_IconReader::largePeReadsOnlyWhatItNeeds()
{
    const QString path = write(u"big.exe"_s, IconFile::makePeWithIcon(solidImage(32, 32, Green)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(50LL * 1024 * 1024));
    QElapsedTimer timer;
    timer.start();
    IconReader reader(&file);
    const QImage icon = reader.read();
    QCOMPARE(icon.pixel(10, 10), Green);
    QVERIFY2(reader.bytesRead() < 16 * 1024, QByteArray::number(reader.bytesRead()).constData());
    QVERIFY(timer.elapsed() < 2000);
}

void tst_IconReader::truncatedIco()
{
    const QByteArray bytes =
        ico({{16, 16, 8,
              dib(
                  16, 16, 8, {Red, Blue}, [](int x, int) { return quint32(x % 2); }, [](int, int) { return false; })},
             {32, 32, 32, encoded(gradient(), "PNG")}});
    QVERIFY(!IconReader::firstIconFromBytes(bytes).isNull());
    for (qsizetype length = 0; length < bytes.size(); ++length)
        QVERIFY2(IconReader::firstIconFromBytes(bytes.left(length)).isNull(), QByteArray::number(length).constData());
}

void tst_IconReader::truncatedPe()
{
    const QByteArray bytes = IconFile::makePeWithIcons({gradient(), solidImage(32, 32, Red)});
    QVERIFY(!IconReader::firstIconFromBytes(bytes).isNull());
    for (qsizetype length = 0; length < bytes.size(); ++length)
        QVERIFY2(IconReader::firstIconFromBytes(bytes.left(length)).isNull(), QByteArray::number(length).constData());
}

// Every byte set to a few telling values: the reader either finds an icon of the right size or none.
void tst_IconReader::garbledBytesNeverCrash()
{
    const QList<QByteArray> sources = {
        IconFile::makePeWithIcon(gradient(), IconFile::PeFormat::Pe32Plus),
        ico({{32, 32, 4,
              dib(
                  32, 32, 4, {Red, Green}, [](int x, int) { return quint32(x % 2); }, [](int, int) { return false; })},
             {48, 48, 32, encoded(solidImage(48, 48, Blue), "PNG")}})};
    for (const QByteArray &source : sources) {
        for (qsizetype i = 0; i < source.size(); ++i) {
            for (const char value : {char(0x00), char(0x7F), char(0x80), char(0xFF)}) {
                QByteArray bytes = source;
                bytes[i] = value;
                const QImage icon = IconReader::firstIconFromBytes(bytes);
                if (!icon.isNull())
                    QCOMPARE(icon.size(), QSize(32, 32));
            }
        }
    }
}

void tst_IconReader::absurdHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray wide = solidDib(32, Red);
    qToLittleEndian<quint32>(100000, wide.data() + 4);
    QTest::newRow("DIB 100000 wide") << ico({{0, 0, 32, wide}});
    QByteArray negative = solidDib(32, Red);
    qToLittleEndian<qint32>(-64, negative.data() + 8);
    QTest::newRow("DIB negative height") << ico({{32, 32, 32, negative}});
    QByteArray palette = dib(
        32, 32, 8, {Red}, [](int, int) { return 0u; }, [](int, int) { return false; });
    qToLittleEndian<quint32>(0x40000000, palette.data() + 32);
    QTest::newRow("DIB palette too large") << ico({{32, 32, 8, palette}});
    QByteArray bpp = solidDib(32, Red);
    qToLittleEndian<quint16>(7, bpp.data() + 14);
    QTest::newRow("DIB 7 bpp") << ico({{32, 32, 7, bpp}});
    QByteArray png = encoded(solidImage(32, 32, Red), "PNG");
    qToBigEndian<quint32>(100000, png.data() + 16);
    QTest::newRow("PNG 100000 wide") << ico({{32, 32, 32, png}});
    QByteArray count = ico({{32, 32, 32, solidDib(32, Red)}});
    qToLittleEndian<quint16>(65535, count.data() + 4);
    QTest::newRow("count beyond file") << count;
    QByteArray offset = ico({{32, 32, 32, solidDib(32, Red)}});
    qToLittleEndian<quint32>(0xFFFFFFF0u, offset.data() + 18);
    QTest::newRow("offset beyond file") << offset;
    QByteArray length = ico({{32, 32, 32, solidDib(32, Red)}});
    qToLittleEndian<quint32>(0x7FFFFFFFu, length.data() + 14);
    QTest::newRow("length beyond file") << length;
    QByteArray lfanew = IconFile::makePeWithIcon(solidImage(32, 32, Red));
    qToLittleEndian<quint32>(0xFFFFFF00u, lfanew.data() + 0x3C);
    QTest::newRow("PE header beyond file") << lfanew;
    QByteArray sections = IconFile::makePeWithIcon(solidImage(32, 32, Red));
    qToLittleEndian<quint16>(0xFFFF, sections.data() + 0x80 + 6);
    QTest::newRow("PE 65535 sections") << sections;
    QByteArray magic = IconFile::makePeWithIcon(solidImage(32, 32, Red));
    qToLittleEndian<quint16>(0x107, magic.data() + 0x80 + 24);
    QTest::newRow("PE unknown optional header") << magic;
    QTest::newRow("MZ alone") << QByteArray("MZ\0\0\0\0\0\0", 8);
}

void tst_IconReader::absurdHeaders()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(IconReader::firstIconFromBytes(bytes).isNull());
}

void tst_IconReader::pictureFiles()
{
    const QImage source = gradient();
    const QImage png = IconReader::firstIcon(write(u"icon.png"_s, encoded(source, "PNG")));
    QCOMPARE(png.format(), QImage::Format_ARGB32);
    QCOMPARE(png.pixel(20, 3), source.pixel(20, 3));
    QCOMPARE(qAlpha(png.pixel(4, 4)), 0);
    const QImage bmp = IconReader::firstIcon(write(u"icon.bmp"_s, encoded(solidImage(16, 8, Yellow), "BMP")));
    QCOMPARE(bmp.size(), QSize(16, 8));
    QCOMPARE(bmp.pixel(15, 7), Yellow);
    const QImage jpeg = IconReader::firstIcon(write(u"icon.jpg"_s, encoded(solidImage(24, 24, Blue), "JPEG")));
    QCOMPARE(jpeg.size(), QSize(24, 24));
    QVERIFY(near(jpeg.pixel(12, 12), Blue));
    // Older games ship X pixmaps in /usr/share/pixmaps.
    const QByteArray xpm = "/* XPM */\nstatic char *game[] = {\n\"4 2 2 1\",\n\". c #ff0000\",\n\"# c None\",\n"
                           "\"..##\",\n\"..##\"};\n";
    const QImage pixmap = IconReader::firstIcon(write(u"game.xpm"_s, xpm));
    QCOMPARE(pixmap.size(), QSize(4, 2));
    QCOMPARE(pixmap.pixel(1, 1), Red);
    QCOMPARE(qAlpha(pixmap.pixel(3, 0)), 0);
    const QImage pgm = IconReader::firstIcon(write(u"grey.pgm"_s, encoded(solidImage(8, 8, Red), "PGM")));
    QCOMPARE(pgm.size(), QSize(8, 8));
    const QByteArray hugeXpm =
        "/* XPM */\nstatic char *big[] = {\n\"4096 1 1 1\",\n\". c #ff0000\",\n\"" + QByteArray(4096, '.') + "\"};\n";
    QVERIFY(IconReader::firstIcon(write(u"wide.xpm"_s, hugeXpm)).isNull());
}

// Many installed games ship only a scalable icon; it is drawn at the list's size, keeping its shape.
void tst_IconReader::svgIsDrawnAtIconSize()
{
    const QByteArray svg = "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" "
                           "height=\"100\"><rect width=\"200\" height=\"100\" fill=\"#ff0000\"/></svg>";
    const QImage icon = IconReader::firstIcon(write(u"icon.svg"_s, svg));
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.pixel(16, 12), Red);
    QCOMPARE(qAlpha(icon.pixel(16, 30)), 0);
    QVERIFY(IconReader::firstIcon(write(u"bad.svg"_s, "<svg><rect")).isNull());
}

void tst_IconReader::largePictureIsScaledKeepingAspect()
{
    const QImage icon = IconReader::firstIcon(write(u"wide.png"_s, encoded(solidImage(128, 64, Red), "PNG")));
    QCOMPARE(icon.size(), QSize(32, 16));
    QCOMPARE(icon.pixel(31, 15), Red);
}

// The size in the header decides: a 2048 x 2048 picture is never decoded for an icon.
void tst_IconReader::hugePictureIsRefused()
{
    QFile file(QStringLiteral(JYT_TEST_DATA "/icons/big-2048.png"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(IconReader(&file).read().isNull());
    const QImage limit = IconReader::firstIcon(write(u"limit.png"_s, encoded(solidImage(1024, 1024, Red), "PNG")));
    QCOMPARE(limit.size(), QSize(32, 32));
}

void tst_IconReader::gifFile()
{
    // One red pixel: a two-colour palette and the LZW codes clear, 0, end.
    const QByteArray gif = QByteArray::fromHex("474946383961010001008000 00ff0000000000"
                                               "2c00000000010001000002024401003b");
    const QImage icon = IconReader::firstIcon(write(u"dot.gif"_s, gif));
    QCOMPARE(icon.size(), QSize(1, 1));
    QCOMPARE(icon.pixel(0, 0), Red);
}

void tst_IconReader::missingAndDirectoryAndText()
{
    QVERIFY(IconReader::firstIcon(m_dir.filePath(u"missing.exe"_s)).isNull());
    QVERIFY(IconReader::firstIcon(m_dir.path()).isNull());
    QVERIFY(IconReader::firstIcon(QString()).isNull());
    QVERIFY(IconReader::firstIcon(write(u"readme.ico"_s, "not an icon at all\n")).isNull());
    QVERIFY(IconReader::firstIcon(write(u"empty.exe"_s, QByteArray())).isNull());
    QVERIFY(IconReader::firstIcon(write(u"cursor.cur"_s, ico({{32, 32, 32, solidDib(32, Red)}}).replace(2, 1, "\x02")))
                .isNull());
}

void tst_IconReader::canvasWithoutIconIsWhite()
{
    const QImage canvas = IconReader::iconCanvas(m_dir.filePath(u"missing.exe"_s));
    QCOMPARE(canvas.size(), QSize(33, 33));
    QCOMPARE(canvas.format(), QImage::Format_RGB32);
    for (const QPoint p : {QPoint(0, 0), QPoint(16, 16), QPoint(32, 32)})
        QCOMPARE(canvas.pixel(p), qRgb(255, 255, 255));
}

void tst_IconReader::canvasHasIconAtTopLeft()
{
    QImage source = solidImage(32, 32, Red);
    source.setPixel(1, 0, qRgba(0, 0, 255, 128));
    source.setPixel(2, 0, qRgba(0, 0, 0, 0));
    const QImage canvas = IconReader::iconCanvas(write(u"canvas.exe"_s, IconFile::makePeWithIcon(source)));
    QCOMPARE(canvas.size(), QSize(33, 33));
    QCOMPARE(canvas.pixel(0, 0), Red);
    QCOMPARE(canvas.pixel(31, 31), Red);
    QVERIFY(near(canvas.pixel(1, 0), qRgb(127, 127, 255), 3));
    QCOMPARE(canvas.pixel(2, 0), qRgb(255, 255, 255));
    QCOMPARE(canvas.pixel(32, 0), qRgb(255, 255, 255));
    QCOMPARE(canvas.pixel(0, 32), qRgb(255, 255, 255));
}

void tst_IconReader::writeIcoRoundTrips()
{
    const QString path = m_dir.filePath(u"written.ico"_s);
    QVERIFY(IconFile::writeIco(gradient(), path));
    const QImage icon = IconReader::firstIcon(path);
    QCOMPARE(icon.pixel(30, 2), gradient().pixel(30, 2));
    QCOMPARE(qAlpha(icon.pixel(9, 9)), 0);
    QVERIFY(!IconFile::writeIco(QImage(), m_dir.filePath(u"null.ico"_s)));
    QVERIFY(!IconFile::writeIco(gradient(), m_dir.filePath(u"no/such/dir/x.ico"_s)));
}

QTEST_MAIN(tst_IconReader)
#include "tst_IconReader.moc"
