#include "transport/crypto/Secure.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct tagEQUAL_CASE
{
    const char* name;
    const char* a;
    const char* b;
    BOOL equal;
};

const tagEQUAL_CASE EQUAL_CASES[] = {
    {"equal", "00 11 22 33 44 55 66 77 88 99 aa bb", "00 11 22 33 44 55 66 77 88 99 aa bb", TRUE},
    {"both empty", "", "", TRUE},
    {"differ at first byte", "01 11 22 33 44 55 66 77 88 99 aa bb",
     "00 11 22 33 44 55 66 77 88 99 aa bb", FALSE},
    {"differ at last byte", "00 11 22 33 44 55 66 77 88 99 aa bb",
     "00 11 22 33 44 55 66 77 88 99 aa 3b", FALSE},
    {"differ in every bit of one byte", "00 ff", "00 00", FALSE},
    {"a is a prefix of b", "00 11 22 33", "00 11 22 33 44", FALSE},
    {"b is a prefix of a", "00 11 22 33 44", "00 11 22 33", FALSE},
    {"empty against non-empty", "", "00", FALSE},
};
} // namespace

TEST(Secure, ConstantTimeEqualComparesLengthAndEveryByte)
{
    for (const auto& c : EQUAL_CASES)
    {
        const std::vector<BYTE> a = FromHex(c.a);
        const std::vector<BYTE> b = FromHex(c.b);
        EXPECT_EQ(ConstantTimeEqual(a.data(), a.size(), b.data(), b.size()), c.equal) << c.name;
    }
}

TEST(Secure, SecureZeroClearsExactlyTheSpan)
{
    std::vector<BYTE> buffer(32, 0x5a);
    SecureZero(buffer.data() + 4, 24);
    EXPECT_EQ(ToHex(buffer), ToHex(FromHex("5a5a5a5a" + std::string(48, '0') + "5a5a5a5a")));
}
