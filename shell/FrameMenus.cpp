#include "shell/FrameMenus.h"

namespace
{
// The grouping into menus and their titles are this console's own; the item texts and
// command numbers are those the operator's documentation uses.
const tagFRAME_MENU_ITEM SERVER_ITEMS[] = {
    {ID_ADD_SERVER, "Add &New Server Node", FUR_ALWAYS},
    {ID_DELETE_SERVER, "D&elete Selected Server Node", FUR_SERVER_SELECTED},
    {ID_RENAME, "Rename", FUR_ALWAYS},
    {ID_SET_MAC_ADDRESS, "Set MAC address", FUR_SERVER_SELECTED},
    {0, "", FUR_ALWAYS},
    {ID_CONNECT, "&Connect Current Server", FUR_SELECTED_NOT_CONNECTED},
    {ID_DISCONNECT, "&Disconnect Current Server", FUR_SELECTED_CONNECTED},
    {0, "", FUR_ALWAYS},
    {ID_LOAD_LIST, "&Load Server Node List", FUR_ALWAYS},
    {ID_SAVE_LIST, "&Save Server Node List", FUR_ALWAYS},
};

const tagFRAME_MENU_ITEM SETTINGS_ITEMS[] = {
    {ID_GENERAL_SETTING, "&General Setting", FUR_ALWAYS},
    {0, "", FUR_ALWAYS},
    {ID_DUMP_CONFIGURATION, "D&ump all configuration", FUR_ALWAYS},
    {ID_RESTORE_CONFIGURATION, "&Restore all configuration", FUR_ALWAYS},
};

const tagFRAME_MENU_ITEM VIEW_ITEMS[] = {
    {ID_VIEW_TOOLBAR, "&Toolbar", FUR_CHECK_TOOLBAR},
    {ID_VIEW_STATUS_BAR, "&Status bar", FUR_CHECK_STATUS_BAR},
    {ID_VIEW_PET, "View PET", FUR_CHECK_PET_PANE},
    {ID_VIEW_NAVIGATION, "View Navigation", FUR_CHECK_NAVIGATION},
};

const tagFRAME_MENU_ITEM POWER_ITEMS[] = {
    {ID_POWER_DOWN, "Power &Down", FUR_CONNECTED_POWER_ON_OR_UNKNOWN},
    {ID_POWER_UP, "Power &Up", FUR_CONNECTED_POWER_OFF_OR_UNKNOWN},
    {ID_RESET, "&Reset", FUR_CONNECTED_POWER_ON_OR_UNKNOWN},
    {ID_POWER_CYCLE, "Power &Cycle", FUR_CONNECTED_POWER_ON_OR_UNKNOWN},
    {ID_POWER_ON_LAN, "Power &On Lan", FUR_CONNECTED_POWER_OFF_OR_UNKNOWN},
};

const tagFRAME_MENU_ITEM TOOLS_ITEMS[] = {
    {ID_DELETE_ALL_SEL, "Delete All SEL", FUR_CONNECTED_IPMI},
    {ID_DELETE_ALL_PET, "Delete All PET", FUR_PET_LIST_NOT_EMPTY},
    {0, "", FUR_ALWAYS},
    {ID_PET_DESTINATION_LAN1, "Reset PET Destination (Lan 1)", FUR_ALWAYS},
    {ID_PET_DESTINATION_LAN3, "Reset PET Destination (Lan 3)", FUR_CONNECTED_IPMI_ADMINISTRATOR},
    {ID_RESET_BAUD_RATE, "Reset Baud Rate", FUR_BAUD_RATE},
};

const tagFRAME_MENU_ITEM HELP_ITEMS[] = {
    {ID_HELP_CONTENTS, "Help Contents", FUR_ALWAYS},
    {ID_ABOUT, "&About Tarn", FUR_ALWAYS},
};

template <std::size_t N>
constexpr tagFRAME_MENU Menu(const char* text, const tagFRAME_MENU_ITEM (&items)[N])
{
    return {text, items, N};
}

const tagFRAME_MENU MENUS[] = {
    Menu("&Server", SERVER_ITEMS), Menu("S&ettings", SETTINGS_ITEMS), Menu("&View", VIEW_ITEMS),
    Menu("&Power", POWER_ITEMS),   Menu("&Tools", TOOLS_ITEMS),       Menu("&Help", HELP_ITEMS),
};
} // namespace

const tagFRAME_MENU* FrameMenus(std::size_t* count)
{
    *count = sizeof(MENUS) / sizeof(MENUS[0]);
    return MENUS;
}

const tagFRAME_MENU_ITEM* FindFrameMenuItem(UINT id)
{
    if (id == 0)
        return nullptr;
    for (const auto& menu : MENUS)
        for (std::size_t i = 0; i < menu.count; ++i)
            if (menu.items[i].id == id)
                return &menu.items[i];
    return nullptr;
}
