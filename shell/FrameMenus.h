#pragma once
// The frame's main menu (menu 201): the menus, their items with command numbers and texts
// as the operator sees them ('&' marks the mnemonic), and the rule each item's update
// handler applies. A table only: the frame evaluates the rules. Immutable, any thread.
#include "platform/Types.h"

#include <cstddef>

enum FRAME_UPDATE_RULE
{
    FUR_ALWAYS,
    FUR_SERVER_SELECTED,
    FUR_SELECTED_NOT_CONNECTED,
    FUR_SELECTED_CONNECTED,
    FUR_CONNECTED_POWER_ON_OR_UNKNOWN,  // power states 1 or 2
    FUR_CONNECTED_POWER_OFF_OR_UNKNOWN, // power states 0 or 2
    FUR_CONNECTED_IPMI,
    FUR_PET_LIST_NOT_EMPTY,
    FUR_CONNECTED_IPMI_ADMINISTRATOR,
    FUR_BAUD_RATE,
    FUR_CHECK_TOOLBAR,
    FUR_CHECK_STATUS_BAR,
    FUR_CHECK_PET_PANE,
    FUR_CHECK_NAVIGATION,
};

struct tagFRAME_MENU_ITEM
{
    UINT id; // 0 = separator
    const char* text;
    FRAME_UPDATE_RULE rule;
};

struct tagFRAME_MENU
{
    const char* text;
    const tagFRAME_MENU_ITEM* items;
    std::size_t count;
};

constexpr UINT ID_ADD_SERVER = 32801;
constexpr UINT ID_DELETE_SERVER = 42805;
constexpr UINT ID_CONNECT = 32781;
constexpr UINT ID_DISCONNECT = 32782;
constexpr UINT ID_LOAD_LIST = 32812;
constexpr UINT ID_SAVE_LIST = 32811;
constexpr UINT ID_GENERAL_SETTING = 42798;
constexpr UINT ID_DUMP_CONFIGURATION = 32810;
constexpr UINT ID_RESTORE_CONFIGURATION = 32813;
constexpr UINT ID_VIEW_TOOLBAR = 42799;
constexpr UINT ID_VIEW_STATUS_BAR = 32802;
constexpr UINT ID_VIEW_PET = 32779;
constexpr UINT ID_VIEW_NAVIGATION = 32780;
constexpr UINT ID_POWER_DOWN = 32806;
constexpr UINT ID_POWER_UP = 32807;
constexpr UINT ID_RESET = 32809;
constexpr UINT ID_POWER_CYCLE = 32814;
constexpr UINT ID_POWER_ON_LAN = 32816;
constexpr UINT ID_DELETE_ALL_SEL = 32783;
constexpr UINT ID_DELETE_ALL_PET = 32785;
constexpr UINT ID_PET_DESTINATION_LAN1 = 32817;
constexpr UINT ID_PET_DESTINATION_LAN3 = 32795;
constexpr UINT ID_RESET_BAUD_RATE = 32804;
constexpr UINT ID_SET_MAC_ADDRESS = 32815;
constexpr UINT ID_HELP_CONTENTS = 32788;
constexpr UINT ID_ABOUT = 32794;
constexpr UINT ID_RENAME = 32789;

// The status bar's indicator panes after the message pane.
constexpr UINT ID_PANE_CONNECTION = 101;
constexpr UINT ID_PANE_CONNECTION_TIME = 102;

const tagFRAME_MENU* FrameMenus(std::size_t* count);
// The item of the main menu with this command number, or null.
const tagFRAME_MENU_ITEM* FindFrameMenuItem(UINT id);
