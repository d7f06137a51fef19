// CIPMIServer over a scripted BMC: the SDR load, the sensor poller on both reading paths, the
// keep-alive thread, Disconnect while a thread waits on a slow BMC, and the interval settings.
#include "servers/IPMIServer.h"

#include "platform/Registry.h"
#include "tests/servers/ScriptedBmc.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace
{
constexpr DWORD kBound = 5000; // ms any single wait of a test may take

class IPMIServerTest : public ::testing::Test
{
protected:
    // A fake clock makes the retry pauses instant; the tests that connect use the system
    // clock, since a fake one would let the pollers spin through their intervals.
    void Make(IClock* clock)
    {
        server.reset(); // the old server and its threads go before their BMC
        auto scripted = std::make_unique<CScriptedConnection>();
        connection = scripted.get();
        bmc = std::make_unique<CScriptedBmc>(*connection);
        tagIPMI_SERVER_ENV env;
        env.connection = std::move(scripted);
        env.clock = clock;
        env.sink = &sink;
        env.intervalsFromRegistry = FALSE;
        env.sensorIntervalSeconds = 1;
        server = std::make_unique<CIPMIServer>(TestServerRecord(), std::move(env));
    }

    void UseRepository()
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->sdr = {WithRecordId(LoadHex("sdr/temp_unsigned_ascii"), 0),
                    WithRecordId(LoadHex("sdr/compact_drive"), 1),
                    WithRecordId(LoadHex("sdr/fru_locator"), 2),
                    WithRecordId(LoadHex("sdr/fan_linear"), 3)};
    }

    void LoadSdr()
    {
        ASSERT_TRUE(server->LoadSdr(&sink));
        ASSERT_TRUE(sink.WaitFor(WM_VEXA_SDR_LOADED, 1, kBound));
    }

    BOOL ConnectServer()
    {
        tagLAN_CONNECT_PARAM param;
        MakeConnectParam(param, "adm", "secret", RAKP_HMAC_SHA1, FALSE, PRIVILEGE_ADMINISTRATOR);
        return server->Connect(param);
    }

    std::vector<tagRECORDED_MESSAGE> Of(UINT message)
    {
        std::vector<tagRECORDED_MESSAGE> out;
        for (const auto& m : sink.Messages())
            if (m.message == message)
                out.push_back(m);
        return out;
    }

    CRecordingSink sink{IsTextMessage};
    CFakeClock fakeClock;
    CScriptedConnection* connection = nullptr;
    std::unique_ptr<CScriptedBmc> bmc;
    std::unique_ptr<CIPMIServer> server;
};

} // namespace

TEST_F(IPMIServerTest, SdrLoadKeepsSensorsAndLocatorsAndSkipsARejectedRecord)
{
    Make(&fakeClock);
    UseRepository();
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->rejectedSdr = {0x0002}; // the locator; the loader goes on with record 3
    }
    LoadSdr();

    EXPECT_TRUE(server->IsSdrLoaded());
    EXPECT_TRUE(server->IsConnected()) << "a finished load marks the server connected";
    {
        CSensorAccess sensors = server->AccessSensors();
        ASSERT_EQ(sensors.Count(), 3u);
        EXPECT_EQ(sensors.At(0).GetIdString(), "CPU1 Temp");
        EXPECT_EQ(sensors.At(1).GetSensorNumber(), 0x68);
        ASSERT_NE(sensors.FindSensor(0x42), nullptr);
        EXPECT_EQ(sensors.FindSensor(0x42)->GetSensorType(), SENSOR_TYPE_FAN);
        EXPECT_EQ(sensors.FindSensor(0x99), nullptr);
        // Index tables by record kind and sensor type.
        EXPECT_EQ(sensors.IndexOfType(TRUE, SENSOR_TYPE_TEMPERATURE), std::vector<int>{0});
        EXPECT_EQ(sensors.IndexOfType(TRUE, SENSOR_TYPE_FAN), std::vector<int>{2});
        EXPECT_EQ(sensors.IndexOfType(FALSE, 0x0D), std::vector<int>{1});
        EXPECT_EQ(sensors.FindSensorByType(TRUE, SENSOR_TYPE_FAN, -1)->GetSensorNumber(), 0x42);
        EXPECT_EQ(sensors.FindSensorByType(TRUE, SENSOR_TYPE_FAN, 0x43), nullptr);
        EXPECT_EQ(sensors.FindSensorByType(FALSE, SENSOR_TYPE_FAN, -1), nullptr);
        EXPECT_TRUE(sensors.FruLocators().empty()) << "the locator was the rejected record";
    }
    server->IndexSensorsByType(); // rebuilding does not duplicate entries
    EXPECT_EQ(server->AccessSensors().IndexOfType(TRUE, SENSOR_TYPE_FAN).size(), 1u);

    // Get SDR asked for 0, 1, 2 (rejected on both attempts), then 3, each with the
    // reservation and FFh (the whole record).
    std::vector<std::string> asked;
    for (const auto& r : connection->Requests())
        if (r.row == ROW_GET_SDR)
            asked.push_back(ToHex(r.data));
    EXPECT_EQ(asked, (std::vector<std::string>{"17 2a 00 00 00 ff", "17 2a 01 00 00 ff",
                                               "17 2a 02 00 00 ff", "17 2a 02 00 00 ff",
                                               "17 2a 03 00 00 ff"}));

    auto progress = Of(WM_VEXA_PROGRESS);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[0].wParam, PROGRESS_SET_RANGE);
    EXPECT_EQ(progress[0].lParam, 4);
    EXPECT_EQ(progress[1].text, "Get SDR from the server....");
    std::size_t steps = 0;
    for (const auto& m : progress)
        steps += m.wParam == PROGRESS_STEP ? 1 : 0;
    EXPECT_EQ(steps, 4u) << "one step per record read or skipped";
    EXPECT_EQ(progress.back().wParam, PROGRESS_FINISHED);
    ASSERT_EQ(Of(WM_VEXA_LOG_TEXT).size(), 1u);
    EXPECT_EQ(Of(WM_VEXA_LOG_TEXT)[0].text, "Get SDR successfully fininshed!\n");
    auto done = Of(WM_VEXA_SDR_LOADED);
    EXPECT_EQ(done[0].wParam, 0u);
    EXPECT_EQ(done[0].lParam, 7);

    // A loaded repository is not read again.
    std::size_t before = connection->Requests().size();
    EXPECT_TRUE(server->LoadSdr(&sink));
    EXPECT_TRUE(server->IsSelShown());
    EXPECT_EQ(connection->Requests().size(), before);
}

TEST_F(IPMIServerTest, SdrLoadFailureLeavesNoSensorsAndReportsTheEnd)
{
    struct
    {
        const char* name;
        BYTE failingRow;
        tagSCRIPTED_REPLY reply;
        int expectedAttempts;
        bool failureLine; // "Get SDR failed" only when a record read fails
    } cases[] = {
        {"repository info unanswered", ROW_GET_SDR_REPOSITORY_INFO, {0, {}, TRUE, 0}, 2, false},
        {"reservation refused", ROW_RESERVE_SDR_REPOSITORY, {0xC1, {}, FALSE, 0}, 2, false},
        {"record lost its reservation", ROW_GET_SDR, {0xC5, {}, FALSE, 0}, 2, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        sink.Clear();
        CFakeClock clock;
        Make(&clock);
        UseRepository();
        for (int i = 0; i < c.expectedAttempts; ++i)
            connection->Queue(c.failingRow, c.reply);
        LoadSdr();

        EXPECT_FALSE(server->IsSdrLoaded());
        EXPECT_EQ(server->AccessSensors().Count(), 0u);
        EXPECT_EQ(connection->CountOf(c.failingRow), static_cast<std::size_t>(c.expectedAttempts));
        EXPECT_EQ(clock.Sleeps(), std::vector<DWORD>{CIPMIServer::RETRY_PAUSE_MS});
        auto lines = Of(WM_VEXA_LOG_TEXT);
        EXPECT_EQ(lines.size(), c.failureLine ? 1u : 0u);
        if (c.failureLine && !lines.empty())
        {
            EXPECT_EQ(lines[0].text, "Get SDR failed, try connect once again!\n");
        }
        EXPECT_EQ(Of(WM_VEXA_SDR_LOADED)[0].lParam, 7);
        server.reset();
    }
}

TEST_F(IPMIServerTest, ReadersSeeTheOldSensorSetUntilTheLoadHasEnded)
{
    Make(&fakeClock);
    UseRepository();
    tagSCRIPTED_REPLY slow;
    slow.silent = TRUE;
    slow.delayMs = 200; // the third record's first attempt hangs, the second is answered
    connection->Queue(ROW_GET_SDR, bmc->Answer({ROW_GET_SDR, {0x17, 0x2a, 0, 0, 0, 0xFF}}).value());
    connection->Queue(ROW_GET_SDR, bmc->Answer({ROW_GET_SDR, {0x17, 0x2a, 1, 0, 0, 0xFF}}).value());
    connection->Queue(ROW_GET_SDR, slow);
    ASSERT_TRUE(server->LoadSdr(&sink));
    ASSERT_TRUE(connection->WaitForRequests(ROW_GET_SDR, 3, kBound));
    EXPECT_EQ(server->AccessSensors().Count(), 0u) << "two records read, none visible yet";
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_SDR_LOADED, 1, kBound));
    EXPECT_EQ(server->AccessSensors().Count(), 3u);
    EXPECT_EQ(server->AccessSensors().FruLocators().size(), 1u);
}

TEST_F(IPMIServerTest, SensorPollerReadsBatchesUntilFFh)
{
    Make(&SystemClock());
    UseRepository();
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->batch[0x00] = {0x05, 0x31, 0x40, 0x68, 0x02};
        bmc->batch[0x05] = {0xFF, 0x42, 0x33, 0x00, 0x99}; // sensor number 0 has no entry
    }
    ASSERT_TRUE(ConnectServer());
    LoadSdr();
    server->StartPolling(TRUE, FALSE);
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_READINGS_UPDATED, 1, kBound));

    auto updated = Of(WM_VEXA_READINGS_UPDATED);
    EXPECT_TRUE(updated[0].sent);
    EXPECT_EQ(updated[0].wParam, reinterpret_cast<WPARAM>(server.get()));
    EXPECT_TRUE(server->AreReadingsAvailable());
    {
        CSensorAccess sensors = server->AccessSensors();
        EXPECT_EQ(sensors.GetReading(0x31), 0x40);
        EXPECT_EQ(sensors.GetReading(0x68), 0x02);
        EXPECT_EQ(sensors.GetReading(0x42), 0x33);
        EXPECT_EQ(sensors.FindSensor(0x31)->GetRawReading(), 0x40);
        EXPECT_EQ(sensors.FindSensor(0x68)->GetRawReading(), 0x02);
        EXPECT_EQ(sensors.FindSensor(0x42)->GetRawReading(), 0x33);
    }
    std::vector<std::string> starts;
    for (const auto& r : connection->Requests())
        if (r.row == ROW_OEM_BATCH_READINGS && starts.size() < 2)
            starts.push_back(ToHex(r.data));
    EXPECT_EQ(starts, (std::vector<std::string>{"00", "05"}));
    EXPECT_EQ(connection->CountOf(ROW_GET_SENSOR_READING), 0u);
    EXPECT_FALSE(server->UsesStandardReadings());
    EXPECT_TRUE(server->Disconnect());
}

TEST_F(IPMIServerTest, SensorPollerFallsBackToGetSensorReadingAfterARefusedBatch)
{
    Make(&SystemClock());
    UseRepository();
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->batchCode = 0xC1;                         // invalid command, as ipmi_sim answers
        bmc->reading[0x31] = {0x40, 0xC0, 0x00};       // threshold: the reading byte
        bmc->reading[0x68] = {0x00, 0xC0, 0x04, 0x80}; // discrete: state bits 0-7
        bmc->reading[0x42] = {0x55, 0xE0, 0x00};       // reading unavailable
    }
    ASSERT_TRUE(ConnectServer());
    LoadSdr();
    server->StartPolling(TRUE, FALSE);
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_READINGS_UPDATED, 2, kBound));

    EXPECT_TRUE(server->UsesStandardReadings());
    EXPECT_EQ(connection->CountOf(ROW_OEM_BATCH_READINGS), 1u) << "not asked again";
    EXPECT_GE(connection->CountOf(ROW_GET_SENSOR_READING), 6u) << "three sensors, two rounds";
    CSensorAccess sensors = server->AccessSensors();
    EXPECT_EQ(sensors.FindSensor(0x31)->GetRawReading(), 0x40);
    EXPECT_EQ(sensors.FindSensor(0x68)->GetRawReading(), 0x04);
    EXPECT_EQ(sensors.FindSensor(0x42)->GetRawReading(), 0xFF);
}

TEST_F(IPMIServerTest, KeepAliveTracksThePowerStateFromGoodRepliesOnly)
{
    Make(&SystemClock());
    connection->Queue(ROW_GET_CHASSIS_STATUS, 0x00, {0x01, 0x00, 0x00}); // power on
    connection->Queue(ROW_GET_CHASSIS_STATUS, 0xC3, {0x00, 0x00, 0x00}); // time-out: ignored
    server->PauseKeepAlive(); // started paused: nothing is sent until the trigger
    ASSERT_TRUE(ConnectServer());
    EXPECT_EQ(connection->CountOf(ROW_GET_CHASSIS_STATUS), 0u);
    EXPECT_EQ(server->GetPowerState(), 0);

    // Resuming sends once for the trigger, then the unpaused round, then waits its 7 s.
    server->ResumeKeepAlive();
    ASSERT_TRUE(connection->WaitForRequests(ROW_GET_CHASSIS_STATUS, 2, kBound));
    EXPECT_TRUE(server->Disconnect()); // ends the 7 s wait at once and joins the thread
    EXPECT_EQ(connection->CountOf(ROW_GET_CHASSIS_STATUS), 2u);
    EXPECT_EQ(server->GetPowerState(), 1);
}

TEST_F(IPMIServerTest, DisconnectWhileAThreadWaitsOnASlowBmcEndsWithinTheCommandBound)
{
    constexpr DWORD kSlowMs = 1000;
    const BYTE slowRows[] = {ROW_GET_CHASSIS_STATUS, ROW_OEM_BATCH_READINGS, ROW_GET_SEL_INFO};
    for (BYTE row : slowRows)
    {
        SCOPED_TRACE(IpmiCommandRow(row)->name);
        Make(&SystemClock());
        tagSCRIPTED_REPLY slow;
        slow.silent = TRUE;
        slow.delayMs = kSlowMs;
        connection->Queue(row, slow);
        ASSERT_TRUE(ConnectServer());
        server->StartPolling(TRUE, TRUE);
        ASSERT_TRUE(connection->WaitForRequests(row, 1, kBound));

        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(server->Disconnect());
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        EXPECT_LT(took.count(), kSlowMs + 1000);
        EXPECT_FALSE(server->IsConnected());
        EXPECT_EQ(connection->DisconnectCalls(), 1);
        server.reset(); // at once: nothing of the server is still in use
        sink.Clear();
    }
}

TEST_F(IPMIServerTest, ConnectAndDisconnectFailuresAreReported)
{
    Make(&fakeClock);
    connection->SetConnectResult(FALSE, TRUE);
    EXPECT_FALSE(ConnectServer());
    EXPECT_TRUE(server->HasLogin());
    EXPECT_FALSE(server->IsConnected());

    connection->SetConnectResult(TRUE, FALSE);
    server->PauseKeepAlive();
    ASSERT_TRUE(ConnectServer());
    EXPECT_EQ(fakeClock.Sleeps(),
              (std::vector<DWORD>{CIPMIServer::CONNECT_PAUSE_MS, CIPMIServer::CONNECT_PAUSE_MS}));
    EXPECT_FALSE(server->Disconnect());
    EXPECT_TRUE(server->IsConnected()) << "a session that did not close is still open";
    EXPECT_TRUE(server->Reconnect());
    EXPECT_EQ(connection->ConnectCalls(), 3);
}

TEST(IPMIServerSettings, PollingIntervalsComeFromTheRegistryWithTheirDefaults)
{
    std::string pattern = ::testing::TempDir() + "/vexa-server-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    CRegistry registry;
    ASSERT_EQ(registry.Open(pattern + "/registry.db"), ERROR_SUCCESS);
    HKEY root = registry.RootKey(HKEY_LOCAL_MACHINE);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(root, "Software\\Vexa\\Tarn", KEY_ALL_ACCESS, &key, nullptr),
              ERROR_SUCCESS);
    DWORD zero = 0;
    RegSetValueEx(key, "Polling SEL interval", REG_DWORD, reinterpret_cast<BYTE*>(&zero),
                  sizeof zero);

    tagIPMI_SERVER_ENV env;
    env.connection = std::make_unique<CScriptedConnection>();
    env.registryRoot = root;
    CIPMIServer server(TestServerRecord(), std::move(env));
    EXPECT_EQ(server.GetSensorInterval(), DEFAULT_SENSOR_POLL_SECONDS);
    EXPECT_EQ(server.GetSelInterval(), DEFAULT_SEL_POLL_SECONDS);

    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueEx(key, "Polling Sensors interval", nullptr,
                              reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, DEFAULT_SENSOR_POLL_SECONDS) << "a missing value is written back";
    ASSERT_EQ(RegQueryValueEx(key, "Polling SEL interval", nullptr, reinterpret_cast<BYTE*>(&value),
                              &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 0u) << "a stored 0 reads as the default but is not rewritten";

    DWORD thirty = 30;
    RegSetValueEx(key, "Polling SEL interval", REG_DWORD, reinterpret_cast<BYTE*>(&thirty),
                  sizeof thirty);
    EXPECT_EQ(ReadPollingInterval(root, "Polling SEL interval", DEFAULT_SEL_POLL_SECONDS), 30u);
    RegCloseKey(key);
    registry.Close();
    std::system(("rm -rf '" + pattern + "'").c_str());
}

TEST_F(IPMIServerTest, RecordsTooLongForOneReplyAreReadInPieces)
{
    Make(&fakeClock);
    UseRepository();
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->sdrReadLimit = 33; // as ipmi_sim: longer whole-record reads get CAh
    }
    LoadSdr();
    ASSERT_TRUE(server->IsSdrLoaded());
    std::vector<CSensor> sensors = server->CopySensors();
    ASSERT_EQ(sensors.size(), 3u);
    std::lock_guard<std::mutex> guard(bmc->lock);
    for (const CSensor& sensor : sensors)
    {
        const BYTE* record = sensor.GetRecord();
        bool same = false;
        for (const auto& stored : bmc->sdr)
            same = same || std::equal(stored.begin(), stored.end(), record);
        EXPECT_TRUE(same) << "sensor " << int(sensor.GetSensorNumber()) << " read whole";
    }
    EXPECT_EQ(server->AccessSensors().FruLocators().size(), 1u);
}

TEST_F(IPMIServerTest, ThresholdCrossingsReportedWithReadingsSetTheSensorStatus)
{
    Make(&SystemClock());
    UseRepository();
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->batchCode = 0xC1;
        bmc->reading[0x31] = {0x40, 0xC0, 0x18}; // above upper non-critical and critical
    }
    ASSERT_TRUE(ConnectServer());
    LoadSdr();
    server->StartPolling(TRUE, FALSE);
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_READINGS_UPDATED, 1, kBound));
    EXPECT_EQ(server->AccessSensors().FindSensor(0x31)->GetStatus(), SENSOR_STATUS_CRITICAL);

    // Back under the critical threshold, still above non-critical; then normal.
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->reading[0x31] = {0x40, 0xC0, 0x08};
    }
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_READINGS_UPDATED, 3, kBound));
    EXPECT_EQ(server->AccessSensors().FindSensor(0x31)->GetStatus(), SENSOR_STATUS_NON_CRITICAL);
    {
        std::lock_guard<std::mutex> guard(bmc->lock);
        bmc->reading[0x31] = {0x40, 0xC0, 0x00};
    }
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_READINGS_UPDATED, 5, kBound));
    EXPECT_EQ(server->AccessSensors().FindSensor(0x31)->GetStatus(), SENSOR_STATUS_NORMAL);
}

TEST_F(IPMIServerTest, ConnectRaisesTheSessionToTheLoginPrivilege)
{
    Make(&SystemClock());
    ASSERT_TRUE(ConnectServer());
    auto requests = connection->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().row, ROW_SET_SESSION_PRIVILEGE);
    EXPECT_EQ(requests.front().data, (std::vector<BYTE>{PRIVILEGE_ADMINISTRATOR}));
}
