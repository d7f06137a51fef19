#pragma once
// Access to the event text tables behind GetEventText (servers/EventText.h). Internal to
// the servers folder; the tables themselves live in EventTables.cpp and are read-only.
#include "platform/Types.h"

#include <cstddef>

struct tagEVENT_TABLE
{
    const char* const* rows = nullptr;
    std::size_t count = 0; // 0: no table
};

// Generic tables, event/reading types 01h-0Bh.
tagEVENT_TABLE GetGenericEventTable(BYTE eventType);
// Sensor-specific tables (event/reading type 6Fh) by sensor type, system firmware progress
// (0Fh) excepted.
tagEVENT_TABLE GetSensorSpecificEventTable(BYTE sensorType);
// System firmware progress tables by event offset 0-2 (error, hang, progress), indexed by
// event data 2.
tagEVENT_TABLE GetFirmwareProgressTable(BYTE offset);
