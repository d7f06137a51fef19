// Arbitrary bytes as one SDR record: every decoding of CSensor must stay inside the bytes
// given and never trap.
#include "servers/Sensor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CSensor sensor(data, size);
    std::size_t sink = sensor.GetIdString().size() + sensor.GetSdrVersionText().size() +
                       sensor.GetUnitsText().size();
    tagSENSOR_VALUE value;
    for (unsigned raw : {0x00u, 0x01u, 0x7Fu, 0x80u, 0xFEu, 0xFFu})
    {
        sensor.ConvertRaw(static_cast<BYTE>(raw), value);
        sink += sensor.FormatValue(value).size() + FormatGaugeValue(value).size();
    }
    for (std::size_t offset = 0; offset < SDR_RECORD_SIZE + 4; ++offset)
        sensor.ConvertField(offset, value);
    for (std::size_t i = 0; i < size && i < 8; ++i)
    {
        sensor.ApplyEventOffset(data[i]);
        sink += sensor.GetStatus() + (sensor.GetStateText() != nullptr);
    }
    sink += CSensor::GetDiscreteText(sensor.GetSensorType(), sensor.GetRawReading())[0];
    return sink == static_cast<std::size_t>(-1);
}
