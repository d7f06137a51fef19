#include "host/LeftView.h"
#include "host/VexaView.h"

#include "tests/servers/views/ViewRecords.h"

#include <gtest/gtest.h>

namespace
{

constexpr BYTE kTag = 4;
const DWORD kTypeNode = MakeViewNodeValue(VIEW_SDR_TYPE, kTag, SENSOR_TYPE_VOLTAGE);
const DWORD kSensorNode = MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, SENSOR_TYPE_VOLTAGE, 7);
const DWORD kOtherTypeNode = MakeViewNodeValue(VIEW_SDR_TYPE, kTag, SENSOR_TYPE_FAN);

// A box service that runs a hook while a box is open, as the nested loop would run the
// messages that arrive meanwhile.
class CHookedBoxes final : public IMessageBoxService
{
public:
    int MessageBox(const std::string& text, const std::string& caption, UINT) override
    {
        shown.push_back(caption + ": " + text);
        if (whileOpen)
            whileOpen();
        return IDOK;
    }
    std::vector<std::string> shown;
    std::function<void()> whileOpen;
};

class VexaViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_view.SetSourceFn(
            [this](DWORD node)
            {
                ++sourceCalls;
                tagVIEW_SOURCES sources;
                if (node == kTypeNode || node == kOtherTypeNode)
                    sources.children = children;
                if (node == kSensorNode)
                    sources.sensor = LinearSensor(SENSOR_TYPE_VOLTAGE, 7, thresholds, 100, "P12V");
                return sources;
            });
        m_view.SetThresholdSender(
            [this](BYTE tag, const CSensor&, const tagTHRESHOLD_REQUEST& request)
            {
                sent.push_back(request);
                EXPECT_EQ(tag, kTag);
                return sendResult;
            });
    }

    std::vector<std::string> Column(const tagVIEW_STATE& state, std::size_t column)
    {
        std::vector<std::string> out;
        for (const tagLIST_ROW& row : state.rows)
            out.push_back(row.cells.at(column));
        return out;
    }

    CVexaView m_view;
    std::vector<tagVIEW_NODE> children = {
        {MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, 2, 9), "P5V", "sensor-voltage", false, {}},
        {MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, 2, 12), "P12V", "sensor-critical", false, {}},
        {MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, 2, 100), "P3V3", "sensor-voltage", false, {}},
    };
    BYTE thresholds[6] = {200, 180, 160, 10, 20, 30};
    std::vector<tagTHRESHOLD_REQUEST> sent;
    int sendResult = 0;
    int sourceCalls = 0;
};
} // namespace

TEST_F(VexaViewTest, ChildRowsKeepTheirSortAcrossRefreshesButNotAcrossNodes)
{
    m_view.ShowNode(kTypeNode);
    tagVIEW_STATE state = m_view.Snapshot();
    EXPECT_EQ(state.mode, VIEW_MODE::LIST);
    ASSERT_EQ(state.columns.size(), 4u); // three titles and the filler
    EXPECT_EQ(state.columns[0].title, "Sensor Name");
    EXPECT_EQ(state.columns[3].title, LIST_FILLER_TITLE);
    EXPECT_EQ(state.columns[0].width, VIEW_CLIENT_WIDTH / 4);
    EXPECT_EQ(state.rows[1].image, "sensor-critical");
    EXPECT_EQ(state.rows[1].itemData, children[1].value);

    // Sensor numbers 9, 12, 100 sort as numbers; the second click reverses.
    ASSERT_TRUE(m_view.Sort(1));
    ASSERT_TRUE(m_view.Sort(1));
    state = m_view.Snapshot();
    EXPECT_EQ(Column(state, 1), (std::vector<std::string>{"100", "12", "9"}));
    EXPECT_EQ(state.sortMarks[1], "descending");
    EXPECT_EQ(state.rows[1].image, "sensor-critical") << "the picture follows its row";

    // New readings rebuild the rows in the operator's order.
    children[0].icon = "sensor-critical";
    m_view.OnReadings(kTag, 1234);
    state = m_view.Snapshot();
    EXPECT_EQ(Column(state, 1), (std::vector<std::string>{"100", "12", "9"}));
    EXPECT_EQ(state.rows[2].image, "sensor-critical");
    EXPECT_EQ(state.readingsSeq, 1u);
    EXPECT_EQ(state.readingsAtMs, 1234);

    // Readings of another server change nothing.
    m_view.OnReadings(kTag + 1, 99);
    EXPECT_EQ(m_view.Snapshot().readingsSeq, 1u);

    // Another node starts unsorted.
    m_view.ShowNode(kOtherTypeNode);
    state = m_view.Snapshot();
    EXPECT_EQ(Column(state, 1), (std::vector<std::string>{"9", "12", "100"}));
    EXPECT_EQ(state.sortMarks[1], "");
    EXPECT_EQ(state.sortColumn, -1);
}

TEST_F(VexaViewTest, KindsWithoutListsAndOutOfRangeActions)
{
    m_view.ShowNode(MakeViewNodeValue(VIEW_CONSOLE, kTag));
    EXPECT_EQ(m_view.Snapshot().mode, VIEW_MODE::CONSOLE);
    EXPECT_FALSE(m_view.Sort(0));
    tagLIST_ROW row;
    EXPECT_FALSE(m_view.GetRow(0, &row));
    m_view.ShowNode(MakeViewNodeValue(VIEW_ALL_SENSORS, kTag));
    EXPECT_EQ(m_view.Snapshot().mode, VIEW_MODE::GAUGES);
    EXPECT_TRUE(m_view.Snapshot().tiles.empty()) << "no server: no tiles";
    m_view.ShowNode(kTypeNode);
    EXPECT_FALSE(m_view.Sort(4)) << "only the columns shown";
    EXPECT_FALSE(m_view.GetRow(3, &row));
    EXPECT_FALSE(m_view.EditChange(4, "1")) << "no threshold list shown";
}

TEST_F(VexaViewTest, TypingFollowsEveryKeystrokeAndAReadingDoesNotOverwriteIt)
{
    m_view.ShowNode(kSensorNode);
    tagVIEW_STATE state = m_view.Snapshot();
    ASSERT_EQ(state.rows.size(), 10u);
    ASSERT_EQ(state.editors.size(), 6u);
    EXPECT_TRUE(state.more);
    EXPECT_FALSE(m_view.Sort(0)) << "the editors belong to fixed rows";

    ASSERT_TRUE(m_view.EditChange(4, "2"));
    ASSERT_TRUE(m_view.EditChange(4, "21"));
    state = m_view.Snapshot();
    EXPECT_EQ(state.rows[4].cells[1], "0x15");
    EXPECT_EQ(state.editors[0].text, "21");

    m_view.OnReadings(kTag, 5);
    EXPECT_EQ(m_view.Snapshot().rows[4].cells[1], "0x15") << "the typed value stays";

    // 21 is below the upper critical threshold: refused, nothing sent, row restored.
    CHookedBoxes boxes;
    ASSERT_TRUE(m_view.EditEnd(4, "21", boxes));
    EXPECT_TRUE(sent.empty());
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown[0].rfind(THRESHOLD_INVALID_CAPTION, 0), 0u);
    state = m_view.Snapshot();
    EXPECT_EQ(state.rows[4].cells[1], "0xC8");
    EXPECT_EQ(state.editors[0].text, "200");
}

TEST_F(VexaViewTest, ASentEditHoldsRefreshesBackUntilItsBoxIsAnswered)
{
    m_view.ShowNode(kSensorNode);
    CHookedBoxes boxes;
    int callsDuringBox = -1;
    boxes.whileOpen = [&]
    {
        // The poller's readings and a click in the tree arrive while the result box is open.
        const int before = sourceCalls;
        m_view.OnReadings(kTag, 7);
        m_view.ShowNode(kTypeNode);
        callsDuringBox = sourceCalls - before;
        EXPECT_FALSE(m_view.EditEnd(5, "150", boxes)) << "one request at a time";
    };
    ASSERT_TRUE(m_view.EditEnd(4, "210", boxes));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sensorNumber, 7);
    EXPECT_EQ(sent[0].mask, 1u << 5); // upper non-recoverable
    EXPECT_EQ(sent[0].values[5], 210);
    EXPECT_EQ(callsDuringBox, 0) << "nothing rebuilt under the open box";
    const tagVIEW_STATE state = m_view.Snapshot();
    EXPECT_EQ(state.node, kTypeNode) << "the click is shown once the box is gone";
    EXPECT_EQ(state.rows.size(), children.size());
}

TEST_F(VexaViewTest, TheSheetSendsEveryChangedThresholdAndStaysOpenOnFailure)
{
    m_view.ShowNode(kSensorNode);
    m_view.OpenSheet("P12V", *m_view.ShownSensor(), kTag);
    ASSERT_TRUE(m_view.SheetSpin(0, 300)); // clamped
    ASSERT_TRUE(m_view.SheetSpin(5, 25));
    EXPECT_FALSE(m_view.SheetSpin(6, 1));
    tagVIEW_STATE state = m_view.Snapshot();
    ASSERT_TRUE(state.sheet.has_value());
    EXPECT_EQ(state.sheet->spins[0].position, 255);
    EXPECT_TRUE(state.sheet->spins[5].changed);
    EXPECT_EQ(state.sheet->pages.size(), 3u);

    CHookedBoxes boxes;
    sendResult = -1;
    ASSERT_TRUE(m_view.SheetOk(boxes));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].mask, (1u << 5) | (1u << 0));
    EXPECT_TRUE(m_view.Snapshot().sheet.has_value()) << "a failed request keeps the sheet";
    ASSERT_EQ(boxes.shown.size(), 1u);

    sendResult = 0;
    ASSERT_TRUE(m_view.SheetOk(boxes));
    EXPECT_FALSE(m_view.Snapshot().sheet.has_value());
    EXPECT_FALSE(m_view.CloseSheet()) << "nothing left to close";
}

TEST(LeftViewSections, NewSectionsKeepTheSelectionOrMoveItToTheServer)
{
    CLeftView tree;
    tagSERVER_NODE_INFO info;
    info.tag = kTag;
    info.ipmi = TRUE;
    info.name = "Rack";
    ASSERT_TRUE(tree.InsertServerNode(info));
    auto sections = [](BYTE sensorNumber)
    {
        tagVIEW_NODE sdr{MakeViewNodeValue(VIEW_SDR, kTag), "SDR", "section-sdr", true, {}};
        tagVIEW_NODE type{MakeViewNodeValue(VIEW_SDR_TYPE, kTag, 2), "Voltage", "", false, {}};
        type.children.push_back({MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, 2, sensorNumber),
                                 "P12V",
                                 "sensor-voltage",
                                 false,
                                 {}});
        sdr.children.push_back(type);
        return std::vector<tagVIEW_NODE>{sdr};
    };
    EXPECT_FALSE(tree.SetServerSections(kTag, sections(7)));
    const DWORD sensor = MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, 2, 7);
    ASSERT_TRUE(tree.Select(sensor));
    EXPECT_FALSE(tree.SetServerSections(kTag, sections(7)));
    EXPECT_EQ(tree.SelectedValue(), sensor);
    EXPECT_TRUE(tree.SetServerSections(kTag, sections(8))) << "the sensor is gone";
    EXPECT_EQ(tree.SelectedValue(), MakeViewNodeValue(VIEW_IPMI_SERVER, kTag));

    int changes = 0;
    tree.SetChangeHandler([&] { ++changes; });
    const DWORD now = MakeViewNodeValue(VIEW_SDR_SENSOR, kTag, 2, 8);
    tree.SetSensorIcons(kTag, [](DWORD) { return std::string("sensor-voltage"); });
    EXPECT_EQ(changes, 0) << "nothing changed, nothing pushed";
    tree.SetSensorIcons(kTag, [](DWORD) { return std::string("sensor-critical"); });
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tree.Icon(now), "sensor-critical");
    EXPECT_EQ(tree.Icon(MakeViewNodeValue(VIEW_SDR, kTag)), "section-sdr");
    EXPECT_EQ(tree.Children(MakeViewNodeValue(VIEW_SDR_TYPE, kTag, 2)).size(), 1u);
}
