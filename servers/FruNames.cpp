// Names of FRU devices in the navigation tree. A FRU device is named by the board's
// sensor-number name table entry D0h + device ID. Only the table's entries D0h-FFh are
// needed here, and only some of them name anything on this board; they are kept in this
// small table until the full 256-entry sensor-number name table replaces it (its entries
// D0h-FFh must read the same).
#include "servers/FruRecord.h"

namespace
{

constexpr UINT FRU_NAME_BASE = 0xD0;
constexpr UINT SENSOR_NAME_TABLE_SIZE = 256;

const char* const fruDeviceNames[SENSOR_NAME_TABLE_SIZE - FRU_NAME_BASE] = {
    /* D0h */ "MOTHERBOARD FRU",
    /* D1h */ "BACKPLANE FRU",
    /* D2h */ "RISER FRU",
    /* D3h */ "POWER FRU",
    /* D4h */ "POWER 1 FRU",
    /* D5h */ "POWER 2 FRU",
    /* D6h */ "BACK PLANE 2 FRU",
    /* D7h */ "BACK PLANE 3 FRU",
    /* D8h */ "BACK PLANE 4 FRU",
    /* D9h */ "FAN MODULE FRU",
    /* DAh */ "RESERVED",
    /* DBh */ "RESERVED",
    /* DCh */ "RESERVED",
    /* DDh */ "RESERVED",
    /* DEh */ "RESERVED",
    /* DFh */ "RESERVED",
    /* E0h */ "ASIC ID",
    /* E1h */ "RESERVED",
    /* E2h */ "RESERVED",
    /* E3h */ "RESERVED",
    /* E4h */ "RESERVED",
    /* E5h */ "RESERVED",
    /* E6h */ "RESERVED",
    /* E7h */ "RESERVED",
    /* E8h */ "BIOS",
    /* E9h */ "RESERVED",
    /* EAh */ "RESERVED",
    /* EBh */ "RESERVED",
    /* ECh */ "RESERVED",
    /* EDh */ "RESERVED",
    /* EEh */ "RESERVED",
    /* EFh */ "RESERVED",
    /* F0h */ "RESERVED",
    /* F1h */ "RESERVED",
    /* F2h */ "RESERVED",
    /* F3h */ "RESERVED",
    /* F4h */ "RESERVED",
    /* F5h */ "RESERVED",
    /* F6h */ "RESERVED",
    /* F7h */ "RESERVED",
    /* F8h */ "RESERVED",
    /* F9h */ "RESERVED",
    /* FAh */ "RESERVED",
    /* FBh */ "RESERVED",
    /* FCh */ "RESERVED",
    /* FDh */ "RESERVED",
    /* FEh */ "RESERVED",
    /* FFh */ "RESERVED",
};

} // namespace

UINT FruDeviceNameIndex(UINT deviceId)
{
    // Device 10 is shown with the motherboard's entry rather than DAh.
    if (deviceId == 10)
        return FRU_NAME_BASE;
    if (deviceId >= SENSOR_NAME_TABLE_SIZE)
        return SENSOR_NAME_TABLE_SIZE;
    return FRU_NAME_BASE + deviceId;
}

const char* GetFruDeviceName(UINT deviceId)
{
    const UINT index = FruDeviceNameIndex(deviceId);
    if (index >= SENSOR_NAME_TABLE_SIZE)
        return "INVALID SENSOR NUMBER";
    return fruDeviceNames[index - FRU_NAME_BASE];
}
