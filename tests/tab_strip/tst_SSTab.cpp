#include "tab_strip/SSTab.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_SSTab : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWithOneCurrentTab();
    void appendingKeepsCurrentAndCaptions();
    void countOneKeepsOnlyHotTab();
    void countOneOnHotTabRaisesNothing();
    void setTabRaisesClickWithPrevious();
    void setTabIgnoresSameAndInvalid();
    void leftPressSelectsAndFocuses();
    void otherPressesDoNotSelect();
    void arrowKeysMoveCurrent();
    void paintsChineseCaption();
    void accessibleTreeHasOnePagePerTab();
    void accessibleStateFollowsCurrentAndFocus();
    void accessibleRectIsCell();
    void accessibleChildrenFollowCount();
    void accessiblePressSelects();
    void thousandsOfTabsStayCheap();

private:
    static void fill(SSTab &tab, const QStringList &captions);
};

void tst_SSTab::fill(SSTab &tab, const QStringList &captions)
{
    tab.setTabCaption(0, captions.first());
    for (int i = 1; i < captions.size(); ++i) {
        tab.setTabs(tab.Tabs() + 1);
        tab.setTabCaption(tab.Tabs() - 1, captions.at(i));
    }
}

void tst_SSTab::startsWithOneCurrentTab()
{
    SSTab tab;
    QCOMPARE(tab.Tabs(), 1);
    QCOMPARE(tab.Tab(), 0);
    QVERIFY(tab.focusPolicy() & Qt::TabFocus);
}

void tst_SSTab::appendingKeepsCurrentAndCaptions()
{
    SSTab tab;
    QSignalSpy clicks(&tab, &SSTab::Click);
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    QCOMPARE(tab.Tabs(), 3);
    QCOMPARE(tab.Tab(), 0);
    QCOMPARE(tab.TabCaption(0), u"热门推荐"_s);
    QCOMPARE(tab.TabCaption(2), u"单机游戏"_s);
    QCOMPARE(tab.TabCaption(3), QString());
    QCOMPARE(clicks.count(), 0);
}

void tst_SSTab::countOneKeepsOnlyHotTab()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    tab.setTab(2);
    QSignalSpy clicks(&tab, &SSTab::Click);
    tab.setTabs(1);
    QCOMPARE(tab.Tabs(), 1);
    QCOMPARE(tab.Tab(), 0);
    QCOMPARE(tab.TabCaption(0), u"热门推荐"_s);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 2);
    // Appending again starts from empty captions.
    tab.setTabs(2);
    QCOMPARE(tab.TabCaption(1), QString());
}

void tst_SSTab::countOneOnHotTabRaisesNothing()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s});
    QSignalSpy clicks(&tab, &SSTab::Click);
    tab.setTabs(1);
    tab.setTabs(0);
    QCOMPARE(tab.Tabs(), 1);
    QCOMPARE(clicks.count(), 0);
}

void tst_SSTab::setTabRaisesClickWithPrevious()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    QSignalSpy clicks(&tab, &SSTab::Click);
    tab.setTab(2);
    tab.setTab(1);
    QCOMPARE(tab.Tab(), 1);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(0).at(0).toInt(), 0);
    QCOMPARE(clicks.at(1).at(0).toInt(), 2);
}

void tst_SSTab::setTabIgnoresSameAndInvalid()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s});
    QSignalSpy clicks(&tab, &SSTab::Click);
    tab.setTab(0);
    tab.setTab(2);
    tab.setTab(-1);
    QCOMPARE(tab.Tab(), 0);
    QCOMPARE(clicks.count(), 0);
}

void tst_SSTab::leftPressSelectsAndFocuses()
{
    QWidget window;
    auto *tab = new SSTab(&window);
    tab->setGeometry(0, 0, 400, 200);
    fill(*tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy clicks(tab, &SSTab::Click);
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(tab->cellWidth() * 2 + 5, 5));
    QCOMPARE(tab->Tab(), 2);
    QCOMPARE(clicks.count(), 1);
    QTRY_VERIFY(tab->hasFocus());
    // Right of the last tab: nothing selected.
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(tab->cellWidth() * 3 + 5, 5));
    QCOMPARE(tab->Tab(), 2);
    // Below the row: nothing selected either.
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(5, tab->cellHeight() + 5));
    QCOMPARE(tab->Tab(), 2);
}

void tst_SSTab::otherPressesDoNotSelect()
{
    QWidget window;
    auto *tab = new SSTab(&window);
    tab->setGeometry(0, 0, 400, 200);
    auto *other = new QLineEdit(&window);
    other->setGeometry(0, 250, 100, 20);
    fill(*tab, {u"热门推荐"_s, u"网络游戏"_s});
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    QTest::mouseClick(tab, Qt::RightButton, {}, QPoint(tab->cellWidth() + 5, 5));
    QTest::mouseClick(tab, Qt::MiddleButton, {}, QPoint(tab->cellWidth() + 5, 5));
    QCOMPARE(tab->Tab(), 0);
    QVERIFY(other->hasFocus());
}

void tst_SSTab::arrowKeysMoveCurrent()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    QSignalSpy clicks(&tab, &SSTab::Click);
    QTest::keyClick(&tab, Qt::Key_Right);
    QTest::keyClick(&tab, Qt::Key_Right);
    QTest::keyClick(&tab, Qt::Key_Right);
    QCOMPARE(tab.Tab(), 2);
    QTest::keyClick(&tab, Qt::Key_Left);
    QCOMPARE(tab.Tab(), 1);
    QCOMPARE(clicks.count(), 3);
}

void tst_SSTab::paintsChineseCaption()
{
    SSTab tab;
    tab.resize(300, 100);
    tab.setTabCaption(0, u"热门推荐"_s);
    const QImage first = tab.grab().toImage();
    tab.setTabCaption(0, u"单机游戏"_s);
    const QImage second = tab.grab().toImage();
    const QRect cell = tab.cellRect(0).adjusted(2, 2, -2, -2);
    // Missing glyphs would draw the same boxes for both captions.
    QVERIFY(first.copy(cell) != second.copy(cell));
    tab.setTabCaption(0, QString());
    const QImage empty = tab.grab().toImage();
    QVERIFY(first.copy(cell) != empty.copy(cell));
}

void tst_SSTab::accessibleTreeHasOnePagePerTab()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&tab);
    QVERIFY(list);
    QCOMPARE(list->role(), QAccessible::PageTabList);
    QCOMPARE(list->childCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface *page = list->child(i);
        QVERIFY(page);
        QCOMPARE(page->role(), QAccessible::PageTab);
        QCOMPARE(page->text(QAccessible::Name), tab.TabCaption(i));
        QCOMPARE(page->parent(), list);
        QCOMPARE(list->indexOfChild(page), i);
    }
    QVERIFY(!list->child(3));
    QVERIFY(!list->child(-1));
    QCOMPARE(list->child(1), list->child(1));
}

void tst_SSTab::accessibleStateFollowsCurrentAndFocus()
{
    QWidget window;
    auto *tab = new SSTab(&window);
    tab->setGeometry(0, 0, 400, 200);
    fill(*tab, {u"热门推荐"_s, u"网络游戏"_s});
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(tab);
    QVERIFY(list->child(0)->state().selected);
    QVERIFY(!list->child(1)->state().selected);
    tab->setTab(1);
    QVERIFY(!list->child(0)->state().selected);
    QVERIFY(list->child(1)->state().selected);
    QVERIFY(!list->child(1)->state().focused);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    tab->setFocus();
    QTRY_VERIFY(tab->hasFocus());
    QVERIFY(list->child(1)->state().focused);
    QVERIFY(!list->child(0)->state().focused);
    QCOMPARE(list->focusChild(), list->child(1));
}

void tst_SSTab::accessibleRectIsCell()
{
    QWidget window;
    auto *tab = new SSTab(&window);
    tab->setGeometry(10, 20, 400, 200);
    tab->setCellSize(80, 25);
    fill(*tab, {u"热门推荐"_s, u"网络游戏"_s});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(tab);
    const QRect rect = list->child(1)->rect();
    QCOMPARE(rect, QRect(tab->mapToGlobal(QPoint(80, 0)), QSize(80, 25)));
    const QPoint inside = rect.center();
    QCOMPARE(list->childAt(inside.x(), inside.y()), list->child(1));
    const QPoint below = tab->mapToGlobal(QPoint(5, 100));
    QVERIFY(!list->childAt(below.x(), below.y()));
}

void tst_SSTab::accessibleChildrenFollowCount()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s, u"单机游戏"_s});
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&tab);
    QAccessibleInterface *third = list->child(2);
    QVERIFY(third->isValid());
    tab.setTabs(1);
    QCOMPARE(list->childCount(), 1);
    QVERIFY(!third->isValid());
    QVERIFY(!list->child(2));
}

void tst_SSTab::accessiblePressSelects()
{
    SSTab tab;
    fill(tab, {u"热门推荐"_s, u"网络游戏"_s});
    QSignalSpy clicks(&tab, &SSTab::Click);
    QAccessibleInterface *page = QAccessible::queryAccessibleInterface(&tab)->child(1);
    QAccessibleActionInterface *actions = page->actionInterface();
    QVERIFY(actions);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(tab.Tab(), 1);
    QCOMPARE(clicks.count(), 1);
}

void tst_SSTab::thousandsOfTabsStayCheap()
{
    SSTab tab;
    tab.resize(800, 100);
    for (int i = 0; i < 20000; ++i) {
        tab.setTabs(tab.Tabs() + 1);
        tab.setTabCaption(tab.Tabs() - 1, QString::number(i));
    }
    QCOMPARE(tab.children().size(), 0);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&tab);
    QCOMPARE(list->childCount(), 20001);
    QCOMPARE(list->child(20000)->text(QAccessible::Name), u"19999"_s);
    QVERIFY(!tab.grab().isNull());
}

QTEST_MAIN(tst_SSTab)
#include "tst_SSTab.moc"
