// CSEL over stored SEL entries (added to ipmi_sim and read back, see tests/data/sel/) with
// the stored sensor records they refer to, and hand-built entries for the time texts (ipmi_sim
// stamps its own uptime on every entry it logs).
#include "servers/SEL.h"

#include "servers/Sensor.h"
#include "tests/support/Hex.h"
#include "tests/support/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

namespace
{
std::vector<BYTE> Load(const std::string& relative)
{
    std::ifstream file(SourcePath("tests/data/" + relative + ".hex"));
    std::stringstream text;
    text << file.rdbuf();
    std::vector<BYTE> bytes = FromHex(text.str());
    EXPECT_FALSE(bytes.empty()) << relative;
    return bytes;
}

CSEL LoadEntry(const std::string& name)
{
    std::vector<BYTE> bytes = Load("sel/" + name);
    return CSEL(bytes.data(), bytes.size(), nullptr);
}

CSensor LoadSensor(const std::string& name)
{
    std::vector<BYTE> bytes = Load("sdr/" + name);
    return CSensor(bytes.data(), bytes.size());
}

CSEL Entry(std::vector<BYTE> bytes)
{
    return CSEL(bytes.data(), bytes.size(), nullptr);
}

constexpr long EIGHT_EAST = 8 * 3600;
} // namespace

TEST(SEL, DecodesStoredEntries)
{
    struct
    {
        const char* entry;
        const char* recordType;
        const char* generator;
        const char* direction;
        const char* eventType;
        const char* sensorType;
        const char* description;
    } cases[] = {
        {"threshold_uc_high", "System event record", "IPMB slave address", "Assertion", "Threshold",
         "Temperature", "Upper Critical - going high"},
        {"threshold_deassert", "System event record", "IPMB slave address", "Deassertion",
         "Threshold", "Temperature", "Upper Non-critical - going high"},
        {"threshold_class7_fan", "System event record", "IPMB slave address", "Assertion",
         "Threshold", "Fan", "Lower Critical - going low"},
        {"discrete_intrusion", "System event record", "System software ID", "Assertion", "Discrete",
         "Chassis Intrusion", "General Chassis Intrusion"},
        {"fw_error", "System event record", "System software ID", "Assertion", "Discrete",
         "System Firmware Progress", "No system memory is physically installed in the system."},
        {"fw_hang", "System event record", "System software ID", "Assertion", "Discrete",
         "System Firmware Progress",
         "System Firmware Hang. (Starting operating system boot progress, e.g. calling int 19h)"},
        {"fw_progress", "System event record", "System software ID", "Assertion", "Discrete",
         "System Firmware Progress", "Primary processor initialization."},
        {"fw_offset3", "System event record", "System software ID", "Assertion", "Discrete",
         "System Firmware Progress", "Invalid sensor-specific offset!"},
        {"fw_hang_beyond", "System event record", "System software ID", "Assertion", "Discrete",
         "System Firmware Progress", "System Firmware Hang. (Reserved)"},
        {"processor_beyond", "System event record", "IPMB slave address", "Assertion", "Discrete",
         "Processor", "Invalid sensor-specific offset!"},
        {"unknown_event_type", "System event record", "IPMB slave address", "Assertion",
         "Invalid evnet type number, valid is 0-0x0B, 0x6F!", "System Event",
         "Unspecified event type!"},
        {"watchdog2", "System event record", "IPMB slave address", "Assertion", "Discrete",
         "Watchdog 2", "Hard Reset"},
        // OEM entries go through the system-event layout whatever their bytes mean.
        {"oem_timestamped", "OEM defined with timestamp", "System software ID", "Assertion",
         "Invalid evnet type number, valid is 0-0x0B, 0x6F!", "Watchdog 1",
         "Unspecified event type!"},
        {"oem_no_timestamp", "OEM defined without timestamp", "System software ID", "Assertion",
         "Discrete", "Power Supply", "Invalid sensor-specific offset!"},
    };
    for (const auto& c : cases)
    {
        CSEL e = LoadEntry(c.entry);
        ASSERT_TRUE(e.IsValid()) << c.entry;
        EXPECT_STREQ(e.GetRecordTypeText(), c.recordType) << c.entry;
        EXPECT_STREQ(e.GetGeneratorText(), c.generator) << c.entry;
        EXPECT_STREQ(e.GetDirectionText(), c.direction) << c.entry;
        EXPECT_STREQ(e.GetEventTypeText(), c.eventType) << c.entry;
        EXPECT_STREQ(e.GetSensorTypeText(), c.sensorType) << c.entry;
        EXPECT_STREQ(e.GetDescription(), c.description) << c.entry;
    }
    EXPECT_EQ(LoadEntry("watchdog2").GetRecordId(), 0x000F);
    EXPECT_EQ(LoadEntry("threshold_uc_high").GetSensorNumber(), 0x31);
    EXPECT_STREQ(Entry({1, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).GetRecordTypeText(),
                 "Unknown record type!");
}

// ipmitool showed "Reading 92 > Threshold 90 degrees C", "Reading 4081.63" (no threshold) and
// "Reading 10.20 < Threshold 15.30 Volts" (event data 3 FFh read as a threshold) for these.
TEST(SEL, TriggerReadingAndThreshold)
{
    CSensor temp = LoadSensor("temp_unsigned_ascii");
    CSensor fan = LoadSensor("fan_reciprocal");
    CSensor volt = LoadSensor("volt_rexp_bcdplus");
    struct
    {
        const char* entry;
        const CSensor* sensor;
        bool hasReading;
        float reading;
        bool hasThreshold;
        float threshold;
    } cases[] = {
        {"threshold_uc_high", &temp, true, 92.0f, true, 90.0f},
        {"threshold_deassert", &temp, true, 84.0f, true, 85.0f},
        // Class 7: the threshold comes from the record; a fan's exchanged lower critical
        // byte is the upper critical byte delivered (raw 240, 4166.67 RPM).
        {"threshold_class7_fan", &fan, true, 4081.63f, true, 4166.67f},
        {"threshold_no_ed3", &volt, true, 10.2f, false, 0},
        {"discrete_intrusion", &temp, false, 0, false, 0},
        {"threshold_uc_high", nullptr, false, 0, false, 0},
    };
    for (const auto& c : cases)
    {
        CSEL e = LoadEntry(c.entry);
        tagSENSOR_VALUE v;
        EXPECT_EQ(e.GetTriggerReading(c.sensor, v) != FALSE, c.hasReading) << c.entry;
        if (c.hasReading)
        {
            EXPECT_NEAR(v.value, c.reading, 0.01f) << c.entry;
        }
        EXPECT_EQ(e.GetTriggerThreshold(c.sensor, v) != FALSE, c.hasThreshold) << c.entry;
        if (c.hasThreshold)
        {
            EXPECT_NEAR(v.value, c.threshold, 0.01f) << c.entry;
        }
    }

    // Event data 1 classes other than 5 and 7 carry neither; class 7 offsets 12-15 no
    // threshold.
    tagSENSOR_VALUE v;
    CSEL plain = Entry({1, 0, 2, 0, 0, 0, 0, 0x20, 0, 4, 1, 0x31, 0x01, 0x09, 0x5C, 0x5A});
    EXPECT_FALSE(plain.GetTriggerReading(&temp, v));
    EXPECT_FALSE(plain.GetTriggerThreshold(&temp, v));
    EXPECT_STREQ(plain.GetDescription(), "Upper Critical - going high");
    CSEL high = Entry({1, 0, 2, 0, 0, 0, 0, 0x20, 0, 4, 1, 0x31, 0x01, 0x7C, 0x5C, 0x5A});
    EXPECT_TRUE(high.GetTriggerReading(&temp, v));
    EXPECT_FALSE(high.GetTriggerThreshold(&temp, v));
    // Class 7 upper non-recoverable going high reads byte 36.
    CSEL unr = Entry({1, 0, 2, 0, 0, 0, 0, 0x20, 0, 4, 1, 0x31, 0x01, 0x7B, 0x60, 0x00});
    ASSERT_TRUE(unr.GetTriggerThreshold(&temp, v));
    EXPECT_FLOAT_EQ(v.value, 95.0f);
    EXPECT_EQ(temp.FormatValue(v), "95.0 degrees C");
}

TEST(SEL, TimeTexts)
{
    struct
    {
        DWORD timestamp;
        long east;
        const char* text;
    } cases[] = {
        {0, EIGHT_EAST, "00:00:00AM 1970/01/01 (GMT +8)"},
        {1686832200, 0, "12:30:00PM 2023/06/15 (GMT +0)"}, // half past noon
        {1686787500, 0, "00:05:00AM 2023/06/15 (GMT +0)"},
        {1686836700, 0, "01:45:00PM 2023/06/15 (GMT +0)"},
        {1641081599, 0, "11:59:59PM 2022/01/01 (GMT +0)"},
        {1709208000, -5 * 3600, "12:00:00PM 2024/02/29 (GMT -5)"},
        {1709208000, -(5 * 3600 + 1800), "12:00:00PM 2024/02/29 (GMT -5)"}, // toward zero
        {1709208000, 5 * 3600 + 1800, "12:00:00PM 2024/02/29 (GMT +5)"},
        {0x7FFFFFFF, 0, "03:14:07AM 2038/01/19 (GMT +0)"},
        {0x80000000u, EIGHT_EAST, "  (GMT +8)"},
        {0xFFFFFFFFu, 0, "  (GMT +0)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSelTime(c.timestamp, c.east), c.text) << c.timestamp;

    // The entry's own time stamp, little-endian at bytes 3-6 (2024-02-29 12:00:00 UTC).
    CSEL e = Entry({1, 0, 2, 0xC0, 0x71, 0xE0, 0x65, 0x20, 0, 4, 1, 0x31, 1, 0x59, 0, 0});
    EXPECT_EQ(e.GetTimestamp(), 1709208000u);
    EXPECT_EQ(e.GetTimeText(EIGHT_EAST), "12:00:00PM 2024/02/29 (GMT +8)");
}

TEST(SEL, EntryKey)
{
    CSEL a = Entry({0x34, 0x12, 2, 0x78, 0x56, 0x00, 0x00, 0x20, 0, 4, 1, 1, 1, 0x59, 0, 0});
    CSEL b = Entry({0x34, 0x12, 2, 0x78, 0x56, 0xAB, 0xCD, 0x41, 0, 4, 7, 2, 0x6F, 0, 0, 0});
    CSEL c = Entry({0x34, 0x12, 2, 0x79, 0x56, 0x00, 0x00, 0x20, 0, 4, 1, 1, 1, 0x59, 0, 0});
    CSEL d = Entry({0x35, 0x12, 2, 0x78, 0x56, 0x00, 0x00, 0x20, 0, 4, 1, 1, 1, 0x59, 0, 0});
    const BYTE expected[6] = {0x34, 0x12, 0x78, 0x56, 0x78, 0x56};
    tagSEL_KEY key = a.GetKey();
    EXPECT_EQ(std::vector<BYTE>(key.bytes, key.bytes + 6),
              std::vector<BYTE>(expected, expected + 6));
    EXPECT_EQ(a.GetKey().GetRecordId(), 0x1234);
    EXPECT_TRUE(a.GetKey() == b.GetKey()); // time stamps differ only above the low 16 bits
    EXPECT_FALSE(a.GetKey() == c.GetKey());
    EXPECT_FALSE(a.GetKey() == d.GetKey());
    EXPECT_EQ(tagSEL_KEY().GetRecordId(), 0xFFFF); // none
}

TEST(SEL, RefusesShortEntries)
{
    std::vector<BYTE> full = Load("sel/threshold_uc_high");
    for (std::size_t n = 0; n < full.size(); ++n)
    {
        std::vector<BYTE> prefix(full.begin(), full.begin() + n);
        CSEL e(prefix.data(), prefix.size(), nullptr);
        EXPECT_FALSE(e.IsValid()) << n;
        EXPECT_STREQ(e.GetRecordTypeText(), "Unknown record type!");
        EXPECT_EQ(e.GetRecordId(), 0);
    }
    // Longer input keeps its first 16 bytes.
    full.push_back(0xEE);
    CSEL longer(full.data(), full.size(), nullptr);
    EXPECT_TRUE(longer.IsValid());
    EXPECT_EQ(longer.GetEntryByte(15), 0x5A);
    EXPECT_EQ(longer.GetEntryByte(16), 0);
    EXPECT_FALSE(CSEL().IsValid());
}

// The console's own offset is the zone's standard time, whatever the season.
TEST(SEL, ConsoleOffsetIgnoresDaylightSaving)
{
    const char* saved = std::getenv("TZ");
    std::string restore = saved ? saved : "";
    const std::pair<const char*, long> zones[] = {
        {"UTC0", 0},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 3600},
        {"EST5EDT,M3.2.0,M11.1.0", -5 * 3600},
        {"<+0530>-5:30", 5 * 3600 + 1800},
    };
    for (const auto& [zone, east] : zones)
    {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(GetConsoleUtcOffset(), east) << zone;
    }
    if (saved)
        setenv("TZ", restore.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
