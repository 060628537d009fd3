#include "main_window/FormLayout.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_FormLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void recordsEveryControl();
    void foreignRecordsGiveSaneRectangles();
    void twiceAsWideDoublesLeftsAndWidths();
    void tabControlCoversClientArea();
    void minimiseThenRestore();
    void manyResizesReturnToLoadLayout();
    void containerChildrenScaleWithinIt();
    void missingFieldsCountZero();
    void zeroInitialSizeFails();
    void insidesOfControlsAreLeftAlone();

private:
    QHash<QWidget *, QRect> layout() const;

    QWidget *m_form = nullptr;
    QWidget *m_tab = nullptr;
    QListWidget *m_list = nullptr;
    QFrame *m_bar = nullptr;
    QLabel *m_left = nullptr;
    QLabel *m_right = nullptr;
    FormLayout m_layout;
};

void tst_FormLayout::init()
{
    m_form = new QWidget;
    m_form->resize(1011, 672);
    m_tab = new QWidget(m_form);
    m_tab->setObjectName(u"MenuSStab"_s);
    m_tab->setGeometry(0, 0, 1025, 33);
    m_list = new QListWidget(m_form);
    m_list->setObjectName(u"GameList"_s);
    m_list->setGeometry(8, 37, 995, 593);
    m_bar = new QFrame(m_form);
    m_bar->setObjectName(u"Picture1"_s);
    m_bar->setGeometry(0, 641, 1011, 31);
    m_left = new QLabel(u"标签"_s, m_bar);
    m_left->setObjectName(u"Label1"_s);
    m_left->setGeometry(7, 5, 121, 20);
    m_right = new QLabel(u"关于"_s, m_bar);
    m_right->setObjectName(u"Label2"_s);
    m_right->setGeometry(883, 5, 117, 20);
    m_layout = FormLayout();
    m_layout.ResizeInit(m_form);
}

void tst_FormLayout::cleanup()
{
    delete m_form;
}

QHash<QWidget *, QRect> tst_FormLayout::layout() const
{
    return {{m_tab, m_tab->geometry()},
            {m_list, m_list->geometry()},
            {m_bar, m_bar->geometry()},
            {m_left, m_left->geometry()},
            {m_right, m_right->geometry()}};
}

void tst_FormLayout::recordsEveryControl()
{
    QCOMPARE(m_layout.InitialScaleWidth(), 1011);
    QCOMPARE(m_layout.InitialScaleHeight(), 672);
    QCOMPARE(m_list->property("Tag").toString(), u"8 37 995 593 "_s);
    QCOMPARE(m_left->property("Tag").toString(), u"7 5 121 20 "_s);
    QCOMPARE(FormLayout::Controls(m_form), QList<QWidget *>({m_tab, m_list, m_bar, m_left, m_right}));
    QCOMPARE(FormLayout::ReadRecord(u"120 480 9000 6000 "_s), QList<double>({120, 480, 9000, 6000}));
}

void tst_FormLayout::foreignRecordsGiveSaneRectangles()
{
    QCOMPARE(FormLayout::ScaledRect(u"12 3"_s, 2, 2), QRect(24, 0, 0, 0)); // a field without its space reads 0
    QCOMPARE(FormLayout::ScaledRect(u"10 20 -30 40 "_s, 2, 0.5), QRect(20, 10, 0, 20));
    QCOMPARE(FormLayout::ScaledRect(u"1e308 1 1 1 "_s, 2, 1).left(), 0); // overflows to infinity
    const QRect huge = FormLayout::ScaledRect(u"1e308 -1e308 nan inf "_s, 1, 1);
    QCOMPARE(huge.left(), QWIDGETSIZE_MAX);
    QCOMPARE(huge.top(), -QWIDGETSIZE_MAX);
    QCOMPARE(huge.width(), 0);
    QCOMPARE(huge.height(), 0);
}

void tst_FormLayout::twiceAsWideDoublesLeftsAndWidths()
{
    const auto before = layout();
    m_form->resize(2022, 672);
    QVERIFY(m_layout.ResizeForm(m_form));
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QRect now = it.key()->geometry();
        QCOMPARE(now.left(), it->left() * 2);
        QCOMPARE(now.width(), it->width() * 2);
        QCOMPARE(now.top(), it->top());
        QCOMPARE(now.height(), it->height());
    }
}

void tst_FormLayout::tabControlCoversClientArea()
{
    m_form->resize(2022, 700);
    m_layout.Form_Resize(m_form, m_tab);
    QCOMPARE(m_tab->geometry(), QRect(0, 0, 2022, 700));
    QCOMPARE(m_list->geometry().left(), 16);
    m_form->resize(1011, 672);
    m_layout.Form_Resize(m_form, m_tab);
    QCOMPARE(m_tab->geometry(), QRect(0, 0, 1011, 672));
}

void tst_FormLayout::minimiseThenRestore()
{
    m_layout.Form_Resize(m_form, m_tab);
    const auto loaded = layout();
    m_form->setWindowState(Qt::WindowMinimized);
    m_layout.Form_Resize(m_form, m_tab);
    QCOMPARE(m_list->geometry(), QRect(0, 0, 0, 0));
    QCOMPARE(m_left->geometry(), QRect(0, 0, 0, 0));
    // Minimised: the tab control is scaled away too and not stretched back.
    QCOMPARE(m_tab->geometry().size(), QSize(0, 0));
    m_form->setWindowState(Qt::WindowNoState);
    m_layout.Form_Resize(m_form, m_tab);
    QCOMPARE(layout(), loaded);
}

void tst_FormLayout::manyResizesReturnToLoadLayout()
{
    m_layout.Form_Resize(m_form, m_tab);
    const auto loaded = layout();
    const QList<QSize> sizes = {{1333, 777}, {640, 480}, {1017, 671}, {3001, 1999}, {1, 1}, {1010, 673}};
    for (const QSize &size : sizes) {
        m_form->resize(size);
        m_layout.Form_Resize(m_form, m_tab);
    }
    m_form->resize(1011, 672);
    m_layout.Form_Resize(m_form, m_tab);
    QCOMPARE(layout(), loaded);
}

void tst_FormLayout::containerChildrenScaleWithinIt()
{
    m_form->resize(2022, 1344);
    m_layout.ResizeForm(m_form);
    QCOMPARE(m_bar->geometry(), QRect(0, 1282, 2022, 62));
    QCOMPARE(m_left->geometry(), QRect(14, 10, 242, 40));
    QCOMPARE(m_right->geometry(), QRect(1766, 10, 234, 40));
    QCOMPARE(m_right->parentWidget(), m_bar);
    m_form->resize(3033, 336);
    m_layout.ResizeForm(m_form);
    QCOMPARE(m_right->geometry(), QRect(2649, 3, 351, 10));
}

void tst_FormLayout::missingFieldsCountZero()
{
    m_left->setProperty("Tag", u"10 20 "_s);
    m_right->setProperty("Tag", u"30 40 50 60"_s);
    m_form->resize(2022, 672);
    m_layout.ResizeForm(m_form);
    QCOMPARE(m_left->geometry(), QRect(20, 20, 0, 0));
    QCOMPARE(m_right->geometry(), QRect(60, 40, 100, 0));
}

void tst_FormLayout::zeroInitialSizeFails()
{
    QWidget form;
    form.resize(0, 100);
    auto *child = new QLabel(&form);
    child->setGeometry(1, 2, 3, 4);
    FormLayout zero;
    zero.ResizeInit(&form);
    form.resize(200, 100);
    QVERIFY(!zero.ResizeForm(&form));
    QCOMPARE(child->geometry(), QRect(1, 2, 3, 4));
}

void tst_FormLayout::insidesOfControlsAreLeftAlone()
{
    QWidget *viewport = m_list->viewport();
    QVERIFY(!FormLayout::Controls(m_form).contains(viewport));
    QVERIFY(!viewport->property("Tag").isValid());
    // Widgets made after the record keep their place.
    auto *late = new QLabel(m_form);
    late->setGeometry(5, 6, 7, 8);
    m_form->resize(2022, 672);
    m_layout.ResizeForm(m_form);
    QCOMPARE(late->geometry(), QRect(5, 6, 7, 8));
}

QTEST_MAIN(tst_FormLayout)
#include "tst_FormLayout.moc"
