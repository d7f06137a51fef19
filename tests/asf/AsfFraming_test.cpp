// RMCP/ASF framing: golden headers, the RSP wrapping before and after establishment, the
// secured acknowledgement, the process-wide sequence number and the reply checks.
#include "asf/AsfFraming.h"

#include "tests/support/Hex.h"
#include "transport/crypto/Hmac.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
tagRSP_STATE EstablishedState()
{
    tagRSP_STATE s;
    s.rspMode = true;
    s.established = true;
    const BYTE sid[4] = {0xA1, 0xB2, 0xC3, 0xD4};
    std::copy(sid, sid + 4, s.sessionId);
    for (std::size_t i = 0; i < ASF_KEY_SIZE; ++i)
        s.key[i] = static_cast<BYTE>(0x40 + i);
    return s;
}

std::vector<BYTE> Hmac96(const BYTE* key, const std::vector<BYTE>& data)
{
    BYTE out[12];
    HmacSha1_96(data.data(), data.size(), key, ASF_KEY_SIZE, out);
    return {out, out + 12};
}
} // namespace

TEST(AsfFraming, HeaderOfPingAndOfAcknowledgedRequest)
{
    BYTE out[64];
    std::size_t n =
        BuildAsfMessage(ASF_MSG_PRESENCE_PING, ASF_SEQUENCE_NO_ACK, nullptr, 0, out, sizeof out);
    EXPECT_EQ(ToHex(out, n), ToHex(FromHex("06 00 ff 06 00 00 11 be 80 ff 00 00")));

    const BYTE data[] = {0xDE, 0xAD};
    n = BuildAsfMessage(ASF_MSG_CAPABILITIES_REQUEST, 0x07, data, sizeof data, out, sizeof out);
    EXPECT_EQ(ToHex(out, n), ToHex(FromHex("06 00 07 06 00 00 11 be 81 07 00 02 de ad")));

    EXPECT_EQ(BuildAsfMessage(0x81, 0, data, sizeof data, out, 13), 0u) << "does not fit";
}

TEST(AsfFraming, SequenceCyclesThroughAllButFF)
{
    const BYTE first = TakeRmcpSequence();
    for (int i = 1; i < 255; ++i)
    {
        const BYTE next = TakeRmcpSequence();
        EXPECT_NE(next, ASF_SEQUENCE_NO_ACK);
        EXPECT_EQ(next, static_cast<BYTE>((first + i) % 255));
    }
    EXPECT_EQ(TakeRmcpSequence(), first) << "255 acknowledged messages later";
}

TEST(AsfFraming, WrapperBeforeEstablishmentIsTheBareHeader)
{
    tagRSP_STATE s;
    s.rspMode = true;
    s.sessionId[0] = 0x55; // not used before establishment
    BYTE buffer[ASF_BUFFER_SIZE];
    std::size_t n =
        BuildAsfMessage(ASF_MSG_OPEN_SESSION_REQUEST, 3, nullptr, 0, buffer, sizeof buffer);
    n = WrapRsp(s, buffer, n, sizeof buffer);
    EXPECT_EQ(ToHex(buffer, n),
              ToHex(FromHex("00000000 00000000  06 00 03 06 00 00 11 be 83 03 00 00")));
    EXPECT_EQ(s.sequence, 0u);
}

TEST(AsfFraming, EstablishedWrapperPadsNumbersAndSigns)
{
    tagRSP_STATE s = EstablishedState();
    const BYTE data[] = {1, 2, 3, 4, 5};
    BYTE buffer[ASF_BUFFER_SIZE];
    std::size_t n = BuildAsfMessage(0x11, 9, data, sizeof data, buffer, sizeof buffer);
    ASSERT_EQ(n, 17u);
    n = WrapRsp(s, buffer, n, sizeof buffer);
    ASSERT_EQ(n, 8u + 17 + 1 + 2 + 12);
    std::vector<BYTE> signedPart = FromHex("a1b2c3d4 00000001"
                                           "06 00 09 06 00 00 11 be 11 09 00 05 01 02 03 04 05"
                                           "00 01 06");
    EXPECT_EQ(ToHex(buffer, 28), ToHex(signedPart));
    EXPECT_EQ(ToHex(buffer + 28, 12), ToHex(Hmac96(s.key, signedPart)));
    EXPECT_TRUE(CheckRspIntegrity(s.key, buffer, n));
    buffer[12] ^= 1;
    EXPECT_FALSE(CheckRspIntegrity(s.key, buffer, n));

    // The next message carries sequence 2; a 6-byte payload needs no pad.
    const BYTE six[6] = {};
    n = BuildAsfMessage(0x12, 10, six, sizeof six, buffer, sizeof buffer);
    n = WrapRsp(s, buffer, n, sizeof buffer);
    EXPECT_EQ(n, 8u + 18 + 0 + 2 + 12);
    EXPECT_EQ(ToHex(buffer + 4, 4), "00 00 00 02");
    EXPECT_EQ(buffer[8 + 18], 0x00) << "pad length";
    EXPECT_EQ(buffer[8 + 18 + 1], RSP_NEXT_HEADER);
}

TEST(AsfFraming, AcknowledgementsInEachMode)
{
    const std::vector<BYTE> plain = FromHex("06 00 2a 06 00 00 11 be 41 2a 00 00");
    BYTE ack[64];
    tagRSP_STATE outside;
    std::size_t n = BuildAsfAck(outside, plain.data(), plain.size(), ack, sizeof ack);
    EXPECT_EQ(ToHex(ack, n), "06 00 2a 86");

    const std::vector<BYTE> secured =
        FromHex("0a0b0c0d 00000007 06 00 2a 06 00 00 11 be 43 2a 00 00");
    tagRSP_STATE opening;
    opening.rspMode = true;
    n = BuildAsfAck(opening, secured.data(), secured.size(), ack, sizeof ack);
    EXPECT_EQ(ToHex(ack, n), "0a 0b 0c 0d 00 00 00 07 06 00 2a 86");

    tagRSP_STATE s = EstablishedState();
    n = BuildAsfAck(s, secured.data(), secured.size(), ack, sizeof ack);
    ASSERT_EQ(n, 28u);
    std::vector<BYTE> head = FromHex("0a0b0c0d 00000007 06 00 2a 86 00 00 02 06");
    EXPECT_EQ(ToHex(ack, 16), ToHex(head));
    EXPECT_EQ(ToHex(ack + 16, 12), ToHex(Hmac96(s.key, head)));

    EXPECT_EQ(BuildAsfAck(s, secured.data(), 11, ack, sizeof ack), 0u) << "too short";
}

TEST(AsfFraming, AcknowledgementMatching)
{
    const std::vector<BYTE> ack = FromHex("06 00 05 86");
    EXPECT_TRUE(IsAsfAckFor(false, ack.data(), ack.size(), 5, nullptr));
    EXPECT_FALSE(IsAsfAckFor(false, ack.data(), ack.size(), 6, nullptr));
    EXPECT_FALSE(IsAsfAckFor(false, ack.data(), 3, 5, nullptr));
    const std::vector<BYTE> notAck = FromHex("06 00 05 06");
    EXPECT_FALSE(IsAsfAckFor(false, notAck.data(), notAck.size(), 5, nullptr));
    const std::vector<BYTE> secured = FromHex("00000000 00000000 06 00 05 86");
    EXPECT_TRUE(IsAsfAckFor(true, secured.data(), secured.size(), 5, nullptr));
    EXPECT_FALSE(IsAsfAckFor(false, secured.data(), secured.size(), 5, nullptr));
}

TEST(AsfFraming, ReplyChecksInOrder)
{
    struct tagCASE
    {
        const char* hex;
        const char* reason; // null: accepted
    } cases[] = {
        {"06 00 ff 06 00 00 11 be 40 ff 00 02 aa bb", nullptr},
        {"06 00 ff 06 00 00 11 be 40 ff 00", "reply too short"},
        {"07 00 ff 06 00 00 11 be 40 ff 00 00", "not RMCP version 1.0"},
        {"06 00 ff 86 00 00 11 be 40 ff 00 00", "not an ASF message"},
        {"06 00 ff 06 00 00 11 bf 40 ff 00 00", "not the ASF IANA number"},
        {"06 00 ff 06 00 00 11 be 41 ff 00 00", "unexpected message type"},
        {"06 00 ff 06 00 00 11 be 40 ff 00 03 aa bb", "data length runs past the datagram"},
    };
    for (const tagCASE& c : cases)
    {
        const std::vector<BYTE> d = FromHex(c.hex);
        std::size_t offset = 0;
        BYTE length = 0;
        const char* reason = nullptr;
        const BOOL ok = ExtractAsfReply(false, d.data(), d.size(), ASF_MSG_PRESENCE_PONG, &offset,
                                        &length, &reason);
        if (c.reason == nullptr)
        {
            EXPECT_TRUE(ok) << c.hex;
            EXPECT_EQ(offset, 12u);
            EXPECT_EQ(length, 2u);
        }
        else
        {
            EXPECT_FALSE(ok) << c.hex;
            EXPECT_STREQ(reason, c.reason) << c.hex;
        }
    }
}
