#pragma once
// CLeftView: the navigation tree's model. A root "All Servers" with one node per server and,
// under each IPMI server, its section nodes. Every node carries a 32-bit value: byte 0 the
// node type, byte 1 the server tag (255 for the root), bytes 2 and 3 type-specific. The
// selection is one node; the frame decides what selecting means for the current server.
// Changed on the UI thread; the web edge reads snapshots. m_lock guards the nodes.
#include "platform/Types.h"
#include "servers/views/ViewTypes.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// How server nodes are named (commands 32776, 32774, 32770).
enum TREE_DISPLAY_MODE
{
    DISPLAY_IP = 1,
    DISPLAY_NAME = 2,
    DISPLAY_GUID = 3,
};

// Server node states of UpdateServerNode.
constexpr int NODE_STATE_SECTIONS = 0;
constexpr int NODE_STATE_CONNECTED = 2;
constexpr int NODE_STATE_DISCONNECTED = 3;
constexpr int NODE_STATE_TEXT = 6;
constexpr int NODE_STATE_HEALTH = 7;
constexpr int NODE_STATE_NON_CRITICAL = 8;
constexpr int NODE_STATE_CRITICAL = 9;
constexpr int NODE_STATE_NON_RECOVERABLE = 10;

constexpr DWORD ROOT_NODE_VALUE = MakeViewNodeValue(VIEW_ALL_SERVERS, 255);

// A node as the page sees it.
struct tagTREE_NODE
{
    DWORD value = 0;
    std::string text;
    std::string icon;
    bool expanded = false;
    bool selected = false;
    std::vector<tagTREE_NODE> children;
};

// What the tree needs to know of a server to draw its node.
struct tagSERVER_NODE_INFO
{
    BYTE tag = 255;
    BOOL ipmi = FALSE;
    BOOL connected = FALSE;
    std::string name;
    std::string ipText;
    std::string guidText;
};

class CLeftView
{
public:
    CLeftView();

    // Inserts the server's node last under the root with the text of the display mode and,
    // for an IPMI server, its section nodes in the order "SDR", "CompactSDR", "FRU", "SEL",
    // "Remote Console", "All Sensors value". When the root is selected it is expanded and
    // the new node selected. FALSE when the tag already has a node.
    BOOL InsertServerNode(const tagSERVER_NODE_INFO& server);
    // Deletes the server's node and selects its next sibling, else the root's first child,
    // else the root. FALSE when the tag has no node. selectedTag receives the tag of the node
    // selected afterwards (255 for the root).
    BOOL RemoveServerNode(BYTE tag, BYTE* selectedTag);
    // States 2 and 3 set the connected/disconnected icon; 6 refreshes the text (name or
    // GUID modes only); 8, 9, 10 set the health icons of an IPMI server; others do nothing
    // here (the frame builds states 0 and 7 from the server's data).
    void UpdateServerNode(const tagSERVER_NODE_INFO& server, int state);

    // State 0: the server's section nodes become these (built from the records read). The
    // selection stays on the node of the same value, else moves to the server node; TRUE
    // when it moved.
    BOOL SetServerSections(BYTE tag, const std::vector<tagVIEW_NODE>& sections);
    // State 7: every sensor node under the server takes the icon iconOf gives its value.
    void SetSensorIcons(BYTE tag, const std::function<std::string(DWORD value)>& iconOf);
    // The children of the first node with this value (empty when none has it).
    std::vector<tagVIEW_NODE> Children(DWORD value) const;
    // The icon of the first node with this value; empty when none has it.
    std::string Icon(DWORD value) const;
    int DisplayMode() const;
    // Sets the mode and rewrites every server node's text; info gives each server by tag.
    void SetDisplayMode(int mode, const std::function<tagSERVER_NODE_INFO(BYTE)>& info);

    DWORD SelectedValue() const;
    // Selects the first node (depth first) with this value; FALSE when none has it.
    BOOL Select(DWORD value);
    // Selects the parent of the selected node; FALSE at the root.
    BOOL SelectParent();
    BOOL HasServerNode(BYTE tag) const;

    tagTREE_NODE Snapshot() const;
    void SetChangeHandler(std::function<void()> handler);

private:
    struct tagNODE
    {
        DWORD value = 0;
        std::string text;
        std::string icon;
        bool expanded = false;
        tagNODE* parent = nullptr;
        std::vector<std::unique_ptr<tagNODE>> children;
    };

    std::string ServerText(const tagSERVER_NODE_INFO& server) const;
    tagNODE* FindServer(BYTE tag) const;
    tagNODE* Find(tagNODE* from, DWORD value) const;
    static tagTREE_NODE Copy(const tagNODE& node, const tagNODE* selected);
    static std::unique_ptr<tagNODE> Make(const tagVIEW_NODE& from, tagNODE* parent);
    void Changed();

    mutable std::mutex m_lock;
    tagNODE m_root;
    tagNODE* m_selected = nullptr;
    int m_displayMode = DISPLAY_NAME;
    std::function<void()> m_onChange;
};
