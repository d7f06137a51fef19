#pragma once
// RMCP/ASF datagrams and the RMCP Security-extensions Protocol (RSP) wrapping, built and taken
// apart as pure functions over byte buffers so that every byte can be tested alone. The
// session object (CASFSession) owns the state these functions read and the socket.
//
// RMCP/ASF message (ASF 2.0, 3.2.1 and 3.2.2), multi-byte fields big-endian:
//   off size field
//    0   1   RMCP version, 06h
//    1   1   reserved, 00h
//    2   1   RMCP sequence number; FFh = no acknowledgement wanted
//    3   1   RMCP class of message, 06h (ASF); bit 7 set = acknowledgement
//    4   4   IANA enterprise number, 000011BEh (4542)
//    8   1   message type
//    9   1   message tag, equal to the RMCP sequence number
//   10   1   reserved, 00h
//   11   1   data length n
//   12   n   data
// RMCP acknowledgement: the first 4 bytes of the acknowledged message, class with bit 7 set.
//
// RSP wrapping (ASF 2.0, 3.2.3):
//   off     size field
//    0      4    session ID: the managed client's once established, else 0
//    4      4    session sequence number: 1, 2, ... once established, else 0
//    8      n    the RMCP/ASF message
//   Only once established:
//    8+n    p    pad, zero bytes, so that 8 + n + p + 2 is a multiple of 4
//    8+n+p  1    pad length p
//    9+n+p  1    next header, 06h
//   10+n+p  12   integrity data: HMAC-SHA1-96 keyed with the session integrity key over
//                bytes 0 .. next header
#include "platform/Types.h"

#include <cstddef>

constexpr WORD RMCP_PRIMARY_PORT = 623;
constexpr WORD RMCP_SECURE_PORT = 664;
constexpr std::size_t ASF_BUFFER_SIZE = 512;

constexpr std::size_t ASF_HEADER_SIZE = 12;
constexpr std::size_t RMCP_ACK_SIZE = 4;
constexpr std::size_t RSP_HEADER_SIZE = 8;
constexpr std::size_t RSP_INTEGRITY_SIZE = 12;
constexpr std::size_t ASF_KEY_SIZE = 20;

constexpr BYTE ASF_RMCP_VERSION = 0x06;
constexpr BYTE ASF_RMCP_CLASS = 0x06;
constexpr BYTE ASF_RMCP_ACK_BIT = 0x80;
constexpr BYTE ASF_SEQUENCE_NO_ACK = 0xFF;
constexpr DWORD ASF_IANA = 0x000011BE;
constexpr BYTE RSP_NEXT_HEADER = 0x06;

constexpr BYTE ASF_MSG_RESET = 0x10;
constexpr BYTE ASF_MSG_POWER_UP = 0x11;
constexpr BYTE ASF_MSG_POWER_DOWN = 0x12;
constexpr BYTE ASF_MSG_POWER_CYCLE = 0x13;
constexpr BYTE ASF_MSG_PRESENCE_PONG = 0x40;
constexpr BYTE ASF_MSG_CAPABILITIES_RESPONSE = 0x41;
constexpr BYTE ASF_MSG_SYSTEM_STATE_RESPONSE = 0x42;
constexpr BYTE ASF_MSG_OPEN_SESSION_RESPONSE = 0x43;
constexpr BYTE ASF_MSG_PRESENCE_PING = 0x80;
constexpr BYTE ASF_MSG_CAPABILITIES_REQUEST = 0x81;
constexpr BYTE ASF_MSG_SYSTEM_STATE_REQUEST = 0x82;
constexpr BYTE ASF_MSG_OPEN_SESSION_REQUEST = 0x83;
constexpr BYTE ASF_MSG_CLOSE_SESSION_REQUEST = 0x84;
constexpr BYTE ASF_MSG_RAKP_1 = 0xC0;
constexpr BYTE ASF_MSG_RAKP_2 = 0xC1;
constexpr BYTE ASF_MSG_RAKP_3 = 0xC2;

// The process-wide RMCP sequence number: returns the current value and advances it, cycling
// through 0..254 (FFh is kept for messages that want no acknowledgement). Any thread.
BYTE TakeRmcpSequence();
// The value the next TakeRmcpSequence returns.
BYTE PeekRmcpSequence();

// The reply type a request is answered with; 0 when only an acknowledgement comes back.
BYTE AsfReplyType(BYTE requestType);

// What the RSP wrapping needs of a session. Owned by the session object.
struct tagRSP_STATE
{
    bool rspMode = false;     // every message goes to the secure port inside the wrapping
    bool established = false; // the integrity key is the session integrity key
    BYTE sessionId[4] = {};   // the managed client's session ID as received
    DWORD sequence = 0;       // the last session sequence number sent
    BYTE key[ASF_KEY_SIZE] = {};
};

// Writes the 12-byte header and the data into out; the length written, 0 when it does not fit
// or the data is longer than 255 bytes.
std::size_t BuildAsfMessage(BYTE type, BYTE sequence, const BYTE* data, std::size_t dataLength,
                            BYTE* out, std::size_t capacity);

// Wraps the message of length bytes at the start of buffer in place; advances the session
// sequence number once established. The new length, 0 when it does not fit.
std::size_t WrapRsp(tagRSP_STATE& state, BYTE* buffer, std::size_t length, std::size_t capacity);

// TRUE when the last 12 bytes of the datagram are the HMAC-SHA1-96 (key) of the bytes before.
BOOL CheckRspIntegrity(const BYTE key[ASF_KEY_SIZE], const BYTE* datagram, std::size_t length);

// The acknowledgement of a received datagram: outside RSP its first 4 bytes; in RSP its first
// 12, followed once established by the trailer 00h 00h 02h 06h and the integrity data. The
// length written, 0 when the datagram is too short or the ack does not fit.
std::size_t BuildAsfAck(const tagRSP_STATE& state, const BYTE* received, std::size_t length,
                        BYTE* out, std::size_t capacity);

// TRUE when the datagram is the acknowledgement of the message sent with that sequence number
// (RMCP header at offset 8 in RSP mode). reason (may be null) names the failed check.
BOOL IsAsfAckFor(bool rspMode, const BYTE* datagram, std::size_t length, BYTE sequence,
                 const char** reason);

// Checks a reply datagram in order: long enough for the headers, RMCP version, ASF class
// without the ack bit, IANA number, the expected message type, data within the datagram. On
// success dataOffset and dataLength locate the message data.
BOOL ExtractAsfReply(bool rspMode, const BYTE* datagram, std::size_t length, BYTE expectedType,
                     std::size_t* dataOffset, BYTE* dataLength, const char** reason);
