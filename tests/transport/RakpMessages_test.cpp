// Session-setup messages with fixed inputs. The expected codes and keys were computed
// independently with `openssl dgst -hmac` over the same field concatenations.
#include "transport/RakpMessages.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
tagRAKP_STATE FixedState(BYTE algorithm)
{
    tagRAKP_STATE s;
    s.authAlgorithm = algorithm;
    s.privilege = PRIVILEGE_ADMINISTRATOR;
    s.tag = 0x2A;
    s.consoleSessionId = 0x34120000; // on the wire: 00 00 12 34
    s.bmcSessionId = 0x0D0C0B0A;     // on the wire: 0a 0b 0c 0d
    for (int i = 0; i < 16; ++i)
        s.consoleRandom[i] = static_cast<BYTE>(0x10 + i);
    std::memcpy(s.userName, "admin", 5);
    s.userNameLength = 5;
    std::memcpy(s.kuid, "secret", 6);
    return s;
}

std::vector<BYTE> Rakp2(const std::string& code, BYTE status = 0)
{
    std::string hex = "2a 00 00 00  00 00 12 34";
    for (int i = 0x20; i < 0x40; ++i) // Rc 20..2f, GUIDc 30..3f
    {
        char b[4];
        std::snprintf(b, sizeof b, "%02x ", i);
        hex += b;
    }
    std::vector<BYTE> bytes = FromHex(hex + code);
    bytes[1] = status;
    return bytes;
}
} // namespace

TEST(RakpMessages, BuildsOpenSessionRequestAndRakp1ByteForByte)
{
    tagRAKP_STATE s = FixedState(RAKP_HMAC_SHA1);
    s.confidentiality = CONFIDENTIALITY_AES_CBC_128;
    BYTE out[64];
    std::size_t n = BuildOpenSessionRequest(s, out, sizeof out);
    EXPECT_EQ(ToHex(out, n), "2a 04 00 00 00 00 12 34 "
                             "00 00 00 08 01 00 00 00 "
                             "01 00 00 08 00 00 00 00 "
                             "02 00 00 08 01 00 00 00");
    n = BuildRakp1(s, out, sizeof out);
    EXPECT_EQ(ToHex(out, n), "2a 00 00 00 0a 0b 0c 0d "
                             "10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f "
                             "04 00 00 05 61 64 6d 69 6e");
    s.userNameLength = 0;
    EXPECT_EQ(BuildRakp1(s, out, sizeof out), 28u) << "an empty name sends 28 bytes";
}

TEST(RakpMessages, OpenSessionResponseChecksStatusAndEcho)
{
    tagRAKP_STATE s = FixedState(RAKP_HMAC_SHA1);
    BYTE status = 0;
    const char* reason = "";
    auto ok = FromHex("2a 00 04 00 00 00 12 34 0a 0b 0c 0d");
    ASSERT_TRUE(CheckOpenSessionResponse(s, ok.data(), ok.size(), &status, &reason));
    EXPECT_EQ(s.bmcSessionId, 0x0D0C0B0Au);

    // A refusal whose neighbouring and reserved bytes are not zero.
    auto refused = FromHex("2a 11 ff ff 00 00 12 34 0a 0b 0c 0d");
    EXPECT_FALSE(CheckOpenSessionResponse(s, refused.data(), refused.size(), &status, &reason));
    EXPECT_EQ(status, RMCPPLUS_STATUS_NO_CIPHER_SUITE_MATCH);
    auto other = FromHex("2a 00 00 00 00 00 99 99 0a 0b 0c 0d");
    EXPECT_FALSE(CheckOpenSessionResponse(s, other.data(), other.size(), &status, &reason));
    auto cut = FromHex("2a 00 00 00 00 00 12");
    EXPECT_FALSE(CheckOpenSessionResponse(s, cut.data(), cut.size(), &status, &reason));
}

TEST(RakpMessages, Rakp2AcceptsTheRightCodeOnly)
{
    BYTE status = 0;
    const char* reason = "";
    tagRAKP_STATE s = FixedState(RAKP_HMAC_SHA1);
    auto good = Rakp2("84 92 ca 23 4a 00 3d 6f b9 06 5c f0 16 48 ba 3f 39 0d 42 ba");
    ASSERT_TRUE(CheckRakp2(s, good.data(), good.size(), &status, &reason)) << reason;
    EXPECT_EQ(s.bmcRandom[0], 0x20);
    EXPECT_EQ(s.bmcGuid[15], 0x3F);

    auto bad = good;
    bad.back() ^= 1;
    EXPECT_FALSE(CheckRakp2(s, bad.data(), bad.size(), &status, &reason));
    auto truncated = good;
    truncated.resize(50);
    EXPECT_FALSE(CheckRakp2(s, truncated.data(), truncated.size(), &status, &reason));
    auto unknownUser = Rakp2("", RMCPPLUS_STATUS_UNAUTHORIZED_NAME);
    EXPECT_FALSE(CheckRakp2(s, unknownUser.data(), unknownUser.size(), &status, &reason));
    EXPECT_EQ(status, RMCPPLUS_STATUS_UNAUTHORIZED_NAME);

    // HMAC-MD5: 16-byte code, compared as if followed by four zero bytes.
    tagRAKP_STATE m = FixedState(RAKP_HMAC_MD5);
    auto md5 = Rakp2("f1 d1 1b b7 30 2a 0e 7c 61 fe e9 3d 0c e9 ac 77");
    EXPECT_TRUE(CheckRakp2(m, md5.data(), md5.size(), &status, &reason)) << reason;
    md5.push_back(0x01);
    EXPECT_FALSE(CheckRakp2(m, md5.data(), md5.size(), &status, &reason));
}

TEST(RakpMessages, DerivesKeysAndBuildsRakp3AndChecksRakp4)
{
    BYTE status = 0;
    const char* reason = "";
    tagRAKP_STATE s = FixedState(RAKP_HMAC_SHA1);
    auto rakp2 = Rakp2("84 92 ca 23 4a 00 3d 6f b9 06 5c f0 16 48 ba 3f 39 0d 42 ba");
    ASSERT_TRUE(CheckRakp2(s, rakp2.data(), rakp2.size(), &status, &reason));
    DeriveSessionKeys(s);
    EXPECT_EQ(ToHex(s.sik, 20), ToHex(FromHex("d4b3c4c0aa140e1b69ccefa6bc614fd447797699")));
    EXPECT_EQ(ToHex(s.k2, 20), ToHex(FromHex("1507599ef248651ed961ea2c5fda57f90b457c97")));

    BYTE out[64];
    std::size_t n = BuildRakp3(s, out, sizeof out);
    EXPECT_EQ(ToHex(out, n), "2a 00 00 00 0a 0b 0c 0d " +
                                 ToHex(FromHex("541f8f127870ac512775a7bfc1c17a068bdb98b2")));

    auto rakp4 = FromHex("2a 00 00 00 00 00 12 34 e6 32 5a 69 cf 94 2e 4a 0d 0c 86 24");
    EXPECT_TRUE(CheckRakp4(s, rakp4.data(), rakp4.size(), &status, &reason)) << reason;
    rakp4[10] ^= 0x80;
    EXPECT_FALSE(CheckRakp4(s, rakp4.data(), rakp4.size(), &status, &reason));

    // HMAC-MD5 keys are 16 bytes followed by four zeros, and key the next HMAC as 20.
    tagRAKP_STATE m = FixedState(RAKP_HMAC_MD5);
    std::memcpy(m.bmcRandom, s.bmcRandom, 16);
    DeriveSessionKeys(m);
    EXPECT_EQ(ToHex(m.sik, 20), ToHex(FromHex("fa82834724cd20318202cd6e8a770a47 00000000")));
    EXPECT_EQ(ToHex(m.k1, 20), ToHex(FromHex("ae42c3ee1004b694b21d068dc4cf5729 00000000")));
    EXPECT_EQ(BuildRakp3(m, out, sizeof out), 24u);
}
