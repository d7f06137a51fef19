#include "transport/crypto/Md5.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
const BYTE* Bytes(const std::string& s)
{
    return reinterpret_cast<const BYTE*>(s.data());
}

std::string Digest(tagMD5_CONTEXT* context)
{
    BYTE digest[16];
    Md5Final(digest, context);
    return ToHex(digest, sizeof digest);
}

// RFC 1321, appendix A.5.
struct tagMD5_VECTOR
{
    const char* message;
    const char* digest;
};
const tagMD5_VECTOR RFC1321_SUITE[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// Messages of n 'a' bytes around the padding boundaries (length mod 64 of 55, 56, 63, 0 and
// their neighbours), which the published vectors barely reach. Digests produced once with
// `head -c n /dev/zero | tr '\0' a | openssl dgst -md5` (OpenSSL 3.0) and confirmed
// with Python's hashlib.
struct tagBOUNDARY_VECTOR
{
    std::size_t length;
    const char* digest;
};
const tagBOUNDARY_VECTOR BOUNDARY_SUITE[] = {
    {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
    {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
    {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
    {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
    {127, "020406e1d05cdc2aa287641f7ae2cc39"}, {128, "e510683b3f5ffe4093d021808bc6ff70"},
};
} // namespace

TEST(Md5, MatchesRfc1321TestSuite)
{
    for (const auto& v : RFC1321_SUITE)
    {
        const std::string message = v.message;
        tagMD5_CONTEXT context;
        Md5Init(&context);
        Md5Update(&context, Bytes(message), message.size());
        EXPECT_EQ(Digest(&context), ToHex(FromHex(v.digest))) << '"' << message << '"';
    }
}

// Every split of each vector into a head and a tail, so the carried-over buffer is tried
// at every fill level, including the 55/56 padding boundary of the 62- and 80-byte ones.
TEST(Md5, GivesSameDigestForEverySplit)
{
    for (const auto& v : RFC1321_SUITE)
    {
        const std::string message = v.message;
        for (std::size_t split = 0; split <= message.size(); ++split)
        {
            tagMD5_CONTEXT context;
            Md5Init(&context);
            Md5Update(&context, Bytes(message), split);
            Md5Update(&context, Bytes(message) + split, message.size() - split);
            EXPECT_EQ(Digest(&context), ToHex(FromHex(v.digest)))
                << '"' << message << "\" split at " << split;
        }
    }
}

TEST(Md5, UpdateWithLengthZeroChangesNothing)
{
    const std::string message = "message digest";
    tagMD5_CONTEXT context;
    Md5Init(&context);
    Md5Update(&context, nullptr, 0);
    Md5Update(&context, Bytes(message), 5);
    Md5Update(&context, Bytes(message) + 5, 0);
    Md5Update(&context, Bytes(message) + 5, message.size() - 5);
    Md5Update(&context, nullptr, 0);
    EXPECT_EQ(Digest(&context), ToHex(FromHex("f96b697d7cb7938d525a2f31aaf161d0")));
}

// One million 'a' (the long-message vector also used for SHA-1 in FIPS 180-1), fed in
// chunk sizes that straddle 55/56/63/64 and multiple blocks.
TEST(Md5, MillionAInOddChunks)
{
    const std::size_t CHUNKS[] = {1, 55, 56, 57, 63, 64, 65, 127, 128, 129, 3, 1000};
    BYTE as[1000];
    std::memset(as, 'a', sizeof as);
    tagMD5_CONTEXT context;
    Md5Init(&context);
    std::size_t fed = 0;
    for (std::size_t i = 0; fed < 1000000; ++i)
    {
        std::size_t n = CHUNKS[i % std::size(CHUNKS)];
        n = n < 1000000 - fed ? n : 1000000 - fed;
        Md5Update(&context, as, n);
        fed += n;
    }
    EXPECT_EQ(Digest(&context), ToHex(FromHex("7707d6ae4e027c70eea2a935c2296f21")));
}

// Whole, then one byte at a time so the buffer passes through every fill level.
TEST(Md5, HandlesPaddingBoundaryLengthsWholeAndByteByByte)
{
    for (const auto& v : BOUNDARY_SUITE)
    {
        const std::string message(v.length, 'a');
        tagMD5_CONTEXT whole;
        Md5Init(&whole);
        Md5Update(&whole, Bytes(message), message.size());
        EXPECT_EQ(Digest(&whole), ToHex(FromHex(v.digest))) << v.length << " bytes whole";

        tagMD5_CONTEXT bytewise;
        Md5Init(&bytewise);
        for (std::size_t i = 0; i < message.size(); ++i)
        {
            Md5Update(&bytewise, Bytes(message) + i, 1);
        }
        EXPECT_EQ(Digest(&bytewise), ToHex(FromHex(v.digest))) << v.length << " bytes bytewise";
    }
}
