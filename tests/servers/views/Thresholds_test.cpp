#include "servers/views/Thresholds.h"

#include "tests/servers/views/ViewRecords.h"

#include <gtest/gtest.h>

namespace
{
// UNR 200, UC 180, UNC 160, LNR 10, LC 20, LNC 30.
const BYTE kVolt[6] = {200, 180, 160, 10, 20, 30};

CSensor Volt()
{
    return LinearSensor(SENSOR_TYPE_VOLTAGE, 0x34, kVolt, 100, "VCORE");
}

std::vector<std::string> Texts(const CRecordingMessageBoxes& boxes)
{
    std::vector<std::string> out;
    for (const auto& b : boxes.Shown())
        out.push_back(b.caption + "|" + b.text);
    return out;
}
} // namespace

TEST(ThresholdEdit, EditorsFollowTheAssertionMask)
{
    CSensor sensor = Volt();
    for (int row = 4; row <= 9; ++row)
        EXPECT_TRUE(IsThresholdEditable(sensor, row)) << row;
    sensor.SetByte(15, 0x03); // upper non-recoverable events off
    sensor.SetByte(14, 0xCF); // lower non-recoverable events off
    EXPECT_FALSE(IsThresholdEditable(sensor, 4));
    EXPECT_TRUE(IsThresholdEditable(sensor, 5));
    EXPECT_FALSE(IsThresholdEditable(sensor, 7));
    sensor.SetByte(14, 0x02); // one of the two lower non-critical events is enough
    EXPECT_TRUE(IsThresholdEditable(sensor, 9));
    EXPECT_FALSE(IsThresholdEditable(sensor, 8));

    CCustomLV list;
    list.SetSensor(sensor, 7);
    list.Show(TRUE);
    EXPECT_FALSE(list.Editor(4).visible);
    EXPECT_TRUE(list.Editor(5).visible);
    EXPECT_TRUE(list.IsMoreButtonVisible());
    list.Show(FALSE);
    EXPECT_FALSE(list.Editor(5).visible);
    EXPECT_FALSE(list.IsMoreButtonVisible());
}

TEST(ThresholdEdit, TextParsesAsDecimalLowByte)
{
    EXPECT_EQ(ParseThresholdText("180"), 180);
    EXPECT_EQ(ParseThresholdText("12abc"), 12);
    EXPECT_EQ(ParseThresholdText("abc"), 0);
    EXPECT_EQ(ParseThresholdText(""), 0);
    EXPECT_EQ(ParseThresholdText("300"), 300 & 0xFF);
    // 10^20 - 1 modulo 256: the low byte of the whole number, without overflow.
    EXPECT_EQ(ParseThresholdText("99999999999999999999"), 0xFF);
    EXPECT_EQ(ParseThresholdText("100000000000000000257"), 0x01);
}

TEST(ThresholdEdit, ChecksAllowEqualityAndReportBothFailuresInOrder)
{
    CSensor sensor = Volt();
    EXPECT_TRUE(CheckThreshold(sensor, 5, 160).empty()) << "UC == UNC passes";
    EXPECT_TRUE(CheckThreshold(sensor, 5, 200).empty()) << "UC == UNR passes";

    // Upper critical below UNC and above UNR: impossible with UNR > UNC, so lower UNR first.
    sensor.SetByte(SDR_OFFSET_UPPER_NR, 150);
    auto failed = CheckThreshold(sensor, 5, 155);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0],
              "The upper critical threshold should not less than upper noncritical threshold.");
    EXPECT_EQ(failed[1], "The upper critical threshold should not greater than upper "
                         "nonrecoverable threshold.");

    sensor = Volt();
    EXPECT_EQ(CheckThreshold(sensor, 6, 29).size(), 1u) << "UNC below LNC";
    EXPECT_EQ(CheckThreshold(sensor, 7, 21).size(), 1u) << "LNR above LC";
    EXPECT_TRUE(CheckThreshold(sensor, 7, 20).empty());
    EXPECT_EQ(CheckThreshold(sensor, 9, 161).at(0),
              "The lower noncritical threshold should not greater than upper noncritical "
              "threshold.");
    EXPECT_EQ(CheckThreshold(sensor, 4, 179).size(), 1u);
}

TEST(ThresholdEdit, RequestCarriesOneMaskedValueInRequestOrder)
{
    CSensor sensor = Volt();
    tagTHRESHOLD_REQUEST request;
    request.sensorNumber = 0x34;
    AddThreshold(request, ControllerOffset(sensor, 5), 170); // upper critical
    EXPECT_EQ(BuildThresholdRequest(request),
              (std::vector<BYTE>{ROW_SET_SENSOR_THRESHOLDS, 0x34, 0x10, 0, 0, 0, 0, 170, 0}));

    tagTHRESHOLD_REQUEST lower;
    AddThreshold(lower, ControllerOffset(sensor, 9), 33);
    EXPECT_EQ(lower.mask, 0x01);
    EXPECT_EQ(lower.values[0], 33);
}

TEST(ThresholdEdit, ReciprocalFanSendsTheExchangedOffset)
{
    CSensor fan = ReciprocalFan();
    ASSERT_TRUE(fan.AreThresholdsSwapped());
    EXPECT_EQ(ControllerOffset(fan, 7), 36u);
    EXPECT_EQ(ControllerOffset(fan, 4), 39u);
    EXPECT_EQ(ControllerOffset(fan, 9), 38u);

    CCustomLV list;
    list.SetSensor(fan, 7);
    list.Show(TRUE);
    list.Paint();
    // Shown LNR (row 7) holds FAh (the controller's UNR raw), i.e. 4000 RPM; LC shows F0h.
    ASSERT_EQ(list.Rows().at(7).cells.at(1), "0xFA");
    tagTHRESHOLD_REQUEST sent;
    CRecordingMessageBoxes boxes;
    auto outcome = list.OnEditEnd(
        7, "252", 0x41,
        [&](const tagTHRESHOLD_REQUEST& r)
        {
            sent = r;
            return 0;
        },
        boxes);
    ASSERT_TRUE(outcome.sent) << (outcome.failedChecks.empty() ? "" : outcome.failedChecks[0]);
    EXPECT_EQ(BuildThresholdRequest(sent),
              (std::vector<BYTE>{ROW_SET_SENSOR_THRESHOLDS, 0x41, 0x20, 0, 0, 0, 0, 0, 252}));
    EXPECT_EQ(list.GetSensor().GetByte(39), 252) << "the shown row's own byte is written";
}

TEST(ThresholdEdit, LiveUpdateThenFailedSetRestoresTheRow)
{
    CCustomLV list;
    list.SetSensor(Volt(), 7);
    list.Show(TRUE);
    list.Paint();
    EXPECT_EQ(list.Editor(5).text, "180");
    EXPECT_TRUE(list.Editor(8).wraps);
    EXPECT_FALSE(list.Editor(5).wraps);

    list.BeginEdit(5);
    list.OnEditChange(5, "17");
    EXPECT_EQ(list.Rows()[5].cells[1], "0x11");
    list.OnEditChange(5, "170");
    EXPECT_EQ(list.Rows()[5].cells[1], "0xAA");
    EXPECT_EQ(list.Rows()[5].cells[2], "170.00 Volts");

    CRecordingMessageBoxes boxes;
    int calls = 0;
    auto outcome = list.OnEditEnd(
        5, "170", 0x34,
        [&](const tagTHRESHOLD_REQUEST&)
        {
            ++calls;
            return -1;
        },
        boxes);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(Texts(boxes), (std::vector<std::string>{"Set Threshold|Failed to Set threshold.\n"}));
    EXPECT_EQ(boxes.Shown()[0].type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(list.Rows()[5].cells[1], "0xB4");
    EXPECT_EQ(list.Editor(5).text, "180");
    EXPECT_EQ(list.GetSensor().GetByte(37), 180);
}

TEST(ThresholdEdit, FailedChecksSendNothingAndUnchangedTextDoesNothing)
{
    CCustomLV list;
    CSensor sensor = Volt();
    sensor.SetByte(SDR_OFFSET_UPPER_NR, 150);
    list.SetSensor(sensor, 7);
    list.Paint();
    CRecordingMessageBoxes boxes;
    int calls = 0;
    auto send = [&](const tagTHRESHOLD_REQUEST&)
    {
        ++calls;
        return 0;
    };
    auto outcome = list.OnEditEnd(5, "155", 0x34, send, boxes);
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].caption, "Invalid threshold value");
    EXPECT_EQ(boxes.Shown()[1].type, MB_OK);
    EXPECT_EQ(list.Rows()[5].cells[1], "0xB4");

    EXPECT_FALSE(list.OnEditEnd(5, "180", 0x34, send, boxes).attempted);

    outcome = list.OnEditEnd(6, "170", 0x34, send, boxes);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(boxes.Shown().back().text, "Succeed in Setting threshold.\n");
    EXPECT_EQ(list.GetSensor().GetByte(38), 170);
}

TEST(ThresholdEdit, NonThresholdSensorShowsThreeLinesAndNoEditors)
{
    CSensor sensor = Volt();
    sensor.SetByte(SDR_OFFSET_EVENT_TYPE, 0x6F);
    auto rows = BuildSensorRows(sensor);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].cells[0], "Current Value ");
    EXPECT_EQ(rows[2].itemData, ROW_DATA_SENSOR_LIST);

    CSensor noAccess = Volt();
    noAccess.SetByte(SDR_OFFSET_CAPABILITIES, 0x40);
    CCustomLV list;
    list.SetSensor(noAccess, 7);
    list.Show(TRUE);
    list.Paint();
    EXPECT_EQ(list.Rows().size(), 2u);
    EXPECT_FALSE(list.Editor(5).exists);
    EXPECT_FALSE(list.Editor(5).visible);
}

TEST(SdrPropSheet, SendsEveryChangedThresholdInOneRequest)
{
    CSDRPropSheet sheet("FAN1", ReciprocalFan());
    EXPECT_EQ(CSDRPropSheet::PageTitles(),
              (std::vector<std::string>{"Information", "Settings", "Capabilities"}));
    sheet.SetSpin(0, 0x10); // shown UNR: controller LNR
    sheet.SetSpin(4, 0xF1); // shown LC: controller UC
    sheet.SetSpin(2, 0x1E); // back to the record's value: unchanged
    EXPECT_FALSE(sheet.Spins()[2].changed);
    sheet.SetSpin(5, 999);
    EXPECT_EQ(sheet.Spins()[5].position, 255);
    sheet.SetSpin(5, 0xE6);

    CRecordingMessageBoxes boxes;
    tagTHRESHOLD_REQUEST sent;
    EXPECT_FALSE(sheet.OnOK(
        0x41, [](const tagTHRESHOLD_REQUEST&) { return -1; }, boxes, &sent));
    EXPECT_EQ(BuildThresholdRequest(sent),
              (std::vector<BYTE>{ROW_SET_SENSOR_THRESHOLDS, 0x41, 0x14, 0, 0, 0x10, 0, 0xF1, 0}));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(sheet.GetSensor().GetByte(36), 0x14) << "unchanged after a failure";

    EXPECT_TRUE(sheet.OnOK(
        0x41, [](const tagTHRESHOLD_REQUEST&) { return 0; }, boxes));
    EXPECT_EQ(boxes.Shown().size(), 1u) << "no success message on this path";
    EXPECT_EQ(sheet.GetSensor().GetByte(36), 0x10);
    EXPECT_EQ(sheet.GetSensor().GetByte(40), 0xF1);

    auto caps = sheet.CapabilitiesPage();
    ASSERT_EQ(caps.size(), 3u);
    EXPECT_EQ(caps[0].name, "Assertion Evnet Mask");
    EXPECT_EQ(caps[0].icon, "set");
}

TEST(SdrPropSheet, NothingChangedSendsNothing)
{
    CSDRPropSheet sheet("", Volt());
    CRecordingMessageBoxes boxes;
    int calls = 0;
    EXPECT_TRUE(sheet.OnOK(
        1,
        [&](const tagTHRESHOLD_REQUEST&)
        {
            ++calls;
            return 0;
        },
        boxes));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(sheet.InfoPage().currentValue, "100.00 Volts");
    EXPECT_EQ(sheet.InfoPage().recordId, "52");
}

TEST(ThresholdEdit, RequestGoesThroughTheServerAndUpdatesItsRecord)
{
    auto scripted = std::make_unique<CScriptedConnection>();
    CScriptedConnection* connection = scripted.get();
    CScriptedBmc bmc(*connection);
    bmc.sdr = {LinearRecord(SENSOR_TYPE_VOLTAGE, 0x34, kVolt, "VCORE")};
    CRecordingSink sink{IsTextMessage};
    tagIPMI_SERVER_ENV env;
    env.connection = std::move(scripted);
    env.sink = &sink;
    env.intervalsFromRegistry = FALSE;
    CIPMIServer server(TestServerRecord(), std::move(env));
    ASSERT_TRUE(server.LoadSdr(&sink));
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_SDR_LOADED, 1, 5000));

    tagTHRESHOLD_REQUEST request;
    request.sensorNumber = 0x34;
    AddThreshold(request, 37, 170);
    connection->Queue(ROW_SET_SENSOR_THRESHOLDS, 0x00);
    EXPECT_EQ(SendThresholdRequest(&server, request), 0);
    connection->Queue(ROW_SET_SENSOR_THRESHOLDS, 0xC1);
    EXPECT_EQ(SendThresholdRequest(&server, request), -1);
    EXPECT_EQ(SendThresholdRequest(nullptr, request), -1);
    std::vector<tagSCRIPTED_REQUEST> sent;
    for (const auto& r : connection->Requests())
        if (r.row == ROW_SET_SENSOR_THRESHOLDS)
            sent.push_back(r);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].data, (std::vector<BYTE>{0x34, 0x10, 0, 0, 0, 0, 170, 0}));

    ApplyThresholds(server, server.CopySensors().at(0), request);
    EXPECT_EQ(server.CopySensors().at(0).GetByte(37), 170);
}
