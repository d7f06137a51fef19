#include "servers/views/Gauges.h"

#include "tests/servers/views/ViewRecords.h"

#include <cmath>
#include <gtest/gtest.h>

namespace
{
// LNR 10, LC 20, LNC 30, UNC 160, UC 180, UNR 200.
const tagGAUGE_THRESHOLDS kT{200, 180, 160, 10, 20, 30};
const BYTE kRaw[6] = {200, 180, 160, 10, 20, 30};
} // namespace

TEST(GaugeLevel, BandBoundaries)
{
    EXPECT_EQ(GaugeLevelIndex(10, kT), 1) << "on LNR";
    EXPECT_EQ(GaugeLevelIndex(9, kT), 0) << "below LNR";
    EXPECT_EQ(GaugeLevelIndex(201, kT), 34) << "above UNR";
    EXPECT_EQ(GaugeLevelIndex(180, kT), 28) << "on UC: the UNC..UC band's top";
    EXPECT_EQ(GaugeLevelIndex(160, kT), 21);
    EXPECT_EQ(GaugeLevelIndex(161, kT), 21) << "fractions truncate";
    EXPECT_EQ(GaugeLevelIndex(31, kT), 14);
    EXPECT_EQ(GaugeLevelIndex(20, kT), 8) << "on LC: the LNR..LC band's top";
    EXPECT_EQ(GaugeLevelIndex(21, kT), 7);
    EXPECT_EQ(GaugeLevelIndex(15, kT), 4);
    EXPECT_EQ(GaugeLevelIndex(199, kT), 34);
    EXPECT_EQ(GaugeLevelIndex(200, kT), 34) << "on UNR keeps the top step";
}

TEST(GaugeLevel, DegenerateThresholdsStayInRange)
{
    // All thresholds 0 (none read): above is the top, on them step 1, below the bottom.
    EXPECT_EQ(GaugeLevelIndex(5, tagGAUGE_THRESHOLDS{}), 34);
    EXPECT_EQ(GaugeLevelIndex(0, tagGAUGE_THRESHOLDS{}), 1);
    EXPECT_EQ(GaugeLevelIndex(-1, tagGAUGE_THRESHOLDS{}), 0);
    tagGAUGE_THRESHOLDS flat{200, 180, 180, 10, 20, 30}; // UC == UNC
    EXPECT_EQ(GaugeLevelIndex(180, flat), 21);
    EXPECT_EQ(GaugeLevelIndex(std::nanf(""), kT), 0);
    EXPECT_EQ(GaugeLevelIndex(std::nanf(""), tagGAUGE_THRESHOLDS{}), 0);
}

TEST(GaugeTile, NoReadingAndFanZero)
{
    CSensor fan = LinearSensor(SENSOR_TYPE_FAN, 0x41, kRaw, 0xFF, "FAN1");
    CSensorsUnit tile(fan, 0);
    EXPECT_FALSE(tile.HasValue());
    EXPECT_EQ(tile.GetValueText(), "");
    EXPECT_EQ(tile.GetLevel(), GAUGE_NO_LEVEL);
    EXPECT_EQ(tile.GetLevelPicture(), "level-none");
    EXPECT_EQ(tile.GetTypePicture(), "gauge-fan");
    EXPECT_EQ(GaugeTypePictureName(0x07), "gauge-common");
    tile.SetReading(0x00);
    EXPECT_TRUE(tile.HasValue());
    EXPECT_EQ(tile.GetValueText(), "     0 RPM");
    EXPECT_EQ(tile.GetCaption(), "FAN1\r\n     0 RPM");
    tile.SetReading(180);
    EXPECT_EQ(tile.GetLevelPicture(), "level-28");
}

TEST(GaugeView, HoldsAtMostOneHundredTilesOfSensorsWithThresholds)
{
    std::vector<CSensor> sensors;
    for (int i = 0; i < 120; ++i)
        sensors.push_back(LinearSensor(SENSOR_TYPE_VOLTAGE, static_cast<BYTE>(i), kRaw, 100));
    sensors[0].SetByte(SDR_OFFSET_CAPABILITIES, 0x40); // no thresholds: no tile
    CCtrlsView view;
    view.Fill(sensors);
    ASSERT_EQ(view.Tiles().size(), GAUGE_TILE_LIMIT);
    EXPECT_EQ(view.Tiles()[0].GetSensorIndex(), 1u);
    EXPECT_FALSE(view.AddUnit(sensors[1], 1));
    view.Fill(nullptr);
    EXPECT_TRUE(view.Tiles().empty());

    tagRECT_I second = CCtrlsView::TileRect(1, 400);
    EXPECT_EQ(second.left, 42 + 126 + 42);
    tagRECT_I wrapped = CCtrlsView::TileRect(2, 400);
    EXPECT_EQ(wrapped.top, 40 + 120 + 40);
}

TEST(ThresholdBar, BandsAndColours)
{
    CThresholdStatic bar;
    bar.SetThresholds(kT);
    EXPECT_EQ(bar.Paint().rest, &BAR_EMPTY);
    EXPECT_EQ(bar.Paint().fill, nullptr);
    struct
    {
        float v;
        const tagVIEW_COLOUR* colour;
    } cases[] = {{190, &BAR_MAGENTA}, {180, &BAR_YELLOW}, {100, &BAR_GREEN},
                 {30, &BAR_YELLOW},   {15, &BAR_MAGENTA}, {10, nullptr}};
    for (const auto& c : cases)
    {
        bar.SetValue(c.v);
        EXPECT_EQ(bar.Paint().fill, c.colour) << c.v;
    }
    bar.SetValue(105);
    EXPECT_DOUBLE_EQ(bar.Paint().filled, 0.5);
    bar.SetValue(250);
    EXPECT_EQ(bar.Paint().fill, &BAR_RED);
    EXPECT_EQ(bar.Paint().rest, &BAR_RED);
    EXPECT_EQ(BAR_EMPTY.rgb, 0xC0C0C0u);
}
