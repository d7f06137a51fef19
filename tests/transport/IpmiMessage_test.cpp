#include "transport/IpmiMessage.h"

#include "tests/support/Hex.h"
#include "transport/CommandTable.h"

#include <gtest/gtest.h>

namespace
{
std::string Build(IpmiForm form, std::vector<BYTE> request, DWORD sequence)
{
    BYTE out[400];
    std::size_t n =
        BuildMessage(form, request.data(), request.size(), sequence, {}, out, sizeof out);
    return n ? ToHex(out, n) : "";
}
} // namespace

TEST(IpmiMessage, BuildsGoldenMessagesInBothForms)
{
    // Get Device ID: no data, checksum 2 over rqAddr, rqSeq and cmd only.
    EXPECT_EQ(Build(IpmiForm::V15, {6}, 0), "07 20 18 c8 81 00 01 7e");
    EXPECT_EQ(Build(IpmiForm::V20, {6}, 0), "07 00 20 18 c8 81 00 01 7e");
    // Get Channel Authentication Capabilities as the probe sends it.
    EXPECT_EQ(Build(IpmiForm::V15, {1, 0x0E, 0x04}, 0), "09 20 18 c8 81 00 38 0e 04 35");
    // Chassis Control (netFn 0) power up, in a session at sequence 5.
    EXPECT_EQ(Build(IpmiForm::V20, {9, 1}, 5), "08 00 20 00 e0 81 14 02 01 68");
}

TEST(IpmiMessage, SequenceWrapsInRqSeqEverySixtyFourMessages)
{
    EXPECT_EQ(Build(IpmiForm::V20, {6}, 63).substr(18, 2), "fc");
    EXPECT_EQ(Build(IpmiForm::V20, {6}, 64).substr(18, 2), "00");
    EXPECT_EQ(Build(IpmiForm::V20, {6}, 65).substr(18, 2), "04");
}

TEST(IpmiMessage, RefusesInvalidRowsAndShortRecords)
{
    EXPECT_EQ(Build(IpmiForm::V15, {0}, 0), "");
    EXPECT_EQ(Build(IpmiForm::V15, {41}, 0), "");
    EXPECT_EQ(Build(IpmiForm::V15, {12, 0, 0}, 0), "") << "row 12 needs 6 data bytes";
    EXPECT_EQ(Build(IpmiForm::V15, {25, 4, 1, 2}, 0), "") << "row 25 says 5 bytes follow";
    // 256 bytes of row-25 data fit the 16-bit form only.
    std::vector<BYTE> big(257, 0);
    big[0] = 25;
    big[1] = 255;
    EXPECT_EQ(Build(IpmiForm::V15, big, 0), "");
    EXPECT_NE(Build(IpmiForm::V20, big, 0), "");
}

TEST(IpmiMessage, VariableLengthRowsCarryTheirWholeData)
{
    std::vector<BYTE> lan = {29, 0x01, 16};
    for (int i = 0; i < 18; ++i)
        lan.push_back(static_cast<BYTE>(0xA0 + i));
    lan.push_back(0xEE); // not part of the parameter
    std::string hex = Build(IpmiForm::V20, lan, 1);
    // 7 + 20 bytes of message behind a 16-bit length.
    EXPECT_EQ(hex.substr(0, 5), "1b 00");
    EXPECT_EQ(hex.find("ee"), std::string::npos);
    EXPECT_EQ(Build(IpmiForm::V15, {25, 1, 0xAB, 0xCD}, 0), "09 20 c0 20 81 00 23 01 ab b0");
}

namespace
{
std::vector<BYTE> Reply(IpmiForm form, std::vector<BYTE> message)
{
    std::vector<BYTE> out;
    out.push_back(static_cast<BYTE>(message.size()));
    if (form == IpmiForm::V20)
        out.push_back(static_cast<BYTE>(message.size() >> 8));
    out.insert(out.end(), message.begin(), message.end());
    return out;
}
} // namespace

TEST(IpmiMessage, ParsesRepliesIntoRecordsUnderTheRightRow)
{
    tagIPMI_REPLY reply;
    // Get Device ID response with 3 data bytes; checksums are not checked.
    auto msg = Reply(IpmiForm::V20, FromHex("81 1c 63 20 04 01 00 11 22 33 99"));
    ASSERT_EQ(ParseReply(IpmiForm::V20, msg.data(), msg.size(), 6, reply), 6);
    EXPECT_EQ(reply.length, 11 - 5);
    EXPECT_EQ(ToHex(reply.data, reply.length), "06 00 11 22 33 99");
    EXPECT_EQ(reply.data[reply.length], 0) << "bytes past the length read as zero";

    // A reply that belongs to another command is filed under that command's row.
    EXPECT_EQ(ParseReply(IpmiForm::V20, msg.data(), msg.size(), 35, reply), 6);

    // Rows 32 and 40 share netFn and command: each gets its own, strays go to 32.
    auto sol = Reply(IpmiForm::V20, FromHex("81 34 4b 20 08 21 00 b7"));
    EXPECT_EQ(ParseReply(IpmiForm::V20, sol.data(), sol.size(), 40, reply), 40);
    EXPECT_EQ(ParseReply(IpmiForm::V20, sol.data(), sol.size(), 32, reply), 32);
    EXPECT_EQ(ParseReply(IpmiForm::V20, sol.data(), sol.size(), 6, reply), 32);

    // Unknown command, too short, or longer than the 16-bit form allows: no record.
    auto unknown = Reply(IpmiForm::V15, FromHex("81 1c 63 20 04 77 00 00"));
    EXPECT_EQ(ParseReply(IpmiForm::V15, unknown.data(), unknown.size(), 6, reply), 0);
    auto shortOne = Reply(IpmiForm::V15, FromHex("81 1c 63 20 04 01"));
    EXPECT_EQ(ParseReply(IpmiForm::V15, shortOne.data(), shortOne.size(), 6, reply), 0);
    std::vector<BYTE> longOne = FromHex("81 1c 63 20 04 01 00");
    longOne.resize(263, 0);
    auto longMsg = Reply(IpmiForm::V20, longOne);
    EXPECT_EQ(ParseReply(IpmiForm::V20, longMsg.data(), longMsg.size(), 6, reply), 0);
    longMsg.resize(longMsg.size() - 1);
    longMsg[0] = 6; // a length beyond what is there
    EXPECT_EQ(ParseReply(IpmiForm::V20, longMsg.data(), 5, 6, reply), 0);
}

TEST(IpmiMessage, BatchReadingReplyCountsItsPairs)
{
    tagIPMI_REPLY reply;
    // cc, next index, then two (sensor, reading) pairs: 13-byte message.
    auto msg = Reply(IpmiForm::V20, FromHex("81 c4 bb 20 04 06 00 05 01 64 02 65 00"));
    ASSERT_EQ(ParseReply(IpmiForm::V20, msg.data(), msg.size(), 27, reply), 27);
    EXPECT_EQ(reply.data[IPMI_REPLY_BATCH_COUNT], 2);
    // An error reply of the batch command claims no pairs.
    auto err = Reply(IpmiForm::V20, FromHex("81 c4 bb 20 04 06 c1 00"));
    ASSERT_EQ(ParseReply(IpmiForm::V20, err.data(), err.size(), 27, reply), 27);
    EXPECT_EQ(reply.data[IPMI_REPLY_BATCH_COUNT], 0);
}
