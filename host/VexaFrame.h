#pragma once
// CVexaFrame: the console's single frame window as the page host runs it. It owns the
// document (the server list, servers made by the factory below), the navigation tree model,
// the settings loaded at construction, and routes every operator command to the current
// server: connect and disconnect, the power commands, wake-on-LAN, the event-log clear, the
// MAC address, the list commands (add, delete, rename, save, load), settings, dump and
// restore, help, about and the view toggles. It keeps the status bar's panes 101 and 102
// current on every idle update and takes the private messages of the server threads.
// Runs on the UI thread; m_lock guards what the web edge reads (diagnostics, progress, the
// help-window request, the connection times).
#include "host/AsfAdapter.h"
#include "host/LeftView.h"
#include "host/VexaView.h"
#include "platform/Registry.h"
#include "platform/ui/DialogService.h"
#include "platform/ui/MenuBarModel.h"
#include "platform/ui/StatusBarModel.h"
#include "platform/ui/UIThread.h"
#include "shell/CredentialStore.h"
#include "shell/Settings.h"
#include "shell/VexaDoc.h"

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

// Hidden diagnostic commands (not in any menu).
constexpr UINT ID_DIAGNOSTIC_MESSAGE_BOX = 40001;
constexpr UINT ID_DIAGNOSTIC_DIALOG = 40002;

// Toolbar commands.
constexpr UINT ID_GO_UP = 32778;
constexpr UINT ID_SHOW_UUID = 32770;
constexpr UINT ID_SHOW_NAME = 32774;
constexpr UINT ID_SHOW_IP = 32776;

constexpr UINT WM_CREATE = 0x0001;
// Private messages of the frame.
constexpr UINT WM_FRAME_SDR_LOADED = 0x4C8;  // lParam: server tag
constexpr UINT WM_FRAME_PROGRESS = 0x4C9;    // wParam 1 begin (lParam steps), 2 step, 3 end,
                                             // 4 status text (lParam: owned text)
constexpr UINT WM_FRAME_SEL_FETCHED = 0x593; // wParam 1/0, lParam: server tag
constexpr UINT WM_FRAME_GET_DOC = 0x595;     // returns the CVexaDoc*
constexpr UINT WM_FRAME_ADD_SERVER = 0x598;  // wParam: owned tagSERVER_RECORD*, with probing
constexpr UINT WM_FRAME_UPDATE_NODE = 0x599; // wParam: server tag, lParam: node state
constexpr UINT WM_FRAME_REDRAW_TERMINAL = 0x59A;
constexpr UINT WM_FRAME_READINGS = 0x59B;    // wParam: server (sent)
constexpr UINT WM_FRAME_ADD_PRESET = 0x59F;  // wParam: owned tagSERVER_RECORD*, lParam 1 connect
constexpr UINT WM_FRAME_SELECT_NODE = 0x5A0; // wParam: node value (the page's click)
constexpr UINT WM_FRAME_VIEW_ACTION = 0x5A1; // wParam: owned tagVIEW_ACTION* (the page's)

constexpr UINT_PTR FRAME_TIMER_MESSAGE_RESET = 1;
constexpr UINT FRAME_TIMER_MESSAGE_RESET_MS = 10000;
constexpr UINT_PTR FRAME_TIMER_DISCONNECT_RETRY = 0x100; // + server tag
constexpr UINT FRAME_DISCONNECT_RETRY_MS = 2000;
constexpr int FRAME_DISCONNECT_RETRIES = 3;

// String 57345: the message pane's idle text.
extern const char* const FRAME_IDLE_MESSAGE;
constexpr const char* MANUAL_WINDOW_TITLE = "Vexa Remote Console Manual";
constexpr const char* MANUAL_WINDOW_NAME = "vexa-manual";
constexpr const char* MANUAL_URL = "/manual.html";

struct tagDIAGNOSTICS
{
    unsigned boxes = 0;
    std::string boxAnswer; // button text of the last diagnostic box, empty before one
    unsigned dialogs = 0;
    std::string dialogAnswer;
    std::map<std::string, std::string> dialogValues; // control id -> value after the answer
};

struct tagPROGRESS
{
    BOOL visible = FALSE;
    int range = 0;
    int position = 0;
};

// A request to the page to open (or raise) a named window; seq grows with every request.
struct tagWINDOW_REQUEST
{
    unsigned seq = 0;
    std::string name;
    std::string url;
    std::string title;
};

// A server as the page lists it.
struct tagSERVER_VIEW
{
    BYTE tag = 255;
    std::string name;
    std::string ip;
    BOOL ipmi = FALSE;
    BOOL connected = FALSE;
    int power = 2;
    std::string guid;
};

// An action of the page on the content view.
enum class VIEW_ACTION
{
    OPEN,     // double-click on row
    SORT,     // header click on column
    EDIT,     // keystroke in the editor of row: text
    EDIT_END, // the edit of row ended: text
    MORE,     // the "More" button
    SHEET_SPIN,
    SHEET_OK,
    SHEET_CANCEL,
};

struct tagVIEW_ACTION
{
    VIEW_ACTION action = VIEW_ACTION::OPEN;
    DWORD node = 0; // the node the page showed; the action is dropped when another is shown
    bool hasNode = false;
    int row = 0;
    int column = 0;
    std::string text;
    int index = 0;
    int position = 0;
};

// What the frame is built with besides the models it draws into.
struct tagFRAME_ENV
{
    CRegistry* registry = nullptr;           // the process registry; required
    CCredentialStore* credentials = nullptr; // ASF credentials; required for ASF connects
    WORD rmcpPort = 623;                     // IPMI LAN, RMCP presence ping, ASF RMCP
    WORD rspPort = 664;                      // ASF secure session
    WORD wakeOnLanPort = 2304;
    std::string startFolder = "/"; // where the folder chooser opens
    // Presence ping: 1 IPMI, 0 ASF, -1 no pong. Defaults to ProbeServerKind.
    std::function<int(DWORD address)> probe;
    // Local time now; tests fix it.
    std::function<std::time_t()> now;
};

class CVexaFrame final : public CWindow
{
public:
    CVexaFrame(CMenuBarModel& menus, CStatusBarModel& status, CDialogService& dialogs);
    ~CVexaFrame() override;

    // Loads the settings, makes the document, registers the frame with the UI thread and
    // initialises it there.
    BOOL Create(CUIThread& ui, const tagFRAME_ENV& env);
    // Destroys the document (every server disconnects) on the UI thread's side; call after
    // the UI thread stopped.
    void Destroy();
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Snapshots for the web edge (any thread).
    tagDIAGNOSTICS Diagnostics() const;
    tagPROGRESS Progress() const;
    tagWINDOW_REQUEST WindowRequest() const;
    std::vector<tagSERVER_VIEW> Servers() const;
    tagTREE_NODE Tree() const { return m_tree.Snapshot(); }
    const CLeftView& TreeModel() const { return m_tree; }
    tagVIEW_STATE View() const { return m_view.Snapshot(); }
    void SetChangeHandler(std::function<void()> handler);

    CVexaDoc* Document() { return m_doc.get(); }
    const tagSETTINGS& Settings() const { return m_settings; }

private:
    std::unique_ptr<CServer> MakeServer(const tagSERVER_RECORD& record);
    tagSERVER_NODE_INFO NodeInfo(BYTE tag);
    void UpdateNode(BYTE tag, int state);

    void OnCreate();
    void OnIdleUpdate();
    void OnCommand(UINT id);
    void OnTimer(UINT_PTR id);
    void PollAsfServers();
    void OnSdrLoaded(BYTE tag);
    void OnSelFetched(BYTE tag);
    void OnProgress(WPARAM what, LPARAM value);

    // The tree's AddServerNode: probe (unless from the store), the duplicate question,
    // AddServer, the tree nodes.
    BOOL AddServerNode(tagSERVER_RECORD record, BOOL fromStore);
    // States 0 and 7 of the tree from the server's data.
    void BuildSections(BYTE tag);
    void UpdateHealth(BYTE tag);
    tagVIEW_SOURCES ViewSources(DWORD node);
    void OnViewAction(const tagVIEW_ACTION& action);
    void OpenViewRow(int row);
    void RefreshViewOf(BYTE tag);
    void SelectNode(DWORD value);
    void SelectionChanged();

    void OnAddServer();
    void OnDeleteServer();
    void OnRename();
    void OnSaveList();
    void OnLoadList();
    void OnConnect();
    void ConnectIpmi(CServer& server);
    void ConnectAsf(CServer& server);
    void OnDisconnect(CServer* server);
    void OnPower(UINT id);
    void OnPowerOnLan();
    void OnDeleteAllSel();
    void OnSetMacAddress();
    void OnSettings();
    void OnDump();
    void OnRestore();
    BOOL ChooseFolder(std::string* folder);
    void OnHelp();
    void OnAbout();
    void RunDiagnosticBox();
    void RunDiagnosticDialog();

    void MarkConnected(BYTE tag, BOOL connected);
    std::string ConnectionTimeText(BYTE tag);
    void Changed();

    CMenuBarModel& m_menus;
    CStatusBarModel& m_status;
    CDialogService& m_dialogs;
    tagFRAME_ENV m_env;
    tagSETTINGS m_settings;
    CLeftView m_tree;
    CVexaView m_view;
    std::unique_ptr<CWindowMessageSink> m_sink;
    std::unique_ptr<CVexaDoc> m_doc;
    BOOL m_toolbarVisible = TRUE;
    BOOL m_statusBarVisible = TRUE;
    BOOL m_petPaneVisible = TRUE;
    BOOL m_navigationVisible = TRUE;
    std::map<BYTE, int> m_disconnectRetries;   // tag -> attempts left (UI thread)
    std::map<BYTE, std::time_t> m_lastAsfPoll; // tag -> time of the last state poll (UI thread)

    mutable std::mutex m_lock;
    tagDIAGNOSTICS m_diagnostics;
    tagPROGRESS m_progress;
    tagWINDOW_REQUEST m_window;
    std::map<BYTE, std::time_t> m_connectedAt; // tag -> local connection time
    std::function<void()> m_onChange;
};
