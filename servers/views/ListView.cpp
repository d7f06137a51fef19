#include "servers/views/ListView.h"

#include "servers/FruRecord.h"
#include "servers/IPMIServer.h"
#include "servers/views/Thresholds.h"

#include <cstdio>

std::vector<std::string> SplitViewLine(const std::string& line)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;)
    {
        std::size_t colon = line.find(':', start);
        pieces.push_back(line.substr(start, colon - start));
        if (colon == std::string::npos)
            return pieces;
        start = colon + 1;
    }
}

std::vector<std::string> GetColumnTitles(BYTE kind)
{
    switch (kind)
    {
    case VIEW_ALL_SERVERS:
        return {"Server Name", "Connection Type", "Server Destination", "State", "Status"};
    case VIEW_IPMI_SERVER:
        return {"Information"};
    case VIEW_ASF_SERVER:
    case VIEW_FRU_AREA:
        return {"information", "Value"};
    case VIEW_SDR:
    case VIEW_COMPACT_SDR:
        return {"SensorType", "Type Number"};
    case VIEW_SDR_TYPE:
    case VIEW_COMPACT_TYPE:
        return {"Sensor Name", "Sensor Number", "Type Number"};
    case VIEW_SDR_SENSOR:
    case VIEW_COMPACT_SENSOR:
        return {"Attribute", "Value", "Meanings"};
    case VIEW_FRU:
        return {"Device Name", "Device ID"};
    case VIEW_FRU_DEVICE:
        return {"Information Area"};
    case VIEW_SEL:
        return {"Index",       "Server Name",      "Server IP",        "Event Direction",
                "Sensor Name", "Event Time (GMT)", "Event Description"};
    default:
        return {};
    }
}

std::vector<tagLIST_COLUMN> BuildColumns(BYTE kind, int clientWidth)
{
    const std::vector<std::string> titles = GetColumnTitles(kind);
    const int width = clientWidth > 0 ? clientWidth / static_cast<int>(titles.size() + 1) : 0;
    std::vector<tagLIST_COLUMN> columns(LIST_COLUMN_LIMIT);
    for (std::size_t i = 0; i < titles.size(); ++i)
        columns[i] = {titles[i], width};
    columns[titles.size()] = {LIST_FILLER_TITLE, width};
    return columns;
}

BOOL NeedsColumnRebuild(BYTE shownKind, BYTE newKind)
{
    return newKind != shownKind || newKind == VIEW_ALL_SERVERS;
}

std::vector<tagLIST_ROW> BuildChildRows(BYTE kind, const std::vector<tagVIEW_NODE>& children)
{
    std::vector<tagLIST_ROW> rows;
    for (const tagVIEW_NODE& child : children)
    {
        tagLIST_ROW row{{child.text}, child.value, child.icon};
        const BYTE b2 = ViewNodeByte2(child.value), b3 = ViewNodeByte3(child.value);
        switch (kind)
        {
        case VIEW_SDR:
        case VIEW_COMPACT_SDR:
            row.cells.push_back(std::to_string(b2));
            break;
        case VIEW_SDR_TYPE:
        case VIEW_COMPACT_TYPE:
            row.cells.push_back(std::to_string(b3));
            row.cells.push_back(std::to_string(b2));
            break;
        case VIEW_FRU:
        {
            char text[8];
            std::snprintf(text, sizeof text, "0x%X", b2);
            row.cells.push_back(text);
            break;
        }
        default:
            break;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

tagSERVER_ROW_INPUT ServerRowInput(const CServer& server, const std::string& icon)
{
    tagSERVER_ROW_INPUT input;
    input.name = server.GetName();
    input.connectionType = server.GetConnectionType();
    input.address = server.GetIpText();
    input.connected = server.IsConnected();
    input.watchdogState = server.GetHeartbeatState();
    input.ipmi = server.GetServerType() == SERVER_TYPE_IPMI;
    input.nodeValue =
        MakeViewNodeValue(input.ipmi ? VIEW_IPMI_SERVER : VIEW_ASF_SERVER, server.GetServerTag());
    input.icon = icon;
    return input;
}

std::vector<tagLIST_ROW> BuildServerRows(const std::vector<tagSERVER_ROW_INPUT>& servers)
{
    std::vector<tagLIST_ROW> rows;
    for (const tagSERVER_ROW_INPUT& s : servers)
    {
        const char* status = s.watchdogState == 2   ? "Normal"
                             : s.watchdogState == 1 ? "Watch dog time out"
                             : s.ipmi               ? ""
                                                    : "Unknown";
        rows.push_back({{s.name, s.connectionType == 1 ? "COM" : "LAN", s.address,
                         s.connected ? "Connected" : "Disconnected", status},
                        s.nodeValue,
                        s.icon});
    }
    return rows;
}

std::vector<tagLIST_ROW> BuildAsfInfoRows(const tagASF_INFO_INPUT& info)
{
    std::string heartbeat = "Not Received";
    if (info.lastHeartbeat != 0)
    {
        std::tm local = {};
        localtime_r(&info.lastHeartbeat, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        heartbeat = text;
    }
    return {{{"Server Name", info.name}, 0, ""},
            {{"IP Address", info.address}, 0, ""},
            {{"System GUID", info.guid}, 0, ""},
            {{"Last Heart Beat", heartbeat}, 0, ""},
            {{"System State", info.stateValid ? info.systemState : ""}, 0, ""},
            {{"WatchDog Timer Expired", info.stateValid ? info.watchdog : ""}, 0, ""}};
}

std::vector<tagLIST_ROW> BuildFruFieldRows(const CFruRecord* record, BYTE area)
{
    std::vector<tagLIST_ROW> rows;
    if (!record || area < 1 || area > 3)
        return rows;
    for (const tagFRU_FIELD_LINE& line : record->GetFieldLines(static_cast<FruArea>(area)))
        rows.push_back({{line.label, line.value}, 0, ""});
    return rows;
}

std::optional<CSensor> FindNodeSensor(CIPMIServer& server, DWORD nodeValue)
{
    const BYTE kind = ViewNodeKind(nodeValue);
    if (kind != VIEW_SDR_SENSOR && kind != VIEW_COMPACT_SENSOR)
        return std::nullopt;
    CSensorAccess access = server.AccessSensors();
    const CSensor* sensor = access.FindSensorByType(
        kind == VIEW_SDR_SENSOR, ViewNodeByte2(nodeValue), ViewNodeByte3(nodeValue));
    if (!sensor)
        return std::nullopt;
    return *sensor;
}

std::string EventSensorName(const CSEL& entry, const CSensor* sensor)
{
    if (entry.GetSensorType() == 0x23) // watchdog 2
        return entry.GetSensorTypeText();
    if (sensor)
        return sensor->GetIdString();
    return GetSensorNumberName(entry.GetSensorNumber());
}

const CSensor* FindSensorByNumber(const std::vector<CSensor>& sensors, BYTE number)
{
    for (const CSensor& sensor : sensors)
        if (sensor.IsValid() && sensor.GetSensorNumber() == number)
            return &sensor;
    return nullptr;
}

std::vector<tagLIST_ROW> BuildEventRows(const std::vector<CSEL>& entries,
                                        const std::string& serverName,
                                        const std::vector<CSensor>& sensors, long eastOfUtc)
{
    std::vector<tagLIST_ROW> rows;
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        const CSEL& entry = entries[i];
        char index[16];
        std::snprintf(index, sizeof index, "%.4u", static_cast<unsigned>(i));
        const CIPMIServer* owner = entry.GetOwner();
        rows.push_back(
            {{index, serverName, owner ? owner->GetIpText() : "", entry.GetDirectionText(),
              EventSensorName(entry, FindSensorByNumber(sensors, entry.GetSensorNumber())),
              entry.GetTimeText(eastOfUtc), entry.GetDescription()},
             ROW_DATA_EVENT,
             ""});
    }
    return rows;
}

std::vector<tagLIST_ROW> BuildEventRows(CIPMIServer& server)
{
    // GetDisplaySel copies the entries under the event-log lock; the sensor lock is taken
    // after it is released, so the two are never held together.
    const std::vector<CSEL> entries = server.GetDisplaySel();
    const std::vector<CSensor> sensors = server.CopySensors();
    return BuildEventRows(entries, server.GetName(), sensors, GetConsoleUtcOffset());
}

tagLIST_ACTION DoubleClickAction(const tagLIST_ROW& row, std::size_t entryCount)
{
    tagLIST_ACTION action;
    if (row.itemData == ROW_DATA_THRESHOLD_LIST || row.itemData == ROW_DATA_SENSOR_LIST)
        return action;
    if (row.itemData == ROW_DATA_EVENT)
    {
        std::size_t index = 0;
        bool digits = !row.cells.empty() && !row.cells[0].empty();
        for (char c : digits ? row.cells[0] : std::string())
        {
            if (c < '0' || c > '9' || index > 1000000)
            {
                digits = false;
                break;
            }
            index = index * 10 + static_cast<std::size_t>(c - '0');
        }
        if (digits && index < entryCount)
        {
            action.action = LIST_ACTION::SHOW_EVENT;
            action.eventIndex = index;
        }
        else
            action.action = LIST_ACTION::EVENT_DELETED;
        return action;
    }
    if (row.itemData != 0)
    {
        action.action = LIST_ACTION::SELECT_CHILD;
        action.childValue = row.itemData;
    }
    return action;
}

namespace
{
std::string FixedValue(const tagSENSOR_VALUE& value)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.2f %s", static_cast<double>(value.value), value.units);
    return text;
}
} // namespace

tagEVENT_DETAIL BuildEventDetail(const CSEL& entry, const CSensor* sensor, long eastOfUtc)
{
    tagEVENT_DETAIL detail;
    detail.sensorName = EventSensorName(entry, sensor);
    detail.sensorType = entry.GetSensorTypeText();
    detail.direction = entry.GetDirectionText();
    char text[16];
    std::snprintf(text, sizeof text, "%.6d", entry.GetRecordId());
    detail.recordId = text;
    detail.eventType = entry.GetEventTypeText();
    detail.message = entry.GetDescription();
    detail.logTime = entry.GetTimeText(eastOfUtc);
    tagSENSOR_VALUE value;
    if (sensor && entry.GetTriggerReading(sensor, value))
    {
        detail.currentValue = FixedValue(value);
        if (entry.GetTriggerThreshold(sensor, value))
            detail.thresholdValue = FixedValue(value);
    }
    // Without a record there is nothing for the property sheet to show.
    detail.moreEnabled = sensor && detail.sensorType != "Unknown sensor type";
    detail.columns = {{"Attribute", 120}, {"Meanings", 140}, {"Value", 80}};
    const BYTE generator = entry.GetEntryByte(SEL_OFFSET_GENERATOR) >> 1;
    std::string bits;
    for (int bit = 7; bit >= 0; --bit)
        bits += (generator >> bit) & 1 ? '1' : '0';
    char version[16];
    std::snprintf(version, sizeof version, "0x%.2Xh",
                  entry.GetEntryByte(SEL_OFFSET_FORMAT_VERSION));
    detail.attributes = {{"Record Type", entry.GetRecordTypeText(), ""},
                         {"Generator ID", entry.GetGeneratorText(), bits},
                         {"Event format version", "", version}};
    return detail;
}

std::optional<tagEVENT_DETAIL> BuildEventDetail(CIPMIServer& server, std::size_t index,
                                                std::optional<CSensor>* sensorOut)
{
    const std::vector<CSEL> entries = server.GetDisplaySel();
    if (index >= entries.size())
        return std::nullopt;
    const std::vector<CSensor> sensors = server.CopySensors();
    const CSensor* sensor = FindSensorByNumber(sensors, entries[index].GetSensorNumber());
    if (sensorOut)
        *sensorOut = sensor ? std::optional<CSensor>(*sensor) : std::nullopt;
    return BuildEventDetail(entries[index], sensor, GetConsoleUtcOffset());
}

tagDIALOG ToDialog(const tagEVENT_DETAIL& d)
{
    tagDIALOG dialog;
    dialog.title = d.title;
    int id = 1000;
    auto field = [&](const std::string& label, const std::string& value)
    {
        tagDIALOG_CONTROL control;
        control.id = ++id;
        control.kind = DLG_CONTROL_KIND::EDIT;
        control.label = label;
        control.value = value;
        control.readOnly = true;
        dialog.controls.push_back(control);
    };
    field("Sensor Name", d.sensorName);
    field("Sensor Type", d.sensorType);
    field("Event Direction", d.direction);
    field("Record ID", d.recordId);
    field("Event Type", d.eventType);
    field("Message", d.message);
    field("Log Time (GMT)", d.logTime);
    field("Current Value", d.currentValue);
    field("Threshold Value", d.thresholdValue);
    for (const tagEVENT_ATTRIBUTE& a : d.attributes)
        field(a.attribute, a.value.empty()     ? a.meaning
                           : a.meaning.empty() ? a.value
                                               : a.meaning + " " + a.value);
    if (d.moreEnabled)
        dialog.buttons.push_back({EVENT_MORE_BUTTON, "More"});
    dialog.buttons.push_back({IDOK, "OK"});
    return dialog;
}

tagVIEW_CONTENT BuildNodeContent(DWORD nodeValue, const tagVIEW_SOURCES& sources, int clientWidth)
{
    tagVIEW_CONTENT content;
    const BYTE kind = ViewNodeKind(nodeValue);
    content.columns = BuildColumns(kind, clientWidth);
    switch (kind)
    {
    case VIEW_ALL_SERVERS:
        content.rows = BuildServerRows(sources.servers);
        break;
    case VIEW_IPMI_SERVER:
    case VIEW_SDR:
    case VIEW_SDR_TYPE:
    case VIEW_FRU:
    case VIEW_FRU_DEVICE:
    case VIEW_COMPACT_SDR:
    case VIEW_COMPACT_TYPE:
        content.rows = BuildChildRows(kind, sources.children);
        break;
    case VIEW_ASF_SERVER:
        content.rows = BuildAsfInfoRows(sources.asf);
        break;
    case VIEW_SDR_SENSOR:
    case VIEW_COMPACT_SENSOR:
        if (sources.sensor)
            content.sensor = sources.sensor;
        else if (sources.server)
            content.sensor = FindNodeSensor(*sources.server, nodeValue);
        if (content.sensor)
            content.rows = BuildSensorRows(*content.sensor);
        break;
    case VIEW_FRU_AREA:
        if (sources.server)
            content.rows = BuildFruFieldRows(
                sources.server->ReadFruRecord(ViewNodeByte2(nodeValue)), ViewNodeByte3(nodeValue));
        break;
    case VIEW_SEL:
        if (sources.server)
            content.rows = BuildEventRows(*sources.server);
        break;
    default:
        break;
    }
    return content;
}
