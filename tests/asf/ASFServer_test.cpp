// CASFServer: the power indication with polling on and off, the interval setting, connect and
// disconnect, and the connected flag after a failed power operation.
#include "asf/ASFServer.h"

#include "tests/asf/FakeAdapter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FixedRandom.h"

#include <gtest/gtest.h>

namespace
{
class ASFServerTest : public ::testing::Test
{
protected:
    std::unique_ptr<CASFServer> Make(DWORD pollPower)
    {
        adapter.Attach(net);
        tagSERVER_RECORD record;
        record.ipAddress = ADAPTER_ADDRESS;
        tagASF_SERVER_ENV env;
        env.session.clock = &clock;
        env.session.random = &random;
        env.session.sockets = net.Factory();
        env.settings.pollPowerEnabled = pollPower;
        return std::make_unique<CASFServer>(record, std::move(env));
    }

    tagASF_CREDENTIALS Login()
    {
        tagASF_CREDENTIALS c;
        c.userName = "admin";
        c.administratorKey = "11";
        ParseAsfKey(c.administratorKey, adapter.kr);
        return c;
    }

    CFakeClock clock;
    CFixedRandom random;
    CFakeNetwork net;
    tagFAKE_ADAPTER adapter;
};
} // namespace

TEST(ASFServerSettings, IntervalOfZeroOrLessReadsAsThirty)
{
    EXPECT_EQ(NormaliseAsfPollInterval(0), 30u);
    EXPECT_EQ(NormaliseAsfPollInterval(0xFFFFFFFFu), 30u) << "-1 as stored";
    EXPECT_EQ(NormaliseAsfPollInterval(45), 45u);
    tagSERVER_RECORD record;
    tagASF_SERVER_ENV env;
    env.settings.pollIntervalSeconds = 0;
    CASFServer server(record, std::move(env));
    EXPECT_EQ(server.GetPollPeriodMs(), 30000u);
    server.SetSettings({10, 1});
    EXPECT_EQ(server.GetPollPeriodMs(), 10000u);
}

TEST_F(ASFServerTest, PowerIndicationFollowsThePolledStateOnlyWhenEnabled)
{
    struct tagCASE
    {
        BYTE state;
        int power;
    } cases[] = {{0, 1}, {3, 0}, {8, 1}, {9, 2}, {10, 0}, {11, 1}, {12, 0}, {13, 2}, {15, 2}};
    auto server = Make(1);
    ASSERT_TRUE(server->ConnectWith(Login()));
    EXPECT_TRUE(server->IsConnected());
    EXPECT_NE(server->GetConnectTime(), 0);
    EXPECT_EQ(server->GetPowerState(), 2) << "no state polled yet";
    for (const tagCASE& c : cases)
    {
        adapter.state = static_cast<BYTE>(0xF0 | c.state); // only the low nibble counts
        ASSERT_TRUE(server->Session().PollSystemState());
        EXPECT_EQ(server->GetPowerState(), c.power) << int(c.state);
        server->SetSettings({30, 0});
        EXPECT_EQ(server->GetPowerState(), 2) << int(c.state);
        server->SetSettings({30, 1});
    }
}

TEST_F(ASFServerTest, DisconnectAndFailedPowerOperation)
{
    auto server = Make(0);
    EXPECT_FALSE(server->Disconnect()) << "not connected";
    EXPECT_FALSE(server->StartPoll());
    ASSERT_TRUE(server->ConnectWith(Login()));
    adapter.silent = true;
    EXPECT_FALSE(server->Reset());
    EXPECT_TRUE(server->IsConnected()) << "the session is still established";
    EXPECT_TRUE(server->Disconnect());
    EXPECT_FALSE(server->IsConnected());
    EXPECT_FALSE(server->PowerCycle()) << "no dialog service: the login is cancelled";
    EXPECT_FALSE(server->IsConnected());
}
