#pragma once
// The event text lookup: one description for an event/reading type, sensor type, event offset
// and event data 2, over the console's generic, sensor-specific and system firmware progress
// tables (IPMI v1.5, tables 36-2 and 36-3). Serves SEL entries, sensor states and platform
// event traps. Pure functions over read-only tables: any thread may call them.
#include "platform/Types.h"

// Returned for an offset beyond its table, a sensor type without a sensor-specific table and
// firmware progress offsets above 2; callers that need to know whether an offset was valid
// compare the result with it (strcmp).
constexpr const char* EVENT_TEXT_INVALID_OFFSET = "Invalid sensor-specific offset!";
// Returned for event/reading types other than 01h-0Bh and 6Fh.
constexpr const char* EVENT_TEXT_UNSPECIFIED_TYPE = "Unspecified event type!";

// eventData1 is accepted for the callers' convenience and not used. Never null.
const char* GetEventText(BYTE eventType, BYTE sensorType, BYTE offset, BYTE eventData1,
                         BYTE eventData2);
