// Names of FRU devices in the navigation tree: device k is named by the board's
// sensor-number name table entry D0h + k (device 10 by the motherboard's entry).
#include "servers/FruRecord.h"

#include "servers/Sensor.h"

namespace
{
constexpr UINT FRU_NAME_BASE = 0xD0;
constexpr UINT SENSOR_NAME_TABLE_SIZE = 256;
} // namespace

UINT FruDeviceNameIndex(UINT deviceId)
{
    // Device 10 is shown with the motherboard's entry rather than DAh.
    if (deviceId == 10)
        return FRU_NAME_BASE;
    if (deviceId >= SENSOR_NAME_TABLE_SIZE - FRU_NAME_BASE)
        return SENSOR_NAME_TABLE_SIZE;
    return FRU_NAME_BASE + deviceId;
}

const char* GetFruDeviceName(UINT deviceId)
{
    return GetSensorNumberName(static_cast<int>(FruDeviceNameIndex(deviceId)));
}
