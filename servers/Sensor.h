#pragma once
// CSensor: one full (01h) or compact (02h) sensor data record as the console keeps it, and
// everything that turns the record plus a raw one-byte reading into operator text (IPMI v1.5,
// 30 "Sensor Data Records"; IPMI v2.0, 43 for the layouts).
// Owned by the server object's sensor array; built on the repository-reading thread, then read
// by the user-interface and polling threads. A plain value class with no locks and no shared
// state: the server object decides who may touch it when (only the raw reading changes during
// polling). The name tables behind the free functions are read-only.
#include "platform/Types.h"

#include <cstddef>
#include <string>

// Record byte offsets (0-based from the low byte of the record ID).
constexpr std::size_t SDR_RECORD_SIZE = 96;
constexpr std::size_t SDR_OFFSET_RECORD_ID = 0;
constexpr std::size_t SDR_OFFSET_VERSION = 2;
constexpr std::size_t SDR_OFFSET_RECORD_TYPE = 3;
constexpr std::size_t SDR_OFFSET_SENSOR_NUMBER = 7;
constexpr std::size_t SDR_OFFSET_CAPABILITIES = 11;
constexpr std::size_t SDR_OFFSET_SENSOR_TYPE = 12;
constexpr std::size_t SDR_OFFSET_EVENT_TYPE = 13;
constexpr std::size_t SDR_OFFSET_ASSERTION_MASK = 14;
constexpr std::size_t SDR_OFFSET_DEASSERTION_MASK = 16;
constexpr std::size_t SDR_OFFSET_READING_MASK = 18;
constexpr std::size_t SDR_OFFSET_UNITS1 = 20;
constexpr std::size_t SDR_OFFSET_BASE_UNIT = 21;
constexpr std::size_t SDR_OFFSET_MODIFIER_UNIT = 22;
constexpr std::size_t SDR_OFFSET_LINEARIZATION = 23;
constexpr std::size_t SDR_OFFSET_M_LOW = 24;
constexpr std::size_t SDR_OFFSET_M_HIGH = 25;
constexpr std::size_t SDR_OFFSET_B_LOW = 26;
constexpr std::size_t SDR_OFFSET_B_HIGH = 27;
constexpr std::size_t SDR_OFFSET_EXPONENTS = 29;
constexpr std::size_t SDR_OFFSET_NOMINAL = 31;
// The raw reading a sensor holds when it gave none (no answer, scanning off).
constexpr BYTE SENSOR_NO_READING = 0xFF;
constexpr std::size_t SDR_OFFSET_UPPER_NR = 36;
constexpr std::size_t SDR_OFFSET_UPPER_C = 37;
constexpr std::size_t SDR_OFFSET_UPPER_NC = 38;
constexpr std::size_t SDR_OFFSET_LOWER_NR = 39;
constexpr std::size_t SDR_OFFSET_LOWER_C = 40;
constexpr std::size_t SDR_OFFSET_LOWER_NC = 41;
constexpr std::size_t SDR_OFFSET_FULL_ID_TYPE = 47;
constexpr std::size_t SDR_OFFSET_COMPACT_ID_TYPE = 31;

constexpr BYTE SDR_TYPE_FULL = 0x01;
constexpr BYTE SDR_TYPE_COMPACT = 0x02;
constexpr BYTE SDR_TYPE_FRU_LOCATOR = 0x11;

constexpr BYTE SENSOR_TYPE_TEMPERATURE = 0x01;
constexpr BYTE SENSOR_TYPE_VOLTAGE = 0x02;
constexpr BYTE SENSOR_TYPE_FAN = 0x04;
constexpr BYTE SENSOR_STATE_NONE = 0xFF;

// GetEventTypeClass results.
constexpr int EVENT_CLASS_OEM = 0;
constexpr int EVENT_CLASS_THRESHOLD = 2;
constexpr int EVENT_CLASS_DISCRETE = 3;

// GetStatus results.
constexpr int SENSOR_STATUS_NORMAL = 0;
constexpr int SENSOR_STATUS_NON_CRITICAL = 1;
constexpr int SENSOR_STATUS_CRITICAL = 2;
constexpr int SENSOR_STATUS_NON_RECOVERABLE = 3;

// A converted reading: the value, its short text and its units text (both NUL-terminated,
// cut to fit).
struct tagSENSOR_VALUE
{
    float value = 0.0f;
    char text[30] = {};
    char units[30] = {};
};

// The conversion inputs of a record (bytes 20-30 and the sensor type), decoded.
struct tagSENSOR_FACTORS
{
    BYTE analogFormat = 0; // units 1 bits 7:6: 0 unsigned, 1 ones', 2 two's complement, 3 none
    int m = 1;             // 10-bit two's complement
    int b = 0;             // 10-bit two's complement
    int k1 = 0;            // B exponent, 4-bit two's complement
    int k2 = 0;            // R (result) exponent, 4-bit two's complement
    BYTE linearization = 0;
    BYTE sensorType = 0;
};

// The reading formula alone: y = L((M*x + B*10^K1) * 10^K2), rounded to single precision
// after the linear part and after the linearisation (IPMI v1.5, 30.3). FALSE when the
// sensor gives no analog reading (format 11b); value is then the raw byte as unsigned.
// Undefined linearisations (log of 0, 1/0, cube root of a negative) give a non-finite value.
BOOL ConvertReading(const tagSENSOR_FACTORS& factors, BYTE raw, float& value);

// The short numeric text of a value for a sensor type ("3.2" for a voltage of 3.29, "45" for
// a temperature of 45.9); "N/A" for a non-finite value.
std::string FormatNumericText(BYTE sensorType, float value);

// The units text from sensor units 1, the base unit and the modifier unit codes.
std::string BuildUnitsText(BYTE units1, BYTE baseUnit, BYTE modifierUnit);

// A value with its units in the presentation format of its sensor type: "%.1f %s" for
// temperatures, "%d %s" (truncated) for fans, "%.2f %s" otherwise; "N/A %s" when not finite.
std::string FormatSensorValue(BYTE sensorType, const tagSENSOR_VALUE& value);
// The gauge tiles' format, "%6g %s".
std::string FormatGaugeValue(const tagSENSOR_VALUE& value);

// Name tables. Every lookup returns a non-null text with static lifetime.
const char* GetSensorTypeName(BYTE sensorType);
const char* GetSensorNumberName(int sensorNumber); // board names; above 255: invalid
const char* GetEventTypeName(BYTE eventType);      // bit 7 ignored
int GetEventTypeClass(BYTE eventType);             // bit 7 ignored; EVENT_CLASS_*
const char* GetUnitName(BYTE unitCode);            // codes 90-255 give "unknown"

class CSensor
{
public:
    // An empty sensor: not valid, no state, nothing swapped, raw reading 0.
    CSensor();
    // From the bytes of one SDR as read (at most the first 96 are kept). Bytes the caller did
    // not supply read as 0 and are never looked at for the ID string. A record too short to
    // carry its type byte, or of a type other than full or compact, leaves the sensor invalid.
    CSensor(const BYTE* record, std::size_t length);

    BOOL IsValid() const { return m_valid; }
    BOOL IsFullRecord() const { return GetByte(SDR_OFFSET_RECORD_TYPE) == SDR_TYPE_FULL; }
    // How many record bytes the caller supplied (0-96).
    std::size_t GetLength() const { return m_length; }
    const BYTE* GetRecord() const { return m_record; }

    // Raw record bytes; offsets past the 96 kept read as 0 and are not written.
    BYTE GetByte(std::size_t offset) const;
    void SetByte(std::size_t offset, BYTE value);

    WORD GetRecordId() const;
    BYTE GetSensorNumber() const { return GetByte(SDR_OFFSET_SENSOR_NUMBER); }
    BYTE GetSensorType() const { return GetByte(SDR_OFFSET_SENSOR_TYPE); }
    BYTE GetEventType() const { return GetByte(SDR_OFFSET_EVENT_TYPE); }
    // Thresholds are shown when the capabilities' threshold access bits (3:2) are non-zero.
    BOOL HasThresholds() const { return (GetByte(SDR_OFFSET_CAPABILITIES) & 0x0C) != 0; }
    BOOL AreThresholdsSwapped() const { return m_thresholdsSwapped; }
    tagSENSOR_FACTORS GetFactors() const;

    BYTE GetRawReading() const { return m_rawReading; }
    void SetRawReading(BYTE raw) { m_rawReading = raw; }

    std::string GetIdString() const;
    std::string GetSdrVersionText() const;
    const char* GetSensorTypeText() const { return GetSensorTypeName(GetSensorType()); }
    std::string GetUnitsText() const;

    // Converts a given raw value; FALSE when the sensor has no analog reading (the value is
    // then the raw byte). The fan rule applies: a fan reading of 00h or FFh is 0.
    BOOL ConvertRaw(BYTE raw, tagSENSOR_VALUE& out) const;
    // Converts the raw value stored at a record offset (31 nominal, 36-41 thresholds); FALSE
    // when the offset lies outside the bytes supplied or the sensor has no analog reading.
    BOOL ConvertField(std::size_t offset, tagSENSOR_VALUE& out) const;
    // The value in this sensor type's presentation format.
    std::string FormatValue(const tagSENSOR_VALUE& value) const;

    // Most severe asserted event offset, SENSOR_STATE_NONE when none.
    BYTE GetState() const { return m_state; }
    // Applies one event offset of this sensor to the state byte.
    void ApplyEventOffset(BYTE offset);
    int GetStatus() const;
    const char* GetStateText() const;
    // Fixed text for a discrete reading of a sensor without thresholds.
    static const char* GetDiscreteText(BYTE sensorType, BYTE reading);

private:
    void ApplyFanRule();

    BYTE m_record[SDR_RECORD_SIZE] = {};
    std::size_t m_length = 0;
    BOOL m_valid = FALSE;
    BYTE m_state = SENSOR_STATE_NONE;
    BOOL m_thresholdsSwapped = FALSE;
    BYTE m_rawReading = 0;
};
