// CIPMIServer's event-log rounds and FRU reads over a scripted BMC: what each round asks for
// and reports, resuming from the last entry, Clear SEL, and the FRU request sizes.
#include "servers/IPMIServer.h"

#include "tests/servers/ScriptedBmc.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

namespace
{
constexpr DWORD kBound = 5000;

class IPMIServerSelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.reset(); // the old server and its threads go before their BMC
        auto scripted = std::make_unique<CScriptedConnection>();
        connection = scripted.get();
        bmc = std::make_unique<CScriptedBmc>(*connection);
        tagIPMI_SERVER_ENV env;
        env.connection = std::move(scripted);
        env.clock = &clock;
        env.sink = &sink;
        env.intervalsFromRegistry = FALSE;
        server = std::make_unique<CIPMIServer>(TestServerRecord(), std::move(env));
        SetLog({Entry("sel/threshold_uc_high", 1), Entry("sel/discrete_intrusion", 2)});
    }

    static std::vector<BYTE> Entry(const std::string& name, WORD id)
    {
        return WithRecordId(LoadHex(name), id);
    }
    static std::vector<BYTE> Restamped(std::vector<BYTE> entry)
    {
        entry.at(SEL_OFFSET_TIMESTAMP) ^= 0x80;
        return entry;
    }
    void SetLog(std::vector<std::vector<BYTE>> entries)
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->sel = std::move(entries);
    }

    // Runs one manual round and waits until its thread has ended (Disconnect joins it).
    void Round()
    {
        std::size_t before = connection->Requests().size();
        ASSERT_TRUE(server->FetchSel(&sink));
        ASSERT_TRUE(connection->WaitForRequests(0, before + 3, kBound));
        ASSERT_TRUE(server->Disconnect());
    }
    void RoundWithCompletion()
    {
        std::size_t before = sink.CountOf(WM_VEXA_SEL_FETCHED);
        ASSERT_TRUE(server->FetchSel(&sink));
        ASSERT_TRUE(sink.WaitFor(WM_VEXA_SEL_FETCHED, before + 1, kBound));
        ASSERT_TRUE(server->Disconnect());
    }

    // The record IDs asked for with Get SEL Entry, in order.
    std::vector<int> AskedEntries()
    {
        std::vector<int> ids;
        for (const auto& r : connection->Requests())
            if (r.row == ROW_GET_SEL_ENTRY)
                ids.push_back(r.data.at(2) | r.data.at(3) << 8);
        return ids;
    }

    CRecordingSink sink{IsTextMessage};
    CFakeClock clock;
    CScriptedConnection* connection = nullptr;
    std::unique_ptr<CScriptedBmc> bmc;
    std::unique_ptr<CIPMIServer> server;
};
} // namespace

TEST_F(IPMIServerSelTest, FirstRoundReadsTheWholeLogWithProgress)
{
    RoundWithCompletion();
    EXPECT_EQ(connection->Rows(), (std::vector<BYTE>{ROW_GET_SEL_INFO, ROW_RESERVE_SEL,
                                                     ROW_GET_SEL_ENTRY, ROW_GET_SEL_ENTRY}));
    EXPECT_EQ(ToHex(connection->Requests()[2].data), "17 2a 00 00 00 ff");
    EXPECT_EQ(AskedEntries(), (std::vector<int>{0, 2}));

    std::vector<CSEL> fetched = server->GetFetchedSel();
    ASSERT_EQ(fetched.size(), 2u);
    EXPECT_EQ(fetched[0].GetRecordId(), 1);
    EXPECT_EQ(fetched[1].GetRecordId(), 2);
    EXPECT_EQ(fetched[1].GetOwner(), server.get());
    EXPECT_TRUE(server->GetSelResumePoint() == fetched[1].GetKey());
    EXPECT_TRUE(server->IsSelChanged());
    EXPECT_TRUE(server->GetDisplaySel().empty()) << "the views get a copy only on request";
    server->CopySelForDisplay();
    EXPECT_EQ(server->GetDisplaySel().size(), 2u);

    std::vector<std::string> seen;
    for (const auto& m : sink.Messages())
        seen.push_back(std::to_string(m.message) + "/" + std::to_string(m.wParam) + " " +
                       (m.text.empty() ? std::to_string(m.lParam) : m.text));
    EXPECT_EQ(seen, (std::vector<std::string>{"1225/1 2", "1225/4 Get SEL From  rack-7...",
                                              "1225/2 0", "1225/4 Get SEL record : 0", "1225/3 0",
                                              "1427/1 7", "866/0 Get SEL sucessfully finished!"}));
}

TEST_F(IPMIServerSelTest, UnchangedLogSendsThreeCommandsAndPostsNothing)
{
    RoundWithCompletion();
    connection->ClearLog();
    sink.Clear();
    Round();
    EXPECT_EQ(connection->Rows(),
              (std::vector<BYTE>{ROW_GET_SEL_INFO, ROW_RESERVE_SEL, ROW_GET_SEL_ENTRY}));
    EXPECT_EQ(AskedEntries(), std::vector<int>{2}) << "only the resume point is read back";
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_EQ(server->GetFetchedSel().size(), 2u);
}

TEST_F(IPMIServerSelTest, LaterRoundsResumeOrStartOverWhenTheLogWasRewritten)
{
    struct
    {
        const char* name;
        std::vector<std::vector<BYTE>> log;
        std::vector<int> asked;
        std::vector<int> fetched;
    } cases[] = {
        {"two entries appended",
         {Entry("sel/threshold_uc_high", 1), Entry("sel/discrete_intrusion", 2),
          Entry("sel/fw_progress", 3), Entry("sel/watchdog2", 4)},
         {2, 3, 4},
         {1, 2, 3, 4}},
        // Same record IDs, a later time stamp: the resume entry is not the one kept.
        {"log cleared and refilled",
         {Restamped(Entry("sel/fw_error", 1)), Restamped(Entry("sel/fw_hang", 2))},
         {2, 0, 2},
         {1, 2}},
        // Three attempts at the resume entry, then from the start.
        {"resume entry gone", {Restamped(Entry("sel/fw_error", 1))}, {2, 2, 2, 0}, {1}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        RoundWithCompletion();
        server->SetSelShown(TRUE); // later rounds run without progress messages
        connection->ClearLog();
        sink.Clear();
        SetLog(c.log);
        RoundWithCompletion();

        EXPECT_EQ(AskedEntries(), c.asked);
        std::vector<int> ids;
        for (const CSEL& e : server->GetFetchedSel())
            ids.push_back(e.GetRecordId());
        EXPECT_EQ(ids, c.fetched);
        EXPECT_EQ(sink.CountOf(WM_VEXA_PROGRESS), 0u);
        EXPECT_EQ(sink.CountOf(WM_VEXA_LOG_TEXT), 1u);
    }
}

TEST_F(IPMIServerSelTest, RoundsThatCannotStartReportFailure)
{
    struct
    {
        const char* name;
        BYTE row;
        tagSCRIPTED_REPLY reply;
        int attempts;
    } cases[] = {
        {"SEL info unanswered", ROW_GET_SEL_INFO, {0, {}, TRUE, 0}, 2},
        {"reservation refused", ROW_RESERVE_SEL, {0xC1, {}, FALSE, 0}, 2},
        {"empty log", ROW_GET_SEL_INFO, {0, {0x51, 0, 0, 0, 0}, FALSE, 0}, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        RoundWithCompletion(); // something fetched that an empty log must clear
        sink.Clear();
        for (int i = 0; i < c.attempts; ++i)
            connection->Queue(c.row, c.reply);
        RoundWithCompletion();
        auto messages = sink.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].message, WM_VEXA_SEL_FETCHED);
        EXPECT_EQ(messages[0].wParam, 0u);
        EXPECT_EQ(messages[0].lParam, 7);
        EXPECT_EQ(server->GetFetchedSel().size(),
                  c.row == ROW_GET_SEL_INFO && c.attempts == 1 ? 0u : 2u);
    }
}

TEST_F(IPMIServerSelTest, ClearSelForgetsTheResumePointSoTheNextRoundStartsAtZero)
{
    RoundWithCompletion();
    server->CopySelForDisplay();
    ASSERT_TRUE(server->ClearSel());
    EXPECT_EQ(ToHex(bmc->clearRequest), "17 2a 43 4c 52 aa");
    EXPECT_EQ(server->GetSelResumePoint().GetRecordId(), 0xFFFF);
    EXPECT_TRUE(server->GetFetchedSel().empty());
    EXPECT_TRUE(server->GetDisplaySel().empty());
    EXPECT_FALSE(server->IsSelChanged());

    SetLog({Entry("sel/oem_timestamped", 1)});
    connection->ClearLog();
    RoundWithCompletion();
    EXPECT_EQ(AskedEntries(), std::vector<int>{0});
    ASSERT_EQ(server->GetFetchedSel().size(), 1u);

    connection->Queue(ROW_CLEAR_SEL, 0xC5);
    EXPECT_FALSE(server->ClearSel());
    EXPECT_EQ(server->GetFetchedSel().size(), 1u) << "a refused clear keeps the entries";
}

TEST_F(IPMIServerSelTest, FruReadFallsBackToSmallerRequestsPerDevice)
{
    struct
    {
        BYTE bmcLimit;
        BYTE chunk;
        std::size_t requests;
    } cases[] = {
        {48, 48, 6},                 // 0, 48, ..., 240: the last read runs past 255
        {32, 32, 1 + 8},             // one refusal, then eight reads
        {16, 16, 2 + 16},            // 48 and 32 refused
        {8, 8, 3 + 32},   {4, 0, 4}, // nothing it takes: no record
    };
    const std::vector<BYTE> inventory = LoadHex("fru/sim_inventory");
    ASSERT_EQ(inventory.size(), 256u);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.bmcLimit));
        SetUp();
        {
            std::lock_guard<std::mutex> guard(bmc->lock);
            bmc->fru = inventory;
            bmc->fruLimit = c.bmcLimit;
        }
        const CFruRecord* record = server->ReadFruRecord(0);
        EXPECT_EQ(connection->CountOf(ROW_READ_FRU_DATA), c.requests);
        if (c.chunk == 0)
        {
            EXPECT_EQ(record, nullptr);
            EXPECT_EQ(server->GetFruChunkSize(0), FRU_READ_CHUNK);
            continue;
        }
        ASSERT_NE(record, nullptr);
        ASSERT_NE(record->GetBoardArea(), nullptr);
        EXPECT_EQ(record->GetBoardArea()->manufacturer.text, "Tessel Boards Ltd");
        EXPECT_EQ(record->GetProductArea()->assetTag.text, "ASSET 77");
        EXPECT_EQ(server->GetFruChunkSize(0), c.chunk);
        auto requests = connection->Requests();
        EXPECT_EQ(requests.back().data.at(3), c.chunk);

        // Cached: no second read. Another device starts again at 48.
        EXPECT_EQ(server->ReadFruRecord(0), record);
        EXPECT_EQ(connection->CountOf(ROW_READ_FRU_DATA), c.requests);
        connection->ClearLog();
        ASSERT_NE(server->ReadFruRecord(1), nullptr);
        EXPECT_EQ(connection->Requests().front().data,
                  (std::vector<BYTE>{0x01, 0x00, 0x00, FRU_READ_CHUNK}));
    }
}

TEST_F(IPMIServerSelTest, FruDeviceSmallerThanTheReadIsReadToItsEnd)
{
    std::vector<BYTE> inventory = LoadHex("fru/sim_inventory");
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->fru = inventory;
        bmc->fru.resize(192); // the areas end before; past the end the device answers C9h
        bmc->fruEndsWithData = true;
    }
    const CFruRecord* record = server->ReadFruRecord(0);
    ASSERT_NE(record, nullptr);
    ASSERT_NE(record->GetBoardArea(), nullptr);
    EXPECT_EQ(record->GetBoardArea()->manufacturer.text, "Tessel Boards Ltd");
}

TEST_F(IPMIServerSelTest, FruReadsThatCannotCompleteGiveNoRecord)
{
    EXPECT_EQ(server->ReadFruRecord(FRU_DEVICE_ID_LIMIT), nullptr);
    EXPECT_EQ(server->ReadFruRecord(255), nullptr);
    EXPECT_TRUE(connection->Requests().empty()) << "device IDs past 47 are refused unsent";

    // A reply of zero bytes would never advance; a count beyond the data is not trusted.
    connection->Queue(ROW_READ_FRU_DATA, 0x00, {0x00});
    EXPECT_EQ(server->ReadFruRecord(0), nullptr);
    connection->Queue(ROW_READ_FRU_DATA, 0x00, {0x30, 0x01, 0x00});
    connection->Queue(ROW_READ_FRU_DATA, 0xC3);
    EXPECT_EQ(server->ReadFruRecord(0), nullptr);
    EXPECT_EQ(connection->Requests().back().data, (std::vector<BYTE>{0x00, 0x02, 0x00, 0x30}))
        << "the offset advanced by the two bytes that came, not by the count byte";
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->fru = LoadHex("fru/sim_inventory");
    }
    EXPECT_NE(server->ReadFruRecord(0), nullptr) << "failures are not cached";
}
