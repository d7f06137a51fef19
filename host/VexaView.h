#pragma once
// CVexaView: the content pane beside the tree, as the page host runs it. For the node the
// tree shows it holds the report list (CSortListCtrl) with the rows of the node's kind, the
// one-sensor list with its threshold editors (CCustomLV), the gauge tiles (CCtrlsView) and
// the open SDR property sheet, and it publishes all of it as one snapshot for the web edge.
// The frame gathers what a node shows (tagVIEW_SOURCES) and acts on the double-click; the view
// knows no tree and no document.
// Runs on the UI thread; m_lock guards only the published snapshot, which any thread reads.
// While a threshold request or one of its message boxes runs (the nested loop lets other
// messages through), refreshes are held back and done once it ends.
#include "platform/MessageBox.h"
#include "servers/views/Gauges.h"
#include "servers/views/ListView.h"
#include "servers/views/SortList.h"
#include "servers/views/Thresholds.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CServer;
class CIPMIServer;

// The pane's width for the column rule: the page lays the columns out in proportion.
constexpr int VIEW_CLIENT_WIDTH = 800;

enum class VIEW_MODE
{
    NONE,
    LIST,
    GAUGES,
    CONSOLE,
};
const char* ViewModeName(VIEW_MODE mode);

struct tagVIEW_EDITOR
{
    int row = 0;
    bool visible = false;
    std::string text;
    int minimum = 0;
    int maximum = 255;
    bool wraps = false;
};

struct tagVIEW_TILE
{
    std::size_t index = 0;
    std::string name;
    std::string value;
    bool hasValue = false;
    std::string type; // picture names
    std::string level;
    tagRECT_I rect;
};

struct tagVIEW_SHEET
{
    std::string title;
    std::vector<std::string> pages;
    tagSDR_INFO_PAGE information;
    std::string sensorName, currentValue, units;
    std::array<tagSDR_SPIN, THRESHOLD_COUNT> spins;
    tagBAR_PAINT bar;
    std::vector<tagSDR_CAP_ITEM> capabilities;
};

// What the page draws of the pane.
struct tagVIEW_STATE
{
    DWORD node = 0;
    BYTE kind = 0;
    VIEW_MODE mode = VIEW_MODE::NONE;
    std::vector<tagLIST_COLUMN> columns; // the titled ones and the filler
    int sortColumn = -1;
    std::vector<std::string> sortMarks; // per column
    std::vector<tagLIST_ROW> rows;      // display order
    std::vector<tagVIEW_EDITOR> editors;
    bool more = false;
    std::vector<tagVIEW_TILE> tiles;
    std::optional<tagVIEW_SHEET> sheet;
    unsigned readingsSeq = 0;
    long long readingsAtMs = 0;
};

// Gathers what a node shows; the frame supplies it. server is the node's IPMI server, or null.
using ViewSourceFn = std::function<tagVIEW_SOURCES(DWORD node)>;
// Sends a threshold request of a sensor to the server with this tag and, on success, writes
// the new values into the server's record before returning (a message box may follow, during
// which the server may go). 0 on success, as ThresholdSender.
using ViewThresholdSender =
    std::function<int(BYTE tag, const CSensor& sensor, const tagTHRESHOLD_REQUEST& request)>;

class CVexaView
{
public:
    CVexaView() = default;

    void SetSourceFn(ViewSourceFn sources) { m_sources = std::move(sources); }
    void SetThresholdSender(ViewThresholdSender send) { m_send = std::move(send); }
    void SetChangeHandler(std::function<void()> handler);

    // Shows the node: columns (rebuilt only on a change of kind, and always for kind 1),
    // rows, the one-sensor list with its editors, or the tiles.
    void ShowNode(DWORD node);
    // Rebuilds what is shown from the server's data now, keeping the sort and the editor
    // being typed in.
    void Refresh();
    // The poller's new readings for the server with this tag.
    void OnReadings(BYTE tag, long long nowMs);
    DWORD ShownNode() const { return m_node; }
    BYTE ShownTag() const { return ViewNodeTag(m_node); }

    // The page's actions. FALSE when the view does not show what they name.
    BOOL GetRow(int row, tagLIST_ROW* out) const;
    BOOL Sort(int column);
    BOOL EditChange(int row, const std::string& text);
    // Ends an edit of the threshold list: the checks, the request, the boxes.
    BOOL EditEnd(int row, const std::string& text, IMessageBoxService& boxes);
    BOOL IsMoreVisible() const { return m_custom.IsMoreButtonVisible() && IsThresholdList(); }
    // Opens the property sheet on a sensor of the server with this tag (the shown one for
    // "More").
    void OpenSheet(const std::string& title, const CSensor& sensor, BYTE tag);
    const CSensor* ShownSensor() const;
    BOOL HasSheet() const { return m_sheet != nullptr; }
    BOOL SheetSpin(int index, int position);
    // OK: sends the changed thresholds; the sheet closes unless the request failed.
    BOOL SheetOk(IMessageBoxService& boxes);
    BOOL CloseSheet();

    tagVIEW_STATE Snapshot() const;

private:
    bool IsThresholdList() const;
    void Rebuild(bool newNode);
    void FillList(const tagVIEW_CONTENT& content, bool rebuildColumns);
    void Publish();
    // Runs fn with refreshes held back; one that came meanwhile runs afterwards.
    template <class Fn> auto Busy(Fn fn);

    ViewSourceFn m_sources;
    DWORD m_node = 0;
    BYTE m_kind = 0;
    bool m_hasKind = false;
    CSortListCtrl m_list;
    std::vector<tagLIST_COLUMN> m_columns;
    std::map<DWORD, std::string> m_images; // item data -> row picture
    bool m_sensorList = false;             // kinds 6 and 20: rows are the one-sensor list
    CCustomLV m_custom;
    int m_editingRow = -1; // the editor being typed in, -1 for none
    CCtrlsView m_gauges;
    std::unique_ptr<CSDRPropSheet> m_sheet;
    BYTE m_sheetTag = VIEW_NO_SERVER_TAG;
    ViewThresholdSender m_send;
    int m_busy = 0;
    bool m_refreshPending = false;
    bool m_newNodePending = false;
    bool m_sorted = false; // the operator sorted the rows of this node
    unsigned m_readingsSeq = 0;
    long long m_readingsAtMs = 0;

    mutable std::mutex m_lock;
    tagVIEW_STATE m_published; // guarded by m_lock
    std::function<void()> m_onChange;
};
