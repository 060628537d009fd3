#pragma once

// What the operator windows ask of the main window after they changed the catalogue.
class MainWindowHooks
{
public:
    virtual ~MainWindowHooks() = default;

    // Rebuilds every tab, goes back to the Hot tab and lists the hot games.
    virtual void ReloadForMain() = 0;
    // Refills the game list for the current tab; the tabs stay.
    virtual void REloadMenuSStab() = 0;
    // Rebuilds every tab, for categories that came with new games, and stays on the tab shown.
    virtual void ReloadKeepingTab() { ReloadForMain(); }
};
