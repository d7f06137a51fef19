#include "host/LeftView.h"

#include <algorithm>

namespace
{
const char* ServerIcon(BOOL ipmi, BOOL connected)
{
    if (ipmi)
        return connected ? "ipmi-connected" : "ipmi-disconnected";
    return connected ? "asf-connected" : "asf-disconnected";
}

struct tagSECTION
{
    BYTE type;
    const char* text;
    const char* icon;
};

const tagSECTION IPMI_SECTIONS[] = {
    {VIEW_SDR, "SDR", "section-sdr"},
    {VIEW_COMPACT_SDR, "CompactSDR", "section-compact-sdr"},
    {VIEW_FRU, "FRU", "section-fru"},
    {VIEW_SEL, "SEL", "section-sel"},
    {VIEW_CONSOLE, "Remote Console", "section-console"},
    {VIEW_ALL_SENSORS, "All Sensors value", "section-all-sensors"},
};
} // namespace

CLeftView::CLeftView()
{
    m_root.value = ROOT_NODE_VALUE;
    m_root.text = "All Servers";
    m_root.icon = "root";
    m_selected = &m_root;
}

std::string CLeftView::ServerText(const tagSERVER_NODE_INFO& server) const
{
    switch (m_displayMode)
    {
    case DISPLAY_IP:
        return server.ipText;
    case DISPLAY_GUID:
        return server.guidText;
    default:
        return server.name;
    }
}

CLeftView::tagNODE* CLeftView::Find(tagNODE* from, DWORD value) const
{
    if (from->value == value)
        return from;
    for (auto& child : from->children)
        if (tagNODE* found = Find(child.get(), value))
            return found;
    return nullptr;
}

CLeftView::tagNODE* CLeftView::FindServer(BYTE tag) const
{
    for (const auto& child : m_root.children)
    {
        const BYTE type = ViewNodeKind(child->value);
        if ((type == VIEW_IPMI_SERVER || type == VIEW_ASF_SERVER) &&
            ViewNodeTag(child->value) == tag)
            return child.get();
    }
    return nullptr;
}

BOOL CLeftView::InsertServerNode(const tagSERVER_NODE_INFO& server)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (server.tag == 255 || FindServer(server.tag) != nullptr)
            return FALSE;
        auto node = std::make_unique<tagNODE>();
        node->value =
            MakeViewNodeValue(server.ipmi ? VIEW_IPMI_SERVER : VIEW_ASF_SERVER, server.tag);
        node->text = ServerText(server);
        node->icon = ServerIcon(server.ipmi, server.connected);
        node->parent = &m_root;
        if (server.ipmi)
        {
            for (const tagSECTION& s : IPMI_SECTIONS)
            {
                auto section = std::make_unique<tagNODE>();
                section->value = MakeViewNodeValue(s.type, server.tag);
                section->text = s.text;
                section->icon = s.icon;
                section->parent = node.get();
                node->children.push_back(std::move(section));
            }
        }
        tagNODE* inserted = node.get();
        m_root.children.push_back(std::move(node));
        if (m_selected == &m_root)
        {
            m_root.expanded = true;
            m_selected = inserted;
        }
    }
    Changed();
    return TRUE;
}

BOOL CLeftView::RemoveServerNode(BYTE tag, BYTE* selectedTag)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        tagNODE* node = FindServer(tag);
        if (node == nullptr)
            return FALSE;
        auto& siblings = m_root.children;
        auto it = std::find_if(siblings.begin(), siblings.end(),
                               [node](const auto& n) { return n.get() == node; });
        it = siblings.erase(it);
        if (it != siblings.end())
            m_selected = it->get();
        else if (!siblings.empty())
            m_selected = siblings.front().get();
        else
            m_selected = &m_root;
        if (selectedTag != nullptr)
            *selectedTag = ViewNodeTag(m_selected->value);
    }
    Changed();
    return TRUE;
}

void CLeftView::UpdateServerNode(const tagSERVER_NODE_INFO& server, int state)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        tagNODE* node = FindServer(server.tag);
        if (node == nullptr)
            return;
        const std::string icon = node->icon, text = node->text;
        switch (state)
        {
        case NODE_STATE_CONNECTED:
            node->icon = ServerIcon(server.ipmi, TRUE);
            break;
        case NODE_STATE_DISCONNECTED:
            node->icon = ServerIcon(server.ipmi, FALSE);
            break;
        case NODE_STATE_TEXT:
            if (m_displayMode == DISPLAY_IP)
                return;
            node->text = ServerText(server);
            break;
        case NODE_STATE_NON_CRITICAL:
        case NODE_STATE_CRITICAL:
        case NODE_STATE_NON_RECOVERABLE:
            if (!server.ipmi)
                return;
            node->icon = state == NODE_STATE_NON_CRITICAL ? "ipmi-non-critical"
                         : state == NODE_STATE_CRITICAL   ? "ipmi-critical"
                                                          : "ipmi-non-recoverable";
            break;
        default:
            return;
        }
        // The health state is set again at every reading: push only a change.
        if (node->icon == icon && node->text == text)
            return;
    }
    Changed();
}

std::unique_ptr<CLeftView::tagNODE> CLeftView::Make(const tagVIEW_NODE& from, tagNODE* parent)
{
    auto node = std::make_unique<tagNODE>();
    node->value = from.value;
    node->text = from.text;
    node->icon = from.icon;
    node->expanded = from.expanded;
    node->parent = parent;
    for (const tagVIEW_NODE& child : from.children)
        node->children.push_back(Make(child, node.get()));
    return node;
}

BOOL CLeftView::SetServerSections(BYTE tag, const std::vector<tagVIEW_NODE>& sections)
{
    BOOL moved = FALSE;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        tagNODE* server = FindServer(tag);
        if (server == nullptr || ViewNodeKind(server->value) != VIEW_IPMI_SERVER)
            return FALSE;
        const DWORD selected = m_selected->value;
        bool under = false;
        for (const tagNODE* p = m_selected->parent; p != nullptr; p = p->parent)
            under = under || p == server;
        // The operator's expansion of the sections survives a new read.
        std::vector<std::pair<DWORD, bool>> expanded;
        for (const auto& child : server->children)
            expanded.emplace_back(child->value, child->expanded);
        server->children.clear();
        for (const tagVIEW_NODE& section : sections)
        {
            server->children.push_back(Make(section, server));
            for (const auto& e : expanded)
                if (e.first == section.value && e.second)
                    server->children.back()->expanded = true;
        }
        if (under)
        {
            tagNODE* again = Find(server, selected);
            moved = again == nullptr ? TRUE : FALSE;
            m_selected = again != nullptr ? again : server;
            for (tagNODE* p = m_selected->parent; p != nullptr; p = p->parent)
                p->expanded = true;
        }
    }
    Changed();
    return moved;
}

void CLeftView::SetSensorIcons(BYTE tag, const std::function<std::string(DWORD value)>& iconOf)
{
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        tagNODE* server = FindServer(tag);
        if (server == nullptr)
            return;
        std::function<void(tagNODE&)> walk = [&](tagNODE& node)
        {
            const BYTE kind = ViewNodeKind(node.value);
            if (kind == VIEW_SDR_SENSOR || kind == VIEW_COMPACT_SENSOR)
            {
                std::string icon = iconOf(node.value);
                if (!icon.empty() && icon != node.icon)
                {
                    node.icon = std::move(icon);
                    changed = true;
                }
            }
            for (auto& child : node.children)
                walk(*child);
        };
        walk(*server);
    }
    if (changed)
        Changed();
}

std::vector<tagVIEW_NODE> CLeftView::Children(DWORD value) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<tagVIEW_NODE> out;
    const tagNODE* node = Find(const_cast<tagNODE*>(&m_root), value);
    if (node == nullptr)
        return out;
    for (const auto& child : node->children)
        out.push_back({child->value, child->text, child->icon, child->expanded, {}});
    return out;
}

std::string CLeftView::Icon(DWORD value) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const tagNODE* node = Find(const_cast<tagNODE*>(&m_root), value);
    return node == nullptr ? std::string() : node->icon;
}

int CLeftView::DisplayMode() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_displayMode;
}

void CLeftView::SetDisplayMode(int mode, const std::function<tagSERVER_NODE_INFO(BYTE)>& info)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (mode != DISPLAY_IP && mode != DISPLAY_NAME && mode != DISPLAY_GUID)
            return;
        m_displayMode = mode;
        for (auto& child : m_root.children)
            child->text = ServerText(info(ViewNodeTag(child->value)));
    }
    Changed();
}

DWORD CLeftView::SelectedValue() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_selected->value;
}

BOOL CLeftView::Select(DWORD value)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        tagNODE* node = Find(&m_root, value);
        if (node == nullptr)
            return FALSE;
        m_selected = node;
        for (tagNODE* p = node->parent; p != nullptr; p = p->parent)
            p->expanded = true;
    }
    Changed();
    return TRUE;
}

BOOL CLeftView::SelectParent()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_selected->parent == nullptr)
            return FALSE;
        m_selected = m_selected->parent;
    }
    Changed();
    return TRUE;
}

BOOL CLeftView::HasServerNode(BYTE tag) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return FindServer(tag) != nullptr;
}

tagTREE_NODE CLeftView::Copy(const tagNODE& node, const tagNODE* selected)
{
    tagTREE_NODE out;
    out.value = node.value;
    out.text = node.text;
    out.icon = node.icon;
    out.expanded = node.expanded;
    out.selected = &node == selected;
    for (const auto& child : node.children)
        out.children.push_back(Copy(*child, selected));
    return out;
}

tagTREE_NODE CLeftView::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return Copy(m_root, m_selected);
}

void CLeftView::SetChangeHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_onChange = std::move(handler);
}

void CLeftView::Changed()
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        handler = m_onChange;
    }
    if (handler)
        handler();
}
