#include "servers/Sensor.h"

#include "servers/EventText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{
// ID string type/length byte (IPMI v1.5, 37.14): bits 7:6 type, bits 4:0 length.
constexpr BYTE ID_TYPE_UNICODE = 0;
constexpr BYTE ID_TYPE_BCD_PLUS = 1;
constexpr BYTE ID_TYPE_ASCII6 = 2;
constexpr BYTE ID_TYPE_ASCII8 = 3;

constexpr BYTE LINEARIZATION_RECIPROCAL = 0x07;

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80)
        out += static_cast<char>(code);
    else if (code < 0x800)
    {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    else if (code < 0x10000)
    {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The console shows text as UTF-8: 8-bit ASCII IDs are ISO 8859-1 (IPMI v1.5, 37.14).
std::string DecodeAscii8(const BYTE* data, std::size_t available, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length && i < available && data[i] != 0; ++i)
        AppendUtf8(out, data[i]);
    return out;
}

// Up to `length` UTF-16LE characters; a lone surrogate shows as U+FFFD.
std::string DecodeUnicode(const BYTE* data, std::size_t available, std::size_t length)
{
    std::string out;
    std::size_t count = std::min(length, available / 2);
    for (std::size_t i = 0; i < count; ++i)
    {
        unsigned unit = data[2 * i] | data[2 * i + 1] << 8;
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count)
        {
            unsigned low = data[2 * i + 2] | data[2 * i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000)
            {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000)
            unit = 0xFFFD;
        AppendUtf8(out, unit);
    }
    return out;
}

// One code per byte (not two nibbles), as the console has always read BCD plus IDs.
std::string DecodeBcdPlus(const BYTE* data, std::size_t available, std::size_t length)
{
    static const char DIGITS[] = "0123456789 -.:;_";
    std::string out;
    for (std::size_t i = 0; i < length && i < available; ++i)
    {
        if (data[i] > 15)
            break;
        out += DIGITS[data[i]];
    }
    return out;
}

// 6-bit packed ASCII: three bytes carry four characters, least significant bits first.
// `length` counts characters; with no whole group of four the name is empty.
std::string DecodeAscii6(const BYTE* data, std::size_t available, std::size_t length)
{
    std::string out;
    if (length < 4)
        return out;
    for (std::size_t c = 0; c < length; ++c)
    {
        std::size_t group = c / 4 * 3;
        unsigned value = 0;
        std::size_t last = 0; // highest byte of the group this character needs
        switch (c % 4)
        {
        case 0:
            last = group;
            if (last < available)
                value = data[group] & 0x3F;
            break;
        case 1:
            last = group + 1;
            if (last < available)
                value = (data[group + 1] & 0x0F) << 2 | data[group] >> 6;
            break;
        case 2:
            last = group + 2;
            if (last < available)
                value = (data[group + 2] & 0x03) << 4 | data[group + 1] >> 4;
            break;
        default:
            last = group + 2;
            if (last < available)
                value = data[group + 2] >> 2;
            break;
        }
        if (last >= available)
            break;
        out += static_cast<char>(value + 0x20);
    }
    return out;
}
} // namespace

CSensor::CSensor() = default;

CSensor::CSensor(const BYTE* record, std::size_t length)
{
    if (record == nullptr || length <= SDR_OFFSET_RECORD_TYPE)
        return;
    BYTE type = record[SDR_OFFSET_RECORD_TYPE];
    if (type != SDR_TYPE_FULL && type != SDR_TYPE_COMPACT)
        return;
    m_length = std::min(length, SDR_RECORD_SIZE);
    std::memcpy(m_record, record, m_length);
    m_valid = TRUE;
    ApplyFanRule();
}

// A fan read through 1/x has its lower thresholds where the upper ones belong: exchange them
// once here so every later use sees them in display order.
void CSensor::ApplyFanRule()
{
    if (GetSensorType() != SENSOR_TYPE_FAN ||
        GetByte(SDR_OFFSET_LINEARIZATION) != LINEARIZATION_RECIPROCAL)
        return;
    for (std::size_t i = 0; i < 3; ++i)
        std::swap(m_record[SDR_OFFSET_UPPER_NR + i], m_record[SDR_OFFSET_LOWER_NR + i]);
    m_thresholdsSwapped = TRUE;
}

BYTE CSensor::GetByte(std::size_t offset) const
{
    return offset < SDR_RECORD_SIZE ? m_record[offset] : 0;
}

void CSensor::SetByte(std::size_t offset, BYTE value)
{
    if (offset < SDR_RECORD_SIZE)
        m_record[offset] = value;
}

WORD CSensor::GetRecordId() const
{
    return static_cast<WORD>(GetByte(SDR_OFFSET_RECORD_ID) | GetByte(SDR_OFFSET_RECORD_ID + 1)
                                                                 << 8);
}

tagSENSOR_FACTORS CSensor::GetFactors() const
{
    auto tenBit = [](BYTE low, BYTE high)
    {
        int v = low | (high >> 6) << 8;
        return v >= 0x200 ? v - 0x400 : v;
    };
    auto fourBit = [](int nibble) { return nibble >= 8 ? nibble - 16 : nibble; };
    tagSENSOR_FACTORS f;
    f.analogFormat = static_cast<BYTE>(GetByte(SDR_OFFSET_UNITS1) >> 6);
    f.m = tenBit(GetByte(SDR_OFFSET_M_LOW), GetByte(SDR_OFFSET_M_HIGH));
    f.b = tenBit(GetByte(SDR_OFFSET_B_LOW), GetByte(SDR_OFFSET_B_HIGH));
    f.k1 = fourBit(GetByte(SDR_OFFSET_EXPONENTS) & 0x0F);
    f.k2 = fourBit(GetByte(SDR_OFFSET_EXPONENTS) >> 4);
    f.linearization = GetByte(SDR_OFFSET_LINEARIZATION);
    f.sensorType = GetSensorType();
    return f;
}

std::string CSensor::GetIdString() const
{
    std::size_t at = IsFullRecord() ? SDR_OFFSET_FULL_ID_TYPE : SDR_OFFSET_COMPACT_ID_TYPE;
    if (at >= m_length)
        return {};
    BYTE typeLength = m_record[at];
    std::size_t length = typeLength & 0x1F;
    const BYTE* data = m_record + at + 1;
    std::size_t available = m_length - (at + 1);
    switch (typeLength >> 6)
    {
    case ID_TYPE_UNICODE:
        return DecodeUnicode(data, available, length);
    case ID_TYPE_BCD_PLUS:
        return DecodeBcdPlus(data, available, length);
    case ID_TYPE_ASCII6:
        return DecodeAscii6(data, available, length);
    default:
        static_assert(ID_TYPE_ASCII8 == 3, "the remaining type");
        return DecodeAscii8(data, available, length);
    }
}

std::string CSensor::GetSdrVersionText() const
{
    BYTE version = GetByte(SDR_OFFSET_VERSION);
    char text[8];
    std::snprintf(text, sizeof text, "%d.%d", version & 0x0F, version >> 4);
    return text;
}

std::string CSensor::GetUnitsText() const
{
    return BuildUnitsText(GetByte(SDR_OFFSET_UNITS1), GetByte(SDR_OFFSET_BASE_UNIT),
                          GetByte(SDR_OFFSET_MODIFIER_UNIT));
}

BOOL CSensor::ConvertRaw(BYTE raw, tagSENSOR_VALUE& out) const
{
    BYTE sensorType = GetSensorType();
    float value = 0.0f;
    BOOL analog = ConvertReading(GetFactors(), raw, value);
    std::string text;
    if (sensorType == SENSOR_TYPE_FAN && (raw == 0x00 || raw == 0xFF))
    {
        value = 0.0f;
        text = "0";
    }
    else
        text = FormatNumericText(sensorType, value);
    out.value = value;
    std::snprintf(out.text, sizeof out.text, "%s", text.c_str());
    std::snprintf(out.units, sizeof out.units, "%s", GetUnitsText().c_str());
    return analog;
}

BOOL CSensor::ConvertField(std::size_t offset, tagSENSOR_VALUE& out) const
{
    BOOL present = offset < m_length;
    BOOL analog = ConvertRaw(GetByte(offset), out);
    return present && analog;
}

std::string CSensor::FormatValue(const tagSENSOR_VALUE& value) const
{
    return FormatSensorValue(GetSensorType(), value);
}

// IPMI threshold event offsets: 0-5 lower thresholds (even: going low), 6-11 upper
// thresholds (odd: going high). An assertion takes the state when more severe; the matching
// opposite-direction offset steps the state back to the next less severe threshold.
void CSensor::ApplyEventOffset(BYTE offset)
{
    int eventClass = GetEventTypeClass(GetEventType());
    if (eventClass == EVENT_CLASS_DISCRETE)
    {
        m_state = offset;
        return;
    }
    if (eventClass != EVENT_CLASS_THRESHOLD || offset > 11)
        return;
    bool none = m_state == SENSOR_STATE_NONE;
    bool lower = offset <= 5;
    bool raising = lower ? offset % 2 == 0 : offset % 2 == 1;
    if (raising)
    {
        if (none || offset > m_state)
            m_state = offset;
        return;
    }
    int cleared = lower ? offset - 1 : offset + 1;
    if (none || m_state < cleared)
        return;
    if (cleared == 0 || cleared == 7)
        m_state = SENSOR_STATE_NONE;
    else
        m_state = static_cast<BYTE>(cleared - 2);
}

int CSensor::GetStatus() const
{
    switch (GetEventTypeClass(GetEventType()))
    {
    case EVENT_CLASS_THRESHOLD:
        switch (m_state)
        {
        case 0x00:
        case 0x07:
            return SENSOR_STATUS_NON_CRITICAL;
        case 0x02:
        case 0x09:
            return SENSOR_STATUS_CRITICAL;
        case 0x04:
        case 0x0B:
            return SENSOR_STATUS_NON_RECOVERABLE;
        default:
            return SENSOR_STATUS_NORMAL;
        }
    case EVENT_CLASS_DISCRETE:
        return m_state == SENSOR_STATE_NONE ? SENSOR_STATUS_NORMAL : SENSOR_STATUS_NON_RECOVERABLE;
    default:
        return SENSOR_STATUS_NORMAL;
    }
}

const char* CSensor::GetStateText() const
{
    return GetEventText(GetEventType(), GetSensorType(), m_state, 0, 0);
}

const char* CSensor::GetDiscreteText(BYTE sensorType, BYTE reading)
{
    switch (sensorType)
    {
    case 0x05:
        if (reading == 0x01)
            return "General Chassis Intrusion";
        if (reading == 0x02)
            return "Drive Bay Intrusion";
        return "N/A";
    case 0x08:
        if (reading == 0x01)
            return "Presence detected";
        if (reading == 0x02)
            return "Power Supply Failure detected";
        if (reading == 0x08)
            return "Power Supply input lost (AC/DC)";
        return "N/A";
    case 0x0C:
        if (reading == 0x01 || reading == 0x40)
            return "Correctable ECC";
        if (reading == 0x02)
            return "Uncorrectable ECC";
        return "N/A";
    case 0x0D:
        if (reading == 0x01)
            return "Drive Presence";
        if (reading == 0x80)
            return "Rebuild";
        if (reading == 0x02)
            return "Drive Fault";
        return "N/A";
    default:
        return "OEM define.";
    }
}
