#include "host/VexaFrame.h"

#include "asf/ASFSession.h"
#include "host/FrameRules.h"
#include "platform/DatagramSocket.h"
#include "servers/IPMIServer.h"
#include "servers/views/SensorHealth.h"
#include "shell/ConfigDump.h"
#include "shell/FrameMenus.h"
#include "shell/ServerListStore.h"
#include "transport/CommandTable.h"
#include "transport/TransportTypes.h"

#include <chrono>
#include <cstdio>

const char* const FRAME_IDLE_MESSAGE = "Ready";

namespace
{
constexpr UINT MB_ICONEXCLAMATION = MB_ICONWARNING;
constexpr int ID_SAVE_DEFAULT = 1001;

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

tagDIALOG_CONTROL Edit(int id, const std::string& label, const std::string& value, int maxLength,
                       bool masked = false, bool readOnly = false)
{
    tagDIALOG_CONTROL c;
    c.id = id;
    c.kind = DLG_CONTROL_KIND::EDIT;
    c.label = label;
    c.value = value;
    c.maxLength = maxLength;
    c.masked = masked;
    c.readOnly = readOnly;
    return c;
}

tagDIALOG_CONTROL Choice(int id, DLG_CONTROL_KIND kind, const std::string& label,
                         std::vector<std::string> options, const std::string& value)
{
    tagDIALOG_CONTROL c;
    c.id = id;
    c.kind = kind;
    c.label = label;
    c.options = std::move(options);
    c.value = value;
    return c;
}

const std::string& ValueOf(const tagDIALOG& dialog, int id)
{
    static const std::string EMPTY;
    for (const auto& c : dialog.controls)
        if (c.id == id)
            return c.value;
    return EMPTY;
}

int IndexOf(const std::vector<std::string>& options, const std::string& value)
{
    for (std::size_t i = 0; i < options.size(); ++i)
        if (options[i] == value)
            return static_cast<int>(i);
    return -1;
}

std::string Printf(const char* format, const std::string& text)
{
    std::string out;
    const std::string f(format);
    const auto at = f.find("%s");
    if (at == std::string::npos)
        return f;
    return f.substr(0, at) + text + f.substr(at + 2);
}

// The IP control's text as a number; blank reads as 0.0.0.0, anything else unparsable too.
DWORD AddressOf(const std::string& text)
{
    DWORD address = 0;
    if (!ParseDottedAddress(text, &address))
        return 0;
    return address;
}

BOOL ParseHexByte(const std::string& text, BYTE* value)
{
    if (text.empty() || text.size() > 2)
        return FALSE;
    unsigned v = 0;
    for (char ch : text)
    {
        v <<= 4;
        if (ch >= '0' && ch <= '9')
            v |= static_cast<unsigned>(ch - '0');
        else if (ch >= 'a' && ch <= 'f')
            v |= static_cast<unsigned>(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'F')
            v |= static_cast<unsigned>(ch - 'A' + 10);
        else
            return FALSE;
    }
    *value = static_cast<BYTE>(v);
    return TRUE;
}

struct tagPOWER_COMMAND
{
    UINT id;
    const char* question;
    const char* questionCaption;
    BYTE ipmiData;
    ASF_POWER_OP asf;
    const char* success;
    const char* successCaption;
    BOOL successForAsf;
    const char* failure;
    const char* failureCaption;
};

const tagPOWER_COMMAND POWER_COMMANDS[] = {
    {ID_POWER_DOWN, "Are you sure to power down the host\n%s\n", "Confirm power down", 0,
     ASF_POWER_OP::DOWN, "Power Down operation is done.", "Power Down", FALSE,
     "Power down failed.\nPlease check whether you have such privilege.", "Power down"},
    {ID_POWER_UP, "Are you sure to power up the host\n%s\n", "Cofirm power up", 1, ASF_POWER_OP::UP,
     "Power Up operation is done.", "Power Up", FALSE,
     "Power up failed.\nPlease check whether you have such privilege.", "Power up"},
    {ID_RESET, "Are you sure to reset the host\n%s\n", "Confirm reset", 3, ASF_POWER_OP::RESET,
     "Power Reset operation is done.", "Power Reset", FALSE,
     "Hard Reset failed.\nPlease check whether you have such privilege.", "Hard Reset"},
    {ID_POWER_CYCLE, "Are you sure to Power cycle the host\n%s\n", "Confirm Power cycle", 2,
     ASF_POWER_OP::CYCLE, "Power Cycle operation is done.", "Power Recycle", TRUE,
     "Power cycle failed.\nPlease check whether you have such privilege.", "Power Cycle"},
};
} // namespace

CVexaFrame::CVexaFrame(CMenuBarModel& menus, CStatusBarModel& status, CDialogService& dialogs)
    : m_menus(menus), m_status(status), m_dialogs(dialogs)
{
}

CVexaFrame::~CVexaFrame()
{
    Destroy();
}

BOOL CVexaFrame::Create(CUIThread& ui, const tagFRAME_ENV& env)
{
    if (env.registry == nullptr)
        return FALSE;
    m_env = env;
    if (!m_env.probe)
    {
        const WORD port = m_env.rmcpPort;
        m_env.probe = [port](DWORD address) { return ProbeServerKind(address, port); };
    }
    if (!m_env.now)
        m_env.now = [] { return std::time(nullptr); };
    m_settings = LoadSettings(*m_env.registry);
    m_tree.SetChangeHandler([this] { Changed(); });
    m_view.SetSourceFn([this](DWORD node) { return ViewSources(node); });
    m_view.SetChangeHandler([this] { Changed(); });
    m_view.SetThresholdSender(
        [this](BYTE tag, const CSensor& sensor, const tagTHRESHOLD_REQUEST& request)
        {
            // Looked up at the moment of sending: a message box before it lets the operator
            // remove the server.
            auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(tag, FALSE));
            if (server == nullptr)
                return -1;
            const int result = SendThresholdRequest(server, request);
            if (result == 0)
                ApplyThresholds(*server, sensor, request);
            return result;
        });
    if (ui.CreateWindow(*this) == NULL_HWND)
        return FALSE;
    m_sink = std::make_unique<CWindowMessageSink>(ui, GetSafeHwnd());
    m_doc = std::make_unique<CVexaDoc>([this](const tagSERVER_RECORD& record)
                                       { return MakeServer(record); });
    SendMessage(WM_CREATE);
    return TRUE;
}

void CVexaFrame::Destroy()
{
    m_doc.reset();
}

std::unique_ptr<CServer> CVexaFrame::MakeServer(const tagSERVER_RECORD& record)
{
    if (record.serverType == SERVER_TYPE_IPMI)
    {
        tagIPMI_SERVER_ENV env;
        env.port = m_env.rmcpPort;
        env.sink = m_sink.get();
        env.messageBox = &m_dialogs;
        env.intervalsFromRegistry = FALSE;
        env.sensorIntervalSeconds = static_cast<DWORD>(m_settings.pollingSensorsInterval);
        env.selIntervalSeconds =
            m_settings.pollingSel ? static_cast<DWORD>(m_settings.pollingSelInterval) : 0;
        return std::make_unique<CIPMIServer>(record, std::move(env));
    }
    tagASF_ENV env;
    env.rmcpPort = m_env.rmcpPort;
    env.rspPort = m_env.rspPort;
    env.sink = m_sink.get();
    env.messageBox = &m_dialogs;
    env.stateIntervalSeconds = m_settings.pollingAsfStateInterval;
    env.powerPolling = m_settings.pollingAsfPowerEnabled;
    return MakeAsfServer(record, env);
}

tagSERVER_NODE_INFO CVexaFrame::NodeInfo(BYTE tag)
{
    tagSERVER_NODE_INFO info;
    info.tag = tag;
    if (CServer* server = m_doc->FindServer(tag, TRUE))
    {
        info.ipmi = server->GetServerType() == SERVER_TYPE_IPMI;
        info.connected = server->IsConnected();
        info.name = server->GetName();
        info.ipText = server->GetIpText();
        info.guidText = server->GetGuidText();
        m_doc->Unlock();
    }
    return info;
}

void CVexaFrame::UpdateNode(BYTE tag, int state)
{
    if (state == NODE_STATE_SECTIONS)
        BuildSections(tag);
    else if (state == NODE_STATE_HEALTH)
        UpdateHealth(tag);
    else
        m_tree.UpdateServerNode(NodeInfo(tag), state);
}

void CVexaFrame::BuildSections(BYTE tag)
{
    auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(tag, FALSE));
    if (server == nullptr)
        return;
    const std::vector<CSensor> sensors = server->CopySensors();
    const tagHEALTH health = EvaluateHealth(sensors, server->GetPowerState());
    const BOOL moved = m_tree.SetServerSections(
        tag, BuildServerSections(tag, sensors, health.severity, ReadFruDevices(*server)));
    if (server->IsConnected())
        m_tree.UpdateServerNode(NodeInfo(tag), health.serverState);
    if (moved)
        SelectionChanged();
    else
        RefreshViewOf(tag);
}

void CVexaFrame::UpdateHealth(BYTE tag)
{
    auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(tag, FALSE));
    if (server == nullptr || !server->IsConnected() || !server->IsSdrLoaded())
        return;
    // One copy for both: the repository thread may replace the sensor set meanwhile.
    const std::vector<CSensor> sensors = server->CopySensors();
    const tagHEALTH health = EvaluateHealth(sensors, server->GetPowerState());
    std::map<DWORD, std::string> icons;
    for (std::size_t i = 0; i < sensors.size(); ++i)
    {
        const CSensor& s = sensors[i];
        const BYTE kind = s.IsFullRecord() ? VIEW_SDR_SENSOR : VIEW_COMPACT_SENSOR;
        const int severity = i < health.severity.size() ? health.severity[i] : 0;
        icons.emplace(MakeViewNodeValue(kind, tag, s.GetSensorType(), s.GetSensorNumber()),
                      SensorIconName(s.GetSensorType(), severity));
    }
    m_tree.SetSensorIcons(tag,
                          [&icons](DWORD value)
                          {
                              const auto it = icons.find(value);
                              return it == icons.end() ? std::string() : it->second;
                          });
    m_tree.UpdateServerNode(NodeInfo(tag), health.serverState);
}

void CVexaFrame::RefreshViewOf(BYTE tag)
{
    if (m_view.ShownTag() == tag || ViewNodeKind(m_view.ShownNode()) == VIEW_ALL_SERVERS)
        m_view.Refresh();
}

tagVIEW_SOURCES CVexaFrame::ViewSources(DWORD node)
{
    tagVIEW_SOURCES sources;
    const BYTE kind = ViewNodeKind(node);
    const BYTE tag = ViewNodeTag(node);
    if (kind == VIEW_ALL_SERVERS)
    {
        const int count = m_doc->GetServerCount();
        for (int i = 0; i < count; ++i)
        {
            CServer* server = m_doc->GetServerAt(i, FALSE);
            if (server == nullptr)
                continue;
            tagSERVER_ROW_INPUT row = ServerRowInput(*server);
            row.icon = m_tree.Icon(row.nodeValue);
            sources.servers.push_back(std::move(row));
        }
        return sources;
    }
    sources.children = m_tree.Children(node);
    CServer* server = m_doc->FindServer(tag, FALSE);
    if (server == nullptr)
        return sources;
    if (kind == VIEW_ASF_SERVER)
    {
        sources.asf.name = server->GetName();
        sources.asf.address = server->GetIpText();
        sources.asf.guid = server->GetGuidText();
        sources.asf.lastHeartbeat = static_cast<std::time_t>(server->GetLastHeartbeat());
    }
    sources.server = dynamic_cast<CIPMIServer*>(server);
    return sources;
}

void CVexaFrame::OnViewAction(const tagVIEW_ACTION& action)
{
    const bool sheetAction = action.action == VIEW_ACTION::SHEET_SPIN ||
                             action.action == VIEW_ACTION::SHEET_OK ||
                             action.action == VIEW_ACTION::SHEET_CANCEL;
    // A click on a list the page no longer shows goes nowhere.
    if (!sheetAction && action.hasNode && action.node != m_view.ShownNode())
        return;
    switch (action.action)
    {
    case VIEW_ACTION::OPEN:
        OpenViewRow(action.row);
        break;
    case VIEW_ACTION::SORT:
        m_view.Sort(action.column);
        break;
    case VIEW_ACTION::EDIT:
        m_view.EditChange(action.row, action.text);
        break;
    case VIEW_ACTION::EDIT_END:
        m_view.EditEnd(action.row, action.text, m_dialogs);
        break;
    case VIEW_ACTION::MORE:
        if (const CSensor* sensor = m_view.ShownSensor();
            sensor != nullptr && m_view.IsMoreVisible())
        {
            const CSensor copy = *sensor;
            m_view.OpenSheet(copy.GetIdString(), copy, m_view.ShownTag());
        }
        break;
    case VIEW_ACTION::SHEET_SPIN:
        m_view.SheetSpin(action.index, action.position);
        break;
    case VIEW_ACTION::SHEET_OK:
        m_view.SheetOk(m_dialogs);
        break;
    case VIEW_ACTION::SHEET_CANCEL:
        m_view.CloseSheet();
        break;
    }
}

void CVexaFrame::OpenViewRow(int row)
{
    tagLIST_ROW line;
    if (!m_view.GetRow(row, &line))
        return;
    const BYTE tag = m_view.ShownTag();
    auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(tag, FALSE));
    const std::size_t entries = server != nullptr ? server->GetDisplaySel().size() : 0;
    const tagLIST_ACTION action = DoubleClickAction(line, entries);
    switch (action.action)
    {
    case LIST_ACTION::SHOW_EVENT:
    {
        std::optional<CSensor> sensor;
        std::optional<tagEVENT_DETAIL> detail =
            server != nullptr ? BuildEventDetail(*server, action.eventIndex, &sensor)
                              : std::nullopt;
        if (!detail)
        {
            m_dialogs.MessageBox(SEL_ENTRY_DELETED_TEXT, SEL_ENTRY_DELETED_CAPTION, MB_OK);
            break;
        }
        tagDIALOG dialog = ToDialog(*detail);
        // The server may go while the dialog is open; only the copies are used after it.
        if (m_dialogs.DoModal(dialog) == EVENT_MORE_BUTTON && sensor)
            m_view.OpenSheet("", *sensor, tag);
        break;
    }
    case LIST_ACTION::EVENT_DELETED:
        m_dialogs.MessageBox(SEL_ENTRY_DELETED_TEXT, SEL_ENTRY_DELETED_CAPTION, MB_OK);
        break;
    case LIST_ACTION::SELECT_CHILD:
        SelectNode(action.childValue);
        break;
    case LIST_ACTION::NONE:
        break;
    }
}

LRESULT CVexaFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_IDLEUPDATECMDUI:
        OnIdleUpdate();
        PollAsfServers();
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_SETMESSAGESTRING:
    {
        // Posted by the server threads with an owned text.
        auto text = TakeMessageText(lParam);
        m_status.SetMessage(text ? *text : "");
        return 0;
    }
    case WM_FRAME_PROGRESS:
        OnProgress(wParam, lParam);
        return 0;
    case WM_FRAME_SDR_LOADED:
        OnSdrLoaded(static_cast<BYTE>(lParam));
        return 0;
    case WM_FRAME_SEL_FETCHED:
        OnSelFetched(static_cast<BYTE>(lParam));
        return 0;
    case WM_FRAME_GET_DOC:
        return reinterpret_cast<LRESULT>(m_doc.get());
    case WM_FRAME_ADD_SERVER:
    case WM_FRAME_ADD_PRESET:
    {
        std::unique_ptr<tagSERVER_RECORD> record(reinterpret_cast<tagSERVER_RECORD*>(wParam));
        if (!record)
            return 0;
        if (message == WM_FRAME_ADD_SERVER)
            return AddServerNode(*record, FALSE);
        // Added without probing; the page's preset server is dropped silently when refused.
        tagSERVER_RECORD copy = *record;
        const int before = m_doc->GetServerCount();
        if (!AddServerNode(copy, TRUE) || m_doc->GetServerCount() == before)
            return 0;
        if (lParam == 1)
        {
            CServer* last = m_doc->GetServerAt(m_doc->GetServerCount() - 1, FALSE);
            if (last != nullptr)
            {
                const BYTE type =
                    last->GetServerType() == SERVER_TYPE_IPMI ? VIEW_IPMI_SERVER : VIEW_ASF_SERVER;
                SelectNode(MakeViewNodeValue(type, last->GetServerTag()));
                OnConnect();
            }
        }
        return 1;
    }
    case WM_FRAME_UPDATE_NODE:
        UpdateNode(static_cast<BYTE>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_FRAME_SELECT_NODE:
        SelectNode(static_cast<DWORD>(wParam));
        return 0;
    case WM_FRAME_READINGS:
    {
        // Sent by the server's own poller; matched by address, never dereferenced unknown.
        const int count = m_doc->GetServerCount();
        for (int i = 0; i < count; ++i)
        {
            CServer* server = m_doc->GetServerAt(i, FALSE);
            if (server == nullptr || reinterpret_cast<WPARAM>(server) != wParam)
                continue;
            const BYTE tag = server->GetServerTag();
            UpdateHealth(tag);
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            m_view.OnReadings(tag,
                              std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
            break;
        }
        return 0;
    }
    case WM_FRAME_VIEW_ACTION:
    {
        std::unique_ptr<tagVIEW_ACTION> action(reinterpret_cast<tagVIEW_ACTION*>(wParam));
        if (action)
            OnViewAction(*action);
        return 0;
    }
    case WM_FRAME_REDRAW_TERMINAL:
        // The terminal view comes with the remote console.
        return 0;
    case WM_COMMAND:
        // An ASF poll that lost its machine names it; the menu's command acts on the selection.
        if (LOWORD(wParam) == ID_DISCONNECT && (lParam & ASF_COMMAND_FROM_POLL) != 0)
            OnDisconnect(m_doc->FindServer(static_cast<BYTE>(lParam & 0xFF), FALSE));
        else
            OnCommand(LOWORD(wParam));
        return 0;
    default:
        return 0;
    }
}

void CVexaFrame::OnCreate()
{
    m_menus.SetMenus(MenusFromTable());
    m_status.SetMessage(FRAME_IDLE_MESSAGE);
    GetUIThread()->SetTimer(GetSafeHwnd(), FRAME_TIMER_MESSAGE_RESET, FRAME_TIMER_MESSAGE_RESET_MS);
    OnIdleUpdate();
}

void CVexaFrame::OnIdleUpdate()
{
    CServer* server = m_doc->GetCurrentServer();
    BOOL selected = FALSE, connected = FALSE, ipmi = FALSE;
    int power = 2;
    BYTE tag = SERVER_TAG_NONE;
    std::string ipText;
    if (server != nullptr && m_doc->Lock())
    {
        // Looked up again under the lock: the server may have gone meanwhile.
        server = m_doc->GetCurrentServer();
        if (server != nullptr)
        {
            selected = TRUE;
            connected = server->IsConnected();
            ipmi = server->GetServerType() == SERVER_TYPE_IPMI;
            power = server->GetPowerState();
            tag = server->GetServerTag();
            ipText = server->GetIpText();
        }
        m_doc->Unlock();
    }
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
            case FUR_SERVER_SELECTED:
                enabled = selected;
                break;
            case FUR_SELECTED_NOT_CONNECTED:
                enabled = selected && !connected;
                break;
            case FUR_SELECTED_CONNECTED:
                enabled = selected && connected;
                break;
            case FUR_CONNECTED_POWER_ON_OR_UNKNOWN:
                enabled = selected && connected && (power == 1 || power == 2);
                break;
            case FUR_CONNECTED_POWER_OFF_OR_UNKNOWN:
                enabled = selected && connected && (power == 0 || power == 2);
                break;
            case FUR_CONNECTED_IPMI:
                enabled = selected && connected && ipmi;
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
            default:
                // The PET list, the PET destination and the baud rate come later.
                enabled = FALSE;
                break;
            }
            m_menus.SetItemState(item.id, enabled, checked);
        }
    }
    if (!selected)
        m_status.SetPaneText(ID_PANE_CONNECTION, "No Server Selected!");
    else
        m_status.SetPaneText(ID_PANE_CONNECTION,
                             ipText + (connected ? "    Connected" : "    Disconnected"));
    m_status.SetPaneText(ID_PANE_CONNECTION_TIME,
                         selected && connected ? ConnectionTimeText(tag) : "00:00:00");
    m_status.SetVisible(m_statusBarVisible);
}

std::string CVexaFrame::ConnectionTimeText(BYTE tag)
{
    std::time_t start = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_connectedAt.find(tag);
        if (it == m_connectedAt.end())
            return "00:00:00";
        start = it->second;
    }
    const std::time_t now = m_env.now();
    std::tm nowTm{}, startTm{};
    localtime_r(&now, &nowTm);
    localtime_r(&start, &startTm);
    return FormatConnectionTime(nowTm, startTm);
}

// The ASF servers' state polling, one poll per server and period, driven by the idle tick.
void CVexaFrame::PollAsfServers()
{
    if (m_doc == nullptr || !m_doc->Lock())
        return;
    const std::time_t now = m_env.now();
    const int count = m_doc->GetServerCount();
    for (int i = 0; i < count; ++i)
    {
        CServer* s = m_doc->GetServerAt(i, FALSE);
        const DWORD period = s != nullptr ? AsfPollPeriodMs(*s) : 0;
        if (period == 0)
            continue;
        std::time_t& last = m_lastAsfPoll[s->GetServerTag()];
        if (last != 0 && now - last < static_cast<std::time_t>(period / 1000))
            continue;
        if (StartAsfPoll(*s))
            last = now;
    }
    m_doc->Unlock();
}

void CVexaFrame::MarkConnected(BYTE tag, BOOL connected)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (connected)
            m_connectedAt[tag] = m_env.now();
        else
            m_connectedAt.erase(tag);
    }
    m_lastAsfPoll.erase(tag);
    UpdateNode(tag, connected ? NODE_STATE_CONNECTED : NODE_STATE_DISCONNECTED);
    RefreshViewOf(tag);
    OnIdleUpdate();
}

void CVexaFrame::OnTimer(UINT_PTR id)
{
    if (id == FRAME_TIMER_MESSAGE_RESET)
    {
        m_status.SetMessage(FRAME_IDLE_MESSAGE);
        return;
    }
    if (id < FRAME_TIMER_DISCONNECT_RETRY || id > FRAME_TIMER_DISCONNECT_RETRY + 253)
        return;
    // A retry of the disconnect after a failed sensor-record read.
    GetUIThread()->KillTimer(GetSafeHwnd(), id);
    const BYTE tag = static_cast<BYTE>(id - FRAME_TIMER_DISCONNECT_RETRY);
    auto left = m_disconnectRetries.find(tag);
    if (left == m_disconnectRetries.end())
        return;
    CServer* server = m_doc->FindServer(tag, FALSE);
    if (server == nullptr)
    {
        m_disconnectRetries.erase(left);
        return;
    }
    const std::string name = server->GetName();
    if (server->Disconnect())
    {
        m_disconnectRetries.erase(left);
        MarkConnected(tag, FALSE);
        m_dialogs.MessageBox(Printf("%s: Get SDR failed. Please reconnect again.", name), "Get SDR",
                             MB_OK);
        return;
    }
    if (--left->second > 0)
    {
        GetUIThread()->SetTimer(GetSafeHwnd(), id, FRAME_DISCONNECT_RETRY_MS);
        return;
    }
    m_disconnectRetries.erase(left);
    m_dialogs.MessageBox(Printf("%s: Get SDR failed, please delete the server and re-add it to "
                                "the server list. And then try connect again.",
                                name),
                         "Get SDR", MB_OK);
}

void CVexaFrame::OnSdrLoaded(BYTE tag)
{
    auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(tag, FALSE));
    if (server == nullptr)
        return;
    if (server->IsSdrLoaded())
    {
        server->IndexSensorsByType();
        server->StartPolling(TRUE, m_settings.pollingSel);
        UpdateNode(tag, NODE_STATE_SECTIONS);
        server->FetchSel(m_sink.get(), WM_FRAME_SEL_FETCHED);
        return;
    }
    const std::string name = server->GetName();
    if (server->Disconnect())
    {
        MarkConnected(tag, FALSE);
        m_dialogs.MessageBox(Printf("%s: Get SDR failed. Please reconnect again.", name), "Get SDR",
                             MB_OK);
        return;
    }
    // Retried from the timer so that the console stays responsive between attempts.
    m_disconnectRetries[tag] = FRAME_DISCONNECT_RETRIES;
    GetUIThread()->SetTimer(GetSafeHwnd(), FRAME_TIMER_DISCONNECT_RETRY + tag,
                            FRAME_DISCONNECT_RETRY_MS);
}

void CVexaFrame::OnSelFetched(BYTE tag)
{
    auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(tag, FALSE));
    if (server == nullptr)
        return;
    server->CopySelForDisplay();
    server->SetSelShown(TRUE);
    if (m_view.ShownNode() == MakeViewNodeValue(VIEW_SEL, tag))
        m_view.Refresh();
}

void CVexaFrame::OnProgress(WPARAM what, LPARAM value)
{
    if (what == 4)
    {
        auto text = TakeMessageText(value);
        m_status.SetMessage(text ? *text : "");
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        switch (what)
        {
        case 1:
            m_progress = {TRUE, static_cast<int>(value), 0};
            break;
        case 2:
            if (m_progress.visible && m_progress.position < m_progress.range)
                ++m_progress.position;
            break;
        case 3:
            m_progress = {};
            break;
        default:
            return;
        }
    }
    Changed();
}

void CVexaFrame::OnCommand(UINT id)
{
    switch (id)
    {
    case ID_ADD_SERVER:
        OnAddServer();
        break;
    case ID_DELETE_SERVER:
        OnDeleteServer();
        break;
    case ID_RENAME:
        OnRename();
        break;
    case ID_SAVE_LIST:
        OnSaveList();
        break;
    case ID_LOAD_LIST:
        OnLoadList();
        break;
    case ID_CONNECT:
        OnConnect();
        break;
    case ID_DISCONNECT:
        OnDisconnect(m_doc->GetCurrentServer());
        break;
    case ID_POWER_DOWN:
    case ID_POWER_UP:
    case ID_RESET:
    case ID_POWER_CYCLE:
        OnPower(id);
        break;
    case ID_POWER_ON_LAN:
        OnPowerOnLan();
        break;
    case ID_DELETE_ALL_SEL:
        OnDeleteAllSel();
        break;
    case ID_SET_MAC_ADDRESS:
        OnSetMacAddress();
        break;
    case ID_GENERAL_SETTING:
        OnSettings();
        break;
    case ID_DUMP_CONFIGURATION:
        OnDump();
        break;
    case ID_RESTORE_CONFIGURATION:
        OnRestore();
        break;
    case ID_HELP_CONTENTS:
        OnHelp();
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    case ID_GO_UP:
        if (m_tree.SelectParent())
            SelectionChanged();
        break;
    case ID_SHOW_UUID:
    case ID_SHOW_NAME:
    case ID_SHOW_IP:
        m_tree.SetDisplayMode(id == ID_SHOW_UUID   ? DISPLAY_GUID
                              : id == ID_SHOW_NAME ? DISPLAY_NAME
                                                   : DISPLAY_IP,
                              [this](BYTE tag) { return NodeInfo(tag); });
        break;
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
        break;
    case ID_DIAGNOSTIC_DIALOG:
        RunDiagnosticDialog();
        break;
    default:
        // Commands of the console, BIOS update, PET and baud-rate views do nothing yet.
        return;
    }
    OnIdleUpdate();
}

// ---- the server list ----

BOOL CVexaFrame::AddServerNode(tagSERVER_RECORD record, BOOL fromStore)
{
    if (record.connectionType == CONNECTION_TYPE_COM)
        return FALSE;
    if (!fromStore)
    {
        const int kind = m_env.probe(record.ipAddress);
        if (kind >= 0)
            record.serverType = kind == 1 ? SERVER_TYPE_IPMI : 0;
        else
        {
            tagDIALOG dialog;
            dialog.title = "Choose the server type";
            dialog.text = "The host you wish to connect seems unreachable now, if you still wish "
                          "to create this server , please specify the server type:";
            dialog.controls = {Choice(1, DLG_CONTROL_KIND::RADIO, "", {"IPMI Server", "ASF Server"},
                                      "IPMI Server")};
            dialog.buttons = {{IDOK, "Con&tinue"}, {IDCANCEL, "&Cancel"}};
            if (m_dialogs.DoModal(dialog) != IDOK)
                return FALSE;
            record.serverType = ValueOf(dialog, 1) == "IPMI Server" ? SERVER_TYPE_IPMI : 0;
        }
    }

    // The duplicate question: only the first server with the same address is asked about.
    BOOL duplicate = FALSE;
    std::string duplicateName, duplicateGuid;
    DWORD duplicateHeartbeat = 0;
    if (m_doc->Lock())
    {
        const int count = m_doc->GetServerCount();
        for (int i = 0; i < count; ++i)
        {
            CServer* s = m_doc->GetServerAt(i, FALSE);
            if (s != nullptr && s->GetIpAddress() == record.ipAddress)
            {
                duplicate = TRUE;
                duplicateName = s->GetName();
                duplicateGuid = s->GetGuidText();
                duplicateHeartbeat = s->GetLastHeartbeat();
                break;
            }
        }
        m_doc->Unlock();
    }
    if (duplicate &&
        m_dialogs.MessageBox(Printf("You have alreadly created a server with the same IP "
                                    "address\nwhose name is %s, do you wish to create another one?",
                                    duplicateName),
                             "The same host", MB_YESNO | MB_ICONINFORMATION) == IDNO)
        return FALSE;

    if (!m_doc->AddServer(record))
        return FALSE;
    const BYTE tag = record.serverTag;
    if (duplicate)
    {
        if (CServer* s = m_doc->FindServer(tag, TRUE))
        {
            s->SetGuidText(duplicateGuid);
            s->SetLastHeartbeat(duplicateHeartbeat);
            m_doc->Unlock();
        }
    }
    const DWORD selectedBefore = m_tree.SelectedValue();
    if (!m_tree.InsertServerNode(NodeInfo(tag)))
    {
        m_doc->RemoveServer(tag);
        return FALSE;
    }
    if (m_tree.SelectedValue() != selectedBefore)
        SelectionChanged();
    return TRUE;
}

void CVexaFrame::SelectNode(DWORD value)
{
    if (m_tree.Select(value))
        SelectionChanged();
    OnIdleUpdate();
}

void CVexaFrame::SelectionChanged()
{
    const DWORD value = m_tree.SelectedValue();
    const BYTE tag = ViewNodeTag(value);
    CServer* current = m_doc->GetCurrentServer();
    if (current != nullptr)
    {
        if (current->GetServerTag() != tag)
            m_doc->SetCurrentServer(tag);
    }
    else if (value != ROOT_NODE_VALUE)
        m_doc->SetCurrentServer(tag);
    m_view.ShowNode(value);
    Changed();
}

void CVexaFrame::OnAddServer()
{
    const tagDEFAULT_CONNECTION defaults = ReadDefaultConnection(*m_env.registry);
    tagDIALOG dialog;
    dialog.title = "Add a new server connection";
    dialog.controls = {
        Edit(1, "Server &Name", defaults.hasName ? defaults.name : "", 25),
        Edit(2, "Server &IP Address", defaults.hasAddress ? FormatIpText(defaults.address) : "",
             15),
    };
    dialog.buttons = {
        {IDOK, "&OK"}, {IDCANCEL, "&Cancel"}, {ID_SAVE_DEFAULT, "&Save Default", true}};
    CRegistry* registry = m_env.registry;
    dialog.onKeep = [registry](int, std::vector<tagDIALOG_CONTROL>& controls)
    { WriteDefaultConnection(*registry, controls[0].value, AddressOf(controls[1].value)); };
    if (m_dialogs.DoModal(dialog) != IDOK)
        return;

    tagSERVER_RECORD record;
    SetRecordName(record, ValueOf(dialog, 1));
    record.connectionType = CONNECTION_TYPE_LAN;
    record.ipAddress = AddressOf(ValueOf(dialog, 2));
    record.serverType = 0;
    if (!IsAcceptableServerAddress(record.ipAddress))
    {
        m_dialogs.MessageBox("Invalid server IP address.", "Notify", MB_OK);
        return;
    }
    if (AddServerNode(record, FALSE))
        m_status.SetMessage("Add a new server!");
}

void CVexaFrame::OnDeleteServer()
{
    CServer* server = m_doc->GetCurrentServer();
    if (server == nullptr)
        return;
    const BYTE tag = server->GetServerTag();
    if (m_dialogs.MessageBox(
            Printf("Are you sure to delete this connection\n%s\n", server->GetIpText()),
            "Confirm Delete connection", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    server = m_doc->FindServer(tag, FALSE); // it may have gone while the question was open
    if (server == nullptr)
        return;
    server->Disconnect();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_connectedAt.erase(tag);
    }
    BYTE selected = SERVER_TAG_NONE;
    if (!m_tree.RemoveServerNode(tag, &selected))
    {
        m_dialogs.MessageBox("Delete Server node failed.", "Delete Server", MB_OK);
        return;
    }
    m_doc->RemoveServer(tag);
    SelectionChanged();
}

void CVexaFrame::OnRename()
{
    CServer* server = m_doc->GetCurrentServer();
    if (server == nullptr)
        return;
    const BYTE tag = server->GetServerTag();
    tagDIALOG dialog;
    dialog.title = "Rename the server";
    std::string name = server->GetName();
    if (name.size() > 16)
        name.resize(16);
    dialog.controls = {Edit(1, "Please specifiy the new name", name, 16)};
    dialog.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    if (m_dialogs.DoModal(dialog) != IDOK)
        return;
    if (CServer* s = m_doc->FindServer(tag, TRUE))
    {
        s->SetName(ValueOf(dialog, 1));
        m_doc->Unlock();
    }
    UpdateNode(tag, NODE_STATE_TEXT);
}

void CVexaFrame::OnSaveList()
{
    std::vector<tagSERVER_RECORD> records;
    if (!m_doc->Snapshot(records))
    {
        m_dialogs.MessageBox(SAVE_FAILED_TEXT, "", MB_OK);
        return;
    }
    if (HasStoredServerList(*m_env.registry) &&
        m_dialogs.MessageBox(SAVE_OVERWRITE_QUESTION, "Notify", MB_YESNO) != IDYES)
        return;
    if (SaveServerList(*m_env.registry, records) != ERROR_SUCCESS)
        m_dialogs.MessageBox(SAVE_FAILED_TEXT, "", MB_OK);
}

void CVexaFrame::OnLoadList()
{
    for (const tagSERVER_RECORD& record : LoadServerList(*m_env.registry))
        AddServerNode(record, TRUE);
}

// ---- connect, disconnect, power ----

void CVexaFrame::OnConnect()
{
    CServer* server = m_doc->GetCurrentServer();
    if (server == nullptr || server->IsConnected())
        return;
    if (server->GetServerType() == SERVER_TYPE_IPMI)
        ConnectIpmi(*server);
    else
        ConnectAsf(*server);
}

void CVexaFrame::ConnectIpmi(CServer& server)
{
    auto* ipmi = dynamic_cast<CIPMIServer*>(&server);
    if (ipmi == nullptr)
        return;
    const BYTE tag = server.GetServerTag();
    const std::vector<std::string> algorithms = {"HMAC-SHA1", "HMAC-MD5"};
    const std::vector<std::string> privileges = {"Callback", "User", "Operator", "Administrator"};
    tagDIALOG dialog;
    dialog.title = "Connect to server";
    dialog.controls = {
        Edit(1, "&User Name:", "adm", 16),
        Edit(2, "&Password ", "", 16, true),
        Choice(3, DLG_CONTROL_KIND::DROPDOWN, "&Authentication :", algorithms, "HMAC-SHA1"),
        Choice(4, DLG_CONTROL_KIND::DROPDOWN, "Pri&vilege:", privileges, "Administrator"),
        Choice(5, DLG_CONTROL_KIND::CHECKBOX, "Enable Payload Encryption", {}, "0"),
    };
    dialog.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    if (m_dialogs.DoModal(dialog) != IDOK)
        return;
    const int algorithm = IndexOf(algorithms, ValueOf(dialog, 3));
    const int privilege = IndexOf(privileges, ValueOf(dialog, 4));
    tagLAN_CONNECT_PARAM param{};
    if (algorithm < 0 || privilege < 0 ||
        !MakeConnectParam(param, ValueOf(dialog, 1).c_str(), ValueOf(dialog, 2).c_str(),
                          static_cast<BYTE>(algorithm + 1), ValueOf(dialog, 5) == "1",
                          static_cast<BYTE>(privilege + 1)))
    {
        m_dialogs.MessageBox("Invalid Auth Type / Format.", "Error", MB_OK);
        return;
    }
    // The server may be deleted only from this thread, so the pointer holds across the call.
    if (!ipmi->Connect(param))
    {
        m_dialogs.MessageBox(Printf("%s: Fail to connect to server.", server.GetName()), "CONNECT",
                             MB_OK);
        return;
    }
    MarkConnected(tag, TRUE);
    m_status.SetMessage("Get GUID from the server....");
    std::string guid;
    if (!ipmi->ReadDeviceGuid(guid))
    {
        m_status.SetMessage("Failed to get GUID from the server.");
        return;
    }
    m_status.SetMessage("");
    UpdateNode(tag, NODE_STATE_TEXT);
    if (ipmi->IsSdrLoaded())
        OnSdrLoaded(tag);
    else
        ipmi->LoadSdr(m_sink.get(), WM_FRAME_SDR_LOADED);
}

void CVexaFrame::ConnectAsf(CServer& server)
{
    if (m_env.credentials == nullptr)
        return;
    const BYTE tag = server.GetServerTag();
    switch (ConnectAsfServer(server, m_dialogs, *m_env.credentials))
    {
    case ASF_CONNECT_RESULT::CANCELLED:
        return;
    case ASF_CONNECT_RESULT::CONNECTED:
        MarkConnected(tag, TRUE);
        return;
    case ASF_CONNECT_RESULT::FAILED:
        m_dialogs.MessageBox("Fail to connect to the ASF server!\nPlease check whether you have "
                             "proper\naccess privilege. Otherwise , please \ntry later.",
                             "ASF Connecting", MB_OK | MB_ICONERROR);
        return;
    }
}

void CVexaFrame::OnDisconnect(CServer* server)
{
    if (server == nullptr || !server->IsConnected())
        return;
    const BOOL ipmi = server->GetServerType() == SERVER_TYPE_IPMI;
    if (!server->Disconnect())
    {
        m_dialogs.MessageBox(ipmi ? "Fail to disconnect the IPMI server"
                                  : "Fail to disconnect the ASF server",
                             "Disconnect", MB_OK);
        return;
    }
    PostMessage(WM_FRAME_PROGRESS, 3, 0);
    PostMessage(WM_FRAME_PROGRESS, 4, MakeMessageText(""));
    MarkConnected(server->GetServerTag(), FALSE);
}

void CVexaFrame::OnPower(UINT id)
{
    CServer* server = m_doc->GetCurrentServer();
    if (server == nullptr || !server->IsConnected())
        return;
    const tagPOWER_COMMAND* command = nullptr;
    for (const auto& c : POWER_COMMANDS)
        if (c.id == id)
            command = &c;
    if (command == nullptr)
        return;
    const BYTE tag = server->GetServerTag();
    if (m_dialogs.MessageBox(Printf(command->question, server->GetIpText()),
                             command->questionCaption, MB_YESNO | MB_ICONEXCLAMATION) == IDNO)
        return;
    server = m_doc->FindServer(tag, FALSE);
    if (server == nullptr)
        return;
    BOOL done = FALSE;
    const BOOL ipmi = server->GetServerType() == SERVER_TYPE_IPMI;
    if (ipmi)
    {
        auto* s = dynamic_cast<CIPMIServer*>(server);
        const BYTE request[2] = {ROW_CHASSIS_CONTROL, command->ipmiData};
        tagIPMI_REPLY reply{};
        done = s != nullptr && s->SendCommand(request, sizeof request, reply) &&
               reply.data[1] == IPMI_CC_SUCCESS;
    }
    else
        done = AsfPower(*server, command->asf);
    if (!done)
        m_dialogs.MessageBox(command->failure, command->failureCaption, MB_OK | MB_ICONERROR);
    else if (ipmi || command->successForAsf)
        m_dialogs.MessageBox(command->success, command->successCaption, MB_OK);
}

void CVexaFrame::OnPowerOnLan()
{
    CServer* server = m_doc->GetCurrentServer();
    if (server == nullptr || !server->IsConnected())
        return;
    const auto packet = BuildMagicPacket(server->GetMacAddress());
    CUdpSocket socket;
    if (!socket.Open(3000))
    {
        m_dialogs.MessageBox("Start WinSock failed.", "", MB_OK);
        return;
    }
    if (!socket.SendTo(server->GetIpAddress(), m_env.wakeOnLanPort, packet.data(), packet.size()))
        m_dialogs.MessageBox("Error when sending.", "", MB_OK);
}

void CVexaFrame::OnDeleteAllSel()
{
    const DWORD value = m_tree.SelectedValue();
    auto* server = dynamic_cast<CIPMIServer*>(m_doc->FindServer(ViewNodeTag(value), FALSE));
    if (server == nullptr)
        return;
    server->ClearSel();
    server->ResetSelState();
}

void CVexaFrame::OnSetMacAddress()
{
    CServer* server = m_doc->GetCurrentServer();
    if (server == nullptr)
        return;
    const BYTE tag = server->GetServerTag();
    tagDIALOG dialog;
    dialog.title = "Please fill in MAC(Physical) address";
    dialog.controls.push_back(Edit(1, "IP address", server->GetIpText(), 15, false, true));
    const BYTE* mac = server->GetMacAddress();
    for (int i = 0; i < 6; ++i)
    {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%.2X", mac[i]);
        dialog.controls.push_back(Edit(2 + i, "MAC " + std::to_string(i + 1), hex, 2));
    }
    dialog.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    if (m_dialogs.DoModal(dialog) != IDOK)
        return;
    BYTE bytes[6] = {};
    for (int i = 0; i < 6; ++i)
    {
        if (!ParseHexByte(ValueOf(dialog, 2 + i), &bytes[i]))
        {
            // A field that is not two hexadecimal digits leaves the address as it was.
            m_dialogs.MessageBox("Each MAC address field takes two hexadecimal digits.",
                                 "Set MAC address", MB_OK | MB_ICONERROR);
            return;
        }
    }
    if (CServer* s = m_doc->FindServer(tag, TRUE))
    {
        s->SetMacAddress(bytes);
        m_doc->Unlock();
    }
}

// ---- settings, dump, restore ----

void CVexaFrame::OnSettings()
{
    for (;;)
    {
        tagDIALOG dialog = BuildSettingsDialog(m_settings);
        const int answer = m_dialogs.DoModal(dialog);
        if (answer == SETTINGS_ID_SET_PHONE_LIST)
            continue; // the phone list comes with the SMS notification
        if (answer != IDOK)
            return;
        const auto changes = ApplySettingsDialog(dialog, m_settings.phones, m_settings);
        for (const tagSETTING_CHANGE& change : changes)
        {
            if (change.kind != SETTING_CHANGE::SEL_POLLING &&
                change.kind != SETTING_CHANGE::SENSOR_INTERVAL &&
                change.kind != SETTING_CHANGE::ASF_STATE_INTERVAL)
                continue;
            if (!m_doc->Lock())
                continue;
            const int count = m_doc->GetServerCount();
            for (int i = 0; i < count; ++i)
            {
                CServer* s = m_doc->GetServerAt(i, FALSE);
                auto* ipmi = dynamic_cast<CIPMIServer*>(s);
                if (change.kind == SETTING_CHANGE::SEL_POLLING && ipmi != nullptr)
                    ipmi->SetSelInterval(static_cast<DWORD>(change.value));
                else if (change.kind == SETTING_CHANGE::SENSOR_INTERVAL && ipmi != nullptr)
                    ipmi->SetSensorInterval(static_cast<DWORD>(change.value));
                else if (change.kind == SETTING_CHANGE::ASF_STATE_INTERVAL && s != nullptr &&
                         ipmi == nullptr)
                    SetAsfStateInterval(*s, change.value);
            }
            m_doc->Unlock();
        }
        if (!changes.empty())
            SaveSettings(*m_env.registry, m_settings);
        Changed();
        return;
    }
}

BOOL CVexaFrame::ChooseFolder(std::string* folder)
{
    tagDIALOG dialog;
    dialog.title = "Select a folder";
    tagDIALOG_CONTROL chooser;
    chooser.id = 1;
    chooser.kind = DLG_CONTROL_KIND::FOLDER;
    chooser.label = "Folder";
    chooser.value = m_env.startFolder;
    dialog.controls = {chooser};
    dialog.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    if (m_dialogs.DoModal(dialog) != IDOK)
        return FALSE;
    *folder = ValueOf(dialog, 1);
    return TRUE;
}

void CVexaFrame::OnDump()
{
    std::string folder;
    if (!ChooseFolder(&folder))
        return;
    m_dialogs.MessageBox(DumpConfiguration(*m_env.registry, folder), "", MB_OK);
}

void CVexaFrame::OnRestore()
{
    std::string folder;
    if (!ChooseFolder(&folder))
        return;
    if (m_dialogs.MessageBox(RESTORE_QUESTION, "Notify", MB_YESNO) != IDYES)
        return;
    for (const std::string& text : RestoreConfiguration(*m_env.registry, folder))
        m_dialogs.MessageBox(text, "", MB_OK);
}

// ---- help, about, diagnostics ----

void CVexaFrame::OnHelp()
{
    // The page opens the manual in a named window, or raises it when it is open already.
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_window.seq;
        m_window.name = MANUAL_WINDOW_NAME;
        m_window.url = MANUAL_URL;
        m_window.title = MANUAL_WINDOW_TITLE;
    }
    Changed();
}

void CVexaFrame::OnAbout()
{
    tagDIALOG dialog;
    dialog.title = "About Tarn";
    tagDIALOG_CONTROL text;
    text.id = 1;
    text.kind = DLG_CONTROL_KIND::LABEL;
    text.value = "Tarn Version 1.0";
    dialog.controls = {text};
    dialog.buttons = {{IDOK, "OK"}};
    m_dialogs.DoModal(dialog);
}

void CVexaFrame::RunDiagnosticBox()
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

void CVexaFrame::RunDiagnosticDialog()
{
    tagDIALOG dialog;
    dialog.title = "Diagnostic dialog";
    dialog.text = "Every kind of control the console's dialogs use.";
    dialog.controls = {
        Edit(1, "&Name:", "adm", 16),
        Edit(2, "&Password:", "", 16, true),
        Choice(3, DLG_CONTROL_KIND::DROPDOWN, "&Algorithm:", {"HMAC-SHA1", "HMAC-MD5"},
               "HMAC-SHA1"),
        Choice(4, DLG_CONTROL_KIND::CHECKBOX, "&Encrypt payload", {}, "0"),
        Choice(5, DLG_CONTROL_KIND::RADIO, "&Mode", {"BIOS", "BMC"}, "BIOS"),
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

// ---- snapshots ----

tagDIAGNOSTICS CVexaFrame::Diagnostics() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_diagnostics;
}

tagPROGRESS CVexaFrame::Progress() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_progress;
}

tagWINDOW_REQUEST CVexaFrame::WindowRequest() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_window;
}

std::vector<tagSERVER_VIEW> CVexaFrame::Servers() const
{
    std::vector<tagSERVER_VIEW> views;
    CVexaDoc* doc = m_doc.get();
    if (doc == nullptr || !doc->Lock())
        return views;
    const int count = doc->GetServerCount();
    for (int i = 0; i < count; ++i)
    {
        CServer* s = doc->GetServerAt(i, FALSE);
        if (s == nullptr)
            continue;
        tagSERVER_VIEW v;
        v.tag = s->GetServerTag();
        v.name = s->GetName();
        v.ip = s->GetIpText();
        v.ipmi = s->GetServerType() == SERVER_TYPE_IPMI;
        v.connected = s->IsConnected();
        v.power = s->GetPowerState();
        v.guid = s->GetGuidText();
        views.push_back(std::move(v));
    }
    doc->Unlock();
    return views;
}

void CVexaFrame::SetChangeHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_onChange = std::move(handler);
}

void CVexaFrame::Changed()
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        handler = m_onChange;
    }
    if (handler)
        handler();
}
