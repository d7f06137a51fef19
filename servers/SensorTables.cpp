// The console's sensor vocabulary: sensor type names (IPMI v1.5, table 36-3, in the console's
// own wording, plus the board's OEM types), unit names (table 37-15), event/reading type names
// (table 36-1) and the board's fixed names by sensor number.
#include "servers/Sensor.h"

#include <array>
#include <cstddef>

namespace
{
const char* const SENSOR_TYPE_NAMES[] = {
    "Reserved",                            // 00h
    "Temperature",                         // 01h
    "Voltage",                             // 02h
    "Current",                             // 03h
    "Fan",                                 // 04h
    "Chassis Intrusion",                   // 05h
    "Platform Security Violation Attempt", // 06h
    "Processor",                           // 07h
    "Power Supply",                        // 08h
    "Power Unit",                          // 09h
    "Cooling Device",                      // 0Ah
    "Other Units-based Sensor",            // 0Bh
    "Memory",                              // 0Ch
    "Driver Slot (Bay)",                   // 0Dh
    "POST Memory Resize",                  // 0Eh
    "System Firmware Progress",            // 0Fh
    "Event Loggind Disabled",              // 10h
    "Watchdog 1",                          // 11h
    "System Event",                        // 12h
    "Critical Interrupt",                  // 13h
    "Button / Switch",                     // 14h
    "Module / Board",                      // 15h
    "Microcontroller/Coprocessor",         // 16h
    "Add-in Card",                         // 17h
    "Chassis",                             // 18h
    "Chip Set",                            // 19h
    "Other FRU",                           // 1Ah
    "Cable / Interconnect",                // 1Bh
    "Terminator",                          // 1Ch
    "System Boot / Initiated",             // 1Dh
    "Boot Error",                          // 1Eh
    "OS Boot",                             // 1Fh
    "OS Critical Stop / Shutdown",         // 20h
    "Slot / Connector",                    // 21h
    "System ACPI Power State",             // 22h
    "Watchdog 2",                          // 23h
    "Platform Alert",                      // 24h
    "Entity Presence",                     // 25h
    "Monitor ASIC/IC",                     // 26h
    "LAN",                                 // 27h
    "Management Subsystem Health",         // 28h
    "Battery",                             // 29h
    "Session Audit",                       // 2Ah
    "Version Change",                      // 2Bh
    "FRU State",                           // 2Ch
};

// The board's OEM sensor types, C0h-D5h.
const char* const OEM_SENSOR_TYPE_NAMES[] = {
    "Fan divisor",       // C0h
    "OEM Memory",        // C1h
    "Chassis intrusion", // C2h
    "Fan Switch",        // C3h
    "Okto POWER MODULE", // C4h
    "Okto BP data",      // C5h
    "NA",                // C6h
    "NA",                // C7h
    "NA",                // C8h
    "NA",                // C9h
    "NA",                // CAh
    "NA",                // CBh
    "NA",                // CCh
    "NA",                // CDh
    "NA",                // CEh
    "NA",                // CFh
    "Power Module Plug", // D0h
    "Power Module DC",   // D1h
    "Power Module AC",   // D2h
    "Back Plane driver", // D3h
    "Power Module Fan",  // D4h
    "Record ID ",        // D5h
};
constexpr BYTE FIRST_OEM_SENSOR_TYPE = 0xC0;

const char* const UNIT_NAMES[] = {
    "unspecified",         // 0
    "degrees C",           // 1
    "degrees F",           // 2
    "degress K",           // 3
    "Volts",               // 4
    "Amps",                // 5
    "Watts",               // 6
    "Joules",              // 7
    "Coulombs",            // 8
    "VA",                  // 9
    "Nits",                // 10
    "lumen",               // 11
    "lux",                 // 12
    "Candela",             // 13
    "kPa",                 // 14
    "PSI",                 // 15
    "Newton",              // 16
    "CFM",                 // 17
    "RPM",                 // 18
    "Hz",                  // 19
    "microsecond",         // 20
    "millisecond",         // 21
    "second",              // 22
    "minute",              // 23
    "hour",                // 24
    "day",                 // 25
    "week",                // 26
    "mil",                 // 27
    "inches",              // 28
    "feet",                // 29
    "cu in",               // 30
    "cu feet",             // 31
    "mm",                  // 32
    "cm",                  // 33
    "m",                   // 34
    "cu cm",               // 35
    "cumliters",           // 36
    "fluid ounce",         // 37
    "radians",             // 38
    "steradians",          // 39
    "revolutions",         // 40
    "cycles",              // 41
    "gravities",           // 42
    "ounce",               // 43
    "pound",               // 44
    "ft-lb",               // 45
    "oz-in",               // 46
    "gauss",               // 47
    "gilberts",            // 48
    "henry",               // 49
    "millihenry",          // 50
    "farad",               // 51
    "microfarad",          // 52
    "ohms",                // 53
    "siemens",             // 54
    "mole",                // 55
    "becquerel",           // 56
    "PPM",                 // 57
    "reserved",            // 58
    "Decibels",            // 59
    "DbA",                 // 60
    "DbC",                 // 61
    "gray",                // 62
    "sievert",             // 63
    "color temp deg K",    // 64
    "bit",                 // 65
    "kilobit",             // 66
    "megabit",             // 67
    "gigabit",             // 68
    "char",                // 69
    "kilochar",            // 70
    "megachar",            // 71
    "gigachar",            // 72
    "word",                // 73
    "dword",               // 74
    "qword",               // 75
    "line",                // 76
    "hit",                 // 77
    "miss",                // 78
    "retry",               // 79
    "reset",               // 80
    "overrun/overflow",    // 81
    "underrun",            // 82
    "collision",           // 83
    "packets",             // 84
    "messages",            // 85
    "characters",          // 86
    "error",               // 87
    "correctable error",   // 88
    "uncorrectable error", // 89
};

const char* const EVENT_TYPE_NAMES[] = {
    "unspecified",        // 00h
    "Threshold",          // 01h
    "Discrete",           // 02h
    "'digital' Discrete", // 03h
    "'digital' Discrete", // 04h
    "'digital' Discrete", // 05h
    "'digital' Discrete", // 06h
    "'digital' Discrete", // 07h
    "'digital' Discrete", // 08h
    "'digital' Discrete", // 09h
    "Discrete",           // 0Ah
    "Discrete",           // 0Bh
};
constexpr BYTE EVENT_TYPE_SENSOR_SPECIFIC = 0x6F;

// The board's names by sensor number; every number not named here is "RESERVED".
struct tagNAMED_SENSOR
{
    BYTE number;
    const char* name;
};
constexpr tagNAMED_SENSOR BOARD_SENSOR_NAMES[] = {
    {0x00, "BIOS POST"},
    {0x31, "CPU1 THERMAL SENSOR"},
    {0x32, "CPU2 THERMAL SENSOR"},
    {0x33, "SYSTEM THERMAL SENSOR"},
    {0x34, "CPU VCORE 1"},
    {0x38, "SYSTEM +12V"},
    {0x41, "FAN1"},
    {0x42, "FAN2"},
    {0x43, "FAN3"},
    {0x44, "FAN4"},
    {0x46, "FAN1 DIVISOR"},
    {0x4A, "FAN1 CONTROL"},
    {0x4F, "CHASSIS INTRUSION"},
    {0x54, "LOCATE LED"},
    {0x58, "POWER MODULE"},
    {0x59, "POWER MODULE"},
    {0x5A, "POWER MODULE"},
    {0x5B, "POWER MODULE"},
    {0x5C, "POWER MODULE"},
    {0x5D, "POWER MODULE"},
    {0x5E, "POWER MODULE"},
    {0x5F, "POWER MODULE"},
    {0x60, "BP1 TEMP"},
    {0x65, "BP1 FAN1"},
    {0x68, "BP1 DRIVER1"},
    {0x70, "BP2 TEMP"},
    {0x75, "BP2 FAN1"},
    {0x78, "BP2 DRIVER1"},
    {0x80, "BP3 TEMP"},
    {0x85, "BP3 FAN1"},
    {0x88, "BP3 DRIVER1"},
    {0xA8, "FM. FAN1"},
    {0xA9, "FM. FAN2"},
    {0xAA, "FM. FAN3"},
    {0xAB, "FM. FAN4"},
    {0xAC, "FM. FAN5"},
    {0xAD, "FM. FAN6"},
    {0xAE, "FM. FAN7"},
    {0xBC, "SMART FAN"},
    {0xBD, "POWER MODULE FAN"},
    {0xC0, "BIOS POST"},
    {0xC1, "BIOS POST"},
    {0xC2, "BIOS POST"},
    {0xC3, "BIOS POST"},
    {0xC4, "BIOS POST"},
    {0xC5, "BIOS POST"},
    {0xC6, "BIOS POST"},
    {0xC7, "BIOS POST"},
    {0xD0, "MOTHERBOARD FRU"},
    {0xD1, "BACKPLANE FRU"},
    {0xD2, "RISER FRU"},
    {0xD3, "POWER FRU"},
    {0xD4, "POWER 1 FRU"},
    {0xD5, "POWER 2 FRU"},
    {0xD6, "BACK PLANE 2 FRU"},
    {0xD7, "BACK PLANE 3 FRU"},
    {0xD8, "BACK PLANE 4 FRU"},
    {0xD9, "FAN MODULE FRU"},
    {0xE0, "ASIC ID"},
    {0xE8, "BIOS"},
};

// The 256-entry table, built from the list above at compile time.
constexpr std::array<const char*, 256> SENSOR_NUMBER_NAMES = []
{
    std::array<const char*, 256> t{};
    t.fill("RESERVED");
    for (const tagNAMED_SENSOR& entry : BOARD_SENSOR_NAMES)
        t[entry.number] = entry.name;
    return t;
}();

template <std::size_t N> constexpr std::size_t Count(const char* const (&)[N])
{
    return N;
}
} // namespace

const char* GetSensorTypeName(BYTE sensorType)
{
    if (sensorType < Count(SENSOR_TYPE_NAMES))
        return SENSOR_TYPE_NAMES[sensorType];
    if (sensorType >= FIRST_OEM_SENSOR_TYPE &&
        sensorType - FIRST_OEM_SENSOR_TYPE < static_cast<int>(Count(OEM_SENSOR_TYPE_NAMES)))
        return OEM_SENSOR_TYPE_NAMES[sensorType - FIRST_OEM_SENSOR_TYPE];
    return "Unknown sensor type";
}

const char* GetSensorNumberName(int sensorNumber)
{
    if (sensorNumber < 0 || sensorNumber > 255)
        return "INVALID SENSOR NUMBER";
    return SENSOR_NUMBER_NAMES[static_cast<std::size_t>(sensorNumber)];
}

const char* GetEventTypeName(BYTE eventType)
{
    BYTE code = eventType & 0x7F;
    if (code < Count(EVENT_TYPE_NAMES))
        return EVENT_TYPE_NAMES[code];
    if (code == EVENT_TYPE_SENSOR_SPECIFIC)
        return "Discrete";
    return "Invalid evnet type number, valid is 0-0x0B, 0x6F!";
}

int GetEventTypeClass(BYTE eventType)
{
    BYTE code = eventType & 0x7F;
    if (code == 0x01)
        return EVENT_CLASS_THRESHOLD;
    if (code <= 0x0B || code == EVENT_TYPE_SENSOR_SPECIFIC)
        return EVENT_CLASS_DISCRETE;
    return EVENT_CLASS_OEM;
}

const char* GetUnitName(BYTE unitCode)
{
    if (unitCode < Count(UNIT_NAMES))
        return UNIT_NAMES[unitCode];
    return "unknown";
}
