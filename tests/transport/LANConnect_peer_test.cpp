// Sessions against OpenIPMI's ipmi_sim on loopback (the project's own configuration in
// tests/peers/ipmi_sim), with ipmitool as a second opinion on what the BMC answered.
#include "transport/LANConnect.h"

#include "tests/support/FakeClock.h"
#include "tests/support/IpmiSim.h"
#include "transport/CommandTable.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

namespace
{
class LANConnectPeerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!CIpmiSim::Available())
            return;
        sim = new CIpmiSim();
        if (!sim->Start())
        {
            ADD_FAILURE() << "ipmi_sim did not start: " << sim->LastError();
            delete sim;
            sim = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete sim; // stops the peer by its process ID
        sim = nullptr;
    }
    void SetUp() override
    {
        if (!CIpmiSim::Available())
            GTEST_SKIP() << "ipmi_sim is not installed (./dev setup installs openipmi)";
        ASSERT_NE(sim, nullptr);
        env.messageBox = &boxes;
    }

    tagLAN_CONNECT_PARAM Param(const char* user, const char* password, BYTE algorithm, BOOL encrypt,
                               BYTE privilege = PRIVILEGE_ADMINISTRATOR)
    {
        tagLAN_CONNECT_PARAM p;
        EXPECT_TRUE(MakeConnectParam(p, user, password, algorithm, encrypt, privilege));
        return p;
    }

    static CIpmiSim* sim;
    CRecordingMessageBoxes boxes;
    tagTRANSPORT_ENV env;
};
CIpmiSim* LANConnectPeerTest::sim = nullptr;

std::string DeviceIdData(CLANConnect& connection)
{
    const BYTE request[] = {ROW_GET_DEVICE_ID};
    tagIPMI_REPLY reply;
    if (!connection.SendCommand(request, sizeof request, reply))
        return "no reply";
    std::string text;
    char b[4];
    std::snprintf(b, sizeof b, "%02x", reply.data[1]);
    text = b;
    for (int i = 2; i + 1 < reply.length; ++i)
    {
        std::snprintf(b, sizeof b, " %02x", reply.data[i]);
        text += b;
    }
    return text;
}

// What ipmitool prints for Get Device ID on the same BMC, as "00 xx xx ...".
std::string IpmitoolDeviceId(const CIpmiSim& sim)
{
    std::string command = "timeout 60 ipmitool -I lanplus -C 3 -H 127.0.0.1 -p " + std::to_string(sim.Port()) +
                          " -U " + IPMISIM_USER_ADMIN.name + " -P " + IPMISIM_USER_ADMIN.password +
                          " raw 6 1 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return "";
    std::string out;
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr)
        out += buffer.data();
    std::string compact;
    for (char c : out)
        if (c != '\n')
            compact += c;
    while (!compact.empty() && compact.front() == ' ')
        compact.erase(0, 1);
    return "00 " + compact;
}
} // namespace

TEST_F(LANConnectPeerTest, OpensEverySessionKindRunsACommandAndCloses)
{
    std::string reference = IpmitoolDeviceId(*sim);
    struct
    {
        BYTE algorithm;
        BOOL encrypt;
        BYTE integrity;
    } kinds[] = {
        {RAKP_HMAC_SHA1, FALSE, INTEGRITY_NONE},
        {RAKP_HMAC_SHA1, TRUE, INTEGRITY_HMAC_SHA1_96},
        {RAKP_HMAC_MD5, FALSE, INTEGRITY_NONE},
        {RAKP_HMAC_MD5, TRUE, INTEGRITY_MD5_128},
    };
    for (const auto& kind : kinds)
    {
        SCOPED_TRACE(std::string(kind.algorithm == RAKP_HMAC_MD5 ? "MD5" : "SHA1") +
                     (kind.encrypt ? " encrypted" : " plain"));
        CLANConnect connection(env);
        ASSERT_TRUE(connection.Connect(sim->Address(), sim->Port(),
                                       Param(IPMISIM_USER_ADMIN.name, IPMISIM_USER_ADMIN.password,
                                             kind.algorithm, kind.encrypt)))
            << connection.LastReason();
        EXPECT_EQ(connection.Version(), 2.0f);
        EXPECT_EQ(connection.Encrypted(), kind.encrypt);
        EXPECT_EQ(connection.Integrity(), kind.integrity);
        std::string ours = DeviceIdData(connection);
        EXPECT_EQ(ours.substr(0, 3), "00 ");
        if (!reference.empty() && reference != "00 ")
        {
            EXPECT_EQ(ours, reference) << "ipmitool read the same Get Device ID";
        }
        EXPECT_TRUE(connection.Disconnect()) << connection.LastReason();
        EXPECT_FALSE(connection.IsConnected());
        EXPECT_EQ(connection.Version(), 1.5f);
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(LANConnectPeerTest, EachPrivilegeAndPasswordLengthLogsIn)
{
    struct
    {
        const char* user;
        const char* password;
        BYTE privilege;
    } users[] = {
        {IPMISIM_USER_OPERATOR.name, IPMISIM_USER_OPERATOR.password, PRIVILEGE_OPERATOR},
        {IPMISIM_USER_USER.name, IPMISIM_USER_USER.password, PRIVILEGE_USER},
        {IPMISIM_USER_CALLBACK.name, IPMISIM_USER_CALLBACK.password, PRIVILEGE_CALLBACK},
        {IPMISIM_USER_ADMIN16.name, IPMISIM_USER_ADMIN16.password, PRIVILEGE_ADMINISTRATOR},
        {IPMISIM_USER_EMPTY.name, IPMISIM_USER_EMPTY.password, PRIVILEGE_ADMINISTRATOR},
    };
    for (const auto& u : users)
    {
        SCOPED_TRACE(u.user);
        CLANConnect connection(env);
        ASSERT_TRUE(
            connection.Connect(sim->Address(), sim->Port(),
                               Param(u.user, u.password, RAKP_HMAC_SHA1, FALSE, u.privilege)))
            << connection.LastReason();
        EXPECT_EQ(DeviceIdData(connection).substr(0, 2), "00");
        EXPECT_TRUE(connection.Disconnect());
    }
}

TEST_F(LANConnectPeerTest, WrongPasswordAndUnknownUserFailWithAReason)
{
    CLANConnect connection(env);
    EXPECT_FALSE(connection.Connect(
        sim->Address(), sim->Port(),
        Param(IPMISIM_USER_ADMIN.name, "not-the-password", RAKP_HMAC_SHA1, FALSE)));
    EXPECT_NE(std::string(connection.LastReason()).find("wrong password"), std::string::npos)
        << connection.LastReason();
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.Version(), 1.5f);

    EXPECT_FALSE(connection.Connect(sim->Address(), sim->Port(),
                                    Param("nobody", "x", RAKP_HMAC_MD5, FALSE)));
    EXPECT_NE(std::string(connection.LastReason()).find("unknown user"), std::string::npos)
        << connection.LastReason();
    EXPECT_TRUE(boxes.Shown().empty()) << "the BMC answered: no box";

    // The same object connects afterwards, from the probe on, with a new session.
    ASSERT_TRUE(connection.Connect(
        sim->Address(), sim->Port(),
        Param(IPMISIM_USER_ADMIN.name, IPMISIM_USER_ADMIN.password, RAKP_HMAC_SHA1, FALSE)));
    DWORD first = connection.Session().consoleSessionId;
    EXPECT_TRUE(connection.Disconnect());
    ASSERT_TRUE(connection.Connect(
        sim->Address(), sim->Port(),
        Param(IPMISIM_USER_ADMIN.name, IPMISIM_USER_ADMIN.password, RAKP_HMAC_SHA1, FALSE)));
    EXPECT_NE(connection.Session().consoleSessionId, first);
    EXPECT_TRUE(connection.Disconnect());
}

TEST(LANConnectSilentPeer, ProbesThreeTimesThenShowsTheConnectionFailedBox)
{
    // A real socket on loopback that never answers: each probe waits its 256 ms.
    CUdpSocket silent;
    ASSERT_TRUE(silent.Open(256));
    ASSERT_TRUE(silent.Bind(0x7F000001, 0));
    CFakeClock clock; // the pauses between attempts pass at once
    CRecordingMessageBoxes boxes;
    tagTRANSPORT_ENV env;
    env.clock = &clock;
    env.messageBox = &boxes;
    CLANConnect connection(env);
    tagLAN_CONNECT_PARAM p;
    ASSERT_TRUE(MakeConnectParam(p, "admin", "x", RAKP_HMAC_SHA1, FALSE, 4));
    EXPECT_FALSE(connection.Connect(0x7F000001, silent.LocalPort(), p));
    int probes = 0;
    BYTE buffer[512];
    while (silent.ReceiveFrom(buffer, sizeof buffer, 0).status == DatagramStatus::Ok)
        ++probes;
    EXPECT_EQ(probes, 3);
    auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Connection failed");
    EXPECT_EQ(shown[0].text, CONNECT_FAILED_TEXT);
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONERROR);
}
