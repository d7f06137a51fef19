// The console's event text tables: the generic offsets by event/reading type (IPMI v1.5,
// table 36-2), the sensor-specific offsets by sensor type (table 36-3, plus the board's OEM
// sensor types C2h and D0h-D4h) and the system firmware progress codes carried in event
// data 2. A table has exactly the rows listed; its row count bounds the lookup.
#include "servers/EventTables.h"

#include <iterator>

namespace
{
// 01h: Threshold
const char* const GENERIC_01[] = {
    "Lower Non-critical - going low",     // 0h
    "Lower Non-critical - going high",    // 1h
    "Lower Critical - going low",         // 2h
    "Lower Critical - going high",        // 3h
    "Lower Non-recoverable - going low",  // 4h
    "Lower Non-recoverable - going high", // 5h
    "Upper Non-critical - going low",     // 6h
    "Upper Non-critical - going high",    // 7h
    "Upper Critical - going low",         // 8h
    "Upper Critical - going high",        // 9h
    "Upper Non-recoverable - going low",  // Ah
    "Upper Non-recoverable - going high", // Bh
};

// 02h: DMI usage state
const char* const GENERIC_02[] = {
    "Transition to Idle",   // 0h
    "Transition to Active", // 1h
    "Transition to Busy",   // 2h
};

// 03h: Digital state
const char* const GENERIC_03[] = {
    "State Deasserted", // 0h
    "State Asserted",   // 1h
};

// 04h: Predictive failure
const char* const GENERIC_04[] = {
    "Predictive Failure deasserted", // 0h
    "Predictive Failure asserted",   // 1h
};

// 05h: Limit
const char* const GENERIC_05[] = {
    "Limit Not Exceeded", // 0h
    "Limit Exceeded",     // 1h
};

// 06h: Performance
const char* const GENERIC_06[] = {
    "Performance Met",  // 0h
    "Performance Lags", // 1h
};

// 07h: Severity
const char* const GENERIC_07[] = {
    "Transition to OK",                               // 0h
    "Transition to Non-critical from OK",             // 1h
    "Transition to Critical form less severe",        // 2h
    "Transition to Non-recoverable from less severe", // 3h
    "Transition to Non-critical from more severe",    // 4h
    "Transition to Critical from Non-recoverable",    // 5h
    "Transition to Non-recoverable",                  // 6h
    "Monitor",                                        // 7h
    "Informational",                                  // 8h
};

// 08h: Device presence
const char* const GENERIC_08[] = {
    "Device Removed / Device Absent",   // 0h
    "Device Inserted / Device Present", // 1h
};

// 09h: Device enabled
const char* const GENERIC_09[] = {
    "Device Disabled", // 0h
    "Device Enabled",  // 1h
};

// 0Ah: Availability state
const char* const GENERIC_0A[] = {
    "Transition to Running",    // 0h
    "Transition to In Test",    // 1h
    "Transition to Power Off",  // 2h
    "Transition to On Line",    // 3h
    "Transition to Off Line",   // 4h
    "Transition to Off Duty",   // 5h
    "Transition to Degraded",   // 6h
    "Transition to Power Save", // 7h
    "Install Error",            // 8h
};

// 0Bh: Redundancy
const char* const GENERIC_0B[] = {
    "Redundancy Regained", // 0h
    "Redundancy Lost",     // 1h
    "Redundancy Degraded", // 2h
};

// Sensor type 05h
const char* const SPECIFIC_05[] = {
    "General Chassis Intrusion", // 0h
    "Drive Bay Intrusion",       // 1h
    "I/O Card Area Intrusion",   // 2h
    "Processor Area Intrusion",  // 3h
    "LAN Leash Lost",            // 4h
    "Unauthorized dock/undock",  // 5h
};

// Sensor type 06h
const char* const SPECIFIC_06[] = {
    "Secure Mode Violation attempt",               // 0h
    "Pre-boot Violation - userpassword",           // 1h
    "Pre-boot Violation attempt - setup password", // 2h
    "Pre-boot Violation - network boot password",  // 3h
    "Other pre-boot Password Violation",           // 4h
    "Out-of-band Access Password Violation",       // 5h
};

// Sensor type 07h
const char* const SPECIFIC_07[] = {
    "IERR",                                          // 0h
    "Thermal Trip",                                  // 1h
    "FRB1/BIST failure",                             // 2h
    "FRB2/Hang in POST failure",                     // 3h
    "FRB3/Processor Startup/Initialization failure", // 4h
    "Configuration Error (for DMI)",                 // 5h
    "SM BIOS 'Uncorrectable CPU-comples Error'",     // 6h
    "Processor Presence Detected",                   // 7h
    "Processor disabled",                            // 8h
    "Terminator Presence Detected",                  // 9h
};

// Sensor type 08h
const char* const SPECIFIC_08[] = {
    "Presence Detected",             // 0h
    "Power Supply Failure Detected", // 1h
    "Predictive Failure Asserted",   // 2h
};

// Sensor type 09h
const char* const SPECIFIC_09[] = {
    "Power Off / Power Down",     // 0h
    "Power Cycle",                // 1h
    "240VA Power Down",           // 2h
    "Interlock Power Down",       // 3h
    "A/C lost",                   // 4h
    "Soft Power Control Failure", // 5h
    "Power Unit Failure Detect",  // 6h
};

// Sensor type 0Ch
const char* const SPECIFIC_0C[] = {
    "Correctable ECC",                 // 0h
    "Uncorrectable ECC",               // 1h
    "Parity",                          // 2h
    "Memory Scrub Failed (stuck bit)", // 3h
};

// Sensor type 10h
const char* const SPECIFIC_10[] = {
    "Correctable Memory Error Logging Disabled", // 0h
    "Event Type Logging Disabled",               // 1h
    "Log Area Reset/Clear",                      // 2h
    "All Event Logging Disabled",                // 3h
};

// Sensor type 11h
const char* const SPECIFIC_11[] = {
    "BIOS Watchdog Reset",                        // 0h
    "OS Watchdog Reset",                          // 1h
    "OS Watchdog Shut Down",                      // 2h
    "OS Watchdog Power Down",                     // 3h
    "OS Watchdog Power Cycle",                    // 4h
    "OS Watchdog NMI",                            // 5h
    "OS Watchdog Expired, status only",           // 6h
    "OS Watchdog Pre-timeout Interrupt, non-NMI", // 7h
};

// Sensor type 12h
const char* const SPECIFIC_12[] = {
    "System Reconfigured",                  // 0h
    "OEM System Boot Evnet",                // 1h
    "Undetermined System Hardware Failure", // 2h
};

// Sensor type 13h
const char* const SPECIFIC_13[] = {
    "Front Panel NMI",         // 0h
    "Bus Timeout",             // 1h
    "I/O Channel Check NMI",   // 2h
    "Software NMI",            // 3h
    "PCI PERR",                // 4h
    "PCI SERR",                // 5h
    "EISA Fail Safe Timeout",  // 6h
    "Bus Correctable Error",   // 7h
    "Bus Uncorrectable Error", // 8h
    "Fatal NMI",               // 9h
};

// Sensor type 1Dh
const char* const SPECIFIC_1D[] = {
    "Initialted by Power Up",       // 0h
    "Initialted by Hard Reset",     // 1h
    "Initialted by Warm Reset",     // 2h
    "User Requested PXE Boot",      // 3h
    "Automatic Boot to Diagnostic", // 4h
};

// Sensor type 1Eh
const char* const SPECIFIC_1E[] = {
    "No Bootable Media",                         // 0h
    "Non-bootable Diskette Left in Drive",       // 1h
    "PXE Server Not Fount",                      // 2h
    "Invalid Boot Sector",                       // 3h
    "Timeout for User Selection of Boot Source", // 4h
};

// Sensor type 1Fh
const char* const SPECIFIC_1F[] = {
    "A:Boot Completed",                          // 0h
    "C:Boot Completed",                          // 1h
    "PXE Boot Completed",                        // 2h
    "Diagnostic Boot Complete",                  // 3h
    "CD-ROM Boot Complete",                      // 4h
    "ROM Boot Complete",                         // 5h
    "Boot Complete - Boot Device Not Specified", // 6h
};

// Sensor type 20h
const char* const SPECIFIC_20[] = {
    "Stop during OS Load / Initialization", // 0h
    "Run-time STop",                        // 1h
};

// Sensor type 21h
const char* const SPECIFIC_21[] = {
    "Fault Status Asserted",                     // 0h
    "Identify Status Asserted",                  // 1h
    "Slot/Connector Device Installed/Attached",  // 2h
    "Slot/Connector Ready for Device Installed", // 3h
    "Slot/Connector Ready for Device Removal",   // 4h
    "Slot Power if Off",                         // 5h
    "Slot/Connector Device Removal Request",     // 6h
    "Interlock Asserted",                        // 7h
};

// Sensor type 22h
const char* const SPECIFIC_22[] = {
    "S0/G0 Working",                              // 0h
    "S1 Sleeping with system context maintained", // 1h
    "S2 Sleeping, Processor Context Lost",        // 2h
    "S3 Sleeping, Processor & H/W Context Lost",  // 3h
    "S4 Non-Volatile Sleep / Suspend to Disk",    // 4h
    "S5/G2 Soft-off",                             // 5h
    "S4/S5 Soft-off, State Cannot be Determined", // 6h
    "G3/Mechanical Off",                          // 7h
    "Sleeping in an S1, S2, or S3 states",        // 8h
    "G1 Sleeping",                                // 9h
};

// Sensor type 23h
const char* const SPECIFIC_23[] = {
    "Timer expired, status only", // 0h
    "Hard Reset",                 // 1h
    "Power Down",                 // 2h
    "Power Cycle",                // 3h
    "Reserved",                   // 4h
    "Reserved",                   // 5h
    "Reserved",                   // 6h
    "Reserved",                   // 7h
    "Timer Interrupt",            // 8h
};

// Sensor type 24h
const char* const SPECIFIC_24[] = {
    "Platform generated page",                  // 0h
    "Platform generated LAN alert",             // 1h
    "Platform Event Trap generated",            // 2h
    "Platform generated SNMP trap, OEM format", // 3h
};

// Sensor type 25h
const char* const SPECIFIC_25[] = {
    "Entity Present", // 0h
    "Entity Absent",  // 1h
};

// Sensor type 27h
const char* const SPECIFIC_27[] = {
    "LAN Heartbeat Lost", // 0h
};

// Sensor type C2h
const char* const SPECIFIC_C2[] = {
    "Chassis intrusion opened", // 0h
    "Chassis intrusion closed", // 1h
};

// Sensor type D0h
const char* const SPECIFIC_D0[] = {
    "Power module plug out", // 0h
    "Power module plug in",  // 1h
};

// Sensor type D1h
const char* const SPECIFIC_D1[] = {
    "Power module dc fail", // 0h
    "Power module dc ok",   // 1h
};

// Sensor type D2h
const char* const SPECIFIC_D2[] = {
    "Power module ac fail", // 0h
    "Power module ac ok",   // 1h
};

// Sensor type D3h
const char* const SPECIFIC_D3[] = {
    "Backplane drive plug out", // 0h
    "Backplane drive plug in",  // 1h
};

// Sensor type D4h
const char* const SPECIFIC_D4[] = {
    "Power module fan fail", // 0h
    "Power module fan ok",   // 1h
};

// Sensor type 0Fh, offset 0: firmware error, by event data 2
const char* const FIRMWARE_ERROR[] = {
    "Unspecified",                                             // 0h
    "No system memory is physically installed in the system.", // 1h
    "No usable system memory, all installed memory has experienced an unrecoverable "
    "failure.",                                          // 2h
    "Unrecoverable hard-disk/ATAPI/IDE device failure.", // 3h
    "Unrecoverable system-board failure.",               // 4h
    "Unrecoverable diskette subsystem failure.",         // 5h
    "Unrecoverable hard-disk controller failure.",       // 6h
    "Unrecoverable PS/2 or USB keyboard failure.",       // 7h
    "Removable boot media not found.",                   // 8h
    "Unrecoverable video controller failure.",           // 9h
    "No video device detected.",                         // Ah
    "Firmware(BIOS)ROM corruption detected.",            // Bh
    "CPU voltage mismatch (processors that share same supply have mismatched voltage "
    "requirement.)",               // Ch
    "CPU speed matching failure.", // Dh
};

// Sensor type 0Fh, offset 1: firmware hang, by event data 2
const char* const FIRMWARE_HANG[] = {
    "System Firmware Hang. (Unspecified)",                                                   // 0h
    "System Firmware Hang. (Memory initialization)",                                         // 1h
    "System Firmware Hang. (Hard-disk initialization)",                                      // 2h
    "System Firmware Hang. (Secondary processor(s) initialization)",                         // 3h
    "System Firmware Hang. (User authentication)",                                           // 4h
    "System Firmware Hang. (User-initialed system setup)",                                   // 5h
    "System Firmware Hang. (USB resource configuration)",                                    // 6h
    "System Firmware Hang. (PCI resource configuration)",                                    // 7h
    "System Firmware Hang. (Option ROM initialization)",                                     // 8h
    "System Firmware Hang. (Video initialization)",                                          // 9h
    "System Firmware Hang. (Cache initialization)",                                          // Ah
    "System Firmware Hang. (SM Bus initialization)",                                         // Bh
    "System Firmware Hang. (Keyboard controller initialization)",                            // Ch
    "System Firmware Hang. (Embeded controller/management controller initialization)",       // Dh
    "System Firmware Hang. (Docking station attachment)",                                    // Eh
    "System Firmware Hang. (Enabling docking station)",                                      // Fh
    "System Firmware Hang. (Docking station ejection)",                                      // 10h
    "System Firmware Hang. (Disable docking station)",                                       // 11h
    "System Firmware Hang. (Calling operating system wake-up vector)",                       // 12h
    "System Firmware Hang. (Starting operating system boot progress, e.g. calling int 19h)", // 13h
    "System Firmware Hang. (Baseboard of motherboard initialization)",                       // 14h
    "System Firmware Hang. (Reserved)",                                                      // 15h
    "System Firmware Hang. (Floppy initialization)",                                         // 16h
    "System Firmware Hang. (Keyboard test)",                                                 // 17h
    "System Firmware Hang. (Pointing device test)",                                          // 18h
    "System Firmware Hang. (Primary processor initialization)",                              // 19h
};

// Sensor type 0Fh, offset 2: firmware progress, by event data 2
const char* const FIRMWARE_PROGRESS[] = {
    "Unspecified.",                                                   // 0h
    "Memory initialization.",                                         // 1h
    "Hard-disk initialization.",                                      // 2h
    "Secondary processor(s) initialization.",                         // 3h
    "User authentication.",                                           // 4h
    "User-initialed system setup.",                                   // 5h
    "USB resource configuration.",                                    // 6h
    "PCI resource configuration.",                                    // 7h
    "Option ROM initialization.",                                     // 8h
    "Video initialization.",                                          // 9h
    "Cache initialization.",                                          // Ah
    "SM Bus initialization.",                                         // Bh
    "Keyboard controller initialization.",                            // Ch
    "Embeded controller/management controller initialization.",       // Dh
    "Docking station attachment.",                                    // Eh
    "Enabling docking station.",                                      // Fh
    "Docking station ejection.",                                      // 10h
    "Disable docking station.",                                       // 11h
    "Calling operating system wake-up vector.",                       // 12h
    "Starting operating system boot progress, e.g. calling int 19h.", // 13h
    "Baseboard of motherboard initialization.",                       // 14h
    "Reserved.",                                                      // 15h
    "Floppy initialization.",                                         // 16h
    "Keyboard test.",                                                 // 17h
    "Pointing device test.",                                          // 18h
    "Primary processor initialization.",                              // 19h
};

struct tagKEYED_TABLE
{
    BYTE key;
    tagEVENT_TABLE table;
};

#define VEXA_TABLE(rows)                                                                           \
    tagEVENT_TABLE                                                                                 \
    {                                                                                              \
        rows, std::size(rows)                                                                      \
    }

const tagEVENT_TABLE GENERIC_TABLES[] = {
    VEXA_TABLE(GENERIC_01), VEXA_TABLE(GENERIC_02), VEXA_TABLE(GENERIC_03), VEXA_TABLE(GENERIC_04),
    VEXA_TABLE(GENERIC_05), VEXA_TABLE(GENERIC_06), VEXA_TABLE(GENERIC_07), VEXA_TABLE(GENERIC_08),
    VEXA_TABLE(GENERIC_09), VEXA_TABLE(GENERIC_0A), VEXA_TABLE(GENERIC_0B),
};

const tagKEYED_TABLE SPECIFIC_TABLES[] = {
    {0x05, VEXA_TABLE(SPECIFIC_05)}, {0x06, VEXA_TABLE(SPECIFIC_06)},
    {0x07, VEXA_TABLE(SPECIFIC_07)}, {0x08, VEXA_TABLE(SPECIFIC_08)},
    {0x09, VEXA_TABLE(SPECIFIC_09)}, {0x0C, VEXA_TABLE(SPECIFIC_0C)},
    {0x10, VEXA_TABLE(SPECIFIC_10)}, {0x11, VEXA_TABLE(SPECIFIC_11)},
    {0x12, VEXA_TABLE(SPECIFIC_12)}, {0x13, VEXA_TABLE(SPECIFIC_13)},
    {0x1D, VEXA_TABLE(SPECIFIC_1D)}, {0x1E, VEXA_TABLE(SPECIFIC_1E)},
    {0x1F, VEXA_TABLE(SPECIFIC_1F)}, {0x20, VEXA_TABLE(SPECIFIC_20)},
    {0x21, VEXA_TABLE(SPECIFIC_21)}, {0x22, VEXA_TABLE(SPECIFIC_22)},
    {0x23, VEXA_TABLE(SPECIFIC_23)}, {0x24, VEXA_TABLE(SPECIFIC_24)},
    {0x25, VEXA_TABLE(SPECIFIC_25)}, {0x27, VEXA_TABLE(SPECIFIC_27)},
    {0xC2, VEXA_TABLE(SPECIFIC_C2)}, {0xD0, VEXA_TABLE(SPECIFIC_D0)},
    {0xD1, VEXA_TABLE(SPECIFIC_D1)}, {0xD2, VEXA_TABLE(SPECIFIC_D2)},
    {0xD3, VEXA_TABLE(SPECIFIC_D3)}, {0xD4, VEXA_TABLE(SPECIFIC_D4)},
};

const tagEVENT_TABLE FIRMWARE_TABLES[] = {
    VEXA_TABLE(FIRMWARE_ERROR),
    VEXA_TABLE(FIRMWARE_HANG),
    VEXA_TABLE(FIRMWARE_PROGRESS),
};

#undef VEXA_TABLE
} // namespace

tagEVENT_TABLE GetGenericEventTable(BYTE eventType)
{
    if (eventType < 1 || eventType > std::size(GENERIC_TABLES))
        return {};
    return GENERIC_TABLES[eventType - 1];
}

tagEVENT_TABLE GetSensorSpecificEventTable(BYTE sensorType)
{
    for (const tagKEYED_TABLE& entry : SPECIFIC_TABLES)
        if (entry.key == sensorType)
            return entry.table;
    return {};
}

tagEVENT_TABLE GetFirmwareProgressTable(BYTE offset)
{
    if (offset >= std::size(FIRMWARE_TABLES))
        return {};
    return FIRMWARE_TABLES[offset];
}
