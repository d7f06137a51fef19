#include "host/ConsoleHost.h"

#include "platform/Random.h"
#include "platform/http/HttpJson.h"
#include "shell/FrameMenus.h"
#include "shell/ConfigDump.h"
#include "shell/control/ControlProperties.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#ifndef VEXA_WEB_DIR
#define VEXA_WEB_DIR "web"
#endif

namespace
{
using json = nlohmann::json;

constexpr std::size_t TOKEN_BYTES = 32;
constexpr std::size_t MAX_PROPERTY_LENGTH = 256;
constexpr std::int64_t MAX_COMMAND_ID = 0xFFFF;

BOOL MakeToken(std::string* token)
{
    BYTE bytes[TOKEN_BYTES];
    if (!SystemRandom().Fill(bytes, sizeof(bytes)))
        return FALSE;
    static const char HEX[] = "0123456789abcdef";
    token->clear();
    for (BYTE b : bytes)
    {
        *token += HEX[b >> 4];
        *token += HEX[b & 0x0F];
    }
    return TRUE;
}

json ControlJson(const tagDIALOG_CONTROL& c)
{
    json j = {{"id", c.id},
              {"label", c.label},
              {"kind", DlgControlKindName(c.kind)},
              {"value", c.value},
              {"options", c.options}};
    if (c.kind == DLG_CONTROL_KIND::EDIT)
    {
        j["maxLength"] = c.maxLength;
        j["masked"] = c.masked;
    }
    if (c.kind == DLG_CONTROL_KIND::SPIN)
    {
        j["minimum"] = c.minimum;
        j["maximum"] = c.maximum;
    }
    j["readOnly"] = c.readOnly;
    return j;
}

json ModalJson(const tagMODAL& modal)
{
    json controls = json::array();
    for (const auto& c : modal.controls)
        controls.push_back(ControlJson(c));
    return {{"id", modal.id},
            {"kind", modal.kind == MODAL_KIND::DIALOG ? "dialog" : "messagebox"},
            {"caption", modal.caption},
            {"text", modal.text},
            {"icon", modal.icon},
            {"buttons", modal.buttons},
            {"controls", controls}};
}

json TreeJson(const tagTREE_NODE& node)
{
    json children = json::array();
    for (const auto& child : node.children)
        children.push_back(TreeJson(child));
    return {{"value", node.value},       {"text", node.text},         {"icon", node.icon},
            {"selected", node.selected}, {"expanded", node.expanded}, {"children", children}};
}

json RowJson(const tagLIST_ROW& row)
{
    return {{"cells", row.cells}, {"data", row.itemData}, {"image", row.image}};
}

std::string RgbText(const tagVIEW_COLOUR* colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(colour->rgb & 0xFFFFFF));
    return text;
}

json SheetJson(const tagVIEW_SHEET& sheet)
{
    json spins = json::array();
    for (std::size_t i = 0; i < sheet.spins.size(); ++i)
    {
        const tagSDR_SPIN& spin = sheet.spins[i];
        spins.push_back({{"index", i},
                         {"row", spin.row},
                         {"label", spin.label},
                         {"visible", spin.visible},
                         {"minimum", spin.minimum},
                         {"maximum", spin.maximum},
                         {"position", spin.position},
                         {"converted", spin.convertedText},
                         {"changed", spin.changed}});
    }
    json capabilities = json::array();
    for (const tagSDR_CAP_ITEM& item : sheet.capabilities)
        capabilities.push_back({{"name", item.name}, {"mask", item.mask}, {"icon", item.icon}});
    const tagSDR_INFO_PAGE& info = sheet.information;
    return {{"title", sheet.title},
            {"pages", sheet.pages},
            {"information",
             {{"sensorName", info.sensorName},
              {"status", info.status},
              {"currentValue", info.currentValue},
              {"sensorType", info.sensorType},
              {"recordId", info.recordId},
              {"sdrVersion", info.sdrVersion}}},
            {"settings",
             {{"sensorName", sheet.sensorName},
              {"currentValue", sheet.currentValue},
              {"units", sheet.units},
              {"spins", spins},
              {"bar",
               {{"filled", sheet.bar.filled},
                {"fill", sheet.bar.fill ? json(RgbText(sheet.bar.fill)) : json(nullptr)},
                {"rest", sheet.bar.rest ? json(RgbText(sheet.bar.rest)) : json(nullptr)}}}}},
            {"capabilities", capabilities}};
}

json ViewJson(const tagVIEW_STATE& view)
{
    json columns = json::array();
    for (const tagLIST_COLUMN& c : view.columns)
        columns.push_back({{"title", c.title}, {"width", c.width}});
    json rows = json::array();
    for (const tagLIST_ROW& row : view.rows)
        rows.push_back(RowJson(row));
    json editors = json::array();
    for (const tagVIEW_EDITOR& e : view.editors)
        editors.push_back({{"row", e.row},
                           {"visible", e.visible},
                           {"text", e.text},
                           {"minimum", e.minimum},
                           {"maximum", e.maximum},
                           {"wraps", e.wraps}});
    json tiles = json::array();
    for (const tagVIEW_TILE& t : view.tiles)
        tiles.push_back({{"index", t.index},
                         {"name", t.name},
                         {"value", t.value},
                         {"hasValue", t.hasValue},
                         {"type", t.type},
                         {"level", t.level},
                         {"left", t.rect.left},
                         {"top", t.rect.top},
                         {"right", t.rect.right},
                         {"bottom", t.rect.bottom}});
    return {{"node", view.node},
            {"kind", view.kind},
            {"mode", ViewModeName(view.mode)},
            {"columns", columns},
            {"sort", {{"column", view.sortColumn}, {"marks", view.sortMarks}}},
            {"rows", rows},
            {"editors", editors},
            {"more", view.more},
            {"tiles", tiles},
            {"sheet", view.sheet ? SheetJson(*view.sheet) : json(nullptr)},
            {"readings", {{"seq", view.readingsSeq}, {"at", view.readingsAtMs}}}};
}

// The tree's context menus: the main menu's commands for a server node, with their texts
// and enabled states as the main menu has them now.
struct tagCONTEXT_ITEM
{
    UINT id;
    const char* text; // null: the main menu's text
};
const tagCONTEXT_ITEM IPMI_CONTEXT_MENU[] = {
    {32781, nullptr}, {32782, nullptr},
    {0, nullptr},     {42805, nullptr},
    {32789, nullptr}, {0, nullptr},
    {32806, nullptr}, {32807, nullptr},
    {32809, nullptr}, {32814, nullptr},
    {32816, nullptr}, {0, nullptr},
    {32783, nullptr}, {32795, "Reset PET Destination"},
    {32815, nullptr},
};
const tagCONTEXT_ITEM ASF_CONTEXT_MENU[] = {
    {32781, nullptr}, {32782, nullptr}, {0, nullptr},     {42805, nullptr}, {32789, nullptr},
    {0, nullptr},     {32806, nullptr}, {32807, nullptr}, {32809, nullptr}, {32814, nullptr},
    {32816, nullptr}, {0, nullptr},     {32815, nullptr},
};

template <std::size_t N>
json ContextMenuJson(const tagCONTEXT_ITEM (&items)[N], const std::vector<tagMENU>& menus)
{
    json out = json::array();
    for (const tagCONTEXT_ITEM& item : items)
    {
        const tagMENU_ITEM* found = nullptr;
        for (const tagMENU& menu : menus)
            for (const tagMENU_ITEM& m : menu.items)
                if (item.id != 0 && m.id == item.id && found == nullptr)
                    found = &m;
        if (item.id != 0 && found == nullptr)
            continue; // a command of a later stage
        out.push_back({{"id", item.id},
                       {"text", item.text ? item.text
                                : found   ? found->text
                                          : ""},
                       {"enabled", found == nullptr || found->enabled != FALSE},
                       {"checked", false}});
    }
    return out;
}

BOOL HasNode(const tagTREE_NODE& node, DWORD value)
{
    if (node.value == value)
        return TRUE;
    for (const auto& child : node.children)
        if (HasNode(child, value))
            return TRUE;
    return FALSE;
}

// An answer's value as the dialog service takes it: texts as they are, whole numbers in
// decimal, booleans as 1 or 0.
BOOL ValueText(const json& value, std::string* text)
{
    if (value.is_string())
        *text = value.get<std::string>();
    else if (value.is_boolean())
        *text = value.get<bool>() ? "1" : "0";
    else if (value.is_number_integer())
        *text = std::to_string(value.get<std::int64_t>());
    else
        return FALSE;
    return TRUE;
}
} // namespace

CConsoleHost::CConsoleHost(DWORD idleUpdateMs)
    : m_ui(idleUpdateMs), m_dialogs(&m_ui), m_status({ID_PANE_CONNECTION, ID_PANE_CONNECTION_TIME}),
      m_frame(m_menus, m_status, m_dialogs), m_events([this] { return DumpJson(State()); })
{
}

CConsoleHost::~CConsoleHost()
{
    Stop();
}

BOOL CConsoleHost::Start(const tagHOST_OPTIONS& options, std::string* error)
{
    if (m_started)
    {
        *error = "already started";
        return FALSE;
    }
    m_options = options;
    m_token = options.token;
    if (m_token.empty() && !MakeToken(&m_token))
    {
        *error = "the system's random source failed";
        return FALSE;
    }
    const std::string webDir = options.webDir.empty() ? VEXA_WEB_DIR : options.webDir;
    m_assets.clear();
    if (!LoadAssets(webDir, &m_assets, error))
        return FALSE;
    // The data folder: --data, else $VEXA_DATA, else the XDG data home; the registry lives in it.
    if (!m_dataFolder.OpenDefault(options.dataDir))
    {
        *error = "cannot use the data folder: " + m_dataFolder.ErrorText();
        return FALSE;
    }
    if (m_registry.Open(m_dataFolder.RegistryPath()) != ERROR_SUCCESS)
    {
        *error = "cannot open the registry: " + RegLastErrorText();
        return FALSE;
    }
    SetProcessRegistry(&m_registry);
    m_secrets = std::make_unique<CSecrets>(m_dataFolder.SecretsPath());
    m_credentials = std::make_unique<CCredentialStore>(*m_secrets);

    auto notify = [this] { m_events.Notify(); };
    m_menus.SetChangeHandler(notify);
    m_status.SetChangeHandler(notify);
    m_frame.SetChangeHandler(notify);
    m_subscription = m_dialogs.Subscribe(notify);

    tagFRAME_ENV env;
    env.registry = &m_registry;
    env.credentials = m_credentials.get();
    env.rmcpPort = static_cast<WORD>(options.rmcpPort);
    env.rspPort = static_cast<WORD>(options.rspPort);
    env.startFolder = m_dataFolder.Path();
    if (!m_ui.Start() || !m_frame.Create(m_ui, env))
    {
        *error = "cannot start the user-interface thread";
        m_ui.Stop();
        SetProcessRegistry(nullptr);
        m_registry.Close();
        return FALSE;
    }

    tagHTTP_CONFIG config;
    config.host = options.listenHost;
    config.port = options.port;
    config.token = m_token;
    m_http = std::make_unique<CHttpServer>(config);
    AddRoutes(*m_http);
    if (!m_http->Start(error))
    {
        m_http.reset();
        m_dialogs.Shutdown();
        m_ui.Stop();
        m_ui.DestroyWindow(m_frame.GetSafeHwnd());
        m_frame.Destroy();
        SetProcessRegistry(nullptr);
        m_registry.Close();
        return FALSE;
    }
    m_started = true;
    return TRUE;
}

void CConsoleHost::Stop()
{
    if (!m_started)
        return;
    m_started = false;
    // The web edge first, so no request reaches the UI while it winds down; then release
    // any open modal so that the UI thread's nested loop returns, then the UI thread.
    m_http->Stop();
    m_dialogs.Shutdown();
    m_ui.Stop();
    m_ui.DestroyWindow(m_frame.GetSafeHwnd());
    // Every server disconnects; its threads find the UI thread gone and drop their messages.
    m_frame.Destroy();
    m_dialogs.Unsubscribe(m_subscription);
    SetProcessRegistry(nullptr);
    m_registry.Close();
}

int CConsoleHost::Port() const
{
    return m_http ? m_http->Port() : m_options.port;
}

std::string CConsoleHost::Url() const
{
    const std::string host = m_options.listenHost == "0.0.0.0" ? "127.0.0.1" : m_options.listenHost;
    return "http://" + host + ":" + std::to_string(Port()) + "/?token=" + m_token;
}

tagPAGE_PROPERTIES CConsoleHost::Properties() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_properties;
}

nlohmann::json CConsoleHost::State() const
{
    const unsigned long long version = m_events.Version();
    json menus = json::array();
    const std::vector<tagMENU> menuModel = m_menus.Snapshot();
    for (const tagMENU& menu : menuModel)
    {
        json items = json::array();
        for (const tagMENU_ITEM& item : menu.items)
            items.push_back({{"id", item.id},
                             {"text", item.text},
                             {"enabled", item.enabled != FALSE},
                             {"checked", item.checked != FALSE}});
        menus.push_back({{"text", menu.text}, {"items", items}});
    }
    const tagSTATUS_BAR bar = m_status.Snapshot();
    json status = {{"message", bar.message}, {"visible", bar.visible != FALSE}};
    for (const auto& pane : bar.panes)
        status[std::to_string(pane.first)] = pane.second;

    tagMODAL modal;
    json modalJson = m_dialogs.GetOpenModal(&modal) ? ModalJson(modal) : json(nullptr);

    json servers = json::array();
    for (const tagSERVER_VIEW& v : m_frame.Servers())
        servers.push_back({{"tag", v.tag},
                           {"name", v.name},
                           {"ip", v.ip},
                           {"type", v.ipmi ? "IPMI" : "ASF"},
                           {"connected", v.connected != FALSE},
                           {"power", v.power},
                           {"guid", v.guid}});
    const tagPROGRESS progress = m_frame.Progress();
    status["progress"] = {{"visible", progress.visible != FALSE},
                          {"range", progress.range},
                          {"position", progress.position}};
    const tagWINDOW_REQUEST window = m_frame.WindowRequest();

    const tagPAGE_PROPERTIES props = Properties();
    const tagDIAGNOSTICS diag = m_frame.Diagnostics();
    return {{"title", CONSOLE_TITLE},
            {"version", version},
            {"menus", menus},
            {"status", status},
            {"modal", modalJson},
            {"servers", servers},
            {"tree", TreeJson(m_frame.Tree())},
            {"contextMenus",
             {{"IPMI Server", ContextMenuJson(IPMI_CONTEXT_MENU, menuModel)},
              {"ASF Server", ContextMenuJson(ASF_CONTEXT_MENU, menuModel)}}},
            {"view", ViewJson(m_frame.View())},
            {"window",
             {{"seq", window.seq},
              {"name", window.name},
              {"url", window.url},
              {"title", window.title}}},
            {"properties",
             {{"Name", props.name},
              {"IP", props.ip},
              {"Type", props.type},
              {"Connect", props.connect}}},
            {"diagnostics",
             {{"boxes", diag.boxes},
              {"boxAnswer", diag.boxAnswer},
              {"dialogs", diag.dialogs},
              {"dialogAnswer", diag.dialogAnswer},
              {"dialogValues", diag.dialogValues}}}};
}

void CConsoleHost::AddRoutes(CHttpServer& http)
{
    for (const tagASSET& asset : m_assets)
    {
        if (asset.path == "/index.html")
            continue;
        const tagASSET* a = &asset;
        http.AddRoute(
            "GET", asset.path,
            [a](const tagHTTP_REQUEST&, tagHTTP_RESPONSE& response)
            {
                response.contentType = a->contentType;
                response.body = a->body;
                response.SetHeader("Cache-Control", "no-cache");
            },
            TRUE);
    }
    auto page = [this](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
    { ServePage(request, response); };
    http.AddRoute("GET", "/", page, TRUE);
    http.AddRoute("GET", "/index.html", page, TRUE);
    http.AddRoute("GET", "/api/state",
                  [this](const tagHTTP_REQUEST&, tagHTTP_RESPONSE& response)
                  { SetJson(response, 200, State()); });
    http.AddStream("/api/events", m_events);
    http.AddRoute("POST", "/api/command",
                  [this](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
                  { PostCommand(request, response); });
    http.AddRoute("POST", "/api/answer",
                  [this](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
                  { PostAnswer(request, response); });
    http.AddRoute("POST", "/api/select",
                  [this](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
                  { PostSelect(request, response); });
    const std::pair<const char*, VIEW_ACTION> viewRoutes[] = {
        {"/api/view/open", VIEW_ACTION::OPEN}, {"/api/view/sort", VIEW_ACTION::SORT},
        {"/api/view/edit", VIEW_ACTION::EDIT}, {"/api/view/edit-end", VIEW_ACTION::EDIT_END},
        {"/api/view/more", VIEW_ACTION::MORE}, {"/api/view/sheet", VIEW_ACTION::SHEET_OK},
    };
    for (const auto& [path, action] : viewRoutes)
    {
        const VIEW_ACTION a = action;
        http.AddRoute("POST", path,
                      [this, a](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
                      { PostViewAction(a, request, response); });
    }
    http.AddRoute("GET", "/api/folders",
                  [this](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
                  { GetFolders(request, response); });
}

void CConsoleHost::ServePage(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
{
    const tagASSET* index = nullptr;
    for (const tagASSET& asset : m_assets)
        if (asset.path == "/index.html")
            index = &asset;
    if (index == nullptr)
    {
        SetHttpError(response, 404, "the page is missing from the page folder");
        return;
    }
    response.contentType = index->contentType;
    response.body = index->body;
    response.SetHeader("Cache-Control", "no-store");

    // The control's properties, as the hosting page passes them. Taken only from a page
    // opened with the token, so another site cannot preset a server.
    const bool carriesProperties = request.HasQuery("Name") || request.HasQuery("IP") ||
                                   request.HasQuery("Type") || request.HasQuery("Connect");
    if (!request.authenticated || !carriesProperties)
        return;
    auto cut = [&](const char* name) { return request.Query(name).substr(0, MAX_PROPERTY_LENGTH); };
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_properties = {cut("Name"), cut("IP"), cut("Type"), cut("Connect")};
    }
    m_events.Notify();

    // The control's start: a page naming a server adds it without probing, and connects it
    // when asked to (the frame owns the record once the message is queued).
    const tagCONTROL_PROPERTIES control{cut("Name"), cut("IP"), cut("Type"), cut("Connect")};
    tagSERVER_RECORD record;
    BOOL connect = FALSE;
    if (!BuildPresetServer(control, record, connect))
        return;
    auto* posted = new tagSERVER_RECORD(record);
    if (!m_frame.PostMessage(WM_FRAME_ADD_PRESET, reinterpret_cast<WPARAM>(posted),
                             connect ? 1 : 0))
        delete posted;
}

void CConsoleHost::PostSelect(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
{
    json body;
    std::string reason;
    if (!ParseJsonBody(request, &body, &reason))
    {
        SetHttpError(response, 400, reason);
        return;
    }
    const auto value = body.find("value");
    if (value == body.end() || !value->is_number_unsigned() ||
        value->get<std::uint64_t>() > 0xFFFFFFFFu)
    {
        SetHttpError(response, 400, "\"value\" must be a tree node's 32-bit value");
        return;
    }
    const DWORD node = static_cast<DWORD>(value->get<std::uint64_t>());
    if (!HasNode(m_frame.Tree(), node))
    {
        SetHttpError(response, 409, "no tree node has the value " + std::to_string(node));
        return;
    }
    if (!m_frame.PostMessage(WM_FRAME_SELECT_NODE, node, 0))
    {
        SetHttpError(response, 503, "the console is shutting down");
        return;
    }
    SetJson(response, 200, {{"ok", true}, {"value", node}});
}

namespace
{
// A whole number field: present, an integer, within [low, high].
BOOL IntField(const json& body, const char* name, std::int64_t low, std::int64_t high, int* out)
{
    const auto it = body.find(name);
    if (it == body.end() || !it->is_number_integer())
        return FALSE;
    const std::int64_t value = it->get<std::int64_t>();
    if (value < low || value > high)
        return FALSE;
    *out = static_cast<int>(value);
    return TRUE;
}

bool IsSensorList(const tagVIEW_STATE& view)
{
    return !view.rows.empty() &&
           (view.rows[0].itemData == ROW_DATA_THRESHOLD_LIST ||
            view.rows[0].itemData == ROW_DATA_SENSOR_LIST) &&
           (view.kind == VIEW_SDR_SENSOR || view.kind == VIEW_COMPACT_SENSOR);
}

bool HasVisibleEditor(const tagVIEW_STATE& view, int row)
{
    for (const tagVIEW_EDITOR& e : view.editors)
        if (e.row == row && e.visible)
            return true;
    return false;
}
} // namespace

void CConsoleHost::PostViewAction(VIEW_ACTION kind, const tagHTTP_REQUEST& request,
                                  tagHTTP_RESPONSE& response)
{
    json body;
    std::string reason;
    if (!ParseJsonBody(request, &body, &reason))
    {
        SetHttpError(response, 400, reason);
        return;
    }
    auto action = std::make_unique<tagVIEW_ACTION>();
    action->action = kind;
    const tagVIEW_STATE view = m_frame.View();
    if (const auto node = body.find("node"); node != body.end())
    {
        if (!node->is_number_unsigned() || node->get<std::uint64_t>() > 0xFFFFFFFFu)
        {
            SetHttpError(response, 400, "\"node\" must be a tree node's 32-bit value");
            return;
        }
        action->node = static_cast<DWORD>(node->get<std::uint64_t>());
        action->hasNode = true;
    }
    auto conflict = [&](const std::string& why) { SetHttpError(response, 409, why); };
    const bool sheetRoute = kind == VIEW_ACTION::SHEET_OK;
    if (!sheetRoute && action->hasNode && action->node != view.node)
        return conflict("the view shows node " + std::to_string(view.node) + " now");
    const bool list = view.mode == VIEW_MODE::LIST;
    switch (kind)
    {
    case VIEW_ACTION::OPEN:
        if (!IntField(body, "row", 0, 0x7FFFFFFF, &action->row))
            return SetHttpError(response, 400, "\"row\" must be a row number");
        if (!list || static_cast<std::size_t>(action->row) >= view.rows.size())
            return conflict("the view has no row " + std::to_string(action->row));
        break;
    case VIEW_ACTION::SORT:
        if (!IntField(body, "column", 0, 0x7FFFFFFF, &action->column))
            return SetHttpError(response, 400, "\"column\" must be a column number");
        if (!list || static_cast<std::size_t>(action->column) >= view.columns.size())
            return conflict("the view has no column " + std::to_string(action->column));
        if (IsSensorList(view))
            return conflict("a sensor's list keeps its order");
        break;
    case VIEW_ACTION::EDIT:
    case VIEW_ACTION::EDIT_END:
    {
        const auto text = body.find("text");
        if (!IntField(body, "row", THRESHOLD_FIRST_ROW, THRESHOLD_LAST_ROW, &action->row) ||
            text == body.end() || !text->is_string() || text->get<std::string>().size() > 64)
            return SetHttpError(response, 400,
                                "\"row\" must be a threshold row (4-9) and \"text\" a text of "
                                "at most 64 characters");
        action->text = text->get<std::string>();
        if (!HasVisibleEditor(view, action->row))
            return conflict("row " + std::to_string(action->row) + " has no editor");
        break;
    }
    case VIEW_ACTION::MORE:
        if (!view.more)
            return conflict("the view has no \"More\" button");
        break;
    default:
    {
        const auto spin = body.find("spin");
        const auto button = body.find("button");
        if (spin != body.end() && spin->is_object())
        {
            if (!IntField(*spin, "index", 0, THRESHOLD_COUNT - 1, &action->index) ||
                !IntField(*spin, "position", -0x7FFFFFFF, 0x7FFFFFFF, &action->position))
                return SetHttpError(response, 400,
                                    "\"spin\" must hold \"index\" (0-5) and \"position\"");
            action->action = VIEW_ACTION::SHEET_SPIN;
            if (view.sheet && !view.sheet->spins[static_cast<std::size_t>(action->index)].visible)
                return conflict("spin " + std::to_string(action->index) + " is hidden");
        }
        else if (button != body.end() && button->is_string() &&
                 (*button == "OK" || *button == "Cancel"))
            action->action = *button == "OK" ? VIEW_ACTION::SHEET_OK : VIEW_ACTION::SHEET_CANCEL;
        else
            return SetHttpError(response, 400,
                                "the body must hold \"spin\" or \"button\" (\"OK\" or \"Cancel\")");
        if (!view.sheet)
            return conflict("no property sheet is open");
        break;
    }
    }
    if (!m_frame.PostMessage(WM_FRAME_VIEW_ACTION, reinterpret_cast<WPARAM>(action.get()), 0))
        return SetHttpError(response, 503, "the console is shutting down");
    action.release(); // the frame owns it now
    SetJson(response, 200, {{"ok", true}});
}

void CConsoleHost::GetFolders(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
{
    std::string path = request.HasQuery("path") ? request.Query("path") : m_dataFolder.Path();
    if (path.empty() || path[0] != '/' || path.size() > 4096)
    {
        SetHttpError(response, 400, "\"path\" must be an absolute folder path");
        return;
    }
    path = std::filesystem::path(path).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::vector<std::string> names;
    std::string error;
    if (!ListSubFolders(path, names, error))
    {
        SetHttpError(response, 404, error);
        return;
    }
    const std::string parent = std::filesystem::path(path).parent_path().string();
    SetJson(response, 200, {{"path", path}, {"parent", parent}, {"folders", names}});
}

void CConsoleHost::PostCommand(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
{
    json body;
    std::string reason;
    if (!ParseJsonBody(request, &body, &reason))
    {
        SetHttpError(response, 400, reason);
        return;
    }
    const auto id = body.find("id");
    if (id == body.end() || !id->is_number_integer() || id->get<std::int64_t>() <= 0 ||
        id->get<std::int64_t>() > MAX_COMMAND_ID)
    {
        SetHttpError(response, 400, "\"id\" must be a command number from 1 to 65535");
        return;
    }
    const UINT command = static_cast<UINT>(id->get<std::int64_t>());
    tagMENU_ITEM item;
    if (m_menus.FindItem(command, &item) && !item.enabled)
    {
        SetHttpError(response, 409, "command " + std::to_string(command) + " is disabled");
        return;
    }
    if (!m_frame.PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0))
    {
        SetHttpError(response, 503, "the console is shutting down");
        return;
    }
    SetJson(response, 200, {{"ok", true}, {"id", command}});
}

void CConsoleHost::PostAnswer(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
{
    json body;
    std::string reason;
    if (!ParseJsonBody(request, &body, &reason))
    {
        SetHttpError(response, 400, reason);
        return;
    }
    const auto id = body.find("id");
    const auto button = body.find("button");
    if (id == body.end() || !id->is_number_unsigned() || id->get<std::uint64_t>() > 0xFFFFFFFFu)
    {
        SetHttpError(response, 400, "\"id\" must be the open modal's id");
        return;
    }
    if (button == body.end() || !button->is_string())
    {
        SetHttpError(response, 400, "\"button\" must be the text of one of the modal's buttons");
        return;
    }
    std::map<std::string, std::string> values;
    const auto given = body.find("values");
    if (given != body.end() && !given->is_null())
    {
        if (!given->is_object())
        {
            SetHttpError(response, 400, "\"values\" must be an object");
            return;
        }
        for (const auto& [key, value] : given->items())
        {
            std::string text;
            if (!ValueText(value, &text))
            {
                SetHttpError(response, 400,
                             "value of '" + key + "' must be a text, number or boolean");
                return;
            }
            values[key] = text;
        }
    }
    const DWORD modalId = static_cast<DWORD>(id->get<std::uint64_t>());
    bool open = false;
    for (const tagMODAL& m : m_dialogs.OpenModals())
        open = open || m.id == modalId;
    if (!open)
    {
        SetHttpError(response, 409, "modal " + std::to_string(modalId) + " is not open");
        return;
    }
    if (!m_dialogs.Answer(modalId, button->get<std::string>(), values, &reason))
    {
        // Another page may have answered between the check and now.
        bool stillOpen = false;
        for (const tagMODAL& m : m_dialogs.OpenModals())
            stillOpen = stillOpen || m.id == modalId;
        SetHttpError(response, stillOpen ? 400 : 409, reason);
        return;
    }
    SetJson(response, 200, {{"ok", true}});
}
