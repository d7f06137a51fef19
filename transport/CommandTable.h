#pragma once
// The fixed catalogue of IPMI commands the console sends. Callers name a command only by
// its row (1..40); row 0 exists, is all zero and is never valid. Constant data, read by
// any thread.
#include "platform/Types.h"

#include <cstddef>

constexpr BYTE IPMI_COMMAND_ROWS = 40;
// Request data length of the two rows whose length depends on their data.
constexpr BYTE IPMI_LENGTH_VARIABLE = 0xFF;

struct tagIPMI_COMMAND
{
    BYTE netFn; // request network function; the response's is netFn + 1
    BYTE lun;   // placed in the rqLUN bits; 0 in every row
    BYTE command;
    BYTE dataLength; // request data bytes after the row byte, or IPMI_LENGTH_VARIABLE
    const char* name;
};

// The row, or nullptr for 0 and rows above 40.
const tagIPMI_COMMAND* IpmiCommandRow(BYTE row);

// The first row (1..40) whose response netFn and command are these; 0 when none.
BYTE IpmiCommandRowOfReply(BYTE responseNetFn, BYTE command);

// Request data length of a request record (row byte first, then data), with the variable
// rows resolved from their data. -1 when the row is invalid, the record too short to tell,
// or a LAN configuration parameter selector is not supported.
int IpmiRequestDataLength(const BYTE* request, std::size_t length);

// Named rows the console's code sends.
enum : BYTE
{
    ROW_GET_CHANNEL_AUTH_CAPABILITIES = 1,
    ROW_SET_SESSION_PRIVILEGE = 4,
    ROW_CLOSE_SESSION = 5,
    ROW_GET_DEVICE_ID = 6,
    ROW_WARM_RESET = 8,
    ROW_CHASSIS_CONTROL = 9,
    ROW_GET_SDR_REPOSITORY_INFO = 10,
    ROW_RESERVE_SDR_REPOSITORY = 11,
    ROW_GET_SDR = 12,
    ROW_GET_SEL_INFO = 13,
    ROW_RESERVE_SEL = 14,
    ROW_GET_SEL_ENTRY = 15,
    ROW_CLEAR_SEL = 18,
    ROW_SET_SENSOR_THRESHOLDS = 19,
    ROW_GET_SENSOR_THRESHOLDS = 20,
    ROW_GET_SENSOR_READING = 21,
    ROW_OEM_VARIABLE = 25,
    ROW_OEM_BATCH_READINGS = 27,
    ROW_READ_FRU_DATA = 28,
    ROW_SET_LAN_CONFIG = 29,
    ROW_GET_DEVICE_GUID = 30,
    ROW_GET_SYSTEM_GUID = 31,
    ROW_SET_SOL_CONFIG = 32,
    ROW_ACTIVATE_PAYLOAD = 33,
    ROW_DEACTIVATE_PAYLOAD = 34,
    ROW_GET_CHASSIS_STATUS = 35,
    ROW_OEM_SOL_TIMER = 36,
    ROW_OEM_POST_STATE = 37,
    ROW_GET_SEL_TIME = 38,
    ROW_SET_SOL_CONFIG_BITRATE = 40,
};
