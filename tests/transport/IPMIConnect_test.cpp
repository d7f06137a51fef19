// The request engine over a scripted network: matching, the stash, the source filter and
// the exchange lock. The connection stays in IPMI v1.5 framing (no session).
#include "transport/ComConnect.h"
#include "transport/LANConnect.h"

#include "tests/support/FakeClock.h"
#include "tests/support/FakeDatagramSocket.h"
#include "tests/support/FixedRandom.h"
#include "tests/support/Hex.h"
#include "transport/CommandTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

namespace
{
constexpr DWORD kBmc = 0x7F000002; // 127.0.0.2
constexpr WORD kPort = 6230;

// A v1.5 reply datagram for a row's response with one data byte.
std::vector<BYTE> ReplyFor(BYTE row, BYTE data = 0x55)
{
    const tagIPMI_COMMAND* c = IpmiCommandRow(row);
    std::vector<BYTE> message = {
        0x81, static_cast<BYTE>((c->netFn + 1) << 2), 0, 0x20, 0, c->command, 0x00, data, 0};
    std::vector<BYTE> packet = FromHex("06 00 ff 07 00 00 00 00 00 00 00 00 00");
    packet.push_back(static_cast<BYTE>(message.size()));
    packet.insert(packet.end(), message.begin(), message.end());
    return packet;
}

class IPMIConnectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tagTRANSPORT_ENV env;
        env.clock = &clock;
        env.random = &random;
        env.sockets = net.Factory();
        connection = std::make_unique<CLANConnect>(env);
        ASSERT_TRUE(connection->Port().SetAddress(kPort, kBmc));
        ASSERT_TRUE(connection->Port().Open());
    }
    BOOL Send(BYTE row, tagIPMI_REPLY& reply)
    {
        BYTE request[8] = {row};
        return connection->SendCommand(request, 1 + IpmiCommandRow(row)->dataLength, reply);
    }

    CFakeClock clock;
    CFixedRandom random;
    CFakeNetwork net;
    std::unique_ptr<CLANConnect> connection;
};
} // namespace

TEST_F(IPMIConnectTest, SendsOneDatagramAndReturnsTheMatchingReply)
{
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID, 0x42), kBmc, kPort);
    tagIPMI_REPLY reply;
    ASSERT_TRUE(Send(ROW_GET_DEVICE_ID, reply));
    EXPECT_EQ(ToHex(reply.data, reply.length), "06 00 42 00");
    ASSERT_EQ(net.Sent().size(), 1u);
    EXPECT_EQ(ToHex(net.Sent()[0]),
              "06 00 ff 07 00 00 00 00 00 00 00 00 00 07 20 18 c8 81 00 01 7e");
    EXPECT_EQ(net.lastAddress, kBmc);
    EXPECT_EQ(net.lastPort, kPort);
}

TEST_F(IPMIConnectTest, IgnoresRepliesFromAnotherAddressOrPort)
{
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID, 0x01), kBmc, kPort + 1);
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID, 0x02), kBmc + 1, kPort);
    net.QueueStatus(DatagramStatus::Refused); // ICMP unreachable does not end the wait
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID, 0x03), kBmc, kPort);
    tagIPMI_REPLY reply;
    ASSERT_TRUE(Send(ROW_GET_DEVICE_ID, reply));
    EXPECT_EQ(reply.data[2], 0x03);

    net.Queue(ReplyFor(ROW_GET_DEVICE_ID), kBmc + 1, kPort);
    EXPECT_FALSE(Send(ROW_GET_DEVICE_ID, reply)) << "a foreign reply alone is no reply";
}

TEST_F(IPMIConnectTest, StrayReplyIsStashedAndHandedToItsOwnCommand)
{
    // A late reply to Get Chassis Status arrives before Get Device ID's own.
    net.Queue(ReplyFor(ROW_GET_CHASSIS_STATUS, 0x77), kBmc, kPort);
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID, 0x42), kBmc, kPort);
    tagIPMI_REPLY reply;
    ASSERT_TRUE(Send(ROW_GET_DEVICE_ID, reply));
    EXPECT_EQ(reply.data[2], 0x42);

    int receives = net.Receives();
    ASSERT_TRUE(Send(ROW_GET_CHASSIS_STATUS, reply));
    EXPECT_EQ(reply.data[0], ROW_GET_CHASSIS_STATUS);
    EXPECT_EQ(reply.data[2], 0x77);
    EXPECT_EQ(net.Receives(), receives) << "taken from the stash without a receive";
    EXPECT_EQ(net.Sent().size(), 2u) << "the command is still sent";
}

TEST_F(IPMIConnectTest, TwoStrayRepliesFailTheCommandAndBothAreKept)
{
    net.Queue(ReplyFor(ROW_GET_SEL_INFO), kBmc, kPort);
    net.Queue(ReplyFor(ROW_GET_SDR_REPOSITORY_INFO), kBmc, kPort);
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID), kBmc, kPort); // never read by this command
    tagIPMI_REPLY reply;
    EXPECT_FALSE(Send(ROW_GET_DEVICE_ID, reply));
    EXPECT_EQ(net.Pending(), 1u) << "at most two datagrams are read per command";
    EXPECT_TRUE(Send(ROW_GET_SEL_INFO, reply));
    EXPECT_TRUE(Send(ROW_GET_SDR_REPOSITORY_INFO, reply));
}

TEST_F(IPMIConnectTest, SixthStrayReplyOverwritesTheOldestSlot)
{
    const BYTE strays[] = {ROW_GET_SEL_INFO,    ROW_GET_SDR_REPOSITORY_INFO,
                           ROW_RESERVE_SEL,     ROW_RESERVE_SDR_REPOSITORY,
                           ROW_GET_DEVICE_GUID, ROW_GET_SEL_TIME};
    tagIPMI_REPLY reply;
    for (BYTE row : strays)
    {
        net.Queue(ReplyFor(row), kBmc, kPort);
        EXPECT_FALSE(Send(ROW_GET_DEVICE_ID, reply));
    }
    int receives = net.Receives();
    EXPECT_FALSE(Send(ROW_GET_SEL_INFO, reply)) << "the first stray was overwritten";
    EXPECT_GT(net.Receives(), receives);
    for (BYTE row : {ROW_GET_SDR_REPOSITORY_INFO, ROW_GET_SEL_TIME})
        EXPECT_TRUE(Send(row, reply)) << int(row);
}

TEST_F(IPMIConnectTest, GivesUpWhenTheExchangeLockIsNotFree)
{
    std::mutex m;
    std::condition_variable cv;
    bool held = false, release = false;
    std::thread holder(
        [&]
        {
            std::lock_guard<std::timed_mutex> lock(connection->ExchangeLock());
            std::unique_lock<std::mutex> lk(m);
            held = true;
            cv.notify_all();
            cv.wait_for(lk, std::chrono::seconds(10), [&] { return release; });
        });
    {
        std::unique_lock<std::mutex> lk(m);
        ASSERT_TRUE(cv.wait_for(lk, std::chrono::seconds(10), [&] { return held; }));
    }
    connection->SetExchangeLockWait(20);
    net.Queue(ReplyFor(ROW_GET_DEVICE_ID), kBmc, kPort);
    tagIPMI_REPLY reply;
    EXPECT_FALSE(Send(ROW_GET_DEVICE_ID, reply));
    EXPECT_TRUE(net.Sent().empty()) << "nothing is sent without the lock";
    {
        std::lock_guard<std::mutex> lk(m);
        release = true;
    }
    cv.notify_all();
    holder.join();
    EXPECT_TRUE(Send(ROW_GET_DEVICE_ID, reply));
}

TEST(ComConnect, EveryCommandEndsWithoutAReply)
{
    CComConnect com;
    tagLAN_CONNECT_PARAM param{};
    EXPECT_TRUE(com.Connect(0, 0, param));
    const BYTE request[] = {ROW_GET_DEVICE_ID};
    tagIPMI_REPLY reply;
    EXPECT_FALSE(com.SendCommand(request, sizeof request, reply));
    EXPECT_TRUE(com.Disconnect());
}
