#include "asf/AsfFraming.h"

#include "transport/ByteIo.h"
#include "transport/crypto/Hmac.h"
#include "transport/crypto/Secure.h"

#include <atomic>
#include <cstring>

namespace
{
// Shared by every session of the process, as the RMCP sequence number names the console's
// messages rather than one session's.
std::atomic<BYTE> g_rmcpSequence{0};

constexpr std::size_t OFF_SEQUENCE = 2;
constexpr std::size_t OFF_CLASS = 3;
constexpr std::size_t OFF_IANA = 4;
constexpr std::size_t OFF_TYPE = 8;
constexpr std::size_t OFF_DATA_LENGTH = 11;
constexpr std::size_t SECURED_ACK_TRAILER = 4; // two pad bytes, pad length, next header

void PutBe32(CByteWriter& w, DWORD value)
{
    w.Put8(static_cast<BYTE>(value >> 24));
    w.Put8(static_cast<BYTE>(value >> 16));
    w.Put8(static_cast<BYTE>(value >> 8));
    w.Put8(static_cast<BYTE>(value));
}

DWORD GetBe32(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) << 24 | static_cast<DWORD>(p[1]) << 16 |
           static_cast<DWORD>(p[2]) << 8 | p[3];
}

bool Fail(const char** reason, const char* why)
{
    if (reason != nullptr)
        *reason = why;
    return false;
}
} // namespace

BYTE TakeRmcpSequence()
{
    BYTE current = g_rmcpSequence.load();
    BYTE next;
    do
    {
        next = static_cast<BYTE>(current + 1);
        if (next == ASF_SEQUENCE_NO_ACK)
            next = 0;
    } while (!g_rmcpSequence.compare_exchange_weak(current, next));
    return current;
}

BYTE PeekRmcpSequence()
{
    return g_rmcpSequence.load();
}

BYTE AsfReplyType(BYTE requestType)
{
    switch (requestType)
    {
    case ASF_MSG_PRESENCE_PING:
        return ASF_MSG_PRESENCE_PONG;
    case ASF_MSG_CAPABILITIES_REQUEST:
        return ASF_MSG_CAPABILITIES_RESPONSE;
    case ASF_MSG_SYSTEM_STATE_REQUEST:
        return ASF_MSG_SYSTEM_STATE_RESPONSE;
    case ASF_MSG_OPEN_SESSION_REQUEST:
        return ASF_MSG_OPEN_SESSION_RESPONSE;
    case ASF_MSG_RAKP_1:
        return ASF_MSG_RAKP_2;
    default:
        return 0;
    }
}

std::size_t BuildAsfMessage(BYTE type, BYTE sequence, const BYTE* data, std::size_t dataLength,
                            BYTE* out, std::size_t capacity)
{
    if (dataLength > 0xFF)
        return 0;
    CByteWriter w(out, capacity);
    w.Put8(ASF_RMCP_VERSION);              // RMCP version
    w.Put8(0x00);                          // reserved
    w.Put8(sequence);                      // RMCP sequence number
    w.Put8(ASF_RMCP_CLASS);                // class of message
    PutBe32(w, ASF_IANA);                  // IANA enterprise number
    w.Put8(type);                          // message type
    w.Put8(sequence);                      // message tag
    w.Put8(0x00);                          // reserved
    w.Put8(static_cast<BYTE>(dataLength)); // data length
    w.PutBytes(data, dataLength);          // data
    return w.Ok() ? w.Size() : 0;
}

std::size_t WrapRsp(tagRSP_STATE& state, BYTE* buffer, std::size_t length, std::size_t capacity)
{
    std::size_t total = RSP_HEADER_SIZE + length;
    std::size_t pad = 0;
    if (state.established)
    {
        pad = (4 - (total + 2) % 4) % 4;
        total += pad + 2 + RSP_INTEGRITY_SIZE;
    }
    if (total > capacity)
        return 0;
    std::memmove(buffer + RSP_HEADER_SIZE, buffer, length);
    CByteWriter w(buffer, capacity);
    if (state.established)
    {
        ++state.sequence;
        w.PutBytes(state.sessionId, sizeof state.sessionId); // session ID
        PutBe32(w, state.sequence);                          // session sequence number
    }
    else
    {
        w.PutFill(0x00, RSP_HEADER_SIZE); // no session yet
        return w.Ok() ? RSP_HEADER_SIZE + length : 0;
    }
    w.Claim(length);                // the message, already in place
    w.PutFill(0x00, pad);           // pad
    w.Put8(static_cast<BYTE>(pad)); // pad length
    w.Put8(RSP_NEXT_HEADER);        // next header
    BYTE* integrity = w.Claim(RSP_INTEGRITY_SIZE);
    if (!w.Ok() || integrity == nullptr)
        return 0;
    HmacSha1_96(buffer, total - RSP_INTEGRITY_SIZE, state.key, ASF_KEY_SIZE, integrity);
    return total;
}

BOOL CheckRspIntegrity(const BYTE key[ASF_KEY_SIZE], const BYTE* datagram, std::size_t length)
{
    if (length < RSP_HEADER_SIZE + RSP_INTEGRITY_SIZE)
        return FALSE;
    BYTE expected[RSP_INTEGRITY_SIZE];
    HmacSha1_96(datagram, length - RSP_INTEGRITY_SIZE, key, ASF_KEY_SIZE, expected);
    return ConstantTimeEqual(expected, sizeof expected, datagram + length - RSP_INTEGRITY_SIZE,
                             RSP_INTEGRITY_SIZE);
}

std::size_t BuildAsfAck(const tagRSP_STATE& state, const BYTE* received, std::size_t length,
                        BYTE* out, std::size_t capacity)
{
    std::size_t head = state.rspMode ? RSP_HEADER_SIZE + RMCP_ACK_SIZE : RMCP_ACK_SIZE;
    if (length < head)
        return 0;
    CByteWriter w(out, capacity);
    w.PutBytes(received, head);
    if (!w.Ok())
        return 0;
    out[head - 1] = static_cast<BYTE>(out[head - 1] | ASF_RMCP_ACK_BIT);
    if (state.rspMode && state.established)
    {
        w.PutFill(0x00, 2); // pad
        w.Put8(0x02);       // pad length
        w.Put8(RSP_NEXT_HEADER);
        BYTE* integrity = w.Claim(RSP_INTEGRITY_SIZE);
        if (!w.Ok() || integrity == nullptr)
            return 0;
        HmacSha1_96(out, head + SECURED_ACK_TRAILER, state.key, ASF_KEY_SIZE, integrity);
    }
    return w.Size();
}

BOOL IsAsfAckFor(bool rspMode, const BYTE* datagram, std::size_t length, BYTE sequence,
                 const char** reason)
{
    const std::size_t base = rspMode ? RSP_HEADER_SIZE : 0;
    if (length < base + RMCP_ACK_SIZE)
        return Fail(reason, "acknowledgement too short");
    if (!(datagram[base + OFF_CLASS] & ASF_RMCP_ACK_BIT))
        return Fail(reason, "not an acknowledgement");
    if (datagram[base + OFF_SEQUENCE] != sequence)
        return Fail(reason, "acknowledgement of another sequence number");
    return TRUE;
}

BOOL ExtractAsfReply(bool rspMode, const BYTE* datagram, std::size_t length, BYTE expectedType,
                     std::size_t* dataOffset, BYTE* dataLength, const char** reason)
{
    const std::size_t base = rspMode ? RSP_HEADER_SIZE : 0;
    if (length < base + ASF_HEADER_SIZE)
        return Fail(reason, "reply too short");
    const BYTE* m = datagram + base;
    if (m[0] != ASF_RMCP_VERSION)
        return Fail(reason, "not RMCP version 1.0");
    if (m[OFF_CLASS] != ASF_RMCP_CLASS)
        return Fail(reason, "not an ASF message");
    if (GetBe32(m + OFF_IANA) != ASF_IANA)
        return Fail(reason, "not the ASF IANA number");
    if (m[OFF_TYPE] != expectedType)
        return Fail(reason, "unexpected message type");
    const BYTE announced = m[OFF_DATA_LENGTH];
    if (base + ASF_HEADER_SIZE + announced > length)
        return Fail(reason, "data length runs past the datagram");
    if (dataOffset != nullptr)
        *dataOffset = base + ASF_HEADER_SIZE;
    if (dataLength != nullptr)
        *dataLength = announced;
    return TRUE;
}
