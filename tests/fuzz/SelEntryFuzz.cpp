// Arbitrary bytes as a SEL entry (the first 16) followed by the SDR record of its sensor:
// every text and the trigger conversions must stay inside the bytes given and never trap.
#include "servers/SEL.h"
#include "servers/Sensor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t entrySize = size < SEL_ENTRY_SIZE ? size : SEL_ENTRY_SIZE;
    CSEL entry(data, entrySize, nullptr);
    CSensor sensor(data + entrySize, size - entrySize);
    std::size_t sink = entry.GetTimeText(8 * 3600).size();
    for (const char* text :
         {entry.GetRecordTypeText(), entry.GetGeneratorText(), entry.GetDirectionText(),
          entry.GetEventTypeText(), entry.GetSensorTypeText(), entry.GetDescription()})
        sink += text[0];
    tagSENSOR_VALUE value;
    sink += entry.GetTriggerReading(&sensor, value) + entry.GetTriggerThreshold(&sensor, value);
    sink += entry.GetKey().bytes[5];
    return sink == static_cast<std::size_t>(-1);
}
