#pragma once
// CSEL: one 16-byte system event log entry as the console keeps it (IPMI v1.5, 26.1
// "SEL Event Records") and the decoding of it into operator text.
// Created on the server object's event-log polling thread and read on the user-interface
// thread while the server's event-log critical section is held; the object has no lock of
// its own and every decoding operation is const and keeps no state.
#include "platform/Types.h"

#include <cstddef>
#include <string>

class CSensor;
class CIPMIServer;
struct tagSENSOR_VALUE;

constexpr std::size_t SEL_ENTRY_SIZE = 16;
constexpr std::size_t SEL_OFFSET_RECORD_ID = 0;
constexpr std::size_t SEL_OFFSET_RECORD_TYPE = 2;
constexpr std::size_t SEL_OFFSET_TIMESTAMP = 3;
constexpr std::size_t SEL_OFFSET_GENERATOR = 7;
constexpr std::size_t SEL_OFFSET_FORMAT_VERSION = 9;
constexpr std::size_t SEL_OFFSET_SENSOR_TYPE = 10;
constexpr std::size_t SEL_OFFSET_SENSOR_NUMBER = 11;
constexpr std::size_t SEL_OFFSET_EVENT_TYPE = 12;
constexpr std::size_t SEL_OFFSET_EVENT_DATA1 = 13;
constexpr std::size_t SEL_OFFSET_EVENT_DATA2 = 14;
constexpr std::size_t SEL_OFFSET_EVENT_DATA3 = 15;

// The identity of an entry: the record ID, then the low 16 bits of the time stamp twice.
// Two entries are the same entry when all six bytes are equal.
struct tagSEL_KEY
{
    BYTE bytes[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}; // all FFh: none
    WORD GetRecordId() const { return static_cast<WORD>(bytes[0] | bytes[1] << 8); }
    friend bool operator==(const tagSEL_KEY&, const tagSEL_KEY&) = default;
};

// The time stamp text "hh:mm:ssAM yyyy/mm/dd (GMT +h)" for a time stamp in seconds since
// 1970 (UTC) and the console's offset east of UTC in seconds. Time stamps of 80000000h and
// above give empty time and date.
std::string FormatSelTime(DWORD timestamp, long eastOfUtcSeconds);
// The console's standard-time offset east of UTC in seconds (daylight saving not applied).
long GetConsoleUtcOffset();

class CSEL
{
public:
    // An empty entry: not valid, all bytes 0.
    CSEL();
    // From the bytes of one entry as read (the first 16 are kept). An entry shorter than 16
    // bytes is refused: the object stays invalid and decodes as all-zero bytes.
    CSEL(const BYTE* entry, std::size_t length, CIPMIServer* owner);

    BOOL IsValid() const { return m_valid; }
    CIPMIServer* GetOwner() const { return m_owner; }
    const BYTE* GetEntry() const { return m_entry; }

    BYTE GetEntryByte(std::size_t offset) const; // 0 past the 16 bytes
    WORD GetRecordId() const;
    BYTE GetRecordType() const { return GetEntryByte(SEL_OFFSET_RECORD_TYPE); }
    DWORD GetTimestamp() const;
    BYTE GetSensorType() const { return GetEntryByte(SEL_OFFSET_SENSOR_TYPE); }
    BYTE GetSensorNumber() const { return GetEntryByte(SEL_OFFSET_SENSOR_NUMBER); }
    BYTE GetEventType() const { return GetEntryByte(SEL_OFFSET_EVENT_TYPE) & 0x7F; }
    BYTE GetEventOffset() const { return GetEntryByte(SEL_OFFSET_EVENT_DATA1) & 0x0F; }
    // What event data 2 and 3 hold: 5 trigger reading and threshold, 7 trigger reading and a
    // sensor-specific extension, 0 anything else.
    int GetEventDataClass() const;

    const char* GetRecordTypeText() const;
    std::string GetTimeText() const; // in the console's own time zone offset
    std::string GetTimeText(long eastOfUtcSeconds) const;
    const char* GetGeneratorText() const;
    const char* GetDirectionText() const;
    const char* GetEventTypeText() const;
    const char* GetSensorTypeText() const;
    const char* GetDescription() const;

    // The converted trigger reading (event data 2) of a threshold event, through the sensor
    // with this entry's number (found by the caller); FALSE when there is none.
    BOOL GetTriggerReading(const CSensor* sensor, tagSENSOR_VALUE& out) const;
    // The converted threshold that was crossed; FALSE when there is none.
    BOOL GetTriggerThreshold(const CSensor* sensor, tagSENSOR_VALUE& out) const;

    tagSEL_KEY GetKey() const;

private:
    BYTE m_entry[SEL_ENTRY_SIZE] = {};
    CIPMIServer* m_owner = nullptr;
    BOOL m_valid = FALSE;
};
