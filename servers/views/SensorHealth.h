#pragma once
// Sensor status and server health for the navigation tree, and the data sections the tree
// builds after a repository read: sensor-type and sensor nodes under "SDR" and "CompactSDR",
// inventory devices and their areas under "FRU". Pure functions over copies of the server's
// data, except the CIPMIServer overloads, which take the server's sensor lock for the time of
// the call. UI thread.
#include "servers/FruRecord.h"
#include "servers/Sensor.h"
#include "servers/views/ViewTypes.h"

#include <utility>
#include <vector>

class CIPMIServer;

// Server node states the health rule ends in (the tree's UpdateServerNode states).
constexpr int SERVER_NODE_NORMAL = 2;
constexpr int SERVER_NODE_NON_CRITICAL = 8;
constexpr int SERVER_NODE_CRITICAL = 9;
constexpr int SERVER_NODE_NON_RECOVERABLE = 10;

// Whether the tree rates this sensor: a full record of a threshold-based sensor whose
// thresholds are accessible.
BOOL IsRatedSensor(const CSensor& sensor);
// 0-3 from the raw reading against the six raw thresholds; 0 for unrated sensors. Raw
// values compare in the record's number format; a sensor whose thresholds were exchanged
// (raw scale opposite to the value) compares the other way round; a temperature sensor is
// never rated by its lower thresholds.
int GetSensorSeverity(const CSensor& sensor);
int ServerNodeStateOf(int worstSeverity);

struct tagHEALTH
{
    std::vector<int> severity; // per sensor of the array, 0 for unrated ones
    int worst = 0;
    int serverState = SERVER_NODE_NORMAL;
};
// A power state of 0 (off) makes every severity 0.
tagHEALTH EvaluateHealth(const std::vector<CSensor>& sensors, int powerState);
tagHEALTH EvaluateHealth(CIPMIServer& server);

// Picture names.
std::string SensorTypeIconName(BYTE sensorType);
std::string SensorIconName(BYTE sensorType, int severity); // the status icon when severity > 0
const char* FruDeviceIconName(UINT deviceId);
const char* SectionIconName(BYTE kind);

// Type and sensor nodes of one repository section: kind VIEW_SDR (full records, types
// 0..254) or VIEW_COMPACT_SDR (compact records, types 5..13 and 193). severity may be empty
// (all normal) or hold one entry per sensor.
tagVIEW_NODE BuildSensorSection(BYTE kind, BYTE tag, const std::vector<CSensor>& sensors,
                                const std::vector<int>& severity);
// Device and area nodes; each device once, in the order given, when it holds a record
// (null: not read or failed) with at least one valid area.
tagVIEW_NODE BuildFruSection(BYTE tag,
                             const std::vector<std::pair<UINT, const CFruRecord*>>& devices);
// Reads every located device's inventory through the server (its cache first).
std::vector<std::pair<UINT, const CFruRecord*>> ReadFruDevices(CIPMIServer& server);

// The six section nodes under an IPMI server node, in tree order; SDR, CompactSDR and FRU
// built from the data (expanded: SDR and FRU).
std::vector<tagVIEW_NODE>
BuildServerSections(BYTE tag, const std::vector<CSensor>& sensors, const std::vector<int>& severity,
                    const std::vector<std::pair<UINT, const CFruRecord*>>& fru);
