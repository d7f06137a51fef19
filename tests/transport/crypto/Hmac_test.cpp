#include "transport/crypto/Hmac.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<BYTE> Fill(BYTE value, std::size_t count)
{
    return std::vector<BYTE>(count, value);
}

std::vector<BYTE> Text(const std::string& s)
{
    return std::vector<BYTE>(s.begin(), s.end());
}

// first, first + 1, ... (RFC 2202 case 4, FIPS 198 appendix A keys)
std::vector<BYTE> Counting(BYTE first, std::size_t count)
{
    std::vector<BYTE> out;
    for (std::size_t i = 0; i < count; ++i)
    {
        out.push_back(static_cast<BYTE>(first + i));
    }
    return out;
}

struct tagHMAC_VECTOR
{
    const char* name;
    std::vector<BYTE> key;
    std::vector<BYTE> data;
    const char* digest;
};

const std::string LARGER_KEY = "Test Using Larger Than Block-Size Key - Hash Key First";
const std::string LARGER_KEY_AND_DATA =
    "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data";

// RFC 2202 section 2.
const tagHMAC_VECTOR HMAC_MD5_CASES[] = {
    {"RFC 2202 case 1", Fill(0x0b, 16), Text("Hi There"), "9294727a3638bb1c13f48ef8158bfc9d"},
    {"RFC 2202 case 2", Text("Jefe"), Text("what do ya want for nothing?"),
     "750c783e6ab0b503eaa86e310a5db738"},
    {"RFC 2202 case 3", Fill(0xaa, 16), Fill(0xdd, 50), "56be34521d144c88dbb8c733f0e8b3f6"},
    {"RFC 2202 case 4", Counting(0x01, 25), Fill(0xcd, 50), "697eaf0aca3a3aea3a75164746ffaa79"},
    {"RFC 2202 case 5", Fill(0x0c, 16), Text("Test With Truncation"),
     "56461ef2342edc00f9bab995690efd4c"},
    {"RFC 2202 case 6", Fill(0xaa, 80), Text(LARGER_KEY), "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
    {"RFC 2202 case 7", Fill(0xaa, 80), Text(LARGER_KEY_AND_DATA),
     "6f630fad67cda0ee1fb1f562db3aa53e"},
};

// RFC 2202 section 3, then the FIPS 198 examples.
const tagHMAC_VECTOR HMAC_SHA1_CASES[] = {
    {"RFC 2202 case 1", Fill(0x0b, 20), Text("Hi There"),
     "b617318655057264e28bc0b6fb378c8ef146be00"},
    {"RFC 2202 case 2", Text("Jefe"), Text("what do ya want for nothing?"),
     "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
    {"RFC 2202 case 3", Fill(0xaa, 20), Fill(0xdd, 50), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
    {"RFC 2202 case 4", Counting(0x01, 25), Fill(0xcd, 50),
     "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
    {"RFC 2202 case 5", Fill(0x0c, 20), Text("Test With Truncation"),
     "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
    {"RFC 2202 case 6", Fill(0xaa, 80), Text(LARGER_KEY),
     "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
    {"RFC 2202 case 7", Fill(0xaa, 80), Text(LARGER_KEY_AND_DATA),
     "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    // FIPS 198 appendix A: a key of exactly the block size, shorter, longer, and shorter again.
    {"FIPS 198 A.1", Counting(0x00, 64), Text("Sample #1"),
     "4f4ca3d5d68ba7cc0a1208c9c61e9c5da0403c0a"},
    {"FIPS 198 A.2", Counting(0x30, 20), Text("Sample #2"),
     "0922d3405faa3d194f82a45830737d5cc6c75d24"},
    {"FIPS 198 A.3", Counting(0x50, 100), Text("Sample #3"),
     "bcf41eab8bb2d802f3d05caf7cb092ecf8d1a3aa"},
    {"FIPS 198 A.4", Counting(0x70, 49), Text("Sample #4"),
     "9ea886efe268dbecce420c7524df32e0751a2a26"},
};
} // namespace

TEST(Hmac, Md5MatchesRfc2202)
{
    for (const auto& v : HMAC_MD5_CASES)
    {
        BYTE out[16];
        HmacMd5(v.data.data(), v.data.size(), v.key.data(), v.key.size(), out);
        EXPECT_EQ(ToHex(out, sizeof out), ToHex(FromHex(v.digest))) << v.name;
    }
}

TEST(Hmac, Sha1MatchesRfc2202AndFips198)
{
    for (const auto& v : HMAC_SHA1_CASES)
    {
        BYTE out[20];
        HmacSha1(v.data.data(), v.data.size(), v.key.data(), v.key.size(), out);
        EXPECT_EQ(ToHex(out, sizeof out), ToHex(FromHex(v.digest))) << v.name;
    }
}

// Checked against the leading bytes of each published full code (RFC 2202 case 5 also lists
// its 96-bit truncation); the byte after the twelfth must be left alone.
TEST(Hmac, Sha1_96IsTheFirstTwelveBytes)
{
    for (const auto& v : HMAC_SHA1_CASES)
    {
        BYTE out[13];
        out[12] = 0xa5;
        HmacSha1_96(v.data.data(), v.data.size(), v.key.data(), v.key.size(), out);
        EXPECT_EQ(ToHex(out, 12), ToHex(FromHex(v.digest).data(), 12)) << v.name;
        EXPECT_EQ(out[12], 0xa5) << v.name;
    }
}
