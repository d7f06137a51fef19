#pragma once
// CFruRecord: the decoded FRU inventory of one FRU device - the common header and the
// chassis, board and product information areas (IPMI Platform Management FRU Information
// Storage Definition v1.0) - built from the first bytes of the device's inventory data.
// The IPMI server object reads the bytes (Read FRU Data from offset 0) and keeps one record
// per FRU device ID in its cache. A record is built whole by its constructor on the thread
// that read the data and never changes afterwards, so any thread may read it without a lock.
// Pure code over bytes: no I/O, no shared state apart from read-only name tables.
#include "platform/Types.h"

#include <cstddef>
#include <string>
#include <vector>

constexpr UINT FRU_DEVICE_ID_LIMIT = 48;     // FRU device IDs 0..47 have a cache slot
constexpr std::size_t FRU_READ_LENGTH = 256; // inventory bytes read from offset 0
constexpr BYTE FRU_READ_CHUNK = 48;          // bytes asked for by one Read FRU Data
constexpr std::size_t FRU_TEXT_LIMIT = 49;   // characters kept of one text field

// Tree node byte 3 of an area node carries these values.
enum class FruArea : BYTE
{
    Chassis = 1,
    Board = 2,
    Product = 3,
};

// Why an area is or is not shown; kept for logs and the command-line tool.
enum class FruAreaStatus : BYTE
{
    Valid,
    NotPresent,  // the header's offset for the area is zero
    PastEnd,     // the area, by its offset and length, does not lie within the bytes read
    BadLength,   // the area's length byte is zero
    BadChecksum, // the 8-bit sum over the area is not zero
};

enum class FruFieldState : BYTE
{
    Absent,    // not in the area: after the end-of-fields marker or beyond the area's end
    Present,   // decoded whole
    Clipped,   // decoded whole but longer than FRU_TEXT_LIMIT characters; text holds the first
    Truncated, // the area ended inside the field's data; text holds what was there
};

// One type/length-encoded field (FRU v1.0, type/length byte). The text is UTF-8: binary
// data as upper-case hex, BCD plus and 6-bit packed ASCII unpacked, 8-bit data as Latin-1
// in an English area or as 2-byte Unicode (least significant byte first) otherwise.
struct tagFRU_TEXT_FIELD
{
    BYTE typeLength = 0; // as read; 0 when absent
    FruFieldState state = FruFieldState::Absent;
    std::string text;
};

struct tagFRU_COMMON_HEADER
{
    BYTE formatVersion = 0;
    BYTE internalUseOffset = 0; // offsets in 8-byte units, 0 = area not present
    BYTE chassisOffset = 0;
    BYTE boardOffset = 0;
    BYTE productOffset = 0;
};

struct tagFRU_CHASSIS_AREA
{
    BYTE formatVersion = 0;
    BYTE areaLength = 0; // 8-byte units
    BYTE chassisType = 0;
    tagFRU_TEXT_FIELD partNumber;
    tagFRU_TEXT_FIELD serialNumber;
};

struct tagFRU_BOARD_AREA
{
    BYTE formatVersion = 0;
    BYTE areaLength = 0;
    BYTE languageCode = 0;
    BYTE mfgTime[3] = {}; // minutes since 1996-01-01 00:00 local time, little-endian
    tagFRU_TEXT_FIELD manufacturer;
    tagFRU_TEXT_FIELD productName;
    tagFRU_TEXT_FIELD serialNumber;
    tagFRU_TEXT_FIELD partNumber;
    tagFRU_TEXT_FIELD fruFileId;
    tagFRU_TEXT_FIELD custom[2];
};

struct tagFRU_PRODUCT_AREA
{
    BYTE formatVersion = 0;
    BYTE areaLength = 0;
    BYTE languageCode = 0;
    tagFRU_TEXT_FIELD manufacturer;
    tagFRU_TEXT_FIELD productName;
    tagFRU_TEXT_FIELD partNumber; // part/model number
    tagFRU_TEXT_FIELD version;
    tagFRU_TEXT_FIELD serialNumber;
    tagFRU_TEXT_FIELD assetTag;
    tagFRU_TEXT_FIELD fruFileId;
};

// One line of an area's field list: the view shows label and value in two columns, the
// line form is label + ":" + value (a value may itself contain ':').
struct tagFRU_FIELD_LINE
{
    std::string label;
    std::string value;
};

// Value texts for fields that could not be read whole.
constexpr const char* FRU_VALUE_MISSING = "(missing)";
constexpr const char* FRU_VALUE_TRUNCATED_SUFFIX = " (truncated)";

class CFruRecord
{
public:
    // Decodes the inventory bytes read from offset 0: normally FRU_READ_LENGTH bytes, or a
    // few more when the last read ran past them. Nothing outside [data, data + length) is read.
    CFruRecord(const BYTE* data, std::size_t length);

    BOOL IsHeaderValid() const { return m_headerValid; }
    const tagFRU_COMMON_HEADER& GetCommonHeader() const { return m_header; }

    // An area counts as valid when the header and the area itself are both good.
    BOOL IsChassisValid() const;
    BOOL IsBoardValid() const;
    BOOL IsProductValid() const;
    BOOL IsAreaValid(FruArea area) const;
    // The area's own check, independent of the header.
    FruAreaStatus GetAreaStatus(FruArea area) const;

    // nullptr when the area is not valid.
    const tagFRU_CHASSIS_AREA* GetChassisArea() const;
    const tagFRU_BOARD_AREA* GetBoardArea() const;
    const tagFRU_PRODUCT_AREA* GetProductArea() const;

    // The labelled fields of a valid area, in display order; empty when it is not valid.
    std::vector<tagFRU_FIELD_LINE> GetFieldLines(FruArea area) const;

private:
    BOOL m_headerValid = FALSE;
    tagFRU_COMMON_HEADER m_header;
    FruAreaStatus m_chassisStatus = FruAreaStatus::NotPresent;
    FruAreaStatus m_boardStatus = FruAreaStatus::NotPresent;
    FruAreaStatus m_productStatus = FruAreaStatus::NotPresent;
    tagFRU_CHASSIS_AREA m_chassis;
    tagFRU_BOARD_AREA m_board;
    tagFRU_PRODUCT_AREA m_product;
};

// Decodes one type/length field from data (at most available bytes, the rest of its area).
// languageCode is the area's (chassis: 0, English). Returns the bytes the field occupies
// (type/length byte plus its full declared length, possibly more than available); 0 with
// the field Absent when nothing is available or at the end-of-fields marker C1h.
std::size_t DecodeFruField(const BYTE* data, std::size_t available, BYTE languageCode,
                           tagFRU_TEXT_FIELD& field);

// The value text shown for a field: its text, marked when missing or truncated.
std::string FruFieldValue(const tagFRU_TEXT_FIELD& field);

// "%b/%d/%Y" of the local time that many minutes after 1996-01-01 00:00:00 local time (the
// three bytes little-endian). FALSE, with text empty, for a time of zero.
BOOL FormatBoardTime(const BYTE timeBytes[3], std::string& text);

// "Chassis", "Board" or "Product".
const char* FruAreaName(FruArea area);

// Name of FRU device deviceId in the tree: the board's sensor-number name table entry
// D0h + deviceId (device 10 takes entry D0h). FruDeviceNameIndex gives that entry's number
// (above 255 for device IDs past the table).
UINT FruDeviceNameIndex(UINT deviceId);
const char* GetFruDeviceName(UINT deviceId);
