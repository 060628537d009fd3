#include "tab_strip/CSSTab.h"
#include "tab_strip/MDC.h"
#include "tab_strip/SSTab.h"

#include <QAccessible>
#include <QDebug>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A tab control that notes the mouse events its own handling saw.
class ProbeTab : public SSTab
{
public:
    using SSTab::SSTab;
    QList<QEvent::Type> mouse;
    int ownPaints = 0;

protected:
    bool event(QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            mouse.append(event->type());
            break;
        case QEvent::Paint:
            ++ownPaints;
            break;
        default:
            break;
        }
        return SSTab::event(event);
    }
};

void sendMouse(QWidget *widget, QEvent::Type type, Qt::MouseButton button, QPoint pos)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::MouseButtons() : Qt::MouseButtons(button);
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, {});
    QCoreApplication::sendEvent(widget, &event);
}

void moveTo(QWidget *widget, QPoint pos)
{
    sendMouse(widget, QEvent::MouseMove, Qt::NoButton, pos);
}

void turnWheel(QWidget *widget, QPoint pos, int delta)
{
    QWheelEvent event(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(widget, &event);
}

QSize surfaceSize(const QPainter *hDC)
{
    return {hDC->device()->width(), hDC->device()->height()};
}

// The tab the strip last drew as the one under the pointer; -1 for none.
class HoverWatch
{
public:
    explicit HoverWatch(CSSTab &strip)
    {
        QObject::connect(&strip, &CSSTab::DrawTab, &strip, [this](QPainter *, int index, int state) {
            if (state != 0)
                m_index = index;
            else if (index == m_index)
                m_index = -1;
        });
    }
    int index() const { return m_index; }

private:
    int m_index = -1;
};

void leave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

class tst_CSSTab : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startsDetached();
    void attachAndDetachResults();
    void takesOverPaintAndMouseUntilDetached();
    void attachBuildsSurfacesAndDraws();
    void sizeChangeRebuildsSurfaces();
    void hoverMovesOneRedraw();
    void leaveClearsHover();
    void rowBoundaryCountsInside();
    void moveBelowRowClearsHover();
    void leftPressSelectsAndFocuses();
    void pressRightOfLastTabOnlyFocuses();
    void otherButtonsAreSwallowed();
    void everyTabChangeRedraws();
    void focusChangesRedraw();
    void tabSizeNeverBelowThree();
    void paintShowsWorkSurface();
    void releasingRestoresControl();
    void accessibleCellsFollowStrip();
    void wheelAndScrollCellsBringHiddenTabsWithinReach();
    void keyboardSelectionScrollsTheTabIntoView();

private:
    void addTabs(int count);
    void attachWideRow(CSSTab &strip);
    QList<QList<QVariant>> tabDraws(const QSignalSpy &spy) const;

    QWidget *m_window = nullptr;
    ProbeTab *m_tab = nullptr;
    QLineEdit *m_other = nullptr;
};

void tst_CSSTab::init()
{
    m_window = new QWidget;
    m_window->resize(600, 300);
    m_tab = new ProbeTab(m_window);
    m_tab->setGeometry(0, 0, 500, 200);
    m_other = new QLineEdit(m_window);
    m_other->setGeometry(0, 250, 100, 20);
    m_tab->setTabCaption(0, u"热门推荐"_s);
    addTabs(4);
}

void tst_CSSTab::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_CSSTab::addTabs(int count)
{
    static const QStringList names = {u"网络游戏"_s, u"单机游戏"_s, u"休闲游戏"_s, u"对战平台"_s, u"棋牌游戏"_s};
    for (int i = 0; i < count; ++i) {
        m_tab->setTabs(m_tab->Tabs() + 1);
        m_tab->setTabCaption(m_tab->Tabs() - 1, names.at(i % names.size()));
    }
}

void tst_CSSTab::startsDetached()
{
    CSSTab strip;
    QCOMPARE(strip.hWnd(), nullptr);
    QCOMPARE(strip.TabWidth(), 70);
    QCOMPARE(strip.TabHeight(), 20);
    QVERIFY(!strip.Focus());
    // Detached: the setters only store.
    QSignalSpy draws(&strip, &CSSTab::DrawTab);
    strip.setTabHeight(30);
    QCOMPARE(strip.TabHeight(), 30);
    QCOMPARE(draws.count(), 0);
}

void tst_CSSTab::attachAndDetachResults()
{
    CSSTab strip;
    QCOMPARE(strip.Attach(nullptr), 0);
    QCOMPARE(strip.Detach(), 0);
    QSignalSpy backgrounds(&strip, &CSSTab::DrawBackGround);
    QCOMPARE(strip.Attach(m_tab), 1);
    QCOMPARE(strip.hWnd(), m_tab);
    QCOMPARE(m_tab->TabsPerRow(), 5);
    QCOMPARE(strip.Attach(m_tab), 0);
    QCOMPARE(backgrounds.count(), 1);
    QCOMPARE(strip.Detach(), 1);
    QCOMPARE(strip.hWnd(), nullptr);
    QCOMPARE(strip.Detach(), 0);
    QCOMPARE(strip.Attach(m_tab), 1);
    QCOMPARE(backgrounds.count(), 2);
    // Tabs added later leave tabs-per-row alone.
    addTabs(1);
    QCOMPARE(m_tab->TabsPerRow(), 5);
}

void tst_CSSTab::takesOverPaintAndMouseUntilDetached()
{
    CSSTab strip;
    strip.Attach(m_tab);
    const int ownPaints = m_tab->ownPaints;
    m_tab->grab();
    for (QEvent::Type type :
         {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick, QEvent::MouseMove})
        sendMouse(m_tab, type, Qt::MiddleButton, QPoint(75, 5));
    QCOMPARE(m_tab->ownPaints, ownPaints);
    QVERIFY(m_tab->mouse.isEmpty());
    strip.Detach();
    m_tab->grab();
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::MiddleButton, QPoint(75, 5));
    QVERIFY(m_tab->ownPaints > ownPaints);
    QCOMPARE(m_tab->mouse, QList<QEvent::Type>({QEvent::MouseButtonPress}));
}

QList<QList<QVariant>> tst_CSSTab::tabDraws(const QSignalSpy &spy) const
{
    QList<QList<QVariant>> result;
    for (const auto &args : spy)
        result.append(args);
    return result;
}

void tst_CSSTab::attachBuildsSurfacesAndDraws()
{
    CSSTab strip;
    strip.setTabWidth(70);
    strip.setTabHeight(30);
    QSignalSpy backgrounds(&strip, &CSSTab::DrawBackGround);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    // Each event paints on a surface of the control's size, in the control's face, text on a clear background.
    QList<QSize> surfaces;
    connect(&strip, &CSSTab::DrawBackGround, this, [&](QPainter *hDC) { surfaces.append(surfaceSize(hDC)); });
    QPaintDevice *work = nullptr;
    connect(&strip, &CSSTab::DrawTab, this, [&](QPainter *hDC) {
        QVERIFY(!work || work == hDC->device());
        work = hDC->device();
        QCOMPARE(hDC->font().family(), m_tab->font().family());
        QCOMPARE(hDC->backgroundMode(), Qt::TransparentMode);
    });
    strip.Attach(m_tab);
    QCOMPARE(backgrounds.count(), 1);
    QCOMPARE(surfaces, QList<QSize>({QSize(500, 200)}));
    QCOMPARE(QSize(work->width(), work->height()), QSize(500, 200));
    QCOMPARE(backgrounds.at(0).at(1).toInt(), 500);
    QCOMPARE(backgrounds.at(0).at(2).toInt(), 200);
    QCOMPARE(tabs.count(), 5);
    for (int i = 0; i < 5; ++i) {
        const QList<QVariant> args = tabs.at(i);
        QCOMPARE(args.at(1).toInt(), i);
        QCOMPARE(args.at(2).toInt(), 0);
        QCOMPARE(args.at(3).toInt(), 70 * i);
        QCOMPARE(args.at(4).toInt(), 0);
        QCOMPARE(args.at(5).toInt(), 70);
        QCOMPARE(args.at(6).toInt(), 30);
    }
}

void tst_CSSTab::sizeChangeRebuildsSurfaces()
{
    CSSTab strip;
    strip.Attach(m_tab);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QSignalSpy backgrounds(&strip, &CSSTab::DrawBackGround);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    QList<QSize> surfaces;
    connect(&strip, &CSSTab::DrawBackGround, this, [&](QPainter *hDC) { surfaces.append(surfaceSize(hDC)); });
    connect(&strip, &CSSTab::DrawTab, this, [&](QPainter *hDC) { surfaces.append(surfaceSize(hDC)); });
    m_tab->resize(420, 150);
    QTRY_COMPARE(backgrounds.count(), 1);
    QCOMPARE(backgrounds.at(0).at(1).toInt(), 420);
    QCOMPARE(backgrounds.at(0).at(2).toInt(), 150);
    QCOMPARE(surfaces, QList<QSize>(6, QSize(420, 150)));
    QCOMPARE(tabs.count(), 5);
}

void tst_CSSTab::hoverMovesOneRedraw()
{
    CSSTab strip;
    HoverWatch hover(strip);
    strip.setTabHeight(30);
    strip.Attach(m_tab);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    moveTo(m_tab, QPoint(2 * 70 + 10, 10));
    QCOMPARE(hover.index(), 2);
    tabs.clear();
    moveTo(m_tab, QPoint(3 * 70 + 10, 10));
    QCOMPARE(hover.index(), 3);
    QCOMPARE(tabs.count(), 5);
    for (const auto &args : tabDraws(tabs))
        QCOMPARE(args.at(2).toInt(), args.at(1).toInt() == 3 ? 1 : 0);
    // Moving within the same tab draws nothing.
    tabs.clear();
    moveTo(m_tab, QPoint(3 * 70 + 60, 20));
    QCOMPARE(tabs.count(), 0);
    QVERIFY(!m_tab->mouse.contains(QEvent::MouseMove));
}

void tst_CSSTab::leaveClearsHover()
{
    CSSTab strip;
    HoverWatch hover(strip);
    strip.Attach(m_tab);
    moveTo(m_tab, QPoint(75, 5));
    QCOMPARE(hover.index(), 1);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    leave(m_tab);
    QCOMPARE(hover.index(), -1);
    QCOMPARE(tabs.count(), 5);
    for (const auto &args : tabDraws(tabs))
        QCOMPARE(args.at(2).toInt(), 0);
    // The next move asks for a new leave notification.
    moveTo(m_tab, QPoint(5, 5));
    QCOMPARE(hover.index(), 0);
    leave(m_tab);
    QCOMPARE(hover.index(), -1);
}

void tst_CSSTab::rowBoundaryCountsInside()
{
    CSSTab strip;
    HoverWatch hover(strip);
    strip.setTabHeight(30);
    strip.Attach(m_tab);
    moveTo(m_tab, QPoint(75, 30));
    QCOMPARE(hover.index(), 1);
    QSignalSpy clicks(m_tab, &SSTab::Click);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(150, 30));
    QCOMPARE(m_tab->Tab(), 2);
    QCOMPARE(clicks.count(), 1);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(10, 31));
    QCOMPARE(m_tab->Tab(), 2);
}

void tst_CSSTab::moveBelowRowClearsHover()
{
    CSSTab strip;
    HoverWatch hover(strip);
    strip.Attach(m_tab);
    moveTo(m_tab, QPoint(75, 5));
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    moveTo(m_tab, QPoint(75, 21));
    QCOMPARE(hover.index(), -1);
    QCOMPARE(tabs.count(), 5);
    tabs.clear();
    moveTo(m_tab, QPoint(75, 100));
    QCOMPARE(tabs.count(), 0);
    // Right of the last tab inside the row: no hover.
    moveTo(m_tab, QPoint(5 * 70 + 3, 5));
    QCOMPARE(hover.index(), -1);
    QCOMPARE(tabs.count(), 0);
}

void tst_CSSTab::leftPressSelectsAndFocuses()
{
    CSSTab strip;
    strip.Attach(m_tab);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_other->setFocus();
    QTRY_VERIFY(m_other->hasFocus());
    QVERIFY(!strip.Focus());
    QSignalSpy clicks(m_tab, &SSTab::Click);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(4 * 70 + 1, 1));
    QCOMPARE(m_tab->Tab(), 4);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(tabs.count() >= 5);
    QTRY_VERIFY(strip.Focus());
    QVERIFY(m_tab->mouse.isEmpty());
}

void tst_CSSTab::pressRightOfLastTabOnlyFocuses()
{
    CSSTab strip;
    strip.Attach(m_tab);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_other->setFocus();
    QTRY_VERIFY(m_other->hasFocus());
    QSignalSpy clicks(m_tab, &SSTab::Click);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5 * 70 + 20, 5));
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(m_tab->Tab(), 0);
    QTRY_VERIFY(strip.Focus());
}

void tst_CSSTab::otherButtonsAreSwallowed()
{
    CSSTab strip;
    strip.Attach(m_tab);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_other->setFocus();
    QTRY_VERIFY(m_other->hasFocus());
    QSignalSpy clicks(m_tab, &SSTab::Click);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    const QPoint inTab(75, 5);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
        if (button != Qt::LeftButton)
            sendMouse(m_tab, QEvent::MouseButtonPress, button, inTab);
        sendMouse(m_tab, QEvent::MouseButtonRelease, button, inTab);
        sendMouse(m_tab, QEvent::MouseButtonDblClick, button, inTab);
    }
    QVERIFY(m_tab->mouse.isEmpty());
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(tabs.count(), 0);
    QCOMPARE(m_tab->Tab(), 0);
    QVERIFY(m_other->hasFocus());
}

void tst_CSSTab::everyTabChangeRedraws()
{
    CSSTab strip;
    strip.Attach(m_tab);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    m_tab->setTab(3);
    QCOMPARE(tabs.count(), 5);
    tabs.clear();
    QTest::keyClick(m_tab, Qt::Key_Left);
    QCOMPARE(m_tab->Tab(), 2);
    QCOMPARE(tabs.count(), 5);
    tabs.clear();
    m_tab->setTabs(1);
    QCOMPARE(tabs.count(), 1);
}

void tst_CSSTab::focusChangesRedraw()
{
    CSSTab strip;
    strip.Attach(m_tab);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_other->setFocus();
    QTRY_VERIFY(m_other->hasFocus());
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    m_tab->setFocus();
    QTRY_VERIFY(strip.Focus());
    QCOMPARE(tabs.count(), 5);
    m_other->setFocus();
    QTRY_VERIFY(!strip.Focus());
    QCOMPARE(tabs.count(), 10);
}

void tst_CSSTab::tabSizeNeverBelowThree()
{
    CSSTab strip;
    strip.setTabWidth(0);
    QCOMPARE(strip.TabWidth(), 3);
    strip.setTabHeight(-7);
    QCOMPARE(strip.TabHeight(), 3);
    strip.setTabWidth(70);
    strip.setTabHeight(30);
    strip.Attach(m_tab);
    QSignalSpy backgrounds(&strip, &CSSTab::DrawBackGround);
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    strip.setTabWidth(70);
    QCOMPARE(tabs.count(), 0);
    strip.setTabWidth(90);
    QCOMPARE(tabs.count(), 5);
    QCOMPARE(tabs.at(4).at(3).toInt(), 360);
    QCOMPARE(backgrounds.count(), 0);
}

void tst_CSSTab::paintShowsWorkSurface()
{
    CSSTab strip;
    strip.setTabHeight(30);
    connect(&strip, &CSSTab::DrawBackGround, this, [](QPainter *hDC, int width, int height) {
        MDC::FillAlpha(*hDC, QRect(0, 0, width, height), Qt::red, 255);
    });
    connect(&strip, &CSSTab::DrawTab, this,
            [this](QPainter *hDC, int index, int state, int left, int top, int width, int height) {
                const QColor colour = index == m_tab->Tab() ? Qt::green : (state ? Qt::blue : Qt::white);
                MDC::FillAlpha(*hDC, QRect(left + 1, top, width - 2, height), colour, 255);
            });
    strip.Attach(m_tab);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const int ownPaints = m_tab->ownPaints;
    QImage shot = m_tab->grab().toImage();
    QCOMPARE(shot.pixelColor(35, 10), QColor(0, 255, 0));
    QCOMPARE(shot.pixelColor(105, 10), QColor(255, 255, 255));
    QCOMPARE(shot.pixelColor(105, 100), QColor(255, 0, 0));
    QCOMPARE(shot.pixelColor(70, 10), QColor(255, 0, 0));
    moveTo(m_tab, QPoint(105, 10));
    shot = m_tab->grab().toImage();
    QCOMPARE(shot.pixelColor(105, 10), QColor(0, 0, 255));
    QCOMPARE(m_tab->ownPaints, ownPaints);
}

void tst_CSSTab::releasingRestoresControl()
{
    auto *strip = new CSSTab;
    strip->Attach(m_tab);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::RightButton, QPoint(75, 5));
    QVERIFY(m_tab->mouse.isEmpty());
    delete strip;
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(75, 5));
    QCOMPARE(m_tab->mouse, QList<QEvent::Type>({QEvent::MouseButtonPress}));
    QCOMPARE(m_tab->Tab(), 1);
    const int ownPaints = m_tab->ownPaints;
    m_tab->grab();
    QVERIFY(m_tab->ownPaints > ownPaints);
}

void tst_CSSTab::accessibleCellsFollowStrip()
{
    CSSTab strip;
    strip.setTabWidth(70);
    strip.setTabHeight(30);
    strip.Attach(m_tab);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_tab);
    QCOMPARE(list->role(), QAccessible::PageTabList);
    QCOMPARE(list->childCount(), 5);
    QCOMPARE(list->child(2)->rect().size(), QSize(70, 30));
    QCOMPARE(list->child(2)->rect().topLeft(), m_tab->mapToGlobal(QPoint(140, 0)));
    QCOMPARE(list->child(1)->text(QAccessible::Name), u"网络游戏"_s);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(150, 5));
    QVERIFY(list->child(2)->state().selected);
    QVERIFY(!list->child(0)->state().selected);
}

// 31 tabs at the main window's design width: only 13 whole tabs fit beside the scroll cells.
void tst_CSSTab::attachWideRow(CSSTab &strip)
{
    m_window->resize(1011, 672);
    m_tab->setGeometry(0, 0, 1011, 672);
    addTabs(26);
    strip.setTabWidth(70);
    strip.setTabHeight(30);
    strip.Attach(m_tab);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_CSSTab::wheelAndScrollCellsBringHiddenTabsWithinReach()
{
    CSSTab strip;
    attachWideRow(strip);
    QCOMPARE(m_tab->Tabs(), 31);
    const QPoint twentiethPlace(12 * 70 + 35, 15);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, twentiethPlace);
    QCOMPARE(m_tab->Tab(), 12);
    turnWheel(m_tab, QPoint(500, 15), -3 * 120);
    const QPoint forward(1011 - 8, 15);
    for (int i = 0; i < 6; ++i)
        sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, forward);
    const QPoint back(1011 - 17 - 8, 15);
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, back);
    QCOMPARE(m_tab->Tab(), 12); // scrolling leaves the current tab alone

    // The strip shows tabs 8 to 21, each drawn at its scrolled place.
    QSignalSpy tabs(&strip, &CSSTab::DrawTab);
    m_tab->grab();
    QCOMPARE(tabs.count(), 14);
    for (int i = 0; i < tabs.count(); ++i) {
        QCOMPARE(tabs.at(i).at(1).toInt(), 8 + i);
        QCOMPARE(tabs.at(i).at(3).toInt(), 70 * i);
    }
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, twentiethPlace);
    QCOMPARE(m_tab->Tab(), 20);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_tab);
    QCOMPARE(list->child(20)->rect().topLeft(), m_tab->mapToGlobal(QPoint(12 * 70, 0)));
}

void tst_CSSTab::keyboardSelectionScrollsTheTabIntoView()
{
    CSSTab strip;
    attachWideRow(strip);
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(m_tab, Qt::Key_Right);
    QCOMPARE(m_tab->Tab(), 30);
    QAccessibleInterface *tab = QAccessible::queryAccessibleInterface(m_tab)->child(30);
    const QRect row(m_tab->mapToGlobal(QPoint(0, 0)), QSize(1011 - 2 * 17, 30));
    QVERIFY2(row.contains(tab->rect()), qPrintable(QDebug::toString(tab->rect())));
    QVERIFY(!tab->state().offscreen);
    // The last tab is drawn where the pointer finds it.
    const QPoint place = m_tab->mapFromGlobal(tab->rect().center());
    sendMouse(m_tab, QEvent::MouseButtonPress, Qt::LeftButton, place);
    QCOMPARE(m_tab->Tab(), 30);
    QVERIFY(QAccessible::queryAccessibleInterface(m_tab)->child(0)->state().offscreen);
}

QTEST_MAIN(tst_CSSTab)
#include "tst_CSSTab.moc"
