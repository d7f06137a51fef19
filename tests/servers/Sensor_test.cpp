// CSensor over stored SDR records (served by ipmi_sim, see tests/data/sdr/) and hand-built
// records for the cases no peer produces. Values are compared with what ipmitool and FreeIPMI
// printed for the same records where they agree with the console's rules.
#include "servers/Sensor.h"

#include "tests/support/Hex.h"
#include "tests/support/Paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

namespace
{
std::vector<BYTE> LoadRecord(const std::string& name)
{
    std::ifstream file(SourcePath("tests/data/sdr/" + name + ".hex"));
    std::stringstream text;
    text << file.rdbuf();
    std::vector<BYTE> bytes = FromHex(text.str());
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

CSensor LoadSensor(const std::string& name)
{
    std::vector<BYTE> bytes = LoadRecord(name);
    return CSensor(bytes.data(), bytes.size());
}

// A full record with a linear unsigned M=1 conversion and an 8-bit ASCII name.
std::vector<BYTE> FullRecord(BYTE sensorType, BYTE eventType = 0x01)
{
    std::vector<BYTE> r(48, 0);
    r[2] = 0x51;
    r[3] = SDR_TYPE_FULL;
    r[7] = 0x31;
    r[11] = 0x68;
    r[12] = sensorType;
    r[13] = eventType;
    r[24] = 1;
    r[47] = 0xC0;
    return r;
}

std::vector<BYTE> WithId(std::vector<BYTE> record, BYTE typeLength, std::vector<BYTE> id)
{
    record[47] = typeLength;
    record.insert(record.end(), id.begin(), id.end());
    return record;
}

std::string IdOf(const std::vector<BYTE>& record)
{
    return CSensor(record.data(), record.size()).GetIdString();
}
} // namespace

TEST(Sensor, DecodesIdStringsInEveryEncoding)
{
    struct
    {
        const char* record;
        const char* name;
    } cases[] = {
        {"temp_unsigned_ascii", "CPU1 Temp"},      // 8-bit ASCII
        {"volt_rexp_bcdplus", "12 -.3:;_"},        // BCD plus, one code a byte
        {"temp_twos_ascii6", "AMBIENT"},           // 6-bit packed, 7 characters in 6 bytes
        {"current_ones_unicode", "Cur\xC3\xA9nt"}, // UTF-16LE, shown as UTF-8
        {"compact_intrusion", "Chassis Intru"},    // compact: type/length at byte 31
        {"compact_drive", "Drive 0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LoadSensor(c.record).GetIdString(), c.name) << c.record;
}

TEST(Sensor, IdStringEdgeCases)
{
    std::vector<BYTE> base = FullRecord(0x01);
    // 6-bit packed "ABCDE": with fewer than four characters there is no whole group.
    std::vector<BYTE> packed = {0xA1, 0x38, 0x92, 0x25};
    EXPECT_EQ(IdOf(WithId(base, 0x85, packed)), "ABCDE");
    EXPECT_EQ(IdOf(WithId(base, 0x83, packed)), "");
    EXPECT_EQ(IdOf(WithId(base, 0x84, packed)), "ABCD");
    // BCD plus stops at the first byte above 15; 8-bit ASCII stops at a NUL.
    EXPECT_EQ(IdOf(WithId(base, 0x44, {0x04, 0x02, 0x10, 0x01})), "42");
    EXPECT_EQ(IdOf(WithId(base, 0xC5, {'F', 'A', 0, 'N', '1'})), "FA");
    // Unicode stops at a NUL character; a lone surrogate shows as U+FFFD.
    EXPECT_EQ(IdOf(WithId(base, 0x03, {'O', 0, 'K', 0, 0, 0})), "OK");
    EXPECT_EQ(IdOf(WithId(base, 0x01, {0x00, 0xD8})), "\xEF\xBF\xBD");
    // A length beyond the bytes supplied decodes only what is there.
    EXPECT_EQ(IdOf(WithId(base, 0xDF, {'A', 'B', 'C'})), "ABC");
    EXPECT_EQ(IdOf(WithId(base, 0x1F, {'A', 0, 'B'})), "A");
    EXPECT_EQ(IdOf(WithId(base, 0x9F, {0xA1, 0x38, 0x92, 0x25})), "ABCDE");
}

TEST(Sensor, RefusesRecordsThatAreNotSensors)
{
    std::vector<BYTE> fru = LoadRecord("fru_locator");
    EXPECT_FALSE(CSensor(fru.data(), fru.size()).IsValid());
    std::vector<BYTE> head = {0x01, 0x00, 0x51};
    EXPECT_FALSE(CSensor(head.data(), head.size()).IsValid());
    EXPECT_FALSE(CSensor(nullptr, 40).IsValid());
    EXPECT_FALSE(CSensor().IsValid());
    EXPECT_EQ(CSensor().GetState(), SENSOR_STATE_NONE);
}

// Readings of the stored records, with the values ipmitool and FreeIPMI showed for the same
// raw readings (both agreed on every value here except the cube root, where FreeIPMI printed
// 0.12 and ipmitool 1.26 for the cube root of 2).
TEST(Sensor, ConvertsStoredRecordsAsThePeersDo)
{
    struct
    {
        const char* record;
        BYTE raw;
        float value;
        const char* text;
        const char* units;
        const char* shown;
    } cases[] = {
        {"temp_unsigned_ascii", 45, 45.0f, "45", "degrees C", "45.0 degrees C"},
        {"volt_rexp_bcdplus", 203, 12.18f, "12.1", "Volts", "12.18 Volts"},
        {"temp_twos_ascii6", 0xF1, -15.0f, "-15", "degrees C", "-15.0 degrees C"},
        // Amps with neither rate nor modifier: the console shows no unit name.
        {"current_ones_unicode", 0xFE, -1.0f, "-1", "", "-1.00 "},
        {"fan_reciprocal", 200, 5000.0f, "5000", "RPM", "5000 RPM"},
        {"fan_linear", 0x60, 4800.0f, "4800", "RPM", "4800 RPM"},
        {"watts_offset_bexp", 100, 250.0f, "250", "", "250.00 "},
        {"amps_per_second", 10, 10.0f, "10", "Amps*second", "10.00 Amps*second"},
        {"rate_per_minute_pct", 50, 50.0f, "50", "per minute%", "50.00 per minute%"},
    };
    for (const auto& c : cases)
    {
        CSensor sensor = LoadSensor(c.record);
        tagSENSOR_VALUE v;
        ASSERT_TRUE(sensor.ConvertRaw(c.raw, v)) << c.record;
        EXPECT_NEAR(v.value, c.value, 1e-3) << c.record;
        EXPECT_STREQ(v.text, c.text) << c.record;
        EXPECT_STREQ(v.units, c.units) << c.record;
        EXPECT_EQ(sensor.FormatValue(v), c.shown) << c.record;
    }
}

TEST(Sensor, AppliesEachLinearisation)
{
    // Each record reads raw 20 as y = 2.0 before its linearisation.
    struct
    {
        const char* record;
        double value;
    } cases[] = {
        {"lin_01_ln", 0.693147},   {"lin_02_log10", 0.301030}, {"lin_03_log2", 1.0},
        {"lin_04_exp", 7.389056},  {"lin_05_exp10", 100.0},    {"lin_06_exp2", 4.0},
        {"lin_08_square", 4.0},    {"lin_09_cube", 8.0},       {"lin_0a_sqrt", 1.414214},
        {"lin_0b_cbrt", 1.259921}, {"lin_70_nonlinear", 2.0},
    };
    for (const auto& c : cases)
    {
        tagSENSOR_VALUE v;
        ASSERT_TRUE(LoadSensor(c.record).ConvertRaw(20, v)) << c.record;
        EXPECT_NEAR(v.value, c.value, 1e-5) << c.record;
    }
}

TEST(Sensor, ReadingFormulaAlone)
{
    auto convert = [](tagSENSOR_FACTORS f, BYTE raw)
    {
        float value = -999.0f;
        EXPECT_TRUE(ConvertReading(f, raw, value));
        return value;
    };
    tagSENSOR_FACTORS f;
    EXPECT_FLOAT_EQ(convert(f, 200), 200.0f);
    f.k2 = -2; // byte 29 = E0h
    EXPECT_FLOAT_EQ(convert(f, 200), 2.0f);
    f = {};
    f.analogFormat = 1; // ones' complement: FEh is -1, FFh is 0
    EXPECT_FLOAT_EQ(convert(f, 0xFE), -1.0f);
    EXPECT_FLOAT_EQ(convert(f, 0xFF), 0.0f);
    EXPECT_FLOAT_EQ(convert(f, 0x80), -127.0f);
    f.analogFormat = 2;
    EXPECT_FLOAT_EQ(convert(f, 0x80), -128.0f);
    EXPECT_FLOAT_EQ(convert(f, 0x7F), 127.0f);
    f = {};
    f.m = -3;
    f.b = -10;
    f.k1 = 2;  // B * 10^K1 = -1000
    f.k2 = -1; // result / 10
    EXPECT_FLOAT_EQ(convert(f, 10), -103.0f);
    // Largest exponents stay finite; undefined linearisations are not finite.
    f = {};
    f.m = 511;
    f.b = 511;
    f.k1 = 7;
    f.k2 = 7;
    EXPECT_TRUE(std::isfinite(convert(f, 255)));
    f = {};
    f.linearization = 0x07;
    EXPECT_TRUE(std::isinf(convert(f, 0)));
    f.linearization = 0x01;
    EXPECT_FALSE(std::isfinite(convert(f, 0)));
    f.linearization = 0x0B;
    f.analogFormat = 2;
    EXPECT_TRUE(std::isnan(convert(f, 0xFF)));
    f.linearization = 0x05; // 10^255 overflows single precision
    f.analogFormat = 0;
    EXPECT_TRUE(std::isinf(convert(f, 255)));
    // No analog reading: FALSE, the raw byte as it is.
    f = {};
    f.analogFormat = 3;
    f.m = 5;
    float value = 0;
    EXPECT_FALSE(ConvertReading(f, 0x42, value));
    EXPECT_FLOAT_EQ(value, 66.0f);
}

TEST(Sensor, FanRule)
{
    // 1/x fan: the thresholds were exchanged at construction, so offset 36 holds the lower
    // non-recoverable byte as the repository delivered it (raw 20, 50000 RPM).
    CSensor fan = LoadSensor("fan_reciprocal");
    std::vector<BYTE> delivered = LoadRecord("fan_reciprocal");
    EXPECT_TRUE(fan.AreThresholdsSwapped());
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(fan.GetByte(SDR_OFFSET_UPPER_NR + i), delivered[SDR_OFFSET_LOWER_NR + i]);
        EXPECT_EQ(fan.GetByte(SDR_OFFSET_LOWER_NR + i), delivered[SDR_OFFSET_UPPER_NR + i]);
    }
    tagSENSOR_VALUE v;
    ASSERT_TRUE(fan.ConvertField(SDR_OFFSET_UPPER_NR, v));
    EXPECT_NEAR(v.value, 50000.0f, 0.5f);
    ASSERT_TRUE(fan.ConvertField(SDR_OFFSET_LOWER_C, v));
    EXPECT_NEAR(v.value, 4166.67f, 0.01f);

    CSensor linear = LoadSensor("fan_linear");
    EXPECT_FALSE(linear.AreThresholdsSwapped());
    // A fan reading 00h or FFh is 0, whatever the formula says (FFh would be 12750 RPM).
    for (CSensor* sensor : {&fan, &linear})
        for (BYTE raw : {BYTE{0x00}, BYTE{0xFF}})
        {
            ASSERT_TRUE(sensor->ConvertRaw(raw, v));
            EXPECT_EQ(v.value, 0.0f);
            EXPECT_STREQ(v.text, "0");
            EXPECT_EQ(sensor->FormatValue(v), "0 RPM");
        }
    // Not a fan: FFh converts normally.
    std::vector<BYTE> temp = FullRecord(0x01);
    ASSERT_TRUE(CSensor(temp.data(), temp.size()).ConvertRaw(0xFF, v));
    EXPECT_EQ(v.value, 255.0f);
}

TEST(Sensor, NumericText)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct
    {
        BYTE type;
        float value;
        const char* text;
    } cases[] = {
        {SENSOR_TYPE_VOLTAGE, 3.29f, "3.2"},     {SENSOR_TYPE_VOLTAGE, 0.05f, "0.0"},
        {SENSOR_TYPE_VOLTAGE, 12.19f, "12.1"},   {SENSOR_TYPE_VOLTAGE, -1.25f, "-1.2"},
        {SENSOR_TYPE_VOLTAGE, 0.0f, "0.0"},      {SENSOR_TYPE_TEMPERATURE, 45.9f, "45"},
        {SENSOR_TYPE_TEMPERATURE, 0.4f, "0"},    {0x03, 0.5f, "0"},
        {SENSOR_TYPE_FAN, 12750.0f, "12750"},    {0x03, -0.5f, "-0"},
        {0x0B, 1e20f, "100000002004087734272"},  {0x0B, nan, "N/A"},
        {SENSOR_TYPE_VOLTAGE, -INFINITY, "N/A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumericText(c.type, c.value), c.text) << c.value;
}

TEST(Sensor, UnitsText)
{
    struct
    {
        BYTE units1, base, modifier;
        const char* text;
    } cases[] = {
        {0x00, 0x05, 0x00, ""},          // no rate, no modifier: no name
        {0x01, 0x05, 0x00, "%"},         // percentage alone
        {0x02, 0x05, 22, "Amps/second"}, // divide
        {0x04, 0x05, 22, "Amps*second"}, // multiply
        {0x06, 0x05, 22, "Amps*second"},
        {0x02, 0x05, 0x00, "Amps"},     // modifier relation without modifier unit
        {0x02, 0x00, 22, "second"},     // modifier unit without base unit
        {0x18, 0x05, 0x00, "per s"},    // rate 3
        {0x38, 0x05, 0x00, "per "},     // rate 7
        {0x0E, 0x06, 22, "per uS"},     // a rate hides base and modifier
        {0x3F, 0x01, 22, "degrees C%"}, // degrees C, Volts and RPM whatever the bits
        {0x08, 0x04, 0x00, "Volts"},
        {0x04, 0x12, 0x05, "RPM"},
        {0x02, 89, 64, "uncorrectable error/color temp deg K"},
        {0x02, 90, 255, "unknown/unknown"}, // codes past the table
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildUnitsText(c.units1, c.base, c.modifier), c.text) << int(c.units1);

    // The converted value's units member keeps what fits.
    std::vector<BYTE> r = FullRecord(0x0B);
    r[20] = 0x03;
    r[21] = 89;
    r[22] = 89;
    tagSENSOR_VALUE v;
    CSensor(r.data(), r.size()).ConvertRaw(1, v);
    EXPECT_STREQ(v.units, "uncorrectable error/uncorrect");
}

TEST(Sensor, PresentationFormats)
{
    tagSENSOR_VALUE v;
    std::strcpy(v.units, "RPM");
    v.value = 4800.9f;
    EXPECT_EQ(FormatSensorValue(SENSOR_TYPE_FAN, v), "4800 RPM");
    v.value = -0.5f;
    EXPECT_EQ(FormatSensorValue(SENSOR_TYPE_FAN, v), "0 RPM");
    std::strcpy(v.units, "degrees C");
    v.value = 45.25f;
    EXPECT_EQ(FormatSensorValue(SENSOR_TYPE_TEMPERATURE, v), "45.2 degrees C");
    EXPECT_EQ(FormatSensorValue(0x03, v), "45.25 degrees C");
    EXPECT_EQ(FormatGaugeValue(v), " 45.25 degrees C");
    v.value = std::numeric_limits<float>::infinity();
    EXPECT_EQ(FormatSensorValue(SENSOR_TYPE_FAN, v), "N/A degrees C");
}

TEST(Sensor, ThresholdsAndNominalThroughConvertField)
{
    // ipmitool printed 10.20 / 10.80 / 11.40 / 12.60 / 13.20 / 13.80 Volts for these bytes.
    CSensor volt = LoadSensor("volt_rexp_bcdplus");
    const std::pair<std::size_t, float> expected[] = {
        {SDR_OFFSET_NOMINAL, 12.0f},  {SDR_OFFSET_UPPER_NR, 13.8f}, {SDR_OFFSET_UPPER_C, 13.2f},
        {SDR_OFFSET_UPPER_NC, 12.6f}, {SDR_OFFSET_LOWER_NR, 10.2f}, {SDR_OFFSET_LOWER_C, 10.8f},
        {SDR_OFFSET_LOWER_NC, 11.4f},
    };
    for (const auto& [offset, value] : expected)
    {
        tagSENSOR_VALUE v;
        ASSERT_TRUE(volt.ConvertField(offset, v));
        EXPECT_NEAR(v.value, value, 1e-4) << offset;
    }
    EXPECT_EQ(volt.GetSdrVersionText(), "1.5");
    EXPECT_TRUE(volt.HasThresholds());
}

TEST(Sensor, StatusAndStateFollowEvents)
{
    std::vector<BYTE> r = FullRecord(0x01, 0x01);
    CSensor s(r.data(), r.size());
    struct
    {
        BYTE offset;
        BYTE state;
        int status;
    } steps[] = {
        {0x07, 0x07, SENSOR_STATUS_NON_CRITICAL}, // upper non-critical going high
        {0x09, 0x09, SENSOR_STATUS_CRITICAL},     // upper critical going high
        {0x07, 0x09, SENSOR_STATUS_CRITICAL},     // less severe: kept
        {0x0B, 0x0B, SENSOR_STATUS_NON_RECOVERABLE},
        {0x0A, 0x09, SENSOR_STATUS_CRITICAL},     // upper non-recoverable going low
        {0x08, 0x07, SENSOR_STATUS_NON_CRITICAL}, // upper critical going low
        {0x06, 0xFF, SENSOR_STATUS_NORMAL},       // upper non-critical going low
        {0x06, 0xFF, SENSOR_STATUS_NORMAL},
        {0x02, 0x02, SENSOR_STATUS_CRITICAL}, // lower critical going low
        {0x04, 0x04, SENSOR_STATUS_NON_RECOVERABLE},
        {0x05, 0x02, SENSOR_STATUS_CRITICAL},     // lower non-recoverable going high
        {0x03, 0x00, SENSOR_STATUS_NON_CRITICAL}, // lower critical going high
        {0x01, 0xFF, SENSOR_STATUS_NORMAL},       // lower non-critical going high
        {0x0C, 0xFF, SENSOR_STATUS_NORMAL},       // not a threshold offset
    };
    for (const auto& step : steps)
    {
        s.ApplyEventOffset(step.offset);
        EXPECT_EQ(s.GetState(), step.state) << int(step.offset);
        EXPECT_EQ(s.GetStatus(), step.status) << int(step.offset);
    }
    EXPECT_STREQ(s.GetStateText(), "OK");
    s.ApplyEventOffset(0x09);
    EXPECT_STREQ(s.GetStateText(), "Upper Critical - going high");

    CSensor intrusion = LoadSensor("compact_intrusion");
    EXPECT_EQ(intrusion.GetStatus(), SENSOR_STATUS_NORMAL);
    intrusion.ApplyEventOffset(0x00);
    EXPECT_EQ(intrusion.GetStatus(), SENSOR_STATUS_NON_RECOVERABLE);
    EXPECT_STREQ(intrusion.GetStateText(), "General Chassis Intrusion");

    std::vector<BYTE> oem = FullRecord(0x01, 0x70);
    CSensor other(oem.data(), oem.size());
    other.ApplyEventOffset(0x02);
    EXPECT_EQ(other.GetState(), SENSOR_STATE_NONE);
    EXPECT_EQ(other.GetStatus(), SENSOR_STATUS_NORMAL);
}

TEST(Sensor, DiscreteTexts)
{
    struct
    {
        BYTE type, reading;
        const char* text;
    } cases[] = {
        {0x05, 0x01, "General Chassis Intrusion"},
        {0x05, 0x03, "N/A"},
        {0x08, 0x08, "Power Supply input lost (AC/DC)"},
        {0x08, 0x00, "N/A"},
        {0x0C, 0x40, "Correctable ECC"},
        {0x0C, 0x02, "Uncorrectable ECC"},
        {0x0D, 0x80, "Rebuild"},
        {0x0D, 0x81, "N/A"},
        {0x07, 0x01, "OEM define."},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(CSensor::GetDiscreteText(c.type, c.reading), c.text);
    // The stored compact sensors with the readings ipmi_sim gave them.
    CSensor psu = LoadSensor("compact_psu");
    EXPECT_STREQ(CSensor::GetDiscreteText(psu.GetSensorType(), 0x02),
                 "Power Supply Failure detected");
    EXPECT_FALSE(psu.HasThresholds());
}

TEST(Sensor, NameTableBounds)
{
    EXPECT_STREQ(GetSensorTypeName(0x2C), "FRU State");
    EXPECT_STREQ(GetSensorTypeName(0x2D), "Unknown sensor type");
    EXPECT_STREQ(GetSensorTypeName(0xBF), "Unknown sensor type");
    EXPECT_STREQ(GetSensorTypeName(0xC0), "Fan divisor");
    EXPECT_STREQ(GetSensorTypeName(0xD5), "Record ID ");
    EXPECT_STREQ(GetSensorTypeName(0xD6), "Unknown sensor type");
    EXPECT_STREQ(GetSensorNumberName(0x00), "BIOS POST");
    EXPECT_STREQ(GetSensorNumberName(0x75), "BP2 FAN1");
    EXPECT_STREQ(GetSensorNumberName(0x88), "BP3 DRIVER1");
    EXPECT_STREQ(GetSensorNumberName(0xFF), "RESERVED");
    EXPECT_STREQ(GetSensorNumberName(256), "INVALID SENSOR NUMBER");
    EXPECT_STREQ(GetSensorNumberName(-1), "INVALID SENSOR NUMBER");
    EXPECT_STREQ(GetUnitName(89), "uncorrectable error");
    EXPECT_STREQ(GetEventTypeName(0x81), "Threshold");
    EXPECT_STREQ(GetEventTypeName(0x0B), "Discrete");
    EXPECT_STREQ(GetEventTypeName(0xEF), "Discrete");
    EXPECT_STREQ(GetEventTypeName(0x0C), "Invalid evnet type number, valid is 0-0x0B, 0x6F!");
    const std::pair<BYTE, int> classes[] = {{0x00, 3}, {0x01, 2}, {0x81, 2}, {0x0B, 3},
                                            {0x0C, 0}, {0x6F, 3}, {0x70, 0}};
    for (const auto& [code, eventClass] : classes)
        EXPECT_EQ(GetEventTypeClass(code), eventClass) << int(code);
}

// Every prefix of every stored record decodes without reading past its end (ASan watches);
// offsets that were not supplied convert as absent.
TEST(Sensor, TruncatedRecordsDecodeWithoutOverread)
{
    for (const char* name : {"temp_unsigned_ascii", "current_ones_unicode", "compact_drive",
                             "temp_twos_ascii6", "volt_rexp_bcdplus"})
    {
        std::vector<BYTE> full = LoadRecord(name);
        for (std::size_t n = 0; n <= full.size(); ++n)
        {
            std::vector<BYTE> prefix(full.begin(), full.begin() + n); // exact-size heap copy
            CSensor s(prefix.data(), prefix.size());
            EXPECT_EQ(s.IsValid(), n > SDR_OFFSET_RECORD_TYPE ? TRUE : FALSE);
            std::string id = s.GetIdString();
            EXPECT_LE(id.size(), 3 * full.size());
            tagSENSOR_VALUE v;
            s.ConvertRaw(0x10, v);
            EXPECT_EQ(s.ConvertField(SDR_OFFSET_LOWER_NC, v) != FALSE, n > SDR_OFFSET_LOWER_NC);
        }
    }
    std::vector<BYTE> full = LoadRecord("temp_unsigned_ascii");
    CSensor cut(full.data(), 52); // ID "CPU1 Temp" cut after four characters
    EXPECT_EQ(cut.GetIdString(), "CPU1");
    EXPECT_EQ(cut.GetByte(60), 0);
    EXPECT_EQ(cut.GetByte(500), 0);
}
