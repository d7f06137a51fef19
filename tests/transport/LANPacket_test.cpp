// Framing goldens. The AES-CBC ciphertexts were computed with `openssl enc -aes-128-cbc
// -nopad` and the AuthCodes with `openssl dgst -sha1 -hmac` and `md5sum` over the same bytes.
#include "transport/LANPacket.h"

#include "tests/support/Hex.h"
#include "transport/crypto/KAES.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
const BYTE kKey[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const std::vector<BYTE> kIv = FromHex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
const std::vector<BYTE> kGetDeviceIdSeq5 = FromHex("20 18 c8 81 14 01 6a");

tagRMCPPLUS_FIELDS Fields()
{
    tagRMCPPLUS_FIELDS f;
    f.sessionId = 0x11223344;
    f.sequence = 5;
    return f;
}

std::string BuildPlus(const std::vector<BYTE>& payload, const tagRMCPPLUS_CRYPTO* crypto)
{
    BYTE out[400];
    std::size_t n = BuildRmcpPlusPacket(Fields(), payload.data(), payload.size(), crypto,
                                        kIv.data(), out, sizeof out);
    return ToHex(out, n);
}

std::vector<BYTE> Text(const char* s)
{
    return std::vector<BYTE>(s, s + std::strlen(s));
}
} // namespace

TEST(LANPacket, BuildsV15AndPlainRmcpPlusPackets)
{
    auto message = FromHex("07 20 18 c8 81 00 01 7e");
    BYTE out[64];
    std::size_t n = BuildV15Packet(message.data(), out, sizeof out);
    EXPECT_EQ(ToHex(out, n), "06 00 ff 07 00 00 00 00 00 00 00 00 00 07 "
                             "20 18 c8 81 00 01 7e");
    EXPECT_EQ(BuildPlus(kGetDeviceIdSeq5, nullptr),
              "06 00 ff 07 06 00 44 33 22 11 05 00 00 00 07 00 20 18 c8 81 14 01 6a");
}

TEST(LANPacket, EncryptsOneAndTwoBlocksWithTheStandardPad)
{
    KAES aes(16, kKey);
    tagRMCPPLUS_CRYPTO crypto;
    crypto.encrypt = TRUE;
    crypto.cipher = &aes;
    // 15 bytes fill one block with N = 0.
    EXPECT_EQ(BuildPlus(Text("0123456789abcde"), &crypto),
              "06 00 ff 07 06 80 44 33 22 11 05 00 00 00 20 00 " + ToHex(kIv) + " " +
                  ToHex(FromHex("222cb208c47a28c5cd07cad6330f1664")));
    // 16 bytes need two blocks with N = 15.
    EXPECT_EQ(BuildPlus(Text("0123456789abcdef"), &crypto),
              "06 00 ff 07 06 80 44 33 22 11 05 00 00 00 30 00 " + ToHex(kIv) + " " +
                  ToHex(FromHex("c38f66b3f2c34ae2d9fe685a2542dd8b"
                                "fabd38bb74513a364b7fc3302fe10176")));
}

TEST(LANPacket, AddsAndChecksTheIntegrityTrailer)
{
    tagRMCPPLUS_CRYPTO sha;
    sha.integrity = INTEGRITY_HMAC_SHA1_96;
    std::memset(sha.k1, 0x0b, sizeof sha.k1);
    std::string packet = BuildPlus(kGetDeviceIdSeq5, &sha);
    EXPECT_EQ(packet, "06 00 ff 07 06 40 44 33 22 11 05 00 00 00 07 00 20 18 c8 81 14 01 6a "
                      "ff ff ff 03 07 46 43 b2 3d b7 8d 7d 36 68 17 69 63");

    tagRMCPPLUS_CRYPTO md5;
    md5.integrity = INTEGRITY_MD5_128;
    std::memcpy(md5.kuid, "aaaaaaaa", 8);
    EXPECT_EQ(BuildPlus(kGetDeviceIdSeq5, &md5),
              "06 00 ff 07 06 40 44 33 22 11 05 00 00 00 07 00 20 18 c8 81 14 01 6a "
              "ff ff ff 03 07 45 58 a5 bf 6d a6 f5 7c ae a2 0d 08 0e de 96 1c");

    auto bytes = FromHex(packet);
    BYTE out[400];
    const char* reason = "";
    ASSERT_TRUE(ExtractRmcpPlusMessage(bytes.data(), bytes.size(), &sha, out, sizeof out, &reason))
        << reason;
    EXPECT_EQ(ToHex(out, 9), "07 00 20 18 c8 81 14 01 6a");
    bytes[20] ^= 1; // any covered byte
    EXPECT_FALSE(
        ExtractRmcpPlusMessage(bytes.data(), bytes.size(), &sha, out, sizeof out, &reason));
    EXPECT_STREQ(reason, "integrity AuthCode mismatch");
}

TEST(LANPacket, RefusesMalformedPacketsWithTheCheckThatFailed)
{
    tagRMCPPLUS_CRYPTO sha;
    sha.integrity = INTEGRITY_HMAC_SHA1_96;
    std::memset(sha.k1, 0x0b, sizeof sha.k1);
    const std::string good = "06 00 ff 07 06 40 44 33 22 11 05 00 00 00 07 00 "
                             "20 18 c8 81 14 01 6a ff ff ff 03 07 "
                             "46 43 b2 3d b7 8d 7d 36 68 17 69 63";
    struct
    {
        const char* name;
        std::string hex;
        const tagRMCPPLUS_CRYPTO* crypto;
        const char* reason;
    } cases[] = {
        {"ASF class", "06 00 ff 06 06 00 00 00 00 00 00 00 00 00 00 00", nullptr,
         "not an RMCP IPMI-class packet"},
        {"short header", "06 00 ff 07 06 00 00 00", nullptr, "RMCP+ header truncated"},
        {"v1.5 auth type", "06 00 ff 07 00 00 00 00 00 00 00 00 00 00 00 00", nullptr,
         "not an RMCP+ packet"},
        {"payload beyond datagram", "06 00 ff 07 06 00 00 00 00 00 00 00 00 00 09 00 20 18",
         nullptr, "payload length beyond the datagram"},
        {"unauthenticated in integrity session",
         "06 00 ff 07 06 00 44 33 22 11 05 00 00 00 07 00 20 18 c8 81 14 01 6a ff ff ff 03 07 "
         "46 43 b2 3d b7 8d 7d 36 68 17 69 63",
         &sha, "packet not authenticated in an integrity session"},
        {"trailer cut", good.substr(0, good.size() - 6), &sha, "integrity pad length inconsistent"},
        {"bad next header",
         "06 00 ff 07 06 40 44 33 22 11 05 00 00 00 07 00 20 18 c8 81 14 01 6a ff ff ff 03 08 "
         "46 43 b2 3d b7 8d 7d 36 68 17 69 63",
         &sha, "bad next header in integrity trailer"},
    };
    for (const auto& c : cases)
    {
        auto bytes = FromHex(c.hex);
        BYTE out[400];
        const char* reason = "";
        EXPECT_FALSE(
            ExtractRmcpPlusMessage(bytes.data(), bytes.size(), c.crypto, out, sizeof out, &reason))
            << c.name;
        EXPECT_STREQ(reason, c.reason) << c.name;
    }

    BYTE out[400];
    const char* reason = "";
    auto v15Cut = FromHex("06 00 ff 07 00 00 00 00 00 00 00 00 00 10 20 18 c8");
    EXPECT_FALSE(ExtractV15Message(v15Cut.data(), v15Cut.size(), out, sizeof out, &reason));
    EXPECT_STREQ(reason, "v1.5 message length beyond the datagram");
    auto v15 = FromHex("06 00 ff 07 00 00 00 00 00 00 00 00 00 03 81 1c 63 ee");
    ASSERT_TRUE(ExtractV15Message(v15.data(), v15.size(), out, sizeof out, &reason));
    EXPECT_EQ(ToHex(out, 4), "03 81 1c 63");
}

TEST(LANPacket, DecryptionRoundTripsAndRefusesBadPads)
{
    KAES aes(16, kKey);
    for (std::size_t length : {0u, 1u, 14u, 15u, 16u, 17u, 31u, 200u})
    {
        std::vector<BYTE> message(length);
        for (std::size_t i = 0; i < length; ++i)
            message[i] = static_cast<BYTE>(i * 7);
        BYTE payload[400];
        std::size_t n =
            EncryptPayload(message.data(), length, aes, kIv.data(), payload, sizeof payload);
        ASSERT_EQ((n - 16) % 16, 0u);
        BYTE plain[400];
        const char* reason = "";
        long got = DecryptPayload(payload, n, aes, plain, sizeof plain, &reason);
        ASSERT_EQ(got, static_cast<long>(length)) << reason;
        EXPECT_EQ(ToHex(plain, length), ToHex(message)) << length;
    }

    // A pad length byte of 16 or more, or wrong pad bytes, is refused, not underflowed.
    BYTE block[32];
    std::memcpy(block, kIv.data(), 16);
    BYTE plain[16] = {};
    plain[15] = 0x20;
    for (int i = 0; i < 16; ++i)
        block[16 + i] = static_cast<BYTE>(plain[i] ^ kIv[i]);
    aes.Encrypt(block + 16, block + 16);
    BYTE out[32];
    const char* reason = "";
    EXPECT_EQ(DecryptPayload(block, sizeof block, aes, out, sizeof out, &reason), -1);
    EXPECT_STREQ(reason, "confidentiality pad length out of range");
    EXPECT_EQ(DecryptPayload(block, 16, aes, out, sizeof out, &reason), -1);
    EXPECT_EQ(DecryptPayload(block, 24, aes, out, sizeof out, &reason), -1);
}
