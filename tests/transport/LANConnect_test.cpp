// Connect's probe and setup branches that a real BMC will not produce on demand, over a
// scripted network.
#include "transport/LANConnect.h"

#include "tests/support/FakeClock.h"
#include "tests/support/FakeDatagramSocket.h"
#include "tests/support/FixedRandom.h"
#include "tests/support/Hex.h"

#include <gtest/gtest.h>

namespace
{
constexpr DWORD kBmc = 0x7F000003;
constexpr WORD kPort = 6231;

std::vector<BYTE> ProbeReply(BYTE completionCode)
{
    std::vector<BYTE> packet = FromHex("06 00 ff 07 00 00 00 00 00 00 00 00 00 10 "
                                       "81 1c 63 20 00 38 00 01 80 04 02 00 00 00 00 00");
    packet[20] = completionCode;
    return packet;
}

class LANConnectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env.clock = &clock;
        env.random = &random;
        env.messageBox = &boxes;
        env.sockets = net.Factory();
        ASSERT_TRUE(MakeConnectParam(param, "admin", "secret", RAKP_HMAC_SHA1, FALSE,
                                     PRIVILEGE_ADMINISTRATOR));
    }

    CFakeClock clock;
    CFixedRandom random;
    CRecordingMessageBoxes boxes;
    CFakeNetwork net;
    tagTRANSPORT_ENV env;
    tagLAN_CONNECT_PARAM param;
};
} // namespace

TEST_F(LANConnectTest, SilentBmcIsProbedThreeTimesThenTheBoxIsShown)
{
    CLANConnect connection(env);
    EXPECT_FALSE(connection.Connect(kBmc, kPort, param));
    EXPECT_EQ(net.Sent().size(), 3u);
    EXPECT_EQ(clock.Sleeps(), (std::vector<DWORD>{1000, 1000}));
    auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Connection failed");
    EXPECT_EQ(shown[0].text.substr(0, 43), "Fail to connect to the destination server.\n");
    EXPECT_NE(shown[0].text.find("7. Can you find the destination host's IP address"),
              std::string::npos);
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONERROR);
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.Version(), 1.5f);
}

TEST_F(LANConnectTest, ProbeErrorFailsAtOnceWithoutBoxOrSetup)
{
    net.SetResponder([](const std::vector<BYTE>&, CFakeNetwork& n)
                     { n.Queue(ProbeReply(0xC1), kBmc, kPort); });
    CLANConnect connection(env);
    EXPECT_FALSE(connection.Connect(kBmc, kPort, param));
    EXPECT_EQ(net.Sent().size(), 1u);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(LANConnectTest, RefusedEncryptionIsProposedAgainWithIntegrity)
{
    param.encryptPayload = 1;
    std::vector<BYTE> integrityProposals;
    net.SetResponder(
        [&](const std::vector<BYTE>& sent, CFakeNetwork& n)
        {
            if (sent[4] == 0x00)
            {
                n.Queue(ProbeReply(0x00), kBmc, kPort);
                return;
            }
            if (sent[5] == PAYLOAD_TYPE_OPEN_SESSION_REQUEST)
            {
                integrityProposals.push_back(sent[16 + 20]);
                // No cipher suite match, with non-zero reserved bytes.
                n.Queue(FromHex("06 00 ff 07 06 11 00 00 00 00 00 00 00 00 08 00 "
                                "00 11 ff ff 00 00 00 00"),
                        kBmc, kPort);
            }
        });
    CLANConnect connection(env);
    EXPECT_FALSE(connection.Connect(kBmc, kPort, param));
    // Three setup attempts, each: none proposed first, HMAC-SHA1-96 after the refusal.
    ASSERT_GE(integrityProposals.size(), 2u);
    EXPECT_EQ(integrityProposals[0], INTEGRITY_NONE);
    EXPECT_EQ(integrityProposals[1], INTEGRITY_HMAC_SHA1_96);
    EXPECT_EQ(clock.Sleeps(), (std::vector<DWORD>{300, 300}));
    EXPECT_STREQ(connection.LastReason(), "BMC refused the algorithms (no cipher suite match)");
}

TEST_F(LANConnectTest, RefusesBadAddressesAndOverlongCredentials)
{
    CLANConnect connection(env);
    EXPECT_FALSE(connection.Connect(0xFFFFFFFF, kPort, param));
    EXPECT_TRUE(net.Sent().empty());
    tagLAN_CONNECT_PARAM p;
    EXPECT_FALSE(MakeConnectParam(p, "a-name-of-17-char", "", RAKP_HMAC_SHA1, FALSE, 4));
    EXPECT_TRUE(
        MakeConnectParam(p, "sixteen-chars-ok", "0123456789abcdef", RAKP_HMAC_MD5, FALSE, 4));
}
