// The server object against the ipmi_sim fixture: the SDR load (records longer than the
// BMC returns at once), readings through Get Sensor Reading, SEL rounds, FRU through small
// requests, and the keep-alive thread following the power state.
#include "servers/IPMIServer.h"

#include "servers/ServersMessages.h"
#include "tests/support/IpmiSim.h"
#include "tests/support/RecordingSink.h"
#include "transport/CommandTable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{
constexpr DWORD kBound = 15000;

bool IsText(UINT message, WPARAM wParam)
{
    return message == WM_VEXA_LOG_TEXT ||
           (message == WM_VEXA_PROGRESS && wParam == PROGRESS_STATUS_TEXT);
}

// Waits for a condition with a bound, looking again every 20 ms.
template <typename F> bool WaitUntil(F condition, DWORD boundMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
} // namespace

TEST(IPMIServerPeer, ReadsTheFixtureAndFollowsItsPower)
{
    if (!CIpmiSim::Available())
        GTEST_SKIP() << "ipmi_sim is not installed (./dev setup installs openipmi)";
    CIpmiSimFixture sim;
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    CRecordingSink sink{IsText};
    tagSERVER_RECORD record;
    record.ipAddress = sim.Address();
    record.serverTag = 7;
    tagIPMI_SERVER_ENV env;
    env.port = sim.Port();
    env.sink = &sink;
    env.intervalsFromRegistry = FALSE;
    env.sensorIntervalSeconds = 1;
    CIPMIServer server(record, std::move(env));
    tagLAN_CONNECT_PARAM param;
    MakeConnectParam(param, IPMISIM_USER_ADMIN.name, IPMISIM_USER_ADMIN.password, RAKP_HMAC_SHA1,
                     TRUE, PRIVILEGE_ADMINISTRATOR);
    ASSERT_TRUE(server.Connect(param));
    std::string guid;
    ASSERT_TRUE(server.ReadDeviceGuid(guid)) << "ipmi_sim knows only the system GUID";
    EXPECT_EQ(guid, "{A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90}") << "the channel GUID of lan.conf";
    EXPECT_EQ(server.GetGuidText(), guid);

    ASSERT_TRUE(server.LoadSdr(&sink));
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_SDR_LOADED, 1, kBound));
    ASSERT_TRUE(server.IsSdrLoaded());
    EXPECT_EQ(server.AccessSensors().Count(), 18u) << "12 full and 6 compact records";
    EXPECT_EQ(server.AccessSensors().FruLocators().size(), 2u);

    server.StartPolling(TRUE, FALSE);
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_READINGS_UPDATED, 1, kBound));
    EXPECT_TRUE(server.UsesStandardReadings()) << "ipmi_sim refuses the batch command";
    {
        CSensorAccess sensors = server.AccessSensors();
        tagSENSOR_VALUE value;
        ASSERT_TRUE(sensors.FindSensor(0x30)->ConvertRaw(sensors.GetReading(0x30), value));
        EXPECT_FLOAT_EQ(value.value, 4800.0f) << "FAN1 as ipmitool reads it";
        EXPECT_EQ(sensors.GetReading(0x13), 0xFF) << "P1V8 has no reading";
    }

    ASSERT_TRUE(server.FetchSel(&sink));
    ASSERT_TRUE(sink.WaitFor(WM_VEXA_SEL_FETCHED, 1, kBound));
    EXPECT_EQ(server.GetFetchedSel().size(), 9u);
    ASSERT_TRUE(server.ClearSel());
    EXPECT_TRUE(server.GetSelResumePoint() == tagSEL_KEY{}) << "no resume point after a clear";

    const CFruRecord* fru = server.ReadFruRecord(0);
    ASSERT_NE(fru, nullptr);
    ASSERT_NE(fru->GetBoardArea(), nullptr);
    EXPECT_EQ(fru->GetBoardArea()->manufacturer.text, "Vexa Test Boards");
    EXPECT_EQ(server.GetFruChunkSize(0), 32) << "ipmi_sim refuses 48";
    ASSERT_NE(server.ReadFruRecord(1), nullptr) << "a 128-byte device";

    // Power off: the keep-alive thread's next Get Chassis Status shows it (7 s period).
    EXPECT_EQ(server.GetPowerState(), 1);
    const BYTE off[] = {ROW_CHASSIS_CONTROL, 0x00};
    tagIPMI_REPLY reply;
    ASSERT_TRUE(server.SendCommand(off, sizeof off, reply));
    EXPECT_EQ(reply.data[1], 0);
    EXPECT_TRUE(WaitUntil([&] { return server.GetPowerState() == 0; }, kBound));
    EXPECT_EQ(sim.PowerState(), 0);
    EXPECT_TRUE(server.Disconnect());
}
