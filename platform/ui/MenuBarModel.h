#pragma once
// The menu bar as the page shows it: menus of items, each with its command number, text
// (with '&' marking the mnemonic), enabled and checked state. An item with id 0 is a
// separator. The frame fills it on the UI thread; the web edge reads snapshots from its
// own threads. m_lock guards the menus; the change handler runs with no lock held.
#include "platform/Types.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct tagMENU_ITEM
{
    UINT id = 0;
    std::string text;
    BOOL enabled = TRUE;
    BOOL checked = FALSE;
};

struct tagMENU
{
    std::string text;
    std::vector<tagMENU_ITEM> items;
};

class CMenuBarModel
{
public:
    void SetMenus(std::vector<tagMENU> menus);
    // Sets the state of every item with this command number; FALSE when there is none.
    BOOL SetItemState(UINT id, BOOL enabled, BOOL checked);
    BOOL FindItem(UINT id, tagMENU_ITEM* item) const;
    std::vector<tagMENU> Snapshot() const;
    void SetChangeHandler(std::function<void()> handler);

private:
    void Changed();

    mutable std::mutex m_lock;
    std::vector<tagMENU> m_menus;
    std::function<void()> m_onChange;
};
