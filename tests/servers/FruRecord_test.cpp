// FRU inventory decoding: stored images (tests/data/fru/) as the operator sees them, the
// type/length encodings field by field, the area checks, and reads that stop short.
#include "servers/FruRecord.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace
{

// The stored images are in <source>/tests/data/fru/; the source root comes from the
// environment or, failing that, from this file's own path.
std::string DataPath(const std::string& name)
{
    std::string root = ".";
    if (const char* fromEnvironment = std::getenv("VEXA_SOURCE_DIR"))
        root = fromEnvironment;
    else if (const std::string here = __FILE__; here.rfind("/tests/servers/") != std::string::npos)
        root = here.substr(0, here.rfind("/tests/servers/"));
    return root + "/tests/data/fru/" + name + ".hex";
}

std::vector<BYTE> LoadImage(const std::string& name, std::size_t size = FRU_READ_LENGTH)
{
    const std::string path = DataPath(name);
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << "cannot open " << path;
    std::stringstream text;
    text << file.rdbuf();
    std::vector<BYTE> image = FromHex(text.str());
    // A stored image shorter than expected would make the tests index past it.
    if (image.size() != size)
    {
        ADD_FAILURE() << path << " holds " << image.size() << " bytes";
        image.resize(size);
    }
    return image;
}

void SetTimeZone(const char* zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

using Lines = std::vector<std::pair<std::string, std::string>>;

Lines FieldLines(const CFruRecord& record, FruArea area)
{
    Lines lines;
    for (const tagFRU_FIELD_LINE& line : record.GetFieldLines(area))
        lines.emplace_back(line.label, line.value);
    return lines;
}

// The inventory ipmi_sim served, as ipmitool fru print showed it (the chassis type as its
// number, 17h = 23).
TEST(FruRecord, CapturedInventoryShowsWhatIpmitoolShows)
{
    SetTimeZone("UTC");
    const std::vector<BYTE> image = LoadImage("sim_inventory");
    const CFruRecord record(image.data(), image.size());

    EXPECT_TRUE(record.IsHeaderValid());
    EXPECT_TRUE(record.IsChassisValid());
    EXPECT_TRUE(record.IsBoardValid());
    EXPECT_TRUE(record.IsProductValid());

    EXPECT_EQ(FieldLines(record, FruArea::Chassis), (Lines{{"Version", "1"},
                                                           {"Type", "23"},
                                                           {"Part Number", "CH-2210-A"},
                                                           {"Serial Number", "CS0012345"}}));
    // Made at 12:45 PM; the date must not slip to another day.
    EXPECT_EQ(FieldLines(record, FruArea::Board), (Lines{{"Board Time", "Jun/14/2019"},
                                                         {"Manufacturer Name", "Tessel Boards Ltd"},
                                                         {"Product Name", "MAINBOARD X1"},
                                                         {"Serial Number", "20230815-7.1"},
                                                         {"Board Part Number", "TB-X1-0042"}}));
    EXPECT_EQ(FieldLines(record, FruArea::Product), (Lines{{"Manufacturer Name", "Tessel Systems"},
                                                           {"Product Name", "Model 4U Rack Server"},
                                                           {"Part Number", "TS-4U-200"},
                                                           {"Serial Number", "PSN00017"},
                                                           {"Product Version", "1.02"}}));

    // Fields the lists do not show, decoded all the same.
    const tagFRU_BOARD_AREA* board = record.GetBoardArea();
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->fruFileId.text, "123456");
    EXPECT_EQ(board->custom[0].text, "REV B");
    EXPECT_EQ(board->custom[1].state, FruFieldState::Absent); // after the C1h marker
    const tagFRU_PRODUCT_AREA* product = record.GetProductArea();
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->languageCode, 25);
    EXPECT_EQ(product->assetTag.text, "ASSET 77");
    EXPECT_EQ(product->fruFileId.state, FruFieldState::Present);
    EXPECT_EQ(product->fruFileId.text, "");
    EXPECT_EQ(record.GetChassisArea()->chassisType, 0x17);
}

struct tagIMAGE_CASE
{
    const char* name;
    BOOL header;
    FruAreaStatus chassis;
    FruAreaStatus board;
    FruAreaStatus product;
};

TEST(FruRecord, AreaChecksDecideWhatIsShown)
{
    const tagIMAGE_CASE cases[] = {
        {"sim_inventory", TRUE, FruAreaStatus::Valid, FruAreaStatus::Valid, FruAreaStatus::Valid},
        {"board_only", TRUE, FruAreaStatus::NotPresent, FruAreaStatus::Valid,
         FruAreaStatus::NotPresent},
        {"bad_header_checksum", FALSE, FruAreaStatus::Valid, FruAreaStatus::Valid,
         FruAreaStatus::NotPresent},
        {"bad_board_checksum", TRUE, FruAreaStatus::Valid, FruAreaStatus::BadChecksum,
         FruAreaStatus::Valid},
        {"area_past_end", TRUE, FruAreaStatus::Valid, FruAreaStatus::PastEnd,
         FruAreaStatus::PastEnd},
    };
    for (const tagIMAGE_CASE& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::vector<BYTE> image = LoadImage(c.name);
        const CFruRecord record(image.data(), image.size());
        EXPECT_EQ(record.IsHeaderValid(), c.header);
        EXPECT_EQ(record.GetAreaStatus(FruArea::Chassis), c.chassis);
        EXPECT_EQ(record.GetAreaStatus(FruArea::Board), c.board);
        EXPECT_EQ(record.GetAreaStatus(FruArea::Product), c.product);

        const struct
        {
            FruArea area;
            FruAreaStatus status;
            bool present;
        } areas[] = {{FruArea::Chassis, c.chassis, record.GetChassisArea() != nullptr},
                     {FruArea::Board, c.board, record.GetBoardArea() != nullptr},
                     {FruArea::Product, c.product, record.GetProductArea() != nullptr}};
        for (const auto& a : areas)
        {
            const bool shown = c.header && a.status == FruAreaStatus::Valid;
            EXPECT_EQ(record.IsAreaValid(a.area), shown ? TRUE : FALSE) << FruAreaName(a.area);
            EXPECT_EQ(a.present, shown) << FruAreaName(a.area);
            EXPECT_EQ(record.GetFieldLines(a.area).empty(), !shown) << FruAreaName(a.area);
        }
    }
}

TEST(FruRecord, OddFieldsShowWhatCouldBeRead)
{
    SetTimeZone("UTC");
    {
        // Length 3Fh: 49 characters kept, the next field 64 bytes after the type/length byte.
        const std::vector<BYTE> image = LoadImage("overlong_field");
        const CFruRecord record(image.data(), image.size());
        const Lines lines = FieldLines(record, FruArea::Board);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0], (std::pair<std::string, std::string>{"Board Time", ""}));
        EXPECT_EQ(lines[1].second, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVW");
        EXPECT_EQ(lines[2].second, "AFTER LONG");
        EXPECT_EQ(record.GetBoardArea()->manufacturer.state, FruFieldState::Clipped);
    }
    {
        // The serial number declares more bytes than its area holds.
        const std::vector<BYTE> image = LoadImage("truncated_field");
        const CFruRecord record(image.data(), image.size());
        EXPECT_EQ(FieldLines(record, FruArea::Board),
                  (Lines{{"Board Time", ""},
                         {"Manufacturer Name", "Cut Maker"},
                         {"Product Name", "Cut Product"},
                         {"Serial Number", std::string("SER") + FRU_VALUE_TRUNCATED_SUFFIX},
                         {"Board Part Number", FRU_VALUE_MISSING}}));
    }
    {
        // Latin-1 in an English area; 2-byte Unicode under language code 2.
        const std::vector<BYTE> image = LoadImage("language_codes");
        const CFruRecord record(image.data(), image.size());
        EXPECT_EQ(record.GetBoardArea()->manufacturer.text, "Caf\xC3\xA9 Boards");
        const Lines product = FieldLines(record, FruArea::Product);
        ASSERT_EQ(product.size(), 5u);
        EXPECT_EQ(product[0].second, "Fabrik");
        EXPECT_EQ(product[1].second, "Ger\xC3\xA4t");
    }
}

struct tagFIELD_CASE
{
    const char* what;
    std::vector<BYTE> bytes;
    BYTE language;
    std::size_t used;
    FruFieldState state;
    std::string text;
};

TEST(FruRecord, FieldEncodings)
{
    std::vector<BYTE> long63(64, 'x');
    long63[0] = 0xFF;
    std::vector<BYTE> binary40(41, 0xAB);
    binary40[0] = 0x28;
    std::string hex24;
    for (int i = 0; i < 24; ++i)
        hex24 += "AB";

    const tagFIELD_CASE cases[] = {
        {"binary as hex", {0x03, 0x00, 0x7F, 0xE0, 0x99}, 0, 4, FruFieldState::Present, "007FE0"},
        {"binary clipped to whole bytes", binary40, 0, 41, FruFieldState::Clipped, hex24},
        {"BCD plus with space, dash, period",
         {0x43, 0x01, 0xAB, 0xC9},
         0,
         4,
         FruFieldState::Present,
         "01 -.9"},
        {"BCD plus reserved nibbles", {0x41, 0xDF}, 0, 2, FruFieldState::Present, "??"},
        // "IPMI" in 6-bit codes 29h 30h 2Dh 29h.
        {"6-bit packed, 3 bytes", {0x83, 0x29, 0xDC, 0xA6}, 0, 4, FruFieldState::Present, "IPMI"},
        {"6-bit packed, 1 byte holds one character",
         {0x81, 0x21},
         0,
         2,
         FruFieldState::Present,
         "A"},
        {"6-bit packed, 4 bytes hold five",
         {0x84, 0x29, 0xDC, 0xA6, 0x21},
         0,
         5,
         FruFieldState::Present,
         "IPMIA"},
        {"8-bit ASCII",
         {0xC5, 'H', 'e', 'l', 'l', 'o', 0x99},
         0,
         6,
         FruFieldState::Present,
         "Hello"},
        {"8-bit Latin-1 to UTF-8", {0xC2, 'A', 0xFC}, 25, 3, FruFieldState::Present, "A\xC3\xBC"},
        {"8-bit stops at NUL", {0xC4, 'A', 'B', 0x00, 'C'}, 0, 5, FruFieldState::Present, "AB"},
        {"control characters replaced",
         {0xC3, 'A', 0x0A, 0x85},
         0,
         4,
         FruFieldState::Present,
         "A??"},
        {"Unicode under a non-English language",
         {0xC4, 'O', 0x00, 0xAC, 0x20},
         2,
         5,
         FruFieldState::Present,
         "O\xE2\x82\xAC"},
        {"Unicode surrogate pair",
         {0xC4, 0x3D, 0xD8, 0x00, 0xDE},
         7,
         5,
         FruFieldState::Present,
         "\xF0\x9F\x98\x80"},
        {"Unicode unpaired surrogate and odd byte",
         {0xC3, 0x00, 0xDC, 'Z'},
         7,
         4,
         FruFieldState::Present,
         "\xEF\xBF\xBD"},
        {"empty 8-bit field", {0xC0, 0xC1}, 0, 1, FruFieldState::Present, ""},
        {"end-of-fields marker", {0xC1, 'A'}, 0, 0, FruFieldState::Absent, ""},
        {"nothing left", {}, 0, 0, FruFieldState::Absent, ""},
        {"63 bytes clipped to 49", long63, 0, 64, FruFieldState::Clipped, std::string(49, 'x')},
        {"declared past the end", {0xC8, 'S', 'E', 'R'}, 0, 9, FruFieldState::Truncated, "SER"},
        {"6-bit cut mid-way", {0x86, 0x29, 0xDC}, 0, 7, FruFieldState::Truncated, "IP"},
    };
    for (const tagFIELD_CASE& c : cases)
    {
        SCOPED_TRACE(c.what);
        // An exact-size copy, so that a read past the end is caught under the sanitizers.
        std::unique_ptr<BYTE[]> copy(new BYTE[c.bytes.size() + (c.bytes.empty() ? 1 : 0)]);
        std::copy(c.bytes.begin(), c.bytes.end(), copy.get());
        tagFRU_TEXT_FIELD field;
        const std::size_t used = DecodeFruField(copy.get(), c.bytes.size(), c.language, field);
        EXPECT_EQ(used, c.used);
        EXPECT_EQ(field.state, c.state);
        EXPECT_EQ(field.text, c.text);
    }
}

TEST(FruRecord, ShortReadsNeverReadPastTheEnd)
{
    const std::vector<BYTE> image = LoadImage("sim_inventory");
    // Areas of the captured image: chassis 10h-2Fh, board 30h-6Fh, product 70h-B7h.
    for (std::size_t length = 0; length <= image.size(); ++length)
    {
        SCOPED_TRACE(length);
        std::unique_ptr<BYTE[]> copy(new BYTE[length ? length : 1]);
        std::copy(image.begin(), image.begin() + static_cast<long>(length), copy.get());
        const CFruRecord record(copy.get(), length);
        EXPECT_EQ(record.IsHeaderValid(), length >= 8 ? TRUE : FALSE);
        EXPECT_EQ(record.IsChassisValid(), length >= 0x30 ? TRUE : FALSE);
        EXPECT_EQ(record.IsBoardValid(), length >= 0x70 ? TRUE : FALSE);
        EXPECT_EQ(record.IsProductValid(), length >= 0xB8 ? TRUE : FALSE);
    }
    const CFruRecord none(nullptr, 0);
    EXPECT_FALSE(none.IsHeaderValid());
    EXPECT_TRUE(none.GetFieldLines(FruArea::Board).empty());
}

TEST(FruRecord, BytesReadPastTheFirst256AreUsed)
{
    // The last Read FRU Data may return bytes past 255; an area ending there is whole.
    const std::vector<BYTE> cut = LoadImage("area_past_end");
    const std::vector<BYTE> longer = LoadImage("area_past_end_long_read", 288);
    const CFruRecord cutRecord(cut.data(), cut.size());
    const CFruRecord longRecord(longer.data(), longer.size());
    EXPECT_EQ(cutRecord.GetAreaStatus(FruArea::Board), FruAreaStatus::PastEnd);
    EXPECT_EQ(longRecord.GetAreaStatus(FruArea::Board), FruAreaStatus::Valid);
    ASSERT_TRUE(longRecord.IsBoardValid());
    EXPECT_EQ(longRecord.GetBoardArea()->productName.text, "Edge Board long name");
    EXPECT_EQ(longRecord.GetAreaStatus(FruArea::Product), FruAreaStatus::PastEnd);
}

TEST(FruRecord, ZeroAreaLengthIsNotAnEmptyGoodArea)
{
    std::vector<BYTE> image = LoadImage("board_only");
    image[8 + 1] = 0; // the board area's length byte
    const CFruRecord record(image.data(), image.size());
    EXPECT_TRUE(record.IsHeaderValid());
    EXPECT_EQ(record.GetAreaStatus(FruArea::Board), FruAreaStatus::BadLength);
    EXPECT_FALSE(record.IsBoardValid());
}

TEST(FruRecord, BoardTimeIsALocalDate)
{
    struct
    {
        const char* zone;
        DWORD minutes;
        BOOL ok;
        const char* text;
    } cases[] = {
        {"UTC", 0, FALSE, ""},
        {"UTC", 1, TRUE, "Jan/01/1996"},
        {"UTC", 1439, TRUE, "Jan/01/1996"},
        {"UTC", 1440, TRUE, "Jan/02/1996"},
        {"UTC", 59 * 1440 + 12 * 60 + 30, TRUE, "Feb/29/1996"}, // 12:30 PM on a leap day
        {"UTC", 0xFFFFFF, TRUE, "Nov/24/2027"},
        // Counted from local midnight: the same count gives the same local date elsewhere ...
        {"JST-9", 59 * 1440 + 12 * 60 + 30, TRUE, "Feb/29/1996"},
        // ... and across a change to summer time the instant moves an hour on the clock.
        {"EST5EDT,M4.1.0,M10.5.0", 182 * 1440 + 23 * 60 + 30, TRUE, "Jul/02/1996"},
        {"UTC", 182 * 1440 + 23 * 60 + 30, TRUE, "Jul/01/1996"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.minutes);
        SetTimeZone(c.zone);
        const BYTE bytes[3] = {static_cast<BYTE>(c.minutes), static_cast<BYTE>(c.minutes >> 8),
                               static_cast<BYTE>(c.minutes >> 16)};
        std::string text = "stale";
        EXPECT_EQ(FormatBoardTime(bytes, text), c.ok);
        EXPECT_EQ(text, c.text);
    }
    SetTimeZone("UTC");
}

TEST(FruRecord, DeviceNamesComeFromTheSensorNameTable)
{
    const struct
    {
        UINT device;
        UINT entry;
        const char* name;
    } cases[] = {
        {0, 0xD0, "MOTHERBOARD FRU"},
        {1, 0xD1, "BACKPLANE FRU"},
        {6, 0xD6, "BACK PLANE 2 FRU"},
        {9, 0xD9, "FAN MODULE FRU"},
        {10, 0xD0, "MOTHERBOARD FRU"},
        {16, 0xE0, "ASIC ID"},
        {47, 0xFF, "RESERVED"},
        {48, 0x100, "INVALID SENSOR NUMBER"},
        {0xFFFFFFFFu, 0x100, "INVALID SENSOR NUMBER"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(FruDeviceNameIndex(c.device), c.entry) << c.device;
        EXPECT_STREQ(GetFruDeviceName(c.device), c.name) << c.device;
    }
}

} // namespace
