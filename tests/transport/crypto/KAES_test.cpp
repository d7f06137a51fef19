#include "transport/crypto/KAES.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
struct tagAES_VECTOR
{
    const char* name;
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS-197 appendix C (example vectors).
const tagAES_VECTOR FIPS197_APPENDIX_C[] = {
    {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

// NIST SP 800-38A appendix F.2.1 (CBC-AES128.Encrypt) and F.2.2 (Decrypt).
const char* const CBC_KEY = "2b7e151628aed2a6abf7158809cf4f3c";
const char* const CBC_IV = "000102030405060708090a0b0c0d0e0f";
const char* const CBC_PLAIN = "6bc1bee22e409f96e93d7e117393172a"
                              "ae2d8a571e03ac9c9eb76fac45af8e51"
                              "30c81c46a35ce411e5fbc1191a0a52ef"
                              "f69f2445df4f9b17ad2b417be66c3710";
const char* const CBC_CIPHER = "7649abac8119b246cee98e9b12e9197d"
                               "5086cb9b507219ee95db113a917678b2"
                               "73bed6b8e3c1743b7116e69e22229516"
                               "3ff1caa1681fac09120eca307586e1a7";

std::string Hex(const BYTE block[16])
{
    return ToHex(block, 16);
}
} // namespace

TEST(KAES, MatchesFips197AppendixCBothWays)
{
    for (const auto& v : FIPS197_APPENDIX_C)
    {
        const std::vector<BYTE> key = FromHex(v.key);
        const std::vector<BYTE> plain = FromHex(v.plain);
        const std::vector<BYTE> cipher = FromHex(v.cipher);
        KAES aes(static_cast<int>(key.size()), key.data());
        BYTE out[16];
        aes.Encrypt(plain.data(), out);
        EXPECT_EQ(Hex(out), ToHex(cipher)) << v.name << " encrypt";
        aes.Decrypt(cipher.data(), out);
        EXPECT_EQ(Hex(out), ToHex(plain)) << v.name << " decrypt";
    }
}

TEST(KAES, WorksInPlace)
{
    for (const auto& v : FIPS197_APPENDIX_C)
    {
        const std::vector<BYTE> key = FromHex(v.key);
        KAES aes(static_cast<int>(key.size()), key.data());
        std::vector<BYTE> block = FromHex(v.plain);
        aes.Encrypt(block.data(), block.data());
        EXPECT_EQ(ToHex(block), ToHex(FromHex(v.cipher))) << v.name << " encrypt";
        aes.Decrypt(block.data(), block.data());
        EXPECT_EQ(ToHex(block), ToHex(FromHex(v.plain))) << v.name << " decrypt";
    }
}

// CBC chaining done here, block by block, as the RMCP+ confidentiality code will do it.
TEST(KAES, ChainsToSp800_38aCbcVectors)
{
    const std::vector<BYTE> key = FromHex(CBC_KEY);
    const std::vector<BYTE> plain = FromHex(CBC_PLAIN);
    const std::vector<BYTE> cipher = FromHex(CBC_CIPHER);
    KAES aes(16, key.data());

    std::vector<BYTE> chain = FromHex(CBC_IV);
    std::vector<BYTE> encrypted(plain.size());
    for (std::size_t offset = 0; offset < plain.size(); offset += 16)
    {
        BYTE block[16];
        for (int i = 0; i < 16; ++i)
        {
            block[i] = static_cast<BYTE>(plain[offset + i] ^ chain[i]);
        }
        aes.Encrypt(block, encrypted.data() + offset);
        chain.assign(encrypted.begin() + offset, encrypted.begin() + offset + 16);
    }
    EXPECT_EQ(ToHex(encrypted), ToHex(cipher)) << "F.2.1";

    chain = FromHex(CBC_IV);
    std::vector<BYTE> decrypted(cipher.size());
    for (std::size_t offset = 0; offset < cipher.size(); offset += 16)
    {
        BYTE block[16];
        aes.Decrypt(cipher.data() + offset, block);
        for (int i = 0; i < 16; ++i)
        {
            decrypted[offset + i] = static_cast<BYTE>(block[i] ^ chain[i]);
        }
        chain.assign(cipher.begin() + offset, cipher.begin() + offset + 16);
    }
    EXPECT_EQ(ToHex(decrypted), ToHex(plain)) << "F.2.2";
}

// A key of the wrong length must neither read past the caller's key (ASan watches the exact
// allocation) nor yield a block that looks enciphered: the output is all zeros.
TEST(KAES, WrongKeyLengthYieldsZeros)
{
    for (int length : {0, 15, 20, 33})
    {
        std::vector<BYTE> key(static_cast<std::size_t>(length), 0x42);
        KAES aes(length, key.data());
        const std::vector<BYTE> plain = FromHex("00112233445566778899aabbccddeeff");
        BYTE out[16];
        std::memset(out, 0xa5, sizeof out);
        aes.Encrypt(plain.data(), out);
        EXPECT_EQ(Hex(out), ToHex(std::vector<BYTE>(16, 0))) << length;
        std::memset(out, 0xa5, sizeof out);
        aes.Decrypt(plain.data(), out);
        EXPECT_EQ(Hex(out), ToHex(std::vector<BYTE>(16, 0))) << length;
    }
}
