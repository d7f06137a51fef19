#pragma once
// The content view's report list (CVexaView): its columns by node kind with the width rule,
// its rows for every kind, what a double-click does, and the event detail dialog
// (CEventShowDlg) as a plain record the page renders (ToDialog gives it as a dialog of
// read-only fields). UI thread; the CIPMIServer overloads copy what they need under the
// server's locks and hold none on return.
#include "platform/ui/DialogService.h"
#include "servers/SEL.h"
#include "servers/Sensor.h"
#include "servers/views/ViewTypes.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

class CServer;
class CIPMIServer;
class CFruRecord;

constexpr int LIST_COLUMN_LIMIT = 10;
constexpr const char* LIST_FILLER_TITLE = "    ";

struct tagLIST_COLUMN
{
    std::string title;
    int width = 0;
};

// Titles of a node kind (empty for kinds without columns).
std::vector<std::string> GetColumnTitles(BYTE kind);
// All ten columns: the titles at clientWidth / (n + 1), one untitled column of that width,
// the rest of width 0.
std::vector<tagLIST_COLUMN> BuildColumns(BYTE kind, int clientWidth);
// Whether showing newKind after shownKind rebuilds the columns.
BOOL NeedsColumnRebuild(BYTE shownKind, BYTE newKind);

// Kinds 2, 4, 5, 8, 9, 18 and 19: one row per child node of the selected node, with the
// child's image and node value.
std::vector<tagLIST_ROW> BuildChildRows(BYTE kind, const std::vector<tagVIEW_NODE>& children);

// Kind 1: one row per server, in list order.
struct tagSERVER_ROW_INPUT
{
    std::string name;
    BYTE connectionType = 0; // 0 LAN, 1 COM
    std::string address;
    bool connected = false;
    DWORD watchdogState = 0; // 2 normal, 1 timed out
    bool ipmi = true;        // the status text of an unknown state: IPMI empty, ASF "Unknown"
    DWORD nodeValue = 0;     // the server's tree node
    std::string icon;
};
tagSERVER_ROW_INPUT ServerRowInput(const CServer& server, const std::string& icon = "");
std::vector<tagLIST_ROW> BuildServerRows(const std::vector<tagSERVER_ROW_INPUT>& servers);

// Kind 3: the ASF server's information, from plain values of the server object.
struct tagASF_INFO_INPUT
{
    std::string name;
    std::string address;
    std::string guid;
    std::time_t lastHeartbeat = 0; // 0: none received
    bool stateValid = false;       // the state texts are shown only when valid
    std::string systemState;
    std::string watchdog;
};
std::vector<tagLIST_ROW> BuildAsfInfoRows(const tagASF_INFO_INPUT& info);

// Kind 10: the labelled fields of one area.
std::vector<tagLIST_ROW> BuildFruFieldRows(const CFruRecord* record, BYTE area);

// Kinds 6 and 20: the sensor of the node (record kind, type and number); none when absent.
std::optional<CSensor> FindNodeSensor(CIPMIServer& server, DWORD nodeValue);

// Kind 12: one row per entry in array order.
std::string EventSensorName(const CSEL& entry, const CSensor* sensor);
const CSensor* FindSensorByNumber(const std::vector<CSensor>& sensors, BYTE number);
std::vector<tagLIST_ROW> BuildEventRows(const std::vector<CSEL>& entries,
                                        const std::string& serverName,
                                        const std::vector<CSensor>& sensors, long eastOfUtcSeconds);
std::vector<tagLIST_ROW> BuildEventRows(CIPMIServer& server);

// Double-click.
enum class LIST_ACTION
{
    NONE,
    SHOW_EVENT,    // open "Event Information" for entry eventIndex
    EVENT_DELETED, // show "This SEL entry had been deleted." titled "SEL detail information"
    SELECT_CHILD,  // select the tree node childValue
};
constexpr const char* SEL_ENTRY_DELETED_TEXT = "This SEL entry had been deleted.";
constexpr const char* SEL_ENTRY_DELETED_CAPTION = "SEL detail information";

struct tagLIST_ACTION
{
    LIST_ACTION action = LIST_ACTION::NONE;
    std::size_t eventIndex = 0;
    DWORD childValue = 0;
};
// An event row names its entry by its "Index" text, so a sorted list opens the right one;
// entryCount is how many entries the server holds now.
tagLIST_ACTION DoubleClickAction(const tagLIST_ROW& row, std::size_t entryCount);

// The event detail dialog.
struct tagEVENT_ATTRIBUTE
{
    std::string attribute, meaning, value;
};
struct tagEVENT_DETAIL
{
    std::string title = "Event Information";
    std::string sensorName, sensorType, direction, recordId, eventType, message, logTime;
    std::string currentValue, thresholdValue; // empty when not known
    bool moreEnabled = false; // opens the SDR property sheet of the sensor with an empty title
    std::vector<tagLIST_COLUMN> columns;
    std::vector<tagEVENT_ATTRIBUTE> attributes;
};
tagEVENT_DETAIL BuildEventDetail(const CSEL& entry, const CSensor* sensor, long eastOfUtcSeconds);
// The detail of entry index as the server holds it now; none when it holds no such entry.
std::optional<tagEVENT_DETAIL> BuildEventDetail(CIPMIServer& server, std::size_t index,
                                                std::optional<CSensor>* sensor = nullptr);
// Buttons: "More" (when enabled, result EVENT_MORE_BUTTON) and OK.
constexpr int EVENT_MORE_BUTTON = 100;
tagDIALOG ToDialog(const tagEVENT_DETAIL& detail);

// Everything a node kind shows, for the page host: the columns and rows of the report list.
struct tagVIEW_SOURCES
{
    std::vector<tagVIEW_NODE> children;       // kinds 2, 4, 5, 8, 9, 18, 19
    std::vector<tagSERVER_ROW_INPUT> servers; // kind 1
    tagASF_INFO_INPUT asf;                    // kind 3
    CIPMIServer* server = nullptr;            // kinds 6, 10, 12, 20
    std::optional<CSensor> sensor;            // kinds 6 and 20: instead of the server's
};
struct tagVIEW_CONTENT
{
    std::vector<tagLIST_COLUMN> columns;
    std::vector<tagLIST_ROW> rows;
    std::optional<CSensor> sensor; // kinds 6 and 20: hand it to CCustomLV
};
tagVIEW_CONTENT BuildNodeContent(DWORD nodeValue, const tagVIEW_SOURCES& sources, int clientWidth);
