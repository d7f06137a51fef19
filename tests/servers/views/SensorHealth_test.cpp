#include "servers/views/SensorHealth.h"

#include "tests/servers/views/ViewRecords.h"

#include <gtest/gtest.h>

namespace
{
const BYTE kRaw[6] = {200, 180, 160, 10, 20, 30};
}

TEST(SensorSeverity, UpperAndLowerBands)
{
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 100)), 0);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 160)), 0);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 161)), 1);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 181)), 2);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 201)), 3);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 19)), 2);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 9)), 3);
}

TEST(SensorSeverity, TemperatureIgnoresItsLowerThresholds)
{
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_TEMPERATURE, 1, kRaw, 15)), 0);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 15)), 2);
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_TEMPERATURE, 1, kRaw, 181)), 2);
}

TEST(SensorSeverity, OppositeScaleReversesEveryComparison)
{
    CSensor fan = ReciprocalFan(); // stored 36..41: 14 19 1E FA F0 E6
    fan.SetRawReading(0x80);
    EXPECT_EQ(GetSensorSeverity(fan), 0);
    fan.SetRawReading(0x13); // raw below the stored "upper" NR byte: speed above it
    EXPECT_EQ(GetSensorSeverity(fan), 3);
    fan.SetRawReading(0xF5); // raw above stored LC (F0h): speed below the lower critical
    EXPECT_EQ(GetSensorSeverity(fan), 2);
}

TEST(SensorSeverity, OnlyReadableThresholdsAndRealReadingsCount)
{
    // A fan with lower thresholds only: the zero bytes of its missing upper ones are not
    // limits, so a good speed stays normal and a slow one is still caught.
    const BYTE lowerOnly[6] = {0, 0, 0, 10, 15, 20};
    std::vector<BYTE> r = LinearRecord(SENSOR_TYPE_FAN, 0x30, lowerOnly, "FAN1");
    r[18] = 0x07;
    CSensor fan(r.data(), r.size());
    fan.SetRawReading(80);
    EXPECT_EQ(GetSensorSeverity(fan), 0);
    fan.SetRawReading(12);
    EXPECT_EQ(GetSensorSeverity(fan), 2);

    // No reading at all is not a reading above every threshold.
    EXPECT_EQ(GetSensorSeverity(LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, SENSOR_NO_READING)), 0);

    // An exchanged fan's readable bits name the controller's offsets. With 1/x the slow
    // speeds are the high raw bytes the controller calls its upper thresholds (FAh, F0h,
    // E6h, stored in the lower bytes): with only those readable, a fast fan is not rated and
    // a slow one is.
    std::vector<BYTE> captured = LoadHex("sdr/fan_reciprocal");
    captured[18] = 0x38;
    CSensor reciprocal(captured.data(), captured.size());
    reciprocal.SetRawReading(0x13);
    EXPECT_EQ(GetSensorSeverity(reciprocal), 0);
    reciprocal.SetRawReading(0xF5);
    EXPECT_EQ(GetSensorSeverity(reciprocal), 2);
}

TEST(SensorSeverity, SignedRecordsCompareAsSignedNumbers)
{
    // Two's complement: LNR -20, LC -10, LNC 0, UNC 60, UC 70, UNR 80; reading -5.
    const BYTE t[6] = {80, 70, 60, 0xEC, 0xF6, 0x00};
    CSensor s = LinearSensor(SENSOR_TYPE_VOLTAGE, 1, t, 0xFB, "V", 2);
    EXPECT_EQ(GetSensorSeverity(s), 1);
}

TEST(SensorSeverity, UnratedSensorsAndPowerOff)
{
    CSensor discrete = LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 250);
    discrete.SetByte(SDR_OFFSET_EVENT_TYPE, 0x6F);
    EXPECT_EQ(GetSensorSeverity(discrete), 0);
    CSensor noAccess = LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 250);
    noAccess.SetByte(SDR_OFFSET_CAPABILITIES, 0x40);
    EXPECT_EQ(GetSensorSeverity(noAccess), 0);

    std::vector<CSensor> sensors = {LinearSensor(SENSOR_TYPE_VOLTAGE, 1, kRaw, 170),
                                    LinearSensor(SENSOR_TYPE_VOLTAGE, 2, kRaw, 190)};
    tagHEALTH on = EvaluateHealth(sensors, 1);
    EXPECT_EQ(on.severity, (std::vector<int>{1, 2}));
    EXPECT_EQ(on.serverState, SERVER_NODE_CRITICAL);
    tagHEALTH off = EvaluateHealth(sensors, 0);
    EXPECT_EQ(off.severity, (std::vector<int>{0, 0}));
    EXPECT_EQ(off.serverState, SERVER_NODE_NORMAL);
    EXPECT_EQ(ServerNodeStateOf(3), SERVER_NODE_NON_RECOVERABLE);
}

TEST(TreeSections, TypeAndSensorNodesByRecordKind)
{
    std::vector<BYTE> compact = LoadHex("sdr/compact_drive");
    std::vector<CSensor> sensors = {LinearSensor(SENSOR_TYPE_VOLTAGE, 0x34, kRaw, 190, "VCORE"),
                                    LinearSensor(SENSOR_TYPE_TEMPERATURE, 0x31, kRaw, 50, "CPU1"),
                                    LinearSensor(SENSOR_TYPE_VOLTAGE, 0x38, kRaw, 50, "12V"),
                                    CSensor(compact.data(), compact.size())};
    auto sections = BuildServerSections(7, sensors, {0, 0, 0, 0}, {});
    ASSERT_EQ(sections.size(), 6u);
    EXPECT_EQ(sections[5].text, "All Sensors value");
    const tagVIEW_NODE& sdr = sections[0];
    EXPECT_TRUE(sdr.expanded);
    ASSERT_EQ(sdr.children.size(), 2u);
    EXPECT_EQ(sdr.children[0].text, "Temperature") << "types in code order";
    EXPECT_EQ(sdr.children[1].value, MakeViewNodeValue(VIEW_SDR_TYPE, 7, 2));
    ASSERT_EQ(sdr.children[1].children.size(), 2u);
    EXPECT_EQ(sdr.children[1].children[0].value, MakeViewNodeValue(VIEW_SDR_SENSOR, 7, 2, 0x34));
    EXPECT_EQ(sdr.children[1].children[0].text, "VCORE");

    auto rated = BuildSensorSection(VIEW_SDR, 7, sensors, EvaluateHealth(sensors, 1).severity);
    EXPECT_EQ(rated.children[1].children[0].icon, "sensor-critical");
    EXPECT_EQ(rated.children[1].children[1].icon, "sensor-voltage");

    const tagVIEW_NODE& compactSection = sections[1];
    ASSERT_EQ(compactSection.children.size(), 1u);
    EXPECT_EQ(ViewNodeKind(compactSection.children[0].children.at(0).value), VIEW_COMPACT_SENSOR);
}

TEST(TreeSections, FruDevicesWithValidAreasOnce)
{
    std::vector<BYTE> bytes = LoadHex("fru/sim_inventory");
    CFruRecord record(bytes.data(), bytes.size());
    std::vector<BYTE> junk(256, 0);
    CFruRecord empty(junk.data(), junk.size());
    auto fru = BuildFruSection(7, {{0, &record}, {0, &record}, {3, nullptr}, {4, &empty}});
    ASSERT_EQ(fru.children.size(), 1u);
    EXPECT_EQ(fru.children[0].text, GetFruDeviceName(0));
    EXPECT_FALSE(fru.children[0].children.empty());
    EXPECT_EQ(ViewNodeByte3(fru.children[0].children[0].value),
              static_cast<BYTE>(fru.children[0].children[0].text == "Chassis" ? 1
                                : fru.children[0].children[0].text == "Board" ? 2
                                                                              : 3));
}
