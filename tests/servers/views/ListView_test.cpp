#include "servers/views/ListView.h"
#include "servers/views/SortList.h"

#include "tests/servers/views/ViewRecords.h"

#include <gtest/gtest.h>

TEST(ListColumns, WidthRuleAndFiller)
{
    auto columns = BuildColumns(VIEW_SEL, 800);
    ASSERT_EQ(columns.size(), 10u);
    EXPECT_EQ(columns[0].title, "Index");
    EXPECT_EQ(columns[6].title, "Event Description");
    EXPECT_EQ(columns[6].width, 100);
    EXPECT_EQ(columns[7].title, LIST_FILLER_TITLE);
    EXPECT_EQ(columns[7].width, 100);
    EXPECT_EQ(columns[8].width, 0);
    EXPECT_EQ(BuildColumns(VIEW_IPMI_SERVER, 601)[0].width, 300);
    EXPECT_EQ(BuildColumns(VIEW_COMPACT_SENSOR, 400)[2].title, "Meanings");
    EXPECT_TRUE(GetColumnTitles(13).empty());
    EXPECT_EQ(BuildColumns(VIEW_ALL_SENSORS, 300)[0].width, 300);
    EXPECT_EQ(BuildColumns(VIEW_SEL, -5)[0].width, 0);

    EXPECT_FALSE(NeedsColumnRebuild(VIEW_SEL, VIEW_SEL));
    EXPECT_TRUE(NeedsColumnRebuild(VIEW_ALL_SERVERS, VIEW_ALL_SERVERS));
    EXPECT_TRUE(NeedsColumnRebuild(VIEW_SDR, VIEW_SEL));
}

TEST(ListRows, ChildrenAndServers)
{
    std::vector<tagVIEW_NODE> sensors = {
        {MakeViewNodeValue(VIEW_SDR_SENSOR, 7, 2, 0x34), "VCORE", "sensor-voltage", false, {}}};
    auto rows = BuildChildRows(VIEW_SDR_TYPE, sensors);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"VCORE", "52", "2"}));
    EXPECT_EQ(rows[0].image, "sensor-voltage");
    std::vector<tagVIEW_NODE> devices = {
        {MakeViewNodeValue(VIEW_FRU_DEVICE, 7, 10), "MOTHERBOARD FRU", "", false, {}}};
    EXPECT_EQ(BuildChildRows(VIEW_FRU, devices)[0].cells[1], "0xA");

    tagSERVER_ROW_INPUT asf;
    asf.name = "s2";
    asf.ipmi = false;
    asf.connectionType = 1;
    tagSERVER_ROW_INPUT ipmi;
    ipmi.connected = true;
    ipmi.watchdogState = 1;
    auto servers = BuildServerRows({asf, ipmi});
    EXPECT_EQ(servers[0].cells,
              (std::vector<std::string>{"s2", "COM", "", "Disconnected", "Unknown"}));
    EXPECT_EQ(servers[1].cells[3], "Connected");
    EXPECT_EQ(servers[1].cells[4], "Watch dog time out");

    tagASF_INFO_INPUT info;
    info.systemState = "Legacy ON state";
    auto asfRows = BuildAsfInfoRows(info);
    EXPECT_EQ(asfRows[3].cells[1], "Not Received");
    EXPECT_EQ(asfRows[4].cells[1], "") << "no valid state yet";
}

TEST(ListRows, EventRowsNameTheSensor)
{
    const BYTE t[6] = {200, 180, 160, 10, 20, 30};
    std::vector<CSensor> sensors = {LinearSensor(SENSOR_TYPE_TEMPERATURE, 0x31, t, 50, "CPU1")};
    auto a = LoadHex("sel/threshold_uc_high"), w = LoadHex("sel/watchdog2");
    std::vector<BYTE> unknown = a;
    unknown[11] = 0x33;
    std::vector<CSEL> entries = {CSEL(a.data(), a.size(), nullptr),
                                 CSEL(w.data(), w.size(), nullptr),
                                 CSEL(unknown.data(), unknown.size(), nullptr)};
    auto rows = BuildEventRows(entries, "rack-7", sensors, 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].cells[0], "0001");
    EXPECT_EQ(rows[0].cells[1], "rack-7");
    EXPECT_EQ(rows[0].cells[4], "CPU1");
    EXPECT_EQ(rows[1].cells[4], "Watchdog 2");
    EXPECT_EQ(rows[2].cells[4], GetSensorNumberName(0x33));
    EXPECT_EQ(rows[2].itemData, ROW_DATA_EVENT);

    tagEVENT_DETAIL detail = BuildEventDetail(entries[0], &sensors[0], 0);
    EXPECT_EQ(detail.recordId, "000001");
    EXPECT_TRUE(detail.moreEnabled);
    EXPECT_FALSE(detail.currentValue.empty());
    EXPECT_EQ(detail.attributes[1].value, "00010000") << "generator 20h >> 1";
    EXPECT_EQ(detail.attributes[2].value, "0x04h");
    EXPECT_FALSE(BuildEventDetail(entries[0], nullptr, 0).moreEnabled);
    EXPECT_EQ(ToDialog(detail).title, "Event Information");
}

TEST(ListRows, DoubleClickRules)
{
    tagLIST_ROW event{{"0002", "x"}, ROW_DATA_EVENT, ""};
    auto action = DoubleClickAction(event, 3);
    EXPECT_EQ(action.action, LIST_ACTION::SHOW_EVENT);
    EXPECT_EQ(action.eventIndex, 2u);
    EXPECT_EQ(DoubleClickAction(event, 2).action, LIST_ACTION::EVENT_DELETED);
    EXPECT_EQ(DoubleClickAction({{"0000"}, ROW_DATA_THRESHOLD_LIST, ""}, 9).action,
              LIST_ACTION::NONE);
    EXPECT_EQ(DoubleClickAction({{"x"}, ROW_DATA_SENSOR_LIST, ""}, 9).action, LIST_ACTION::NONE);
    DWORD child = MakeViewNodeValue(VIEW_SDR_TYPE, 7, 2);
    action = DoubleClickAction({{"Voltage"}, child, ""}, 0);
    EXPECT_EQ(action.action, LIST_ACTION::SELECT_CHILD);
    EXPECT_EQ(action.childValue, child);
}

TEST(SortList, ComparisonRules)
{
    EXPECT_LT(CompareSortTexts("9", "0012"), 0);
    EXPECT_GT(CompareSortTexts("0012", "9"), 0);
    EXPECT_EQ(CompareSortTexts("007", "7"), 0);
    EXPECT_LT(CompareSortTexts("123456789012345678901", "123456789012345678902"), 0);
    EXPECT_LT(CompareSortTexts("31/12/2005", "01/01/2006"), 0) << "year first";
    EXPECT_LT(CompareSortTexts("31/01/2006", "01/02/2006"), 0) << "then characters 4-5";
    EXPECT_LT(CompareSortTexts("01/02/2006", "02/02/2006"), 0);
    EXPECT_LT(CompareSortTexts("FAN1", "FAN2"), 0);
}

TEST(SortList, HeaderClicksAndMarks)
{
    CSortListCtrl list;
    ASSERT_TRUE(list.SetColumns("Index,60;Source IP Address,80;Receive time,100"));
    ASSERT_EQ(list.Columns().size(), 3u);
    EXPECT_EQ(list.Columns()[1].title, "Source IP Address");
    EXPECT_EQ(list.Columns()[2].width, 100);
    list.AddRow({"0012", "b"});
    list.AddRow({"9", "a"});
    list.AddRow({"10", "c"});
    EXPECT_EQ(list.GetSortColumn(), -1);
    list.OnHeaderClick(0);
    EXPECT_EQ(list.Row(0)[0], "9");
    EXPECT_EQ(list.Row(2)[0], "0012");
    EXPECT_EQ(list.GetSortMark(0), "ascending");
    list.OnHeaderClick(0);
    EXPECT_EQ(list.Row(0)[0], "0012");
    EXPECT_EQ(list.GetSortMark(0), "descending");
    list.OnHeaderClick(1); // its own direction: ascending
    EXPECT_EQ(list.Row(0)[1], "a");
    EXPECT_EQ(list.GetSortMark(0), "");
    list.OnHeaderClick(0); // back to column 0, which kept descending
    EXPECT_EQ(list.Row(0)[0], "0012");
    EXPECT_TRUE(list.SetCellText(0, 5, "x"));
    EXPECT_TRUE(list.DeleteRow(0));
    EXPECT_FALSE(list.DeleteRow(5));
    EXPECT_FALSE(list.SetColumns(";;"));
}
