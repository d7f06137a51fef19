#include "servers/EventText.h"

#include "servers/EventTables.h"

namespace
{
constexpr BYTE EVENT_TYPE_SENSOR_SPECIFIC = 0x6F;
constexpr BYTE SENSOR_TYPE_FIRMWARE_PROGRESS = 0x0F;
constexpr BYTE OFFSET_NONE = 0xFF;

const char* Row(const tagEVENT_TABLE& table, BYTE index, const char* beyond)
{
    return index < table.count ? table.rows[index] : beyond;
}

// Event data 2 of a firmware progress event names the error, hang or step (IPMI v1.5,
// table 36-3, sensor type 0Fh); past each table the console has its own fallback text.
const char* FirmwareProgressText(BYTE offset, BYTE eventData2)
{
    static const char* const BEYOND[] = {"Reserved", "System Firmware Hang. (Reserved)",
                                         "Reserved."};
    if (offset > 2)
        return EVENT_TEXT_INVALID_OFFSET;
    return Row(GetFirmwareProgressTable(offset), eventData2, BEYOND[offset]);
}
} // namespace

const char* GetEventText(BYTE eventType, BYTE sensorType, BYTE offset, BYTE /*eventData1*/,
                         BYTE eventData2)
{
    if (offset == OFFSET_NONE)
        return "OK";
    if (eventType >= 0x01 && eventType <= 0x0B)
        return Row(GetGenericEventTable(eventType), offset, EVENT_TEXT_INVALID_OFFSET);
    if (eventType != EVENT_TYPE_SENSOR_SPECIFIC)
        return EVENT_TEXT_UNSPECIFIED_TYPE;
    if (sensorType == SENSOR_TYPE_FIRMWARE_PROGRESS)
        return FirmwareProgressText(offset, eventData2);
    return Row(GetSensorSpecificEventTable(sensorType), offset, EVENT_TEXT_INVALID_OFFSET);
}
