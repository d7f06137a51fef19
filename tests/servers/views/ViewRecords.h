#pragma once
// Sensor records for the view models' tests: a full threshold record with y = x (M = 1,
// unsigned), so converted values equal the raw bytes, and the captured fan record with 1/x.
#include "servers/Sensor.h"
#include "tests/servers/ScriptedBmc.h"

#include <string>
#include <vector>

// Thresholds in record order: UNR, UC, UNC, LNR, LC, LNC.
inline std::vector<BYTE> LinearRecord(BYTE sensorType, BYTE number, const BYTE thresholds[6],
                                      const std::string& name = "SENSOR", BYTE format = 0)
{
    std::vector<BYTE> r(48 + name.size(), 0);
    r[0] = number; // record ID
    r[2] = 0x51;
    r[3] = SDR_TYPE_FULL;
    r[7] = number;
    r[11] = 0x68; // thresholds readable and settable
    r[12] = sensorType;
    r[13] = 0x01; // threshold-based
    r[14] = 0xFF; // every assertion event enabled
    r[15] = 0x0F;
    r[18] = 0x3F; // every threshold readable
    r[19] = 0x3F; // and settable
    r[20] = static_cast<BYTE>(format << 6);
    r[21] = sensorType == SENSOR_TYPE_TEMPERATURE ? 1 : sensorType == SENSOR_TYPE_FAN ? 18 : 4;
    r[24] = 1; // M
    for (int i = 0; i < 6; ++i)
        r[36 + i] = thresholds[i];
    r[47] = static_cast<BYTE>(0xC0 | name.size());
    for (std::size_t i = 0; i < name.size(); ++i)
        r[48 + i] = static_cast<BYTE>(name[i]);
    return r;
}

inline CSensor LinearSensor(BYTE sensorType, BYTE number, const BYTE thresholds[6], BYTE raw = 0,
                            const std::string& name = "SENSOR", BYTE format = 0)
{
    std::vector<BYTE> r = LinearRecord(sensorType, number, thresholds, name, format);
    CSensor sensor(r.data(), r.size());
    sensor.SetRawReading(raw);
    return sensor;
}

// Thresholds as delivered: UNR FAh, UC F0h, UNC E6h, LNR 14h, LC 19h, LNC 1Eh; stored
// exchanged. Value = 10^6 / raw.
inline CSensor ReciprocalFan()
{
    std::vector<BYTE> r = LoadHex("sdr/fan_reciprocal");
    return CSensor(r.data(), r.size());
}
