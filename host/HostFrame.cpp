#include "host/HostFrame.h"

#include "shell/FrameMenus.h"

const char* const FRAME_IDLE_MESSAGE = "Ready";

namespace
{
std::vector<tagMENU> MenusFromTable()
{
    std::size_t count = 0;
    const tagFRAME_MENU* table = FrameMenus(&count);
    std::vector<tagMENU> menus;
    for (std::size_t m = 0; m < count; ++m)
    {
        tagMENU menu;
        menu.text = table[m].text;
        for (std::size_t i = 0; i < table[m].count; ++i)
        {
            const tagFRAME_MENU_ITEM& item = table[m].items[i];
            menu.items.push_back({item.id, item.text, item.id != 0, FALSE});
        }
        menus.push_back(std::move(menu));
    }
    return menus;
}
} // namespace

CHostFrame::CHostFrame(CMenuBarModel& menus, CStatusBarModel& status, CDialogService& dialogs)
    : m_menus(menus), m_status(status), m_dialogs(dialogs)
{
}

BOOL CHostFrame::Create(CUIThread& ui)
{
    if (ui.CreateWindow(*this) == NULL_HWND)
        return FALSE;
    SendMessage(WM_CREATE);
    return TRUE;
}

LRESULT CHostFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_IDLEUPDATECMDUI:
        OnIdleUpdate();
        return 0;
    case WM_TIMER:
        if (wParam == FRAME_TIMER_MESSAGE_RESET)
            m_status.SetMessage(FRAME_IDLE_MESSAGE);
        return 0;
    case WM_SETMESSAGESTRING:
        // lParam is the sender's text, valid for the duration of the call.
        m_status.SetMessage(lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
        return 0;
    case WM_FRAME_PROGRESS:
        if (wParam == 4)
            m_status.SetMessage(lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    default:
        return 0;
    }
}

void CHostFrame::OnCreate()
{
    m_menus.SetMenus(MenusFromTable());
    m_status.SetMessage(FRAME_IDLE_MESSAGE);
    GetUIThread()->SetTimer(GetSafeHwnd(), FRAME_TIMER_MESSAGE_RESET, FRAME_TIMER_MESSAGE_RESET_MS);
    OnIdleUpdate();
}

void CHostFrame::OnIdleUpdate()
{
    // No server list exists yet, so no server is ever selected: every rule that needs one
    // disables its command, as the update handlers do with an empty tree.
    const BOOL serverSelected = FALSE;
    std::size_t count = 0;
    const tagFRAME_MENU* table = FrameMenus(&count);
    for (std::size_t m = 0; m < count; ++m)
    {
        for (std::size_t i = 0; i < table[m].count; ++i)
        {
            const tagFRAME_MENU_ITEM& item = table[m].items[i];
            if (item.id == 0)
                continue;
            BOOL enabled = TRUE;
            BOOL checked = FALSE;
            switch (item.rule)
            {
            case FUR_ALWAYS:
                break;
            case FUR_CHECK_TOOLBAR:
                checked = m_toolbarVisible;
                break;
            case FUR_CHECK_STATUS_BAR:
                checked = m_statusBarVisible;
                break;
            case FUR_CHECK_PET_PANE:
                checked = m_petPaneVisible;
                break;
            case FUR_CHECK_NAVIGATION:
                checked = m_navigationVisible;
                break;
            case FUR_PET_LIST_NOT_EMPTY:
                enabled = FALSE;
                break;
            default:
                enabled = serverSelected;
                break;
            }
            m_menus.SetItemState(item.id, enabled, checked);
        }
    }
    m_status.SetPaneText(ID_PANE_CONNECTION, "No Server Selected!");
    m_status.SetPaneText(ID_PANE_CONNECTION_TIME, "00:00:00");
    m_status.SetVisible(m_statusBarVisible);
}

void CHostFrame::OnCommand(UINT id)
{
    switch (id)
    {
    case ID_VIEW_TOOLBAR:
        m_toolbarVisible = !m_toolbarVisible;
        break;
    case ID_VIEW_STATUS_BAR:
        m_statusBarVisible = !m_statusBarVisible;
        break;
    case ID_VIEW_PET:
        m_petPaneVisible = !m_petPaneVisible;
        break;
    case ID_VIEW_NAVIGATION:
        m_navigationVisible = !m_navigationVisible;
        break;
    case ID_DIAGNOSTIC_MESSAGE_BOX:
        RunDiagnosticBox();
        return;
    case ID_DIAGNOSTIC_DIALOG:
        RunDiagnosticDialog();
        return;
    default:
        return;
    }
    OnIdleUpdate();
}

void CHostFrame::RunDiagnosticBox()
{
    const int answer = m_dialogs.MessageBox(
        "This box was raised by the diagnostic command.\nChoose a button to answer it.",
        "Diagnostics", MB_OKCANCEL | MB_ICONINFORMATION);
    const std::string text = answer == IDOK ? "OK" : "Cancel";
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_diagnostics.boxes;
        m_diagnostics.boxAnswer = text;
    }
    m_status.SetMessage("Diagnostic message box answered: " + text);
    Changed();
}

void CHostFrame::RunDiagnosticDialog()
{
    tagDIALOG dialog;
    dialog.title = "Diagnostic dialog";
    dialog.text = "Every kind of control the console's dialogs use.";
    dialog.controls = {
        {1, DLG_CONTROL_KIND::EDIT, "&Name:", "adm", {}, 16, 0, 0, false, false},
        {2, DLG_CONTROL_KIND::EDIT, "&Password:", "", {}, 16, 0, 0, true, false},
        {3,
         DLG_CONTROL_KIND::DROPDOWN,
         "&Algorithm:",
         "HMAC-SHA1",
         {"HMAC-SHA1", "HMAC-MD5"},
         0,
         0,
         0,
         false,
         false},
        {4, DLG_CONTROL_KIND::CHECKBOX, "&Encrypt payload", "0", {}, 0, 0, 0, false, false},
        {5, DLG_CONTROL_KIND::RADIO, "&Mode", "BIOS", {"BIOS", "BMC"}, 0, 0, 0, false, false},
        {6, DLG_CONTROL_KIND::SPIN, "&Interval (s):", "10", {}, 0, 1, 300, false, false},
    };
    dialog.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    const int answer = m_dialogs.DoModal(dialog);
    const std::string text = answer == IDOK ? "OK" : "Cancel";
    std::map<std::string, std::string> values;
    for (const auto& c : dialog.controls)
        values[std::to_string(c.id)] = c.value;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_diagnostics.dialogs;
        m_diagnostics.dialogAnswer = text;
        m_diagnostics.dialogValues = values;
    }
    m_status.SetMessage("Diagnostic dialog answered: " + text);
    Changed();
}

tagDIAGNOSTICS CHostFrame::Diagnostics() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_diagnostics;
}

void CHostFrame::SetChangeHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_onChange = std::move(handler);
}

void CHostFrame::Changed()
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        handler = m_onChange;
    }
    if (handler)
        handler();
}
