// GetEventText: the lookup rules and the bound of every table (its last row and the first
// offset past it), which is where a wrong row count would show.
#include "servers/EventText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
constexpr BYTE SENSOR_SPECIFIC = 0x6F;

const char* Text(BYTE type, BYTE sensorType, BYTE offset, BYTE data2 = 0)
{
    return GetEventText(type, sensorType, offset, 0, data2);
}
} // namespace

TEST(EventText, GenericTablesEndWhereTheyShould)
{
    struct
    {
        BYTE type;
        BYTE rows;
        const char* first;
        const char* last;
    } tables[] = {
        {0x01, 12, "Lower Non-critical - going low", "Upper Non-recoverable - going high"},
        {0x02, 3, "Transition to Idle", "Transition to Busy"},
        {0x03, 2, "State Deasserted", "State Asserted"},
        {0x04, 2, "Predictive Failure deasserted", "Predictive Failure asserted"},
        {0x05, 2, "Limit Not Exceeded", "Limit Exceeded"},
        {0x06, 2, "Performance Met", "Performance Lags"},
        {0x07, 9, "Transition to OK", "Informational"},
        {0x08, 2, "Device Removed / Device Absent", "Device Inserted / Device Present"},
        {0x09, 2, "Device Disabled", "Device Enabled"},
        {0x0A, 9, "Transition to Running", "Install Error"},
        {0x0B, 3, "Redundancy Regained", "Redundancy Degraded"},
    };
    for (const auto& t : tables)
    {
        // The sensor type does not matter for generic types.
        EXPECT_STREQ(Text(t.type, 0x0F, 0), t.first) << int(t.type);
        EXPECT_STREQ(Text(t.type, 0x01, t.rows - 1), t.last) << int(t.type);
        EXPECT_STREQ(Text(t.type, 0x01, t.rows), EVENT_TEXT_INVALID_OFFSET) << int(t.type);
    }
    EXPECT_STREQ(Text(0x07, 0, 2), "Transition to Critical form less severe");
}

TEST(EventText, SensorSpecificTablesEndWhereTheyShould)
{
    struct
    {
        BYTE sensorType;
        BYTE rows;
        const char* last;
    } tables[] = {
        {0x05, 6, "Unauthorized dock/undock"},
        {0x06, 6, "Out-of-band Access Password Violation"},
        {0x07, 10, "Terminator Presence Detected"},
        {0x08, 3, "Predictive Failure Asserted"},
        {0x09, 7, "Power Unit Failure Detect"},
        {0x0C, 4, "Memory Scrub Failed (stuck bit)"},
        {0x10, 4, "All Event Logging Disabled"},
        {0x11, 8, "OS Watchdog Pre-timeout Interrupt, non-NMI"},
        {0x12, 3, "Undetermined System Hardware Failure"},
        {0x13, 10, "Fatal NMI"},
        {0x1D, 5, "Automatic Boot to Diagnostic"},
        {0x1E, 5, "Timeout for User Selection of Boot Source"},
        {0x1F, 7, "Boot Complete - Boot Device Not Specified"},
        {0x20, 2, "Run-time STop"},
        {0x21, 8, "Interlock Asserted"},
        {0x22, 10, "G1 Sleeping"},
        {0x23, 9, "Timer Interrupt"},
        {0x24, 4, "Platform generated SNMP trap, OEM format"},
        {0x25, 2, "Entity Absent"},
        {0x27, 1, "LAN Heartbeat Lost"},
        {0xC2, 2, "Chassis intrusion closed"},
        {0xD0, 2, "Power module plug in"},
        {0xD1, 2, "Power module dc ok"},
        {0xD2, 2, "Power module ac ok"},
        {0xD3, 2, "Backplane drive plug in"},
        {0xD4, 2, "Power module fan ok"},
    };
    for (const auto& t : tables)
    {
        EXPECT_STREQ(Text(SENSOR_SPECIFIC, t.sensorType, t.rows - 1), t.last) << int(t.sensorType);
        EXPECT_STREQ(Text(SENSOR_SPECIFIC, t.sensorType, t.rows), EVENT_TEXT_INVALID_OFFSET)
            << int(t.sensorType);
    }
    // Sensor types without a table.
    for (BYTE sensorType : {0x00, 0x01, 0x0E, 0x26, 0x28, 0xC0, 0xD5, 0xFF})
        EXPECT_STREQ(Text(SENSOR_SPECIFIC, sensorType, 0), EVENT_TEXT_INVALID_OFFSET)
            << int(sensorType);
}

TEST(EventText, FirmwareProgressByEventData2)
{
    struct
    {
        BYTE offset;
        BYTE data2;
        const char* text;
    } cases[] = {
        {0, 0x00, "Unspecified"},
        {0, 0x0D, "CPU speed matching failure."},
        {0, 0x0E, "Reserved"},
        {0, 0xFF, "Reserved"},
        {1, 0x13,
         "System Firmware Hang. (Starting operating system boot progress, e.g. calling int 19h)"},
        {1, 0x19, "System Firmware Hang. (Primary processor initialization)"},
        {1, 0x1A, "System Firmware Hang. (Reserved)"},
        {2, 0x00, "Unspecified."},
        {2, 0x19, "Primary processor initialization."},
        {2, 0x1A, "Reserved."},
        {3, 0x00, EVENT_TEXT_INVALID_OFFSET},
        {0x0E, 0x01, EVENT_TEXT_INVALID_OFFSET},
        {0xFF, 0x01, "OK"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(Text(SENSOR_SPECIFIC, 0x0F, c.offset, c.data2), c.text)
            << int(c.offset) << "/" << int(c.data2);
    // Only the sensor-specific type reads event data 2.
    EXPECT_STREQ(Text(0x01, 0x0F, 1, 0x13), "Lower Non-critical - going high");
}

TEST(EventText, NoneAndUnspecifiedTypes)
{
    for (BYTE type : {0x00, 0x01, 0x0C, 0x6F, 0x70, 0xFF})
        EXPECT_STREQ(Text(type, 0x07, 0xFF), "OK") << int(type);
    for (BYTE type : {0x00, 0x0C, 0x6E, 0x70, 0x7F, 0x81, 0xEF})
        EXPECT_STREQ(Text(type, 0x07, 0), EVENT_TEXT_UNSPECIFIED_TYPE) << int(type);
    EXPECT_STREQ(Text(SENSOR_SPECIFIC, 0x07, 0x0A), "Invalid sensor-specific offset!");
}
