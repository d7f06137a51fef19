#include "transport/crypto/Sha1.h"

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

std::string Digest(tagSHA1_CONTEXT* context)
{
    BYTE digest[20];
    Sha1Final(context, digest);
    return ToHex(digest, sizeof digest);
}

std::string Repeat(const std::string& s, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
    {
        out += s;
    }
    return out;
}

struct tagSHA1_VECTOR
{
    std::string message;
    const char* digest;
};
// FIPS 180-1 appendices A and B, the empty message, and RFC 3174 section 7.3 TEST4 (ten whole
// blocks, so the padding takes a block of its own).
const tagSHA1_VECTOR SHA1_SUITE[] = {
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {Repeat("0123456701234567012345670123456701234567012345670123456701234567", 10),
     "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
};

// Messages of n 'a' bytes around the padding boundaries (length mod 64 of 55, 56, 63, 0 and
// their neighbours), which the published vectors barely reach. Digests produced once with
// `head -c n /dev/zero | tr '\0' a | openssl dgst -sha1` (OpenSSL 3.0) and confirmed
// with Python's hashlib.
struct tagBOUNDARY_VECTOR
{
    std::size_t length;
    const char* digest;
};
const tagBOUNDARY_VECTOR BOUNDARY_SUITE[] = {
    {55, "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
    {56, "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
    {57, "f08f24908d682555111be7ff6f004e78283d989a"},
    {63, "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
    {64, "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    {65, "11655326c708d70319be2610e8a57d9a5b959d3b"},
    {119, "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
    {120, "f34c1488385346a55709ba056ddd08280dd4c6d6"},
    {127, "89d95fa32ed44a7c610b7ee38517ddf57e0bb975"},
    {128, "ad5b3fdbcb526778c2839d2f151ea753995e26a0"},
};
} // namespace

TEST(Sha1, MatchesPublishedVectors)
{
    for (const auto& v : SHA1_SUITE)
    {
        const std::string& message = v.message;
        tagSHA1_CONTEXT context;
        Sha1Init(&context);
        Sha1Update(&context, Bytes(message), message.size());
        EXPECT_EQ(Digest(&context), ToHex(FromHex(v.digest))) << '"' << message << '"';
    }
}

// The 56-byte vector of appendix B sits exactly on the padding boundary; every split of
// each vector tries the carried-over buffer at every fill level.
TEST(Sha1, GivesSameDigestForEverySplit)
{
    for (const auto& v : SHA1_SUITE)
    {
        const std::string& message = v.message;
        for (std::size_t split = 0; split <= message.size(); ++split)
        {
            tagSHA1_CONTEXT context;
            Sha1Init(&context);
            Sha1Update(&context, Bytes(message), split);
            Sha1Update(&context, Bytes(message) + split, message.size() - split);
            EXPECT_EQ(Digest(&context), ToHex(FromHex(v.digest)))
                << '"' << message << "\" split at " << split;
        }
    }
}

TEST(Sha1, UpdateWithLengthZeroChangesNothing)
{
    const std::string message = "abc";
    tagSHA1_CONTEXT context;
    Sha1Init(&context);
    Sha1Update(&context, nullptr, 0);
    Sha1Update(&context, Bytes(message), 1);
    Sha1Update(&context, Bytes(message) + 1, 0);
    Sha1Update(&context, Bytes(message) + 1, 2);
    Sha1Update(&context, nullptr, 0);
    EXPECT_EQ(Digest(&context), ToHex(FromHex("a9993e364706816aba3e25717850c26c9cd0d89d")));
}

// FIPS 180-1 appendix C, one million 'a', fed in chunk sizes straddling 55/56/63/64.
TEST(Sha1, MillionAInOddChunks)
{
    const std::size_t CHUNKS[] = {1, 55, 56, 57, 63, 64, 65, 127, 128, 129, 3, 1000};
    BYTE as[1000];
    std::memset(as, 'a', sizeof as);
    tagSHA1_CONTEXT context;
    Sha1Init(&context);
    std::size_t fed = 0;
    for (std::size_t i = 0; fed < 1000000; ++i)
    {
        std::size_t n = CHUNKS[i % std::size(CHUNKS)];
        n = n < 1000000 - fed ? n : 1000000 - fed;
        Sha1Update(&context, as, n);
        fed += n;
    }
    EXPECT_EQ(Digest(&context), ToHex(FromHex("34aa973cd4c4daa4f61eeb2bdbad27316534016f")));
}

// Whole, then one byte at a time so the buffer passes through every fill level.
TEST(Sha1, HandlesPaddingBoundaryLengthsWholeAndByteByByte)
{
    for (const auto& v : BOUNDARY_SUITE)
    {
        const std::string message(v.length, 'a');
        tagSHA1_CONTEXT whole;
        Sha1Init(&whole);
        Sha1Update(&whole, Bytes(message), message.size());
        EXPECT_EQ(Digest(&whole), ToHex(FromHex(v.digest))) << v.length << " bytes whole";

        tagSHA1_CONTEXT bytewise;
        Sha1Init(&bytewise);
        for (std::size_t i = 0; i < message.size(); ++i)
        {
            Sha1Update(&bytewise, Bytes(message) + i, 1);
        }
        EXPECT_EQ(Digest(&bytewise), ToHex(FromHex(v.digest))) << v.length << " bytes bytewise";
    }
}
