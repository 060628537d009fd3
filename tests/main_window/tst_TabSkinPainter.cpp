#include "main_window/TabSkinPainter.h"
#include "tab_strip/CSSTab.h"
#include "tab_strip/MDC.h"
#include "tab_strip/SSTab.h"

#include <QMouseEvent>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QColor Page(225, 234, 246);
const QColor Band(191, 219, 255);
const QColor BandLine(141, 178, 227);

void moveTo(QWidget *widget, QPoint pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(widget, &event);
}

void leave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

int inkIn(const QImage &image, const QRect &rect)
{
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 90;
    return ink;
}

} // namespace

class tst_TabSkinPainter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void skinBitmapHasThreeCells();
    void pageBelowTheRow();
    void bandLineUnderUnselectedTabs();
    void selectedTabJoinsThePage();
    void hoverAndSelectedHoverLooks();
    void leavingRestoresPlainLook();
    void captionsAreBlackAndReadable();
    void longCaptionIsCut();

private:
    QImage shot() const;

    QWidget *m_window = nullptr;
    SSTab *m_tab = nullptr;
    CSSTab *m_strip = nullptr;
    TabSkinPainter *m_painter = nullptr;
    QPixmap m_skin;
};

void tst_TabSkinPainter::init()
{
    m_window = new QWidget;
    m_window->resize(640, 240);
    m_tab = new SSTab(m_window);
    m_tab->setGeometry(0, 0, 640, 240);
    m_tab->setTabCaption(0, u"热门推荐"_s);
    for (const QString &caption : {u"网络游戏"_s, u"单机游戏"_s, u"休闲游戏"_s}) {
        m_tab->setTabs(m_tab->Tabs() + 1);
        m_tab->setTabCaption(m_tab->Tabs() - 1, caption);
    }
    m_skin = MDC::SurfaceFromBitmap(QImage(u":/OFFICE2007.bmp"_s));
    m_strip = new CSSTab(m_window);
    m_painter = new TabSkinPainter(m_tab, m_strip, m_skin, m_window);
    connect(m_strip, &CSSTab::DrawBackGround, m_painter, &TabSkinPainter::DrawBackGround);
    connect(m_strip, &CSSTab::DrawTab, m_painter, &TabSkinPainter::DrawTab);
    m_strip->setTabWidth(70);
    m_strip->setTabHeight(30);
    m_strip->Attach(m_tab);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_TabSkinPainter::cleanup()
{
    delete m_window;
}

QImage tst_TabSkinPainter::shot() const
{
    return m_tab->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void tst_TabSkinPainter::skinBitmapHasThreeCells()
{
    const QImage skin(u":/OFFICE2007.bmp"_s);
    QCOMPARE(skin.size(), QSize(39, 27));
    QCOMPARE(skin.pixelColor(0, 0), Band);
    QCOMPARE(skin.pixelColor(0, 25), Band);
    for (int x = 0; x < 13; ++x)
        QCOMPARE(skin.pixelColor(x, 26), BandLine);
    QCOMPARE(skin.pixelColor(2, 10), QColor(153, 187, 232));
    QCOMPARE(skin.pixelColor(6, 25), QColor(227, 209, 152));
    QCOMPARE(skin.pixelColor(13 + 2, 10), QColor(141, 178, 227));
    QCOMPARE(skin.pixelColor(13 + 6, 26), Page);
    QCOMPARE(skin.pixelColor(13 + 6, 25), Page);
    QCOMPARE(skin.pixelColor(26 + 2, 25), QColor(254, 209, 94));
    QCOMPARE(skin.pixelColor(26 + 6, 26), Page);
}

void tst_TabSkinPainter::pageBelowTheRow()
{
    const QImage image = shot();
    for (int x : {5, 35, 105, 300, 639}) {
        QCOMPARE(image.pixelColor(x, 30), Page);
        QCOMPARE(image.pixelColor(x, 239), Page);
    }
    // The band runs across the whole width, tabs or not.
    QCOMPARE(image.pixelColor(500, 3), Band);
    QCOMPARE(image.pixelColor(500, 28), Band);
}

void tst_TabSkinPainter::bandLineUnderUnselectedTabs()
{
    const QImage image = shot();
    for (int x : {71, 105, 139, 175, 500})
        QCOMPARE(image.pixelColor(x, 29), BandLine);
    QCOMPARE(image.pixelColor(105, 2), Band);
}

void tst_TabSkinPainter::selectedTabJoinsThePage()
{
    const QImage image = shot();
    // Tab 0 is current: its outline stands on the band, its open bottom has the page colour.
    QCOMPARE(image.pixelColor(2, 15), QColor(141, 178, 227));
    QCOMPARE(image.pixelColor(67, 15), QColor(141, 178, 227));
    for (int x = 4; x <= 65; ++x) {
        QCOMPARE(image.pixelColor(x, 29), Page);
        QCOMPARE(image.pixelColor(x, 28), Page);
    }
    QCOMPARE(image.pixelColor(0, 15), Band);
    // Selecting another tab moves the opening.
    m_tab->setTab(2);
    const QImage after = shot();
    QCOMPARE(after.pixelColor(35, 29), BandLine);
    QCOMPARE(after.pixelColor(175, 29), Page);
}

void tst_TabSkinPainter::hoverAndSelectedHoverLooks()
{
    const QImage plain = shot();
    moveTo(m_tab, QPoint(105, 5));
    const QImage hovered = shot();
    QCOMPARE(hovered.pixelColor(72, 15), QColor(153, 187, 232));
    QCOMPARE(hovered.pixelColor(105, 28), QColor(227, 209, 152));
    QCOMPARE(hovered.pixelColor(105, 29), BandLine);
    QVERIFY(hovered.copy(70, 0, 70, 30) != plain.copy(70, 0, 70, 30));
    // Only the hovered tab changed.
    QCOMPARE(hovered.copy(0, 0, 70, 30), plain.copy(0, 0, 70, 30));
    QCOMPARE(hovered.copy(140, 0, 500, 240), plain.copy(140, 0, 500, 240));

    moveTo(m_tab, QPoint(35, 5));
    const QImage selectedHovered = shot();
    QCOMPARE(selectedHovered.pixelColor(2, 28), QColor(254, 209, 94));
    QCOMPARE(selectedHovered.pixelColor(35, 29), Page);
    QVERIFY(selectedHovered.copy(0, 0, 70, 30) != plain.copy(0, 0, 70, 30));
    QVERIFY(selectedHovered.copy(0, 0, 70, 30) != hovered.copy(70, 0, 70, 30));
    QCOMPARE(selectedHovered.copy(70, 0, 70, 30), plain.copy(70, 0, 70, 30));
}

void tst_TabSkinPainter::leavingRestoresPlainLook()
{
    const QImage plain = shot();
    moveTo(m_tab, QPoint(35, 5));
    QVERIFY(shot() != plain);
    leave(m_tab);
    QCOMPARE(shot(), plain);
    moveTo(m_tab, QPoint(105, 5));
    moveTo(m_tab, QPoint(105, 100));
    QCOMPARE(shot(), plain);
}

void tst_TabSkinPainter::captionsAreBlackAndReadable()
{
    const QImage image = shot();
    int darkest = 255;
    for (int y = 0; y < 30; ++y)
        for (int x = 70; x < 140; ++x)
            darkest = qMin(darkest, qGray(image.pixel(x, y)));
    QVERIFY(darkest < 60);
    for (int i = 0; i < 4; ++i)
        QVERIFY(inkIn(image, QRect(70 * i, 0, 70, 30)) > 20);
    // The captions' ink stays inside the row, away from the tab edges.
    QCOMPARE(inkIn(image, QRect(0, 30, 640, 210)), 0);
    QCOMPARE(inkIn(image, QRect(280, 0, 360, 30)), 0);
    // Different Chinese captions give different pictures; missing glyphs would all look alike.
    const QImage one = image.copy(70, 0, 70, 30);
    const QImage two = image.copy(140, 0, 70, 30);
    QVERIFY(one != two);
    m_tab->setTabCaption(2, u"网络游戏"_s);
    m_tab->setTab(3);
    m_tab->setTab(0);
    QCOMPARE(shot().copy(140, 0, 70, 30), one);
}

void tst_TabSkinPainter::longCaptionIsCut()
{
    m_tab->setTabCaption(1, u"非常非常长的游戏分类名称"_s);
    m_tab->setTab(2);
    m_tab->setTab(0);
    const QImage image = shot();
    QVERIFY(inkIn(image, QRect(70, 0, 3, 30)) > 0);
    QVERIFY(inkIn(image, QRect(137, 0, 3, 30)) > 0);
    // Neighbours keep their own captions' room, and nothing wraps below the row.
    QCOMPARE(inkIn(image, QRect(60, 0, 10, 30)), 0);
    QCOMPARE(inkIn(image, QRect(70, 30, 70, 30)), 0);
}

QTEST_MAIN(tst_TabSkinPainter)
#include "tst_TabSkinPainter.moc"
