// Session setup messages: golden Open Session Request and RAKP Message 1, and the three keyed
// digests checked against HMAC-SHA1 over inputs laid out here field by field.
#include "asf/AsfSessionMessages.h"

#include "tests/support/Hex.h"
#include "transport/crypto/Hmac.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
tagASF_RAKP_MATERIAL Material(const std::string& user)
{
    tagASF_RAKP_MATERIAL m;
    const std::vector<BYTE> sidr = FromHex("11 22 33 44"), sidm = FromHex("55 66 77 88");
    std::copy(sidr.begin(), sidr.end(), m.sidr);
    std::copy(sidm.begin(), sidm.end(), m.sidm);
    for (int i = 0; i < 16; ++i)
    {
        m.rr[i] = static_cast<BYTE>(0xA0 + i);
        m.rm[i] = static_cast<BYTE>(0xB0 + i);
        m.guidm[i] = static_cast<BYTE>(0xC0 + i);
    }
    for (int i = 0; i < 20; ++i)
    {
        m.kr[i] = static_cast<BYTE>(i + 1);
        m.kg[i] = static_cast<BYTE>(0x80 + i);
    }
    m.role = ASF_ROLE_ADMINISTRATOR;
    m.userLength = static_cast<BYTE>(user.size());
    std::copy(user.begin(), user.end(), m.user);
    return m;
}

std::vector<BYTE> Cat(std::initializer_list<std::vector<BYTE>> parts)
{
    std::vector<BYTE> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<BYTE> Of(const BYTE* p, std::size_t n)
{
    return {p, p + n};
}

std::vector<BYTE> Hmac(const BYTE* key, const std::vector<BYTE>& data, std::size_t keep)
{
    BYTE out[20];
    HmacSha1(data.data(), data.size(), key, 20, out);
    return {out, out + keep};
}

// ROLEm | ULENGTHm | UNAMEm
std::vector<BYTE> UserPart(const tagASF_RAKP_MATERIAL& m)
{
    return Cat({{m.role, m.userLength}, Of(m.user, m.userLength)});
}
} // namespace

TEST(AsfSessionMessages, OpenSessionRequestGolden)
{
    const BYTE sidr[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    BYTE out[ASF_OPEN_SESSION_REQUEST_SIZE];
    BuildOpenSessionRequest(sidr, out);
    EXPECT_EQ(ToHex(out, sizeof out),
              ToHex(FromHex("de ad be ef  01 00 00 08 01 00 00 00  02 00 00 08 01 00 00 00"
                            "00 00 00 04")));
}

TEST(AsfSessionMessages, OpenSessionResponseChecks)
{
    const std::string good = "00 000000 11223344 99aabbcc 01 0000 08 01 000000 02 0000 08 01 "
                             "000000";
    BYTE sidm[4] = {};
    std::vector<BYTE> d = FromHex(good);
    ASSERT_TRUE(CheckOpenSessionResponse(d.data(), d.size(), sidm, nullptr));
    EXPECT_EQ(ToHex(sidm, 4), "99 aa bb cc");
    for (std::size_t at :
         {std::size_t{0}, std::size_t{12}, std::size_t{16}, std::size_t{20}, std::size_t{24}})
    {
        std::vector<BYTE> bad = d;
        bad[at] ^= 0x04;
        EXPECT_FALSE(CheckOpenSessionResponse(bad.data(), bad.size(), sidm, nullptr)) << at;
    }
    EXPECT_FALSE(CheckOpenSessionResponse(d.data(), 27, sidm, nullptr));
}

TEST(AsfSessionMessages, Rakp1WithFullAndEmptyNames)
{
    tagASF_RAKP_MATERIAL m = Material("ABCDEFGHIJKLMNOP");
    BYTE out[ASF_RAKP_1_SIZE];
    BuildRakp1(m, out);
    EXPECT_EQ(ToHex(out, 24), ToHex(Cat({Of(m.sidm, 4), Of(m.rr, 16), {0x01, 0, 0, 0x10}})));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 24), 16), "ABCDEFGHIJKLMNOP");

    m = Material("");
    m.role = ASF_ROLE_OPERATOR;
    BuildRakp1(m, out);
    EXPECT_EQ(out[20], 0x00);
    EXPECT_EQ(out[23], 0x00);
    EXPECT_EQ(ToHex(out + 24, 16), ToHex(std::vector<BYTE>(16, 0)));
}

TEST(AsfSessionMessages, KeyedDigestsOverTheStandardInputs)
{
    for (const std::string user : {"ABCDEFGHIJKLMNOP", "", "op"})
    {
        SCOPED_TRACE(user);
        tagASF_RAKP_MATERIAL m = Material(user);

        // RAKP 2: SIDr SIDm Rr Rm GUIDm ROLEm ULENGTHm UNAMEm, keyed with Kr.
        const std::vector<BYTE> rakp2Input = Cat({Of(m.sidr, 4), Of(m.sidm, 4), Of(m.rr, 16),
                                                  Of(m.rm, 16), Of(m.guidm, 16), UserPart(m)});
        EXPECT_EQ(rakp2Input.size(), 58u + user.size());
        std::vector<BYTE> code = Hmac(m.kr, rakp2Input, 12);
        EXPECT_TRUE(VerifyRakp2Code(m, code.data()));
        code[11] ^= 1;
        EXPECT_FALSE(VerifyRakp2Code(m, code.data()));

        // RAKP 3: Rm SIDr ROLEm ULENGTHm UNAMEm, keyed with Kr.
        BYTE rakp3[ASF_RAKP_3_SIZE];
        BuildRakp3(m, rakp3);
        const std::vector<BYTE> rakp3Input = Cat({Of(m.rm, 16), Of(m.sidr, 4), UserPart(m)});
        EXPECT_EQ(ToHex(rakp3, 8), "00 00 00 00 55 66 77 88");
        EXPECT_EQ(ToHex(rakp3 + 8, 12), ToHex(Hmac(m.kr, rakp3Input, 12)));

        // SIK: Rr Rm ROLEm ULENGTHm UNAMEm, keyed with KG.
        BYTE sik[20];
        ComputeSik(m, sik);
        const std::vector<BYTE> sikInput = Cat({Of(m.rr, 16), Of(m.rm, 16), UserPart(m)});
        EXPECT_EQ(ToHex(sik, 20), ToHex(Hmac(m.kg, sikInput, 20)));
    }
}

TEST(AsfSessionMessages, EmptyGenerationKeyIsTwentyZeroBytes)
{
    tagASF_RAKP_MATERIAL m = Material("admin");
    std::fill(m.kg, m.kg + 20, BYTE{0});
    BYTE sik[20];
    ComputeSik(m, sik);
    const BYTE zeros[20] = {};
    const std::vector<BYTE> input = Cat({Of(m.rr, 16), Of(m.rm, 16), UserPart(m)});
    EXPECT_EQ(ToHex(sik, 20), ToHex(Hmac(zeros, input, 20)));
}

TEST(AsfSessionMessages, Rakp2StatusAndSessionChecks)
{
    tagASF_RAKP_MATERIAL m = Material("x");
    std::vector<BYTE> d = Cat({{0, 0, 0, 0},
                               Of(m.sidr, 4),
                               std::vector<BYTE>(16, 0x33),
                               std::vector<BYTE>(16, 0x44),
                               std::vector<BYTE>(12, 0x55)});
    BYTE code[12];
    ASSERT_TRUE(CheckRakp2(m, d.data(), d.size(), code, nullptr));
    EXPECT_EQ(m.rm[15], 0x33);
    EXPECT_EQ(m.guidm[0], 0x44);
    EXPECT_EQ(code[0], 0x55);

    const char* reason = nullptr;
    std::vector<BYTE> bad = d;
    bad[0] = 0x01;
    EXPECT_FALSE(CheckRakp2(m, bad.data(), bad.size(), code, &reason));
    EXPECT_STREQ(reason, "RAKP Message 2 status not 00h");
    bad = d;
    bad[5] ^= 0xFF;
    EXPECT_FALSE(CheckRakp2(m, bad.data(), bad.size(), code, &reason));
    EXPECT_FALSE(CheckRakp2(m, d.data(), 51, code, &reason));
}

TEST(AsfSessionMessages, PongFlags)
{
    tagASF_PONG pong;
    const std::vector<BYTE> d = FromHex("000011be 00000000 81 80 000000000000");
    ParsePresencePong(d.data(), d.size(), pong);
    EXPECT_EQ(pong.iana, 4542u);
    EXPECT_TRUE(pong.ipmiSupported);
    EXPECT_TRUE(pong.rspSupported);
    ParsePresencePong(d.data(), 9, pong); // short: the interactions byte reads as 0
    EXPECT_TRUE(pong.ipmiSupported);
    EXPECT_FALSE(pong.rspSupported);
}
