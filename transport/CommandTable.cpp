#include "transport/CommandTable.h"

namespace
{
constexpr BYTE V = IPMI_LENGTH_VARIABLE;

// netFn, LUN, command, request data length, name (IPMI v2.0 command names where standard).
const tagIPMI_COMMAND kCommands[IPMI_COMMAND_ROWS + 1] = {
    /*  0 */ {0x00, 0, 0x00, 0, nullptr},
    /*  1 */ {0x06, 0, 0x38, 2, "Get Channel Authentication Capabilities"},
    /*  2 */ {0x06, 0, 0x39, 17, "Get Session Challenge"},
    /*  3 */ {0x06, 0, 0x3A, 22, "Activate Session"},
    /*  4 */ {0x06, 0, 0x3B, 1, "Set Session Privilege Level"},
    /*  5 */ {0x06, 0, 0x3C, 4, "Close Session"},
    /*  6 */ {0x06, 0, 0x01, 0, "Get Device ID"},
    /*  7 */ {0x06, 0, 0x02, 0, "Cold Reset"},
    /*  8 */ {0x06, 0, 0x03, 0, "Warm Reset"},
    /*  9 */ {0x00, 0, 0x02, 1, "Chassis Control"},
    /* 10 */ {0x0A, 0, 0x20, 0, "Get SDR Repository Info"},
    /* 11 */ {0x0A, 0, 0x22, 0, "Reserve SDR Repository"},
    /* 12 */ {0x0A, 0, 0x23, 6, "Get SDR"},
    /* 13 */ {0x0A, 0, 0x40, 0, "Get SEL Info"},
    /* 14 */ {0x0A, 0, 0x42, 0, "Reserve SEL"},
    /* 15 */ {0x0A, 0, 0x43, 6, "Get SEL Entry"},
    /* 16 */ {0x0A, 0, 0x44, 16, "Add SEL Entry"},
    /* 17 */ {0x0A, 0, 0x46, 4, "Delete SEL Entry"},
    /* 18 */ {0x0A, 0, 0x47, 6, "Clear SEL"},
    /* 19 */ {0x04, 0, 0x26, 8, "Set Sensor Thresholds"},
    /* 20 */ {0x04, 0, 0x27, 1, "Get Sensor Thresholds"},
    /* 21 */ {0x04, 0, 0x2D, 1, "Get Sensor Reading"},
    /* 22 */ {0x30, 0, 0x20, 0, "OEM 20h"},
    /* 23 */ {0x30, 0, 0x21, 2, "OEM 21h"},
    /* 24 */ {0x30, 0, 0x22, 1, "OEM 22h"},
    /* 25 */ {0x30, 0, 0x23, V, "OEM 23h"},
    /* 26 */ {0x30, 0, 0x24, 0, "OEM 24h"},
    /* 27 */ {0x30, 0, 0x06, 1, "OEM Get Sensor Readings"},
    /* 28 */ {0x0A, 0, 0x11, 4, "Read FRU Data"},
    /* 29 */ {0x0C, 0, 0x01, V, "Set LAN Configuration Parameters"},
    /* 30 */ {0x06, 0, 0x08, 0, "Get Device GUID"},
    /* 31 */ {0x06, 0, 0x37, 0, "Get System GUID"},
    /* 32 */ {0x0C, 0, 0x21, 3, "Set SOL Configuration Parameters"},
    /* 33 */ {0x06, 0, 0x48, 6, "Activate Payload"},
    /* 34 */ {0x06, 0, 0x49, 6, "Deactivate Payload"},
    /* 35 */ {0x00, 0, 0x01, 0, "Get Chassis Status"},
    /* 36 */ {0x2E, 0, 0x04, 1, "OEM SOL Timer"},
    /* 37 */ {0x30, 0, 0x08, 2, "OEM POST State"},
    /* 38 */ {0x0A, 0, 0x48, 0, "Get SEL Time"},
    /* 39 */ {0x0A, 0, 0x49, 0, "Set SEL Time"},
    /* 40 */ {0x0C, 0, 0x21, 3, "Set SOL Configuration Parameters (bit rate)"},
};

// Sizes of the LAN configuration parameters 0..19 (IPMI v2.0, table 23-4), by selector.
const BYTE kLanParameterSizes[20] = {1, 1, 5, 4, 1, 6, 4, 3, 2, 2, 1, 1, 4, 6, 4, 6, 18, 1, 4, 13};
} // namespace

const tagIPMI_COMMAND* IpmiCommandRow(BYTE row)
{
    if (row == 0 || row > IPMI_COMMAND_ROWS)
        return nullptr;
    return &kCommands[row];
}

BYTE IpmiCommandRowOfReply(BYTE responseNetFn, BYTE command)
{
    for (BYTE row = 1; row <= IPMI_COMMAND_ROWS; ++row)
    {
        if (kCommands[row].netFn + 1 == responseNetFn && kCommands[row].command == command)
            return row;
    }
    return 0;
}

int IpmiRequestDataLength(const BYTE* request, std::size_t length)
{
    if (request == nullptr || length == 0)
        return -1;
    const tagIPMI_COMMAND* entry = IpmiCommandRow(request[0]);
    if (entry == nullptr)
        return -1;
    if (entry->dataLength != IPMI_LENGTH_VARIABLE)
        return entry->dataLength;
    if (request[0] == ROW_OEM_VARIABLE)
    {
        // The first data byte counts the bytes that follow it.
        if (length < 2)
            return -1;
        return request[1] + 1;
    }
    // Set LAN Configuration Parameters: channel, selector, then the parameter's data.
    if (length < 3 || request[2] >= sizeof kLanParameterSizes)
        return -1;
    return 2 + kLanParameterSizes[request[2]];
}
