// A whole RMCP+ session captured between FreeIPMI's ipmi-raw and ipmi_sim (cipher suite 3,
// see tests/data/ipmi_sim/freeipmi_suite3.txt): our setup checks must accept what the BMC
// sent, our RAKP Message 3 and every in-session packet must come out as FreeIPMI built
// them, and our integrity check and decryption must read both directions. Two independent
// implementations are the oracle here, not our own code.
#include "transport/LANPacket.h"
#include "transport/RakpMessages.h"

#include "tests/support/Hex.h"
#include "tests/support/Paths.h"
#include "transport/crypto/KAES.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace
{
struct tagCAPTURED
{
    bool fromConsole;
    std::vector<BYTE> bytes;
};

std::vector<tagCAPTURED> LoadCapture(const char* name)
{
    std::ifstream in(SourcePath(std::string("tests/data/ipmi_sim/") + name));
    std::vector<tagCAPTURED> out;
    for (std::string line; std::getline(in, line);)
    {
        if (line.size() > 2 && (line[0] == '>' || line[0] == '<'))
            out.push_back({line[0] == '>', FromHex(line.substr(2))});
    }
    return out;
}

std::vector<BYTE> Payload(const std::vector<BYTE>& packet)
{
    std::size_t length = packet[14] | packet[15] << 8;
    return std::vector<BYTE>(packet.begin() + 16, packet.begin() + 16 + length);
}

class SessionCaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        packets = LoadCapture("freeipmi_suite3.txt");
        ASSERT_EQ(packets.size(), 14u) << "capture file missing or changed";
    }
    std::vector<tagCAPTURED> packets;
};
} // namespace

TEST_F(SessionCaptureTest, SetupAgreesWithFreeIpmiAndIpmiSim)
{
    auto open = Payload(packets[2].bytes);
    auto rakp1 = Payload(packets[4].bytes);
    tagRAKP_STATE s;
    s.authAlgorithm = RAKP_HMAC_SHA1;
    s.tag = rakp1[0];
    s.privilege = rakp1[24]; // 14h: FreeIPMI asks for name-only lookup
    std::memcpy(&s.consoleSessionId, open.data() + 4, 4);
    std::memcpy(s.consoleRandom, rakp1.data() + 8, 16);
    s.userNameLength = rakp1[27];
    std::memcpy(s.userName, rakp1.data() + 28, s.userNameLength);
    std::memcpy(s.kuid, "vexa-admin-pw", 13);

    BYTE status = 0xEE;
    const char* reason = "";
    auto openResponse = Payload(packets[3].bytes);
    ASSERT_TRUE(
        CheckOpenSessionResponse(s, openResponse.data(), openResponse.size(), &status, &reason))
        << reason;
    BYTE rakp1Ours[64];
    std::size_t n = BuildRakp1(s, rakp1Ours, sizeof rakp1Ours);
    EXPECT_EQ(ToHex(rakp1Ours, n), ToHex(rakp1));

    auto rakp2 = Payload(packets[5].bytes);
    ASSERT_TRUE(CheckRakp2(s, rakp2.data(), rakp2.size(), &status, &reason)) << reason;
    DeriveSessionKeys(s);
    BYTE rakp3[64];
    s.tag = Payload(packets[6].bytes)[0];
    n = BuildRakp3(s, rakp3, sizeof rakp3);
    EXPECT_EQ(ToHex(rakp3, n), ToHex(Payload(packets[6].bytes)));
    auto rakp4 = Payload(packets[7].bytes);
    EXPECT_TRUE(CheckRakp4(s, rakp4.data(), rakp4.size(), &status, &reason)) << reason;

    // In-session packets, both directions: integrity, decryption, and rebuilding FreeIPMI's
    // requests byte for byte from their plaintext and IV.
    KAES aes(16, s.k2);
    tagRMCPPLUS_CRYPTO crypto;
    crypto.integrity = INTEGRITY_HMAC_SHA1_96;
    crypto.encrypt = TRUE;
    crypto.cipher = &aes;
    std::memcpy(crypto.k1, s.k1, 20);
    for (std::size_t i = 8; i < packets.size(); ++i)
    {
        const auto& packet = packets[i].bytes;
        BYTE message[400];
        ASSERT_TRUE(ExtractRmcpPlusMessage(packet.data(), packet.size(), &crypto, message,
                                           sizeof message, &reason))
            << "packet " << i << ": " << reason;
        std::size_t length = message[0] | message[1] << 8;
        if (i == 11)
        {
            EXPECT_EQ(ToHex(message + 2 + 5, 12), "01 00 00 03 09 08 02 9f 91 12 00 02")
                << "Get Device ID response";
        }
        if (!packets[i].fromConsole)
            continue;
        tagRMCPPLUS_FIELDS fields;
        std::memcpy(&fields.sessionId, packet.data() + 6, 4);
        std::memcpy(&fields.sequence, packet.data() + 10, 4);
        BYTE rebuilt[400];
        n = BuildRmcpPlusPacket(fields, message + 2, length, &crypto, packet.data() + 16, rebuilt,
                                sizeof rebuilt);
        EXPECT_EQ(ToHex(rebuilt, n), ToHex(packet)) << "packet " << i;
    }
}
