#include "main_window/ForMainControls.h"

#include "main_window/ForMain.h"
#include "main_window/TabSkinPainter.h"
#include "main_window/WebPane.h"
#include "tab_strip/CSSTab.h"
#include "tab_strip/SSTab.h"
#include "widgets/Twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>

using namespace Qt::StringLiterals;

void ForMainControls::create(ForMain &window)
{
    createSearchRow(window);
    createList(window);
    createNoticeBar(window);
    createPopupMenu(window);
}

// The tab row and the two searches above the list.
void ForMainControls::createSearchRow(ForMain &window)
{
    // Created first so that it lies below the other controls when it covers the client area.
    window.MenuSStab = new SSTab(&window);
    window.MenuSStab->setObjectName(u"MenuSStab"_s);
    window.MenuSStab->setTabCaption(0, QString::fromUtf16(HotCaption));
    window.MenuSStab->setGeometry(Twips::rect(0, 0, 15375, 495));
    QObject::connect(window.MenuSStab, &SSTab::Click, &window, &ForMain::MenuSStab_Click);
    QObject::connect(window.MenuSStab, &SSTab::CurrentTabPressed, &window, &ForMain::MenuSStab_CurrentTabPressed);

    window.SerchText = new QLineEdit(&window);
    window.SerchText->setObjectName(u"SerchText"_s);
    window.SerchText->setAccessibleName(u"搜索"_s);
    window.SerchText->setGeometry(Twips::rect(0, 480, 2535, 375));
    QObject::connect(window.SerchText, &QLineEdit::returnPressed, &window, &ForMain::SerchCommand_Click);

    window.SerchCommand = new QPushButton(u"搜索"_s, &window);
    window.SerchCommand->setObjectName(u"SerchCommand"_s);
    window.SerchCommand->setGeometry(Twips::rect(2520, 480, 855, 375));
    QObject::connect(window.SerchCommand, &QPushButton::clicked, &window, &ForMain::SerchCommand_Click);

    window.TextNetSerch = new QLineEdit(&window);
    window.TextNetSerch->setObjectName(u"TextNetSerch"_s);
    window.TextNetSerch->setAccessibleName(u"百度搜索"_s);
    window.TextNetSerch->setGeometry(Twips::rect(11760, 480, 2535, 375));
    QObject::connect(window.TextNetSerch, &QLineEdit::returnPressed, &window, &ForMain::CommandNetSerch_Click);

    window.CommandNetSerch = new QPushButton(u"百度搜索"_s, &window);
    window.CommandNetSerch->setObjectName(u"CommandNetSerch"_s);
    window.CommandNetSerch->setGeometry(Twips::rect(14280, 480, 855, 375));
    QObject::connect(window.CommandNetSerch, &QPushButton::clicked, &window, &ForMain::CommandNetSerch_Click);
}

// The game list, and the web pane that shows in its place.
void ForMainControls::createList(ForMain &window)
{
    window.GameList = new QListView(&window);
    window.GameList->setObjectName(u"GameList"_s);
    window.GameList->setAccessibleName(u"游戏列表"_s);
    window.GameList->setGeometry(Twips::rect(0, 960, 15135, 8535));
    window.GameList->setViewMode(QListView::IconMode);
    window.GameList->setMovement(QListView::Static);
    window.GameList->setResizeMode(QListView::Adjust);
    window.GameList->setUniformItemSizes(true);
    window.GameList->setIconSize(QSize(33, 33));
    window.GameList->setGridSize(QSize(96, 74));
    window.GameList->setSpacing(2);
    window.GameList->setWordWrap(true);
    window.GameList->setTextElideMode(Qt::ElideRight);
    window.GameList->setSelectionMode(QAbstractItemView::SingleSelection);
    window.GameList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    window.GameList->setLayoutMode(QListView::Batched);
    window.GameList->setBatchSize(500);
    QObject::connect(window.GameList, &QListView::doubleClicked, &window, &ForMain::GameList_DblClick);
    window.GameList->installEventFilter(&window);
    window.GameList->viewport()->installEventFilter(&window);

    window.WebBrowserQN = new WebPane(&window);
    window.WebBrowserQN->setObjectName(u"WebBrowserQN"_s);
    window.WebBrowserQN->setGeometry(window.GameList->geometry());
    window.WebBrowserQN->hide();
}

// The notice line and the link to the about page below the list.
void ForMainControls::createNoticeBar(ForMain &window)
{
    window.Picture1 = new QWidget(&window);
    window.Picture1->setObjectName(u"Picture1"_s);
    window.Picture1->setGeometry(Twips::rect(0, 9480, 15135, 615));

    window.LabelGG = new QLabel(QString::fromUtf16(Notice), window.Picture1);
    window.LabelGG->setObjectName(u"LabelGG"_s);
    window.LabelGG->setGeometry(Twips::rect(120, 240, 11535, 255));

    window.LabelAbout = new QLabel(u"沐岚网络"_s, window.Picture1);
    window.LabelAbout->setObjectName(u"LabelAbout"_s);
    window.LabelAbout->setGeometry(Twips::rect(14280, 240, 855, 255));
    QFont aboutFont(u"宋体"_s);
    aboutFont.setPointSize(9);
    aboutFont.setUnderline(true);
    window.LabelAbout->setFont(aboutFont);
    window.LabelAbout->setCursor(Qt::PointingHandCursor);
    // Reachable by keyboard too: Tab gives it focus, Enter or Space opens the page.
    window.LabelAbout->setFocusPolicy(Qt::TabFocus);
    window.LabelAbout->installEventFilter(&window);
    // The web helper starts while the player types or points, not with the menu
    window.WebBrowserQN->startOnIntent(window.TextNetSerch);
    window.WebBrowserQN->startOnIntent(window.LabelAbout);
}

// The list's right-click menu.
void ForMainControls::createPopupMenu(ForMain &window)
{
    window.Caidan = new QMenu(u"菜单"_s, &window);
    window.Caidan->setObjectName(u"Caidan"_s);
    const struct
    {
        const char16_t *name;
        const char16_t *caption;
        void (ForMain::*handler)();
    } items[] = {
        {u"Lijiyunxing", u"立即运行", &ForMain::Lijiyunxing_Click},
        {u"Mululiulan", u"目录浏览", &ForMain::Mululiulan_Click},
        {u"Xiangguansousuo", u"相关搜索", &ForMain::Xiangguansousuo_Click},
        {u"TianJiaYouXi", u"添加游戏", &ForMain::TianJiaYouXi_Click},
        {u"FenLeiGuanLi", u"游戏管理", &ForMain::FenLeiGuanLi_Click},
    };
    for (const auto &item : items) {
        QAction *action = window.Caidan->addAction(QString::fromUtf16(item.caption));
        action->setObjectName(QString::fromUtf16(item.name));
        QObject::connect(action, &QAction::triggered, &window, item.handler);
    }
}

void ForMainControls::addRoomConsoleItem(ForMain &window)
{
    QAction *console = window.Caidan->addAction(u"机房状态"_s);
    console->setObjectName(u"JiFangZhuangTai"_s);
    QObject::connect(console, &QAction::triggered, &window, &ForMain::JiFangZhuangTai_Click);
}

void ForMainControls::attachTabStrip(ForMain &window)
{
    window.c_SSTab = std::make_unique<CSSTab>();
    CSSTab *strip = window.c_SSTab.get();
    auto *painter = new TabSkinPainter(window.MenuSStab, strip, window.SkinSurface, &window);
    // Attach already raises both events, so the painter listens first.
    QObject::connect(strip, &CSSTab::DrawBackGround, painter, &TabSkinPainter::DrawBackGround);
    QObject::connect(strip, &CSSTab::DrawTab, painter, &TabSkinPainter::DrawTab);
    strip->setTabWidth(70);
    strip->setTabHeight(30);
    strip->Attach(window.MenuSStab);
}
