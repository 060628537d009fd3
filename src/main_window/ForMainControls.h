#pragma once

class ForMain;

// The main window's controls at their places on the design grid, each connected to its handler.
class ForMainControls
{
public:
    static constexpr char16_t HotCaption[] = u"热门推荐";
    static constexpr char16_t Notice[] = u"公告：感谢您使用本聚游台系统，您可以使用查找方式快速找到您要运行的游戏！";

    // The game list is left without its model.
    static void create(ForMain &window);
    // Café mode: the popup's sixth item, the room console.
    static void addRoomConsoleItem(ForMain &window);
    // The tab strip's controller, painted with the skin picture once that is loaded.
    static void attachTabStrip(ForMain &window);

private:
    static void createSearchRow(ForMain &window);
    static void createList(ForMain &window);
    static void createNoticeBar(ForMain &window);
    static void createPopupMenu(ForMain &window);
};
