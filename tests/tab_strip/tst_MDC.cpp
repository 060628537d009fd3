#include "tab_strip/MDC.h"

#include <QFontMetrics>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_MDC : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void zeroHandleDoesNothing();
    void createAndDelete();
    void surfaceFromBitmapKeepsPixels();
    void blitCopiesRectangle();
    void nineGridBandCase();
    void nineGridAllMarginsZeroStretchesWhole();
    void nineGridKeepsCornersAndStretchesCentre();
    void nineGridWidthZeroDrawsNothing();
    void nineGridWithTransparentColour();
    void fillAlphaOpaqueAndClamped();
    void fillAlphaBlendsHalfway();
    void transparentBlitLeavesOutKey();
    void textIsCentredAndCut();
    void opaqueModeFillsBehindText();
    void fontCellHeight();

private:
    static int surfaceOf(const QImage &image);
    static QRgb pixel(int surface, int x, int y);
};

int tst_MDC::surfaceOf(const QImage &image)
{
    return MDC::SurfaceFromBitmap(image);
}

QRgb tst_MDC::pixel(int surface, int x, int y)
{
    return MDC::SurfaceImage(surface).pixel(x, y) & 0xFFFFFF;
}

void tst_MDC::zeroHandleDoesNothing()
{
    QCOMPARE(MDC::CreateSurface(0, 10), 0);
    QCOMPARE(MDC::SurfaceFromBitmap(QImage()), 0);
    QCOMPARE(MDC::BlitSurface(0, 0, 0, 5, 5, 0, 0, 0), 0);
    QCOMPARE(MDC::FillAlpha(0, 0, 0, 5, 5, 0xFF, 255), 0);
    QCOMPARE(MDC::DrawTextInRect(0, u"热门"_s, 0, 0, 50, 20, 37), 0);
    QCOMPARE(MDC::SelectNewFont(0, u"WenQuanYi Zen Hei"_s, 14), 0);
    QCOMPARE(MDC::SetBackgroundMode(0, MDC::TRANSPARENT), 0);
    QVERIFY(MDC::SurfaceImage(0).isNull());
    MDC::DeleteSurface(0);
    // Copying from no surface leaves the destination alone.
    const int target = MDC::CreateSurface(4, 4);
    MDC::FillAlpha(target, 0, 0, 4, 4, 0x0000FF, 255);
    QCOMPARE(MDC::BlitSurface(target, 0, 0, 4, 4, 0, 0, 0), 0);
    QCOMPARE(pixel(target, 1, 1), 0xFF0000u);
    MDC::DeleteSurface(target);
}

void tst_MDC::createAndDelete()
{
    const int a = MDC::CreateSurface(30, 20);
    const int b = MDC::CreateSurface(30, 20);
    QVERIFY(a != 0);
    QVERIFY(b != 0 && b != a);
    QCOMPARE(MDC::SurfaceImage(a).size(), QSize(30, 20));
    QCOMPARE(MDC::SetBackgroundMode(a, MDC::TRANSPARENT), MDC::OPAQUE);
    QCOMPARE(MDC::SetBackgroundMode(a, MDC::OPAQUE), MDC::TRANSPARENT);
    MDC::DeleteSurface(a);
    QVERIFY(!MDC::SurfaceExists(a));
    QVERIFY(MDC::SurfaceExists(b));
    QCOMPARE(MDC::FillAlpha(a, 0, 0, 5, 5, 0xFF, 255), 0);
    MDC::DeleteSurface(b);
}

void tst_MDC::surfaceFromBitmapKeepsPixels()
{
    QImage bitmap(39, 27, QImage::Format_RGB888);
    bitmap.fill(QColor(191, 219, 255));
    bitmap.setPixelColor(13, 26, QColor(225, 234, 246));
    const int skin = surfaceOf(bitmap);
    QCOMPARE(MDC::SurfaceImage(skin).size(), QSize(39, 27));
    QCOMPARE(pixel(skin, 13, 26), qRgb(225, 234, 246) & 0xFFFFFFu);
    QCOMPARE(pixel(skin, 0, 0), qRgb(191, 219, 255) & 0xFFFFFFu);
    MDC::DeleteSurface(skin);
}

void tst_MDC::blitCopiesRectangle()
{
    QImage source(10, 10, QImage::Format_RGB32);
    source.fill(Qt::white);
    source.setPixel(3, 4, qRgb(10, 20, 30));
    const int from = surfaceOf(source);
    const int to = MDC::CreateSurface(20, 20);
    MDC::FillAlpha(to, 0, 0, 20, 20, 0, 255);
    QVERIFY(MDC::BlitSurface(to, 5, 6, 4, 4, from, 2, 3, MDC::SRCCOPY) != 0);
    QCOMPARE(pixel(to, 6, 7), qRgb(10, 20, 30) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 5, 6), 0xFFFFFFu);
    QCOMPARE(pixel(to, 9, 10), 0u);
    QCOMPARE(pixel(to, 4, 6), 0u);
    MDC::DeleteSurface(from);
    MDC::DeleteSurface(to);
}

void tst_MDC::nineGridBandCase()
{
    // One column, every row its own colour: row r is (r, 100, 200).
    QImage source(1, 27, QImage::Format_RGB32);
    for (int row = 0; row < 27; ++row)
        source.setPixel(0, row, qRgb(row, 100, 200));
    const int skin = surfaceOf(source);
    const int target = MDC::CreateSurface(200, 30);
    QVERIFY(MDC::DrawNineGrid(target, 0, 0, 200, 30, skin, 0, 0, 1, 27, 0, 0, 0, 1) != 0);
    const QImage result = MDC::SurfaceImage(target);
    QCOMPARE(qRed(result.pixel(0, 29)), 26);
    QCOMPARE(qRed(result.pixel(199, 29)), 26);
    QList<int> seen;
    for (int row = 0; row < 29; ++row) {
        const int red = qRed(result.pixel(0, row));
        QVERIFY2(red <= 25, qPrintable(QString::number(row)));
        QCOMPARE(qRed(result.pixel(137, row)), red);
        if (seen.isEmpty() || seen.last() != red)
            seen.append(red);
    }
    // Rows 0..25 cover rows 0..28 in order, each at least once; row 26 only at the bottom.
    QCOMPARE(seen.size(), 26);
    for (int i = 0; i < 26; ++i)
        QCOMPARE(seen.at(i), i);
    MDC::DeleteSurface(skin);
    MDC::DeleteSurface(target);
}

void tst_MDC::nineGridAllMarginsZeroStretchesWhole()
{
    QImage source(2, 2, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 255, 0));
    source.setPixel(0, 1, qRgb(0, 0, 255));
    source.setPixel(1, 1, qRgb(255, 255, 255));
    const int skin = surfaceOf(source);
    const int target = MDC::CreateSurface(10, 10);
    QVERIFY(MDC::DrawNineGrid(target, 0, 0, 10, 10, skin, 0, 0, 2, 2, 0, 0, 0, 0) != 0);
    QCOMPARE(pixel(target, 0, 0), 0xFF0000u);
    QCOMPARE(pixel(target, 4, 4), 0xFF0000u);
    QCOMPARE(pixel(target, 5, 4), 0x00FF00u);
    QCOMPARE(pixel(target, 4, 5), 0x0000FFu);
    QCOMPARE(pixel(target, 9, 9), 0xFFFFFFu);
    MDC::DeleteSurface(skin);
    MDC::DeleteSurface(target);
}

void tst_MDC::nineGridKeepsCornersAndStretchesCentre()
{
    // 13 x 27 cell whose every pixel encodes its own position.
    QImage source(26, 27, QImage::Format_RGB32);
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 26; ++x)
            source.setPixel(x, y, qRgb(x, y, 7));
    const int skin = surfaceOf(source);
    const int target = MDC::CreateSurface(100, 40);
    MDC::FillAlpha(target, 0, 0, 100, 40, 0, 255);
    QVERIFY(MDC::DrawNineGrid(target, 10, 5, 70, 30, skin, 13, 0, 13, 27, 6, 5, 6, 2) != 0);
    const QImage out = MDC::SurfaceImage(target);
    auto at = [&](int x, int y) { return QPoint(qRed(out.pixel(10 + x, 5 + y)), qGreen(out.pixel(10 + x, 5 + y))); };
    QCOMPARE(at(0, 0), QPoint(13, 0));
    QCOMPARE(at(5, 4), QPoint(18, 4));
    QCOMPARE(at(69, 0), QPoint(25, 0));
    QCOMPARE(at(64, 4), QPoint(20, 4));
    QCOMPARE(at(0, 29), QPoint(13, 26));
    QCOMPARE(at(69, 28), QPoint(25, 25));
    // Centre: source column 19 alone, rows 5..24 over rows 5..27.
    QCOMPARE(at(6, 5), QPoint(19, 5));
    QCOMPARE(at(63, 27), QPoint(19, 24));
    QCOMPARE(at(35, 16).x(), 19);
    // Edges stretch one way only.
    QCOMPARE(at(2, 20).x(), 15);
    QCOMPARE(at(30, 1), QPoint(19, 1));
    QCOMPARE(at(30, 29), QPoint(19, 26));
    // Nothing outside the destination rectangle.
    QCOMPARE(out.pixel(9, 5) & 0xFFFFFF, 0u);
    QCOMPARE(out.pixel(80, 20) & 0xFFFFFF, 0u);
    QCOMPARE(out.pixel(20, 35) & 0xFFFFFF, 0u);
    MDC::DeleteSurface(skin);
    MDC::DeleteSurface(target);
}

void tst_MDC::nineGridWidthZeroDrawsNothing()
{
    QImage source(1, 27, QImage::Format_RGB32);
    source.fill(Qt::red);
    const int skin = surfaceOf(source);
    const int target = MDC::CreateSurface(20, 20);
    MDC::FillAlpha(target, 0, 0, 20, 20, 0, 255);
    QCOMPARE(MDC::DrawNineGrid(target, 0, 0, 0, 20, skin, 0, 0, 1, 27, 0, 0, 0, 1), 0);
    QCOMPARE(MDC::DrawNineGrid(target, 0, 0, 20, 0, skin, 0, 0, 1, 27, 0, 0, 0, 1), 0);
    QCOMPARE(MDC::DrawNineGrid(target, 0, 0, 20, 20, skin, 0, 0, 0, 27, 0, 0, 0, 1), 0);
    QCOMPARE(MDC::DrawNineGrid(target, 0, 0, 20, 20, skin, 0, 0, 1, 0, 0, 0, 0, 1), 0);
    const QImage out = MDC::SurfaceImage(target);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            QCOMPARE(out.pixel(x, y) & 0xFFFFFF, 0u);
    MDC::DeleteSurface(skin);
    MDC::DeleteSurface(target);
}

void tst_MDC::nineGridWithTransparentColour()
{
    QImage source(2, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 255));
    source.setPixel(1, 0, qRgb(0, 128, 0));
    const int skin = surfaceOf(source);
    const int target = MDC::CreateSurface(8, 4);
    MDC::FillAlpha(target, 0, 0, 8, 4, 0x00FFFF, 255);
    QVERIFY(MDC::DrawNineGrid(target, 0, 0, 8, 4, skin, 0, 0, 2, 1, 0, 0, 0, 0, 0xFF00FF) != 0);
    QCOMPARE(pixel(target, 1, 1), qRgb(255, 255, 0) & 0xFFFFFFu);
    QCOMPARE(pixel(target, 6, 1), qRgb(0, 128, 0) & 0xFFFFFFu);
    MDC::DeleteSurface(skin);
    MDC::DeleteSurface(target);
}

void tst_MDC::fillAlphaOpaqueAndClamped()
{
    const int target = MDC::CreateSurface(10, 10);
    MDC::FillAlpha(target, 0, 0, 10, 10, 0x000000, 255);
    QVERIFY(MDC::FillAlpha(target, 2, 2, 4, 4, 0xF6EAE1, 300) != 0);
    QCOMPARE(pixel(target, 2, 2), qRgb(225, 234, 246) & 0xFFFFFFu);
    QCOMPARE(pixel(target, 5, 5), qRgb(225, 234, 246) & 0xFFFFFFu);
    QCOMPARE(pixel(target, 6, 6), 0u);
    QCOMPARE(pixel(target, 1, 2), 0u);
    MDC::FillAlpha(target, 0, 0, 10, 10, 0x0000FF, -5);
    QCOMPARE(pixel(target, 3, 3), qRgb(225, 234, 246) & 0xFFFFFFu);
    QCOMPARE(pixel(target, 8, 8), 0u);
    MDC::DeleteSurface(target);
}

void tst_MDC::fillAlphaBlendsHalfway()
{
    const int target = MDC::CreateSurface(4, 4);
    MDC::FillAlpha(target, 0, 0, 4, 4, 0xFFFFFF, 255);
    MDC::FillAlpha(target, 0, 0, 4, 4, 0x000000, 128);
    const QRgb value = pixel(target, 1, 1);
    QCOMPARE(qRed(value), 127);
    QCOMPARE(qGreen(value), 127);
    QCOMPARE(qBlue(value), 127);
    MDC::DeleteSurface(target);
}

void tst_MDC::transparentBlitLeavesOutKey()
{
    QImage source(3, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 255));
    source.setPixel(1, 0, qRgb(1, 2, 3));
    source.setPixel(2, 0, qRgb(255, 0, 254));
    const int from = surfaceOf(source);
    const int to = MDC::CreateSurface(5, 1);
    MDC::FillAlpha(to, 0, 0, 5, 1, 0x808080, 255);
    QVERIFY(MDC::TransparentBlitSurface(to, 1, 0, 3, 1, from, 0, 0, 0xFF00FF) != 0);
    QCOMPARE(pixel(to, 1, 0), qRgb(128, 128, 128) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 2, 0), qRgb(1, 2, 3) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 3, 0), qRgb(255, 0, 254) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 0, 0), qRgb(128, 128, 128) & 0xFFFFFFu);
    MDC::DeleteSurface(from);
    MDC::DeleteSurface(to);
}

void tst_MDC::textIsCentredAndCut()
{
    const int target = MDC::CreateSurface(200, 30);
    MDC::SelectNewFont(target, u"WenQuanYi Zen Hei"_s, 14);
    MDC::SetBackgroundMode(target, MDC::TRANSPARENT);
    MDC::FillAlpha(target, 0, 0, 200, 30, 0xFFFFFF, 255);
    const int height = MDC::DrawTextInRect(target, u"热门推荐"_s, 70, 0, 70, 30, 37);
    QVERIFY(height > 0 && height <= 14);
    const QImage out = MDC::SurfaceImage(target);
    QRect ink;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 200; ++x)
            if (qGray(out.pixel(x, y)) < 128)
                ink |= QRect(x, y, 1, 1);
    QVERIFY(!ink.isEmpty());
    QVERIFY(ink.left() >= 70 && ink.right() < 140);
    QVERIFY(qAbs((ink.left() + ink.right()) / 2 - 105) <= 3);
    QVERIFY(qAbs((ink.top() + ink.bottom()) / 2 - 15) <= 3);
    // A caption wider than the tab is cut at both ends and never wraps.
    MDC::FillAlpha(target, 0, 0, 200, 30, 0xFFFFFF, 255);
    MDC::DrawTextInRect(target, u"非常非常长的游戏分类名称"_s, 70, 0, 70, 30, 37);
    const QImage longOut = MDC::SurfaceImage(target);
    int inkLeft = 0;
    int inkRight = 0;
    for (int y = 0; y < 30; ++y) {
        QCOMPARE(qGray(longOut.pixel(69, y)), 255);
        QCOMPARE(qGray(longOut.pixel(140, y)), 255);
        inkLeft += qGray(longOut.pixel(70, y)) < 200 || qGray(longOut.pixel(71, y)) < 200;
        inkRight += qGray(longOut.pixel(139, y)) < 200 || qGray(longOut.pixel(138, y)) < 200;
    }
    QVERIFY(inkLeft > 0);
    QVERIFY(inkRight > 0);
    MDC::DeleteSurface(target);
}

void tst_MDC::opaqueModeFillsBehindText()
{
    const int target = MDC::CreateSurface(100, 30);
    MDC::SelectNewFont(target, u"WenQuanYi Zen Hei"_s, 14);
    MDC::FillAlpha(target, 0, 0, 100, 30, 0x0000FF, 255);
    MDC::DrawTextInRect(target, u"单机"_s, 0, 0, 100, 30, 37);
    QCOMPARE(pixel(target, 2, 2), qRgb(255, 0, 0) & 0xFFFFFFu);
    int white = 0;
    for (int x = 30; x < 70; ++x)
        white += pixel(target, x, 15) == 0xFFFFFFu;
    QVERIFY(white > 0);
    MDC::SetBackgroundMode(target, MDC::TRANSPARENT);
    MDC::FillAlpha(target, 0, 0, 100, 30, 0x0000FF, 255);
    MDC::DrawTextInRect(target, u"单机"_s, 0, 0, 100, 30, 37);
    white = 0;
    for (int x = 30; x < 70; ++x)
        white += pixel(target, x, 15) == 0xFFFFFFu;
    QCOMPARE(white, 0);
    MDC::DeleteSurface(target);
}

void tst_MDC::fontCellHeight()
{
    const int target = MDC::CreateSurface(10, 10);
    QVERIFY(MDC::SelectNewFont(target, u"WenQuanYi Zen Hei"_s, 14) != 0);
    const QFont font = MDC::SurfaceFont(target);
    QCOMPARE(font.family(), u"WenQuanYi Zen Hei"_s);
    QVERIFY(QFontMetrics(font).height() <= 14);
    QVERIFY(QFontMetrics(font).height() >= 12);
    QCOMPARE(font.weight(), QFont::Normal);
    MDC::SelectNewFont(target, u"WenQuanYi Zen Hei"_s, 14, true);
    QCOMPARE(MDC::SurfaceFont(target).weight(), QFont::Bold);
    MDC::DeleteSurface(target);
}

QTEST_MAIN(tst_MDC)
#include "tst_MDC.moc"
