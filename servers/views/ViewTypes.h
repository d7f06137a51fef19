#pragma once
// Shared vocabulary of the content views: tree node values as the views read them, list rows
// as arrays of cell texts with their item data, and the picture names the page draws.
// Plain values; any thread.
#include "platform/Types.h"

#include <string>
#include <vector>

// Node kinds: byte 0 of a tree node value. The content view shows one of these.
enum VIEW_KIND : BYTE
{
    VIEW_ALL_SERVERS = 1,
    VIEW_IPMI_SERVER = 2, // lists its section nodes
    VIEW_ASF_SERVER = 3,  // server information
    VIEW_SDR = 4,         // sensor types of the full records
    VIEW_SDR_TYPE = 5,    // sensors of one type
    VIEW_SDR_SENSOR = 6,  // one sensor
    VIEW_FRU = 8,
    VIEW_FRU_DEVICE = 9,
    VIEW_FRU_AREA = 10,
    VIEW_SEL = 12,
    VIEW_ALL_SENSORS = 14, // the gauge view
    VIEW_CONSOLE = 15,
    VIEW_COMPACT_SDR = 18,
    VIEW_COMPACT_TYPE = 19,
    VIEW_COMPACT_SENSOR = 20,
};

// Item data of rows that do not stand for a tree node.
constexpr DWORD ROW_DATA_THRESHOLD_LIST = 7;
constexpr DWORD ROW_DATA_EVENT = 13;
constexpr DWORD ROW_DATA_SENSOR_LIST = 21;

constexpr BYTE VIEW_NO_SERVER_TAG = 255;

constexpr DWORD MakeViewNodeValue(BYTE kind, BYTE tag, BYTE byte2 = 0, BYTE byte3 = 0)
{
    return static_cast<DWORD>(kind) | (static_cast<DWORD>(tag) << 8) |
           (static_cast<DWORD>(byte2) << 16) | (static_cast<DWORD>(byte3) << 24);
}
constexpr BYTE ViewNodeKind(DWORD value)
{
    return static_cast<BYTE>(value & 0xFF);
}
constexpr BYTE ViewNodeTag(DWORD value)
{
    return static_cast<BYTE>((value >> 8) & 0xFF);
}
constexpr BYTE ViewNodeByte2(DWORD value)
{
    return static_cast<BYTE>((value >> 16) & 0xFF);
}
constexpr BYTE ViewNodeByte3(DWORD value)
{
    return static_cast<BYTE>((value >> 24) & 0xFF);
}

// One tree node as the views need it, with its children (section building fills these).
struct tagVIEW_NODE
{
    DWORD value = 0;
    std::string text;
    std::string icon;
    bool expanded = false;
    std::vector<tagVIEW_NODE> children;
};

// One list row: the item text first, then the sub-items.
struct tagLIST_ROW
{
    std::vector<std::string> cells;
    DWORD itemData = 0; // a child's node value, or one of the ROW_DATA_* marks
    std::string image;  // the child's tree icon; empty for none
};

// A colour as data: its name and its RGB value (0xRRGGBB).
struct tagVIEW_COLOUR
{
    const char* name;
    DWORD rgb;
};

// The picture family of a sensor type ("temperature", "fan", "oem-c0", ...); null for the
// types that share the common picture.
const char* SensorPictureKind(BYTE sensorType);

// "a:b:c" split at every ':'.
std::vector<std::string> SplitViewLine(const std::string& line);
