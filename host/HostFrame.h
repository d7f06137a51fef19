#pragma once
// The console's frame window as the page host runs it until the shell's own frame takes
// over: it owns nothing but its view flags, fills the menu bar from the frame's command
// table, keeps the status bar's message pane and panes 101/102 current on every idle
// update, resets the message pane every 10 s, and runs two diagnostic commands that show a
// message box and a dialog on the UI thread. Every other command does nothing yet.
// Runs on the UI thread; m_lock guards only the diagnostic results read by the web edge.
#include "platform/ui/DialogService.h"
#include "platform/ui/MenuBarModel.h"
#include "platform/ui/StatusBarModel.h"
#include "platform/ui/UIThread.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>

// Hidden diagnostic commands (not in any menu).
constexpr UINT ID_DIAGNOSTIC_MESSAGE_BOX = 40001;
constexpr UINT ID_DIAGNOSTIC_DIALOG = 40002;

constexpr UINT WM_CREATE = 0x0001;
// Frame message: progress and status text (wParam 4 sets the status text from lParam).
constexpr UINT WM_FRAME_PROGRESS = 0x4C9;
constexpr UINT_PTR FRAME_TIMER_MESSAGE_RESET = 1;
constexpr UINT FRAME_TIMER_MESSAGE_RESET_MS = 10000;

extern const char* const FRAME_IDLE_MESSAGE;

struct tagDIAGNOSTICS
{
    unsigned boxes = 0;
    std::string boxAnswer; // button text of the last diagnostic box, empty before one
    unsigned dialogs = 0;
    std::string dialogAnswer;
    std::map<std::string, std::string> dialogValues; // control id -> value after the answer
};

class CHostFrame final : public CWindow
{
public:
    CHostFrame(CMenuBarModel& menus, CStatusBarModel& status, CDialogService& dialogs);

    // Registers the frame with the UI thread and initialises it there.
    BOOL Create(CUIThread& ui);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    tagDIAGNOSTICS Diagnostics() const;
    void SetChangeHandler(std::function<void()> handler);

private:
    void OnCreate();
    void OnIdleUpdate();
    void OnCommand(UINT id);
    void RunDiagnosticBox();
    void RunDiagnosticDialog();
    void Changed();

    CMenuBarModel& m_menus;
    CStatusBarModel& m_status;
    CDialogService& m_dialogs;
    BOOL m_toolbarVisible = TRUE;
    BOOL m_statusBarVisible = TRUE;
    BOOL m_petPaneVisible = TRUE;
    BOOL m_navigationVisible = TRUE;

    mutable std::mutex m_lock;
    tagDIAGNOSTICS m_diagnostics;
    std::function<void()> m_onChange;
};
