// FRU inventory decoding (IPMI Platform Management FRU Information Storage Definition v1.0).
//
// Common header (8 bytes)            Chassis area        Board area          Product area
//   0 format version                   0 version           0 version           0 version
//   1 internal use offset (x8)         1 length (x8)       1 length (x8)       1 length (x8)
//   2 chassis info offset              2 chassis type      2 language          2 language
//   3 board area offset                3.. part number,    3-5 mfg minutes     3.. manufacturer,
//   4 product info offset                  serial number,  6.. manufacturer,       name, part/
//   5 multi-record offset                  custom, C1h         name, serial,       model, version,
//   6 pad                                                      part, file ID,      serial, asset
//   7 checksum (sum of 0-7 is zero)                            custom, C1h         tag, file ID,
//                                                                                  custom, C1h
// Each area ends with a checksum byte that makes the sum over the whole area zero. The
// internal use and multi-record areas are not decoded.
#include "servers/FruRecord.h"

#include "transport/ByteIo.h"

#include <cstdio>
#include <ctime>
#include <iterator>

namespace
{

constexpr std::size_t FRU_HEADER_LENGTH = 8;
constexpr std::size_t FRU_AREA_UNIT = 8;

bool SumIsZero(const BYTE* data, std::size_t length)
{
    BYTE sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<BYTE>(sum + data[i]);
    return sum == 0;
}

// Checks the area at 8 x offset; on success the reader covers the area without its
// checksum byte.
FruAreaStatus LocateArea(const BYTE* data, std::size_t length, BYTE offset, CByteReader& area)
{
    if (offset == 0)
        return FruAreaStatus::NotPresent;
    const std::size_t start = FRU_AREA_UNIT * offset;
    if (start + 2 > length)
        return FruAreaStatus::PastEnd;
    // A zero length would make an empty, trivially good checksum over nothing.
    const std::size_t areaLength = FRU_AREA_UNIT * data[start + 1];
    if (areaLength == 0)
        return FruAreaStatus::BadLength;
    if (areaLength > length - start)
        return FruAreaStatus::PastEnd;
    if (!SumIsZero(data + start, areaLength))
        return FruAreaStatus::BadChecksum;
    area = CByteReader(data + start, areaLength - 1);
    return FruAreaStatus::Valid;
}

// Reads fields in order. After the end-of-fields marker or a field the area cuts short,
// the remaining fields stay absent.
void ReadFields(CByteReader& area, BYTE languageCode, tagFRU_TEXT_FIELD* const* fields,
                std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t available = area.Remaining();
        const std::size_t used = DecodeFruField(area.Here(), available, languageCode, *fields[i]);
        if (used == 0 || used > available)
            return;
        area.Skip(used);
    }
}

void DecodeChassis(CByteReader& area, tagFRU_CHASSIS_AREA& chassis)
{
    chassis.formatVersion = area.Get8();
    chassis.areaLength = area.Get8();
    chassis.chassisType = area.Get8();
    tagFRU_TEXT_FIELD* const fields[] = {&chassis.partNumber, &chassis.serialNumber};
    // The chassis area carries no language code; its fields are English.
    ReadFields(area, 0, fields, std::size(fields));
}

void DecodeBoard(CByteReader& area, tagFRU_BOARD_AREA& board)
{
    board.formatVersion = area.Get8();
    board.areaLength = area.Get8();
    board.languageCode = area.Get8();
    area.GetBytes(board.mfgTime, sizeof board.mfgTime);
    tagFRU_TEXT_FIELD* const fields[] = {
        &board.manufacturer, &board.productName, &board.serialNumber, &board.partNumber,
        &board.fruFileId,    &board.custom[0],   &board.custom[1]};
    ReadFields(area, board.languageCode, fields, std::size(fields));
}

void DecodeProduct(CByteReader& area, tagFRU_PRODUCT_AREA& product)
{
    product.formatVersion = area.Get8();
    product.areaLength = area.Get8();
    product.languageCode = area.Get8();
    tagFRU_TEXT_FIELD* const fields[] = {
        &product.manufacturer, &product.productName, &product.partNumber, &product.version,
        &product.serialNumber, &product.assetTag,    &product.fruFileId};
    ReadFields(area, product.languageCode, fields, std::size(fields));
}

tagFRU_FIELD_LINE NumberLine(const char* label, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return {label, text};
}

tagFRU_FIELD_LINE TextLine(const char* label, const tagFRU_TEXT_FIELD& field)
{
    return {label, FruFieldValue(field)};
}

} // namespace

CFruRecord::CFruRecord(const BYTE* data, std::size_t length)
{
    if (data == nullptr)
        length = 0;

    CByteReader header(data, length < FRU_HEADER_LENGTH ? length : FRU_HEADER_LENGTH);
    m_header.formatVersion = header.Get8();
    m_header.internalUseOffset = header.Get8();
    m_header.chassisOffset = header.Get8();
    m_header.boardOffset = header.Get8();
    m_header.productOffset = header.Get8();
    m_headerValid = length >= FRU_HEADER_LENGTH && SumIsZero(data, FRU_HEADER_LENGTH);

    // A short read leaves the missing offsets zero, so those areas count as not present.
    CByteReader area(nullptr, 0);
    m_chassisStatus = LocateArea(data, length, m_header.chassisOffset, area);
    if (m_chassisStatus == FruAreaStatus::Valid)
        DecodeChassis(area, m_chassis);
    m_boardStatus = LocateArea(data, length, m_header.boardOffset, area);
    if (m_boardStatus == FruAreaStatus::Valid)
        DecodeBoard(area, m_board);
    m_productStatus = LocateArea(data, length, m_header.productOffset, area);
    if (m_productStatus == FruAreaStatus::Valid)
        DecodeProduct(area, m_product);
}

BOOL CFruRecord::IsChassisValid() const
{
    return IsAreaValid(FruArea::Chassis);
}

BOOL CFruRecord::IsBoardValid() const
{
    return IsAreaValid(FruArea::Board);
}

BOOL CFruRecord::IsProductValid() const
{
    return IsAreaValid(FruArea::Product);
}

BOOL CFruRecord::IsAreaValid(FruArea area) const
{
    return m_headerValid && GetAreaStatus(area) == FruAreaStatus::Valid;
}

FruAreaStatus CFruRecord::GetAreaStatus(FruArea area) const
{
    switch (area)
    {
    case FruArea::Chassis:
        return m_chassisStatus;
    case FruArea::Board:
        return m_boardStatus;
    case FruArea::Product:
        return m_productStatus;
    }
    return FruAreaStatus::NotPresent;
}

const tagFRU_CHASSIS_AREA* CFruRecord::GetChassisArea() const
{
    return IsChassisValid() ? &m_chassis : nullptr;
}

const tagFRU_BOARD_AREA* CFruRecord::GetBoardArea() const
{
    return IsBoardValid() ? &m_board : nullptr;
}

const tagFRU_PRODUCT_AREA* CFruRecord::GetProductArea() const
{
    return IsProductValid() ? &m_product : nullptr;
}

std::vector<tagFRU_FIELD_LINE> CFruRecord::GetFieldLines(FruArea area) const
{
    std::vector<tagFRU_FIELD_LINE> lines;
    if (!IsAreaValid(area))
        return lines;
    switch (area)
    {
    case FruArea::Chassis:
        lines.push_back(NumberLine("Version", m_chassis.formatVersion));
        lines.push_back(NumberLine("Type", m_chassis.chassisType));
        lines.push_back(TextLine("Part Number", m_chassis.partNumber));
        lines.push_back(TextLine("Serial Number", m_chassis.serialNumber));
        break;
    case FruArea::Board:
    {
        std::string time;
        FormatBoardTime(m_board.mfgTime, time);
        lines.push_back({"Board Time", time});
        lines.push_back(TextLine("Manufacturer Name", m_board.manufacturer));
        lines.push_back(TextLine("Product Name", m_board.productName));
        lines.push_back(TextLine("Serial Number", m_board.serialNumber));
        lines.push_back(TextLine("Board Part Number", m_board.partNumber));
        break;
    }
    case FruArea::Product:
        lines.push_back(TextLine("Manufacturer Name", m_product.manufacturer));
        lines.push_back(TextLine("Product Name", m_product.productName));
        lines.push_back(TextLine("Part Number", m_product.partNumber));
        lines.push_back(TextLine("Serial Number", m_product.serialNumber));
        lines.push_back(TextLine("Product Version", m_product.version));
        break;
    }
    return lines;
}

BOOL FormatBoardTime(const BYTE timeBytes[3], std::string& text)
{
    text.clear();
    const DWORD minutes = static_cast<DWORD>(timeBytes[0] | timeBytes[1] << 8 | timeBytes[2] << 16);
    if (minutes == 0)
        return FALSE;

    std::tm start{};
    start.tm_year = 96;
    start.tm_mon = 0;
    start.tm_mday = 1;
    start.tm_isdst = -1;
    const std::time_t origin = std::mktime(&start);
    if (origin == static_cast<std::time_t>(-1))
        return FALSE;
    const std::time_t instant = origin + static_cast<std::time_t>(minutes) * 60;
    std::tm local{};
    if (localtime_r(&instant, &local) == nullptr)
        return FALSE;

    // Month names fixed in English, whatever the process locale.
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s/%02d/%04d", months[local.tm_mon % 12], local.tm_mday,
                  local.tm_year + 1900);
    text = buffer;
    return TRUE;
}

const char* FruAreaName(FruArea area)
{
    switch (area)
    {
    case FruArea::Chassis:
        return "Chassis";
    case FruArea::Board:
        return "Board";
    case FruArea::Product:
        return "Product";
    }
    return "";
}
