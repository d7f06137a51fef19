#include "servers/views/SensorHealth.h"

#include "servers/IPMIServer.h"
#include "servers/views/Thresholds.h"

#include <algorithm>
#include <set>

namespace
{
// A raw byte as a number in the record's analog data format.
int RawNumber(BYTE format, BYTE raw)
{
    if (format == 1) // ones' complement
        return (raw & 0x80) ? -static_cast<int>(static_cast<BYTE>(~raw)) : raw;
    if (format == 2)
        return static_cast<signed char>(raw);
    return raw;
}

const std::vector<BYTE>& CompactTypes()
{
    static const std::vector<BYTE> types = {5, 6, 7, 8, 9, 10, 11, 12, 13, 193};
    return types;
}
} // namespace

BOOL IsRatedSensor(const CSensor& sensor)
{
    return sensor.IsValid() && sensor.IsFullRecord() && sensor.HasThresholds() &&
           GetEventTypeClass(sensor.GetEventType()) == EVENT_CLASS_THRESHOLD;
}

int GetSensorSeverity(const CSensor& sensor)
{
    if (!IsRatedSensor(sensor))
        return 0;
    // No reading (the sensor did not answer, or scanning is off): nothing to rate.
    if (sensor.GetRawReading() == SENSOR_NO_READING)
        return 0;
    const BYTE format = sensor.GetFactors().analogFormat;
    auto at = [&](std::size_t offset) { return RawNumber(format, sensor.GetByte(offset)); };
    int r = RawNumber(format, sensor.GetRawReading());
    // Only thresholds the record calls readable take part: the bytes of the others are
    // zero and mean nothing (readable threshold mask, IPMI v2.0, 43.1, byte 19 bits 5:0, by
    // the controller's offset, which differs from the shown one for an exchanged fan).
    const BYTE readable = sensor.GetByte(SDR_OFFSET_READING_MASK) & 0x3F;
    auto known = [&](std::size_t offset)
    {
        const std::size_t controller = ControllerOffset(sensor, static_cast<int>(offset) - 32);
        return ((readable >> (SDR_OFFSET_LOWER_NC - controller)) & 1) != 0;
    };
    // For an opposite scale the value rises as the raw number falls: flip every comparison.
    const int sign = sensor.AreThresholdsSwapped() ? -1 : 1;
    auto above = [&](std::size_t offset) { return known(offset) && sign * (r - at(offset)) > 0; };
    auto below = [&](std::size_t offset) { return known(offset) && sign * (r - at(offset)) < 0; };
    int upper = above(SDR_OFFSET_UPPER_NR)   ? 3
                : above(SDR_OFFSET_UPPER_C)  ? 2
                : above(SDR_OFFSET_UPPER_NC) ? 1
                                             : 0;
    int lower = below(SDR_OFFSET_LOWER_NR)   ? 3
                : below(SDR_OFFSET_LOWER_C)  ? 2
                : below(SDR_OFFSET_LOWER_NC) ? 1
                                             : 0;
    if (sensor.GetSensorType() == SENSOR_TYPE_TEMPERATURE)
        lower = 0;
    return std::max(upper, lower);
}

int ServerNodeStateOf(int worst)
{
    switch (worst)
    {
    case 1:
        return SERVER_NODE_NON_CRITICAL;
    case 2:
        return SERVER_NODE_CRITICAL;
    case 3:
        return SERVER_NODE_NON_RECOVERABLE;
    default:
        return SERVER_NODE_NORMAL;
    }
}

tagHEALTH EvaluateHealth(const std::vector<CSensor>& sensors, int powerState)
{
    tagHEALTH health;
    health.severity.assign(sensors.size(), 0);
    if (powerState != 0)
        for (std::size_t i = 0; i < sensors.size(); ++i)
        {
            health.severity[i] = GetSensorSeverity(sensors[i]);
            health.worst = std::max(health.worst, health.severity[i]);
        }
    health.serverState = ServerNodeStateOf(health.worst);
    return health;
}

tagHEALTH EvaluateHealth(CIPMIServer& server)
{
    const int power = server.GetPowerState();
    CSensorAccess access = server.AccessSensors();
    tagHEALTH health;
    health.severity.assign(access.Count(), 0);
    if (power != 0)
        for (std::size_t i = 0; i < access.Count(); ++i)
        {
            health.severity[i] = GetSensorSeverity(access.At(i));
            health.worst = std::max(health.worst, health.severity[i]);
        }
    health.serverState = ServerNodeStateOf(health.worst);
    return health;
}

const char* SensorPictureKind(BYTE sensorType)
{
    switch (sensorType)
    {
    case SENSOR_TYPE_TEMPERATURE:
        return "temperature";
    case SENSOR_TYPE_VOLTAGE:
        return "voltage";
    case SENSOR_TYPE_FAN:
        return "fan";
    case 0x05:
        return "intrusion";
    case 0xC0:
        return "oem-c0";
    case 0xC1:
        return "oem-c1";
    case 0xD0:
        return "oem-d0";
    case 0xD3:
        return "oem-d3";
    default:
        return nullptr;
    }
}

std::string SensorTypeIconName(BYTE sensorType)
{
    const char* kind = SensorPictureKind(sensorType);
    return std::string("sensor-") + (kind ? kind : "default");
}

std::string SensorIconName(BYTE sensorType, int severity)
{
    switch (severity)
    {
    case 1:
        return "sensor-non-critical";
    case 2:
        return "sensor-critical";
    case 3:
        return "sensor-non-recoverable";
    default:
        return SensorTypeIconName(sensorType);
    }
}

const char* FruDeviceIconName(UINT deviceId)
{
    switch (deviceId)
    {
    case 1:
    case 6:
    case 7:
    case 8:
        return "fru-backplane";
    case 3:
    case 4:
    case 5:
        return "fru-power";
    default:
        return "fru-device";
    }
}

const char* SectionIconName(BYTE kind)
{
    switch (kind)
    {
    case VIEW_SDR:
        return "section-sdr";
    case VIEW_COMPACT_SDR:
        return "section-compact-sdr";
    case VIEW_FRU:
        return "section-fru";
    case VIEW_SEL:
        return "section-sel";
    case VIEW_CONSOLE:
        return "section-console";
    case VIEW_ALL_SENSORS:
        return "section-all-sensors";
    default:
        return "section";
    }
}

tagVIEW_NODE BuildSensorSection(BYTE kind, BYTE tag, const std::vector<CSensor>& sensors,
                                const std::vector<int>& severity)
{
    const bool full = kind == VIEW_SDR;
    const BYTE typeKind = full ? VIEW_SDR_TYPE : VIEW_COMPACT_TYPE;
    const BYTE sensorKind = full ? VIEW_SDR_SENSOR : VIEW_COMPACT_SENSOR;
    tagVIEW_NODE section{
        MakeViewNodeValue(kind, tag), full ? "SDR" : "CompactSDR", SectionIconName(kind), full, {}};
    std::vector<BYTE> types;
    if (full)
        for (int t = 0; t < 255; ++t)
            types.push_back(static_cast<BYTE>(t));
    else
        types = CompactTypes();
    const BYTE recordType = full ? SDR_TYPE_FULL : SDR_TYPE_COMPACT;
    for (BYTE type : types)
    {
        tagVIEW_NODE typeNode{MakeViewNodeValue(typeKind, tag, type),
                              GetSensorTypeName(type),
                              SensorTypeIconName(type),
                              false,
                              {}};
        for (std::size_t i = 0; i < sensors.size(); ++i)
        {
            const CSensor& s = sensors[i];
            if (!s.IsValid() || s.GetByte(SDR_OFFSET_RECORD_TYPE) != recordType ||
                s.GetSensorType() != type)
                continue;
            int level = i < severity.size() ? severity[i] : 0;
            typeNode.children.push_back(
                {MakeViewNodeValue(sensorKind, tag, type, s.GetSensorNumber()),
                 s.GetIdString(),
                 SensorIconName(type, level),
                 false,
                 {}});
        }
        if (!typeNode.children.empty())
            section.children.push_back(std::move(typeNode));
    }
    return section;
}

tagVIEW_NODE BuildFruSection(BYTE tag,
                             const std::vector<std::pair<UINT, const CFruRecord*>>& devices)
{
    tagVIEW_NODE section{
        MakeViewNodeValue(VIEW_FRU, tag), "FRU", SectionIconName(VIEW_FRU), true, {}};
    std::set<UINT> seen;
    for (const auto& [id, record] : devices)
    {
        if (!record || id > 0xFF || !seen.insert(id).second)
            continue;
        const BYTE device = static_cast<BYTE>(id);
        tagVIEW_NODE node{MakeViewNodeValue(VIEW_FRU_DEVICE, tag, device),
                          GetFruDeviceName(id),
                          FruDeviceIconName(id),
                          false,
                          {}};
        for (FruArea area : {FruArea::Chassis, FruArea::Board, FruArea::Product})
            if (record->IsAreaValid(area))
                node.children.push_back(
                    {MakeViewNodeValue(VIEW_FRU_AREA, tag, device, static_cast<BYTE>(area)),
                     FruAreaName(area),
                     "fru-area",
                     false,
                     {}});
        if (!node.children.empty())
            section.children.push_back(std::move(node));
    }
    return section;
}

std::vector<std::pair<UINT, const CFruRecord*>> ReadFruDevices(CIPMIServer& server)
{
    std::vector<UINT> ids;
    {
        CSensorAccess access = server.AccessSensors();
        for (const tagFRU_LOCATOR& locator : access.FruLocators())
            ids.push_back(locator.bytes[6]);
    }
    // The reads go to the controller: no sensor lock across them.
    std::vector<std::pair<UINT, const CFruRecord*>> devices;
    for (UINT id : ids)
        devices.emplace_back(id, server.ReadFruRecord(id));
    return devices;
}

std::vector<tagVIEW_NODE>
BuildServerSections(BYTE tag, const std::vector<CSensor>& sensors, const std::vector<int>& severity,
                    const std::vector<std::pair<UINT, const CFruRecord*>>& fru)
{
    std::vector<tagVIEW_NODE> nodes;
    nodes.push_back(BuildSensorSection(VIEW_SDR, tag, sensors, severity));
    nodes.push_back(BuildSensorSection(VIEW_COMPACT_SDR, tag, sensors, severity));
    nodes.push_back(BuildFruSection(tag, fru));
    nodes.push_back(
        {MakeViewNodeValue(VIEW_SEL, tag), "SEL", SectionIconName(VIEW_SEL), false, {}});
    nodes.push_back({MakeViewNodeValue(VIEW_CONSOLE, tag),
                     "Remote Console",
                     SectionIconName(VIEW_CONSOLE),
                     false,
                     {}});
    nodes.push_back({MakeViewNodeValue(VIEW_ALL_SENSORS, tag),
                     "All Sensors value",
                     SectionIconName(VIEW_ALL_SENSORS),
                     false,
                     {}});
    return nodes;
}
