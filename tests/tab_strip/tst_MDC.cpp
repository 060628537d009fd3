#include "tab_strip/MDC.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_MDC : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nullSurfaceDoesNothing();
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
    static QImage canvas(int width, int height, const QColor &colour);
    static QRgb pixel(const QImage &surface, int x, int y);
};

QImage tst_MDC::canvas(int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QRgb tst_MDC::pixel(const QImage &surface, int x, int y)
{
    return surface.pixel(x, y) & 0xFFFFFF;
}

void tst_MDC::nullSurfaceDoesNothing()
{
    QVERIFY(MDC::SurfaceFromBitmap(QImage()).isNull());
    // Copying from no surface leaves the destination alone.
    QImage target = canvas(4, 4, Qt::blue);
    QPainter dc(&target);
    QVERIFY(!MDC::BlitSurface(dc, QPoint(0, 0), QImage(), QRect(0, 0, 4, 4)));
    QVERIFY(!MDC::DrawNineGrid(dc, QRect(0, 0, 4, 4), QPixmap(), QRect(0, 0, 1, 27), QMargins(0, 0, 0, 1)));
    dc.end();
    QCOMPARE(target, canvas(4, 4, Qt::blue));
}

void tst_MDC::createAndDelete()
{
    QPixmap a = MDC::SurfaceFromBitmap(canvas(30, 20, Qt::red));
    const QPixmap b = a;
    QCOMPARE(a.size(), QSize(30, 20));
    MDC::DeleteSurface(a);
    QVERIFY(a.isNull());
    // Surfaces are values: ending one leaves its copies alone.
    QCOMPARE(b.size(), QSize(30, 20));
    QCOMPARE(pixel(b.toImage(), 3, 3), 0xFF0000u);
}

void tst_MDC::surfaceFromBitmapKeepsPixels()
{
    QImage bitmap(39, 27, QImage::Format_RGB888);
    bitmap.fill(QColor(191, 219, 255));
    bitmap.setPixelColor(13, 26, QColor(225, 234, 246));
    const QImage skin = MDC::SurfaceFromBitmap(bitmap).toImage();
    QCOMPARE(skin.size(), QSize(39, 27));
    QCOMPARE(pixel(skin, 13, 26), qRgb(225, 234, 246) & 0xFFFFFFu);
    QCOMPARE(pixel(skin, 0, 0), qRgb(191, 219, 255) & 0xFFFFFFu);
}

void tst_MDC::blitCopiesRectangle()
{
    QImage source = canvas(10, 10, Qt::white);
    source.setPixel(3, 4, qRgb(10, 20, 30));
    QImage to = canvas(20, 20, Qt::black);
    QPainter dc(&to);
    QVERIFY(MDC::BlitSurface(dc, QPoint(5, 6), source, QRect(2, 3, 4, 4)));
    dc.end();
    QCOMPARE(pixel(to, 6, 7), qRgb(10, 20, 30) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 5, 6), 0xFFFFFFu);
    QCOMPARE(pixel(to, 9, 10), 0u);
    QCOMPARE(pixel(to, 4, 6), 0u);
}

void tst_MDC::nineGridBandCase()
{
    // One column, every row its own colour: row r is (r, 100, 200).
    QImage source(1, 27, QImage::Format_RGB32);
    for (int row = 0; row < 27; ++row)
        source.setPixel(0, row, qRgb(row, 100, 200));
    QImage result = canvas(200, 30, Qt::black);
    QPainter dc(&result);
    QVERIFY(MDC::DrawNineGrid(dc, QRect(0, 0, 200, 30), MDC::SurfaceFromBitmap(source), QRect(0, 0, 1, 27),
                              QMargins(0, 0, 0, 1)));
    dc.end();
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
}

void tst_MDC::nineGridAllMarginsZeroStretchesWhole()
{
    QImage source(2, 2, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 255, 0));
    source.setPixel(0, 1, qRgb(0, 0, 255));
    source.setPixel(1, 1, qRgb(255, 255, 255));
    QImage target = canvas(10, 10, Qt::black);
    QPainter dc(&target);
    QVERIFY(MDC::DrawNineGrid(dc, QRect(0, 0, 10, 10), MDC::SurfaceFromBitmap(source), QRect(0, 0, 2, 2), QMargins()));
    dc.end();
    QCOMPARE(pixel(target, 0, 0), 0xFF0000u);
    QCOMPARE(pixel(target, 4, 4), 0xFF0000u);
    QCOMPARE(pixel(target, 5, 4), 0x00FF00u);
    QCOMPARE(pixel(target, 4, 5), 0x0000FFu);
    QCOMPARE(pixel(target, 9, 9), 0xFFFFFFu);
}

void tst_MDC::nineGridKeepsCornersAndStretchesCentre()
{
    // 13 x 27 cell whose every pixel encodes its own position.
    QImage source(26, 27, QImage::Format_RGB32);
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 26; ++x)
            source.setPixel(x, y, qRgb(x, y, 7));
    QImage out = canvas(100, 40, Qt::black);
    QPainter dc(&out);
    QVERIFY(MDC::DrawNineGrid(dc, QRect(10, 5, 70, 30), MDC::SurfaceFromBitmap(source), QRect(13, 0, 13, 27),
                              QMargins(6, 5, 6, 2)));
    dc.end();
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
}

void tst_MDC::nineGridWidthZeroDrawsNothing()
{
    const QPixmap skin = MDC::SurfaceFromBitmap(canvas(1, 27, Qt::red));
    QImage target = canvas(20, 20, Qt::black);
    QPainter dc(&target);
    const QMargins band(0, 0, 0, 1);
    QVERIFY(!MDC::DrawNineGrid(dc, QRect(0, 0, 0, 20), skin, QRect(0, 0, 1, 27), band));
    QVERIFY(!MDC::DrawNineGrid(dc, QRect(0, 0, 20, 0), skin, QRect(0, 0, 1, 27), band));
    QVERIFY(!MDC::DrawNineGrid(dc, QRect(0, 0, 20, 20), skin, QRect(0, 0, 0, 27), band));
    QVERIFY(!MDC::DrawNineGrid(dc, QRect(0, 0, 20, 20), skin, QRect(0, 0, 1, 0), band));
    dc.end();
    QCOMPARE(target, canvas(20, 20, Qt::black));
}

void tst_MDC::nineGridWithTransparentColour()
{
    QImage source(2, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 255));
    source.setPixel(1, 0, qRgb(0, 128, 0));
    QImage target = canvas(8, 4, QColor(255, 255, 0));
    QPainter dc(&target);
    QVERIFY(MDC::DrawNineGrid(dc, QRect(0, 0, 8, 4), MDC::SurfaceFromBitmap(source), QRect(0, 0, 2, 1), QMargins(),
                              QColor(255, 0, 255)));
    dc.end();
    QCOMPARE(pixel(target, 1, 1), qRgb(255, 255, 0) & 0xFFFFFFu);
    QCOMPARE(pixel(target, 6, 1), qRgb(0, 128, 0) & 0xFFFFFFu);
}

void tst_MDC::fillAlphaOpaqueAndClamped()
{
    const QColor page(225, 234, 246);
    QImage target = canvas(10, 10, Qt::black);
    QPainter dc(&target);
    QVERIFY(MDC::FillAlpha(dc, QRect(2, 2, 4, 4), page, 300));
    QCOMPARE(pixel(target, 2, 2), page.rgb() & 0xFFFFFFu);
    QCOMPARE(pixel(target, 5, 5), page.rgb() & 0xFFFFFFu);
    QCOMPARE(pixel(target, 6, 6), 0u);
    QCOMPARE(pixel(target, 1, 2), 0u);
    MDC::FillAlpha(dc, QRect(0, 0, 10, 10), Qt::red, -5);
    QCOMPARE(pixel(target, 3, 3), page.rgb() & 0xFFFFFFu);
    QCOMPARE(pixel(target, 8, 8), 0u);
}

void tst_MDC::fillAlphaBlendsHalfway()
{
    QImage target = canvas(4, 4, Qt::white);
    QPainter dc(&target);
    MDC::FillAlpha(dc, QRect(0, 0, 4, 4), Qt::black, 128);
    dc.end();
    const QRgb value = pixel(target, 1, 1);
    QCOMPARE(qRed(value), 127);
    QCOMPARE(qGreen(value), 127);
    QCOMPARE(qBlue(value), 127);
}

void tst_MDC::transparentBlitLeavesOutKey()
{
    QImage source(3, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 255));
    source.setPixel(1, 0, qRgb(1, 2, 3));
    source.setPixel(2, 0, qRgb(255, 0, 254));
    QImage to = canvas(5, 1, QColor(128, 128, 128));
    QPainter dc(&to);
    QVERIFY(MDC::TransparentBlitSurface(dc, QPoint(1, 0), source, QRect(0, 0, 3, 1), QColor(255, 0, 255)));
    dc.end();
    QCOMPARE(pixel(to, 1, 0), qRgb(128, 128, 128) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 2, 0), qRgb(1, 2, 3) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 3, 0), qRgb(255, 0, 254) & 0xFFFFFFu);
    QCOMPARE(pixel(to, 0, 0), qRgb(128, 128, 128) & 0xFFFFFFu);
}

void tst_MDC::textIsCentredAndCut()
{
    QImage out = canvas(200, 30, Qt::white);
    QPainter dc(&out);
    MDC::SelectNewFont(dc, u"WenQuanYi Zen Hei"_s, 14);
    dc.setBackgroundMode(Qt::TransparentMode);
    const int height = MDC::DrawTextInRect(dc, u"热门推荐"_s, QRect(70, 0, 70, 30), 37);
    QVERIFY(height > 0 && height <= 14);
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
    out.fill(Qt::white);
    MDC::DrawTextInRect(dc, u"非常非常长的游戏分类名称"_s, QRect(70, 0, 70, 30), 37);
    dc.end();
    int inkLeft = 0;
    int inkRight = 0;
    for (int y = 0; y < 30; ++y) {
        QCOMPARE(qGray(out.pixel(69, y)), 255);
        QCOMPARE(qGray(out.pixel(140, y)), 255);
        inkLeft += qGray(out.pixel(70, y)) < 200 || qGray(out.pixel(71, y)) < 200;
        inkRight += qGray(out.pixel(139, y)) < 200 || qGray(out.pixel(138, y)) < 200;
    }
    QVERIFY(inkLeft > 0);
    QVERIFY(inkRight > 0);
}

void tst_MDC::opaqueModeFillsBehindText()
{
    QImage target = canvas(100, 30, Qt::red);
    QPainter dc(&target);
    MDC::SelectNewFont(dc, u"WenQuanYi Zen Hei"_s, 14);
    dc.setBackgroundMode(Qt::OpaqueMode);
    MDC::DrawTextInRect(dc, u"单机"_s, QRect(0, 0, 100, 30), 37);
    QCOMPARE(pixel(target, 2, 2), qRgb(255, 0, 0) & 0xFFFFFFu);
    int white = 0;
    for (int x = 30; x < 70; ++x)
        white += pixel(target, x, 15) == 0xFFFFFFu;
    QVERIFY(white > 0);
    dc.setBackgroundMode(Qt::TransparentMode);
    target.fill(Qt::red);
    MDC::DrawTextInRect(dc, u"单机"_s, QRect(0, 0, 100, 30), 37);
    white = 0;
    for (int x = 30; x < 70; ++x)
        white += pixel(target, x, 15) == 0xFFFFFFu;
    QCOMPARE(white, 0);
}

void tst_MDC::fontCellHeight()
{
    QImage target = canvas(10, 10, Qt::white);
    QPainter dc(&target);
    const QFont font = MDC::SelectNewFont(dc, u"WenQuanYi Zen Hei"_s, 14);
    QCOMPARE(dc.font(), font);
    QCOMPARE(font.family(), u"WenQuanYi Zen Hei"_s);
    QVERIFY(QFontMetrics(font).height() <= 14);
    QVERIFY(QFontMetrics(font).height() >= 12);
    QCOMPARE(font.weight(), QFont::Normal);
    QCOMPARE(MDC::SelectNewFont(dc, u"WenQuanYi Zen Hei"_s, 14, true).weight(), QFont::Bold);
}

QTEST_MAIN(tst_MDC)
#include "tst_MDC.moc"
