#include "servers/SEL.h"

#include "servers/EventText.h"
#include "servers/Sensor.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

namespace
{
constexpr int EVENT_DATA_CLASS_NONE = 0;
constexpr int EVENT_DATA_CLASS_THRESHOLD = 5; // ED1 7:4 = 0101b
constexpr int EVENT_DATA_CLASS_EXTENDED = 7;  // ED1 7:4 = 0111b
constexpr BYTE EVENT_DATA3_UNSPECIFIED = 0xFF;

// The threshold byte of the sensor record named by a threshold event offset (IPMI v1.5,
// table 36-2: each threshold has a going-low and a going-high offset).
constexpr std::size_t THRESHOLD_BY_OFFSET[12] = {
    SDR_OFFSET_LOWER_NC, SDR_OFFSET_LOWER_NC, SDR_OFFSET_LOWER_C,  SDR_OFFSET_LOWER_C,
    SDR_OFFSET_LOWER_NR, SDR_OFFSET_LOWER_NR, SDR_OFFSET_UPPER_NC, SDR_OFFSET_UPPER_NC,
    SDR_OFFSET_UPPER_C,  SDR_OFFSET_UPPER_C,  SDR_OFFSET_UPPER_NR, SDR_OFFSET_UPPER_NR,
};
} // namespace

std::string FormatSelTime(DWORD timestamp, long eastOfUtcSeconds)
{
    char timeText[32] = "";
    char dateText[32] = "";
    // Time stamps at or above 80000000h do not fit the console's signed 32-bit time.
    if (timestamp < 0x80000000u)
    {
        std::time_t t = static_cast<std::time_t>(timestamp);
        std::tm fields{};
        if (gmtime_r(&t, &fields) != nullptr)
        {
            std::snprintf(dateText, sizeof dateText, "%04d/%02d/%02d", fields.tm_year + 1900,
                          fields.tm_mon + 1, fields.tm_mday);
            // Noon belongs to the afternoon: 12:30 is 12:30:00PM, 00:30 is 00:30:00AM.
            int hour = fields.tm_hour;
            const char* half = hour >= 12 ? "PM" : "AM";
            if (hour > 12)
                hour -= 12;
            std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d%s", hour, fields.tm_min,
                          fields.tm_sec, half);
        }
    }
    char text[96];
    std::snprintf(text, sizeof text, "%s %s (GMT %+d)", timeText, dateText,
                  static_cast<int>(eastOfUtcSeconds / 3600));
    return text;
}

// The zone's offset outside daylight saving: of now and half a year ago, the one not in
// daylight saving time (localtime_r, unlike the libc globals, is safe on any thread).
long GetConsoleUtcOffset()
{
    std::time_t now = std::time(nullptr);
    std::tm fields{};
    for (std::time_t t : {now, now - 183 * 24 * 3600})
        if (localtime_r(&t, &fields) != nullptr && fields.tm_isdst <= 0)
            return fields.tm_gmtoff;
    return localtime_r(&now, &fields) != nullptr ? fields.tm_gmtoff : 0;
}

CSEL::CSEL() = default;

CSEL::CSEL(const BYTE* entry, std::size_t length, CIPMIServer* owner) : m_owner(owner)
{
    if (entry == nullptr || length < SEL_ENTRY_SIZE)
        return;
    std::memcpy(m_entry, entry, SEL_ENTRY_SIZE);
    m_valid = TRUE;
}

BYTE CSEL::GetEntryByte(std::size_t offset) const
{
    return offset < SEL_ENTRY_SIZE ? m_entry[offset] : 0;
}

WORD CSEL::GetRecordId() const
{
    return static_cast<WORD>(m_entry[SEL_OFFSET_RECORD_ID] | m_entry[SEL_OFFSET_RECORD_ID + 1]
                                                                 << 8);
}

DWORD CSEL::GetTimestamp() const
{
    const BYTE* t = m_entry + SEL_OFFSET_TIMESTAMP;
    return static_cast<DWORD>(t[0]) | static_cast<DWORD>(t[1]) << 8 |
           static_cast<DWORD>(t[2]) << 16 | static_cast<DWORD>(t[3]) << 24;
}

int CSEL::GetEventDataClass() const
{
    BYTE data1 = GetEntryByte(SEL_OFFSET_EVENT_DATA1);
    if ((data1 >> 4) == 0x5)
        return EVENT_DATA_CLASS_THRESHOLD;
    if ((data1 >> 4) == 0x7)
        return EVENT_DATA_CLASS_EXTENDED;
    return EVENT_DATA_CLASS_NONE;
}

const char* CSEL::GetRecordTypeText() const
{
    BYTE type = GetRecordType();
    if (type == 0x02)
        return "System event record";
    if (type >= 0xC0 && type <= 0xDF)
        return "OEM defined with timestamp";
    if (type >= 0xE0)
        return "OEM defined without timestamp";
    return "Unknown record type!";
}

std::string CSEL::GetTimeText() const
{
    return GetTimeText(GetConsoleUtcOffset());
}

std::string CSEL::GetTimeText(long eastOfUtcSeconds) const
{
    return FormatSelTime(GetTimestamp(), eastOfUtcSeconds);
}

const char* CSEL::GetGeneratorText() const
{
    return (GetEntryByte(SEL_OFFSET_GENERATOR) & 0x01) ? "System software ID"
                                                       : "IPMB slave address";
}

const char* CSEL::GetDirectionText() const
{
    return (GetEntryByte(SEL_OFFSET_EVENT_TYPE) & 0x80) ? "Deassertion" : "Assertion";
}

const char* CSEL::GetEventTypeText() const
{
    return GetEventTypeName(GetEventType());
}

const char* CSEL::GetSensorTypeText() const
{
    return GetSensorTypeName(GetSensorType());
}

const char* CSEL::GetDescription() const
{
    return GetEventText(GetEventType(), GetSensorType(), GetEventOffset(),
                        GetEntryByte(SEL_OFFSET_EVENT_DATA1), GetEntryByte(SEL_OFFSET_EVENT_DATA2));
}

BOOL CSEL::GetTriggerReading(const CSensor* sensor, tagSENSOR_VALUE& out) const
{
    if (sensor == nullptr || GetEventTypeClass(GetEventType()) != EVENT_CLASS_THRESHOLD)
        return FALSE;
    int dataClass = GetEventDataClass();
    if (dataClass != EVENT_DATA_CLASS_THRESHOLD && dataClass != EVENT_DATA_CLASS_EXTENDED)
        return FALSE;
    return sensor->ConvertRaw(GetEntryByte(SEL_OFFSET_EVENT_DATA2), out);
}

BOOL CSEL::GetTriggerThreshold(const CSensor* sensor, tagSENSOR_VALUE& out) const
{
    if (sensor == nullptr || GetEventTypeClass(GetEventType()) != EVENT_CLASS_THRESHOLD)
        return FALSE;
    switch (GetEventDataClass())
    {
    case EVENT_DATA_CLASS_THRESHOLD:
    {
        BYTE data3 = GetEntryByte(SEL_OFFSET_EVENT_DATA3);
        if (data3 == EVENT_DATA3_UNSPECIFIED)
            return FALSE;
        return sensor->ConvertRaw(data3, out);
    }
    case EVENT_DATA_CLASS_EXTENDED:
    {
        BYTE offset = GetEventOffset();
        if (offset >= std::size(THRESHOLD_BY_OFFSET))
            return FALSE;
        return sensor->ConvertField(THRESHOLD_BY_OFFSET[offset], out);
    }
    default:
        return FALSE;
    }
}

tagSEL_KEY CSEL::GetKey() const
{
    tagSEL_KEY key;
    key.bytes[0] = m_entry[SEL_OFFSET_RECORD_ID];
    key.bytes[1] = m_entry[SEL_OFFSET_RECORD_ID + 1];
    key.bytes[2] = key.bytes[4] = m_entry[SEL_OFFSET_TIMESTAMP];
    key.bytes[3] = key.bytes[5] = m_entry[SEL_OFFSET_TIMESTAMP + 1];
    return key;
}
