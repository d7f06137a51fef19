#include "tools/asf-sim/AsfAgent.h"

#include "transport/crypto/Hmac.h"
#include "transport/crypto/Secure.h"

#include <algorithm>
#include <cstring>

// RMCP/ASF message (ASF 2.0, 3.2.2), all multi-byte fields big-endian:
//   0  1  version 06h
//   1  1  reserved 00h
//   2  1  RMCP sequence number (FFh: no acknowledgement wanted)
//   3  1  class of message 06h (ASF); bit 7 set in an acknowledgement
//   4  4  IANA enterprise number 000011BEh
//   8  1  message type
//   9  1  message tag (a reply carries the request's)
//  10  1  reserved 00h
//  11  1  data length
//  12  n  data
// An RMCP acknowledgement is bytes 0-3 of the acknowledged message with bit 7 of the class set.
//
// RSP wrapping on the secure port (ASF 2.0, 3.2.3):
//   0  4  session ID: 0 during session setup, then the receiver's session ID
//   4  4  session sequence number: 0 during setup, then counting from 1 per sender
//   8  n  the RMCP message above
//   -  p  pad, zero bytes, so that 8 + n + p + 2 is a multiple of 4
//   -  1  pad length p
//   -  1  next header 06h
//   - 12  integrity data: HMAC-SHA1-96 keyed with the session integrity key over all before
// During setup the 8-byte header is followed by the message alone.
namespace
{
constexpr BYTE RMCP_VERSION = 0x06;
constexpr BYTE RMCP_CLASS_ASF = 0x06;
constexpr BYTE RMCP_CLASS_ACK = 0x80;
constexpr BYTE RMCP_SEQ_NO_ACK = 0xFF;
constexpr DWORD ASF_IANA = 4542;
constexpr std::size_t RMCP_ASF_HEADER_SIZE = 12;
constexpr std::size_t RMCP_ACK_SIZE = 4;

constexpr BYTE ASF_RESET = 0x10;
constexpr BYTE ASF_POWER_UP = 0x11;
constexpr BYTE ASF_POWER_DOWN = 0x12;
constexpr BYTE ASF_POWER_CYCLE = 0x13;
constexpr BYTE ASF_PRESENCE_PONG = 0x40;
constexpr BYTE ASF_CAPABILITIES_RESPONSE = 0x41;
constexpr BYTE ASF_SYSTEM_STATE_RESPONSE = 0x42;
constexpr BYTE ASF_OPEN_SESSION_RESPONSE = 0x43;
constexpr BYTE ASF_PRESENCE_PING = 0x80;
constexpr BYTE ASF_CAPABILITIES_REQUEST = 0x81;
constexpr BYTE ASF_SYSTEM_STATE_REQUEST = 0x82;
constexpr BYTE ASF_OPEN_SESSION_REQUEST = 0x83;
constexpr BYTE ASF_CLOSE_SESSION_REQUEST = 0x84;
constexpr BYTE ASF_RAKP_MESSAGE_1 = 0xC0;
constexpr BYTE ASF_RAKP_MESSAGE_2 = 0xC1;
constexpr BYTE ASF_RAKP_MESSAGE_3 = 0xC2;
constexpr BYTE ASF_RAKP_MESSAGE_4 = 0xC3;

constexpr std::size_t RSP_HEADER_SIZE = 8;
constexpr std::size_t RSP_INTEGRITY_SIZE = 12;
constexpr BYTE RSP_NEXT_HEADER = 0x06;

// Open Session Request payloads (ASF 2.0, 3.2.4.2).
constexpr BYTE RSP_PAYLOAD_AUTHENTICATION = 0x01;
constexpr BYTE RSP_PAYLOAD_INTEGRITY = 0x02;
constexpr BYTE RSP_PAYLOAD_LENGTH = 0x08;
constexpr BYTE RSP_AUTH_RAKP_HMAC_SHA1 = 0x01;
constexpr BYTE RSP_INTEGRITY_HMAC_SHA1_96 = 0x01;
constexpr std::size_t OPEN_SESSION_REQUEST_SIZE = 24;
constexpr std::size_t RAKP_1_SIZE = 40;
constexpr std::size_t RAKP_3_SIZE = 20;
constexpr std::size_t RSP_MAX_NAME = 16;

// RSP status codes.
constexpr BYTE RSP_STATUS_OK = 0x00;
constexpr BYTE RSP_STATUS_NO_RESOURCES = 0x01;
constexpr BYTE RSP_STATUS_INVALID_SESSION_ID = 0x02;
constexpr BYTE RSP_STATUS_INVALID_PAYLOAD_TYPE = 0x03;
constexpr BYTE RSP_STATUS_INVALID_AUTH_ALGORITHM = 0x04;
constexpr BYTE RSP_STATUS_INVALID_INTEGRITY_ALGORITHM = 0x05;
constexpr BYTE RSP_STATUS_INVALID_ROLE = 0x09;
constexpr BYTE RSP_STATUS_INVALID_NAME_LENGTH = 0x0C;
constexpr BYTE RSP_STATUS_UNAUTHORIZED_NAME = 0x0D;
constexpr BYTE RSP_STATUS_INVALID_INTEGRITY_CHECK = 0x0F;

constexpr BYTE ROLE_OPERATOR = 0x00;
constexpr BYTE ROLE_ADMINISTRATOR = 0x01;
// ACPI system state the simulated machine enters on Power-Down (S5/G2 soft-off).
constexpr BYTE STATE_SOFT_OFF = 5;
constexpr BYTE STATE_WORKING = 0;

void PutBe32(std::vector<BYTE>& out, DWORD value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<BYTE>(value >> shift));
}

DWORD GetBe32(const BYTE* p)
{
    return DWORD{p[0]} << 24 | DWORD{p[1]} << 16 | DWORD{p[2]} << 8 | DWORD{p[3]};
}

void Append(std::vector<BYTE>& out, const BYTE* data, std::size_t length)
{
    out.insert(out.end(), data, data + length);
}

bool IsPowerOp(BYTE type)
{
    return type == ASF_RESET || type == ASF_POWER_UP || type == ASF_POWER_DOWN ||
           type == ASF_POWER_CYCLE;
}

bool IsStatusRequest(BYTE type)
{
    return type == ASF_PRESENCE_PING || type == ASF_CAPABILITIES_REQUEST ||
           type == ASF_SYSTEM_STATE_REQUEST;
}

// The acknowledgement of a received message: its first headerLength bytes (the RSP header,
// if any, and RMCP bytes 0-3) with the acknowledgement bit of the class byte set.
std::vector<BYTE> AckOf(const BYTE* datagram, std::size_t headerLength)
{
    std::vector<BYTE> ack(datagram, datagram + headerLength);
    ack[headerLength - 1] |= RMCP_CLASS_ACK;
    return ack;
}

// A status reply of a session-setup message: status, three reserved bytes, SIDr.
std::vector<BYTE> StatusReply(BYTE status, const BYTE sidR[4])
{
    std::vector<BYTE> data{status, 0, 0, 0};
    Append(data, sidR, 4);
    return data;
}

} // namespace

CAsfAgent::CAsfAgent(const tagSIM_OPTIONS& options, IRandom& random)
    : m_options(options), m_random(random)
{
    m_stats.state = m_options.state;
    m_stats.watchdog = m_options.watchdog;
}

CAsfAgent::~CAsfAgent()
{
    ResetSession();
    SecureZero(m_options.adminKey, sizeof m_options.adminKey);
    SecureZero(m_options.operatorKey, sizeof m_options.operatorKey);
    SecureZero(m_options.generationKey, sizeof m_options.generationKey);
}

std::vector<std::vector<BYTE>> CAsfAgent::HandleDatagram(AsfChannel channel, const BYTE* data,
                                                         std::size_t length)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_stats.received;
    if (m_options.silent ||
        (m_options.dropEvery != 0 && m_stats.received % m_options.dropEvery == 0))
    {
        ++m_stats.dropped;
        return {};
    }
    if (channel == AsfChannel::Primary)
        return ApplySendFaults(HandlePrimary(data, length));

    if (!m_lastSecureRequest.empty() && length == m_lastSecureRequest.size() &&
        std::equal(data, data + length, m_lastSecureRequest.begin()))
    {
        // The console re-sends identical bytes when it missed our acknowledgement.
        ++m_stats.duplicates;
        return ApplySendFaults(m_lastSecureReplies);
    }
    std::vector<tagOUTGOING> outgoing = HandleSecure(data, length);
    if (!outgoing.empty())
    {
        m_lastSecureRequest.assign(data, data + length);
        m_lastSecureReplies = outgoing;
    }
    return ApplySendFaults(outgoing);
}

std::vector<CAsfAgent::tagOUTGOING> CAsfAgent::HandlePrimary(const BYTE* data, std::size_t length)
{
    tagRMCP_VIEW message;
    if (!ParseRmcp(data, length, message))
        return {};
    if (message.isAck)
    {
        ++m_stats.acksReceived;
        return {};
    }
    if (IsPowerOp(message.type))
        return Reject("power-op-outside-session"), std::vector<tagOUTGOING>{};
    tagHANDLED handled = HandleStatusMessage(message);
    if (!handled.accepted)
        return Reject("unexpected-message"), std::vector<tagOUTGOING>{};

    std::vector<tagOUTGOING> outgoing;
    if (message.sequence != RMCP_SEQ_NO_ACK)
        outgoing.push_back({true, AckOf(data, RMCP_ACK_SIZE)});
    outgoing.push_back(
        {false, BuildMessage(RMCP_SEQ_NO_ACK, handled.replyType, message.tag, handled.replyData)});
    return outgoing;
}

std::vector<CAsfAgent::tagOUTGOING> CAsfAgent::HandleSecure(const BYTE* data, std::size_t length)
{
    if (length < RSP_HEADER_SIZE + RMCP_ACK_SIZE)
        return Reject("short-rsp"), std::vector<tagOUTGOING>{};
    if (GetBe32(data) != 0)
        return HandleSessionMessage(data, length);
    tagRMCP_VIEW message;
    if (!ParseRmcp(data + RSP_HEADER_SIZE, length - RSP_HEADER_SIZE, message))
        return {};
    return HandleSetupMessage(data, length, message);
}

std::vector<CAsfAgent::tagOUTGOING>
CAsfAgent::HandleSetupMessage(const BYTE* data, std::size_t length, const tagRMCP_VIEW& message)
{
    if (message.isAck)
    {
        ++m_stats.acksReceived;
        return {};
    }
    if (GetBe32(data + 4) != 0)
        return Reject("sequence-outside-session"), std::vector<tagOUTGOING>{};
    if (length != RSP_HEADER_SIZE + message.length)
        return Reject("bad-length"), std::vector<tagOUTGOING>{};

    tagHANDLED handled;
    switch (message.type)
    {
    case ASF_OPEN_SESSION_REQUEST:
        handled = HandleOpenSession(message);
        break;
    case ASF_RAKP_MESSAGE_1:
        handled = HandleRakp1(message);
        break;
    case ASF_RAKP_MESSAGE_3:
        handled = HandleRakp3(message);
        break;
    default:
        if (IsPowerOp(message.type) || message.type == ASF_CLOSE_SESSION_REQUEST)
            Reject("needs-session");
        else if (!IsStatusRequest(message.type))
            Reject("unexpected-message");
        else
            handled = HandleStatusMessage(message);
        break;
    }
    if (!handled.accepted)
        return {};

    std::vector<tagOUTGOING> outgoing;
    if (message.sequence != RMCP_SEQ_NO_ACK)
        outgoing.push_back({true, AckOf(data, RSP_HEADER_SIZE + RMCP_ACK_SIZE)});
    const BYTE setupHeader[RSP_HEADER_SIZE] = {};
    if (handled.hasReply)
    {
        BYTE sequence = message.sequence == RMCP_SEQ_NO_ACK ? RMCP_SEQ_NO_ACK : NextRmcpSequence();
        std::vector<BYTE> reply(setupHeader, setupHeader + RSP_HEADER_SIZE);
        std::vector<BYTE> body =
            BuildMessage(sequence, handled.replyType, message.tag, handled.replyData);
        Append(reply, body.data(), body.size());
        outgoing.push_back({false, reply});
    }
    if (!handled.rakp4.empty())
    {
        // Not awaited by a console (ASF 2.0 makes it optional), so it wants no acknowledgement.
        std::vector<BYTE> rakp4(setupHeader, setupHeader + RSP_HEADER_SIZE);
        std::vector<BYTE> body =
            BuildMessage(RMCP_SEQ_NO_ACK, ASF_RAKP_MESSAGE_4, message.tag, handled.rakp4);
        Append(rakp4, body.data(), body.size());
        outgoing.push_back({false, rakp4});
    }
    return outgoing;
}

std::vector<CAsfAgent::tagOUTGOING> CAsfAgent::HandleSessionMessage(const BYTE* data,
                                                                    std::size_t length)
{
    if (m_phase != Phase::Established)
        return Reject("no-session"), std::vector<tagOUTGOING>{};
    tagRMCP_VIEW message;
    if (!ParseRmcp(data + RSP_HEADER_SIZE, length - RSP_HEADER_SIZE, message))
        return {};
    // Messages name our session; an acknowledgement echoes the header of our own reply,
    // which names the console's.
    bool ourSession = std::memcmp(data, m_sidM, 4) == 0;
    bool consoleSession = std::memcmp(data, m_sidR, 4) == 0;
    if (!(ourSession || (message.isAck && consoleSession)))
        return Reject("unknown-session"), std::vector<tagOUTGOING>{};
    if (!CheckTrailer(data, length, message.length))
        return {};
    if (message.isAck)
    {
        ++m_stats.acksReceived;
        return {};
    }
    DWORD sequence = GetBe32(data + 4);
    if (sequence <= m_rxSequence)
        return Reject("stale-sequence"), std::vector<tagOUTGOING>{};
    m_rxSequence = sequence;

    tagHANDLED handled;
    if (IsPowerOp(message.type))
        handled = HandlePowerOp(message);
    else if (message.type == ASF_CLOSE_SESSION_REQUEST)
    {
        ++m_stats.closes;
        handled.accepted = true;
        handled.endSession = true;
    }
    else if (IsStatusRequest(message.type))
        handled = HandleStatusMessage(message);
    else
        return Reject("unexpected-message"), std::vector<tagOUTGOING>{};

    std::vector<tagOUTGOING> outgoing;
    if (message.sequence != RMCP_SEQ_NO_ACK)
        outgoing.push_back({true, SignSecure(AckOf(data, RSP_HEADER_SIZE + RMCP_ACK_SIZE))});
    if (handled.hasReply)
    {
        BYTE rmcpSequence =
            message.sequence == RMCP_SEQ_NO_ACK ? RMCP_SEQ_NO_ACK : NextRmcpSequence();
        std::vector<BYTE> reply(m_sidR, m_sidR + 4);
        PutBe32(reply, ++m_txSequence);
        std::vector<BYTE> body =
            BuildMessage(rmcpSequence, handled.replyType, message.tag, handled.replyData);
        Append(reply, body.data(), body.size());
        outgoing.push_back({false, SignSecure(std::move(reply))});
    }
    if (handled.endSession)
        ResetSession();
    return outgoing;
}

bool CAsfAgent::ParseRmcp(const BYTE* data, std::size_t length, tagRMCP_VIEW& view)
{
    if (length < RMCP_ACK_SIZE)
        return Reject("short-rmcp");
    if (data[0] != RMCP_VERSION)
        return Reject("rmcp-version");
    view.sequence = data[2];
    view.messageClass = data[3];
    view.isAck = (data[3] & RMCP_CLASS_ACK) != 0;
    if ((data[3] & ~RMCP_CLASS_ACK) != RMCP_CLASS_ASF)
        return Reject("rmcp-class");
    if (view.isAck)
    {
        view.length = RMCP_ACK_SIZE;
        return true;
    }
    if (length < RMCP_ASF_HEADER_SIZE)
        return Reject("short-asf-header");
    if (GetBe32(data + 4) != ASF_IANA)
        return Reject("iana");
    view.type = data[8];
    view.tag = data[9];
    view.dataLength = data[11];
    if (view.dataLength > length - RMCP_ASF_HEADER_SIZE)
        return Reject("data-length");
    view.data = data + RMCP_ASF_HEADER_SIZE;
    view.length = RMCP_ASF_HEADER_SIZE + view.dataLength;
    return true;
}

bool CAsfAgent::CheckTrailer(const BYTE* data, std::size_t length, std::size_t messageLength)
{
    const std::size_t signedPart = RSP_HEADER_SIZE + messageLength;
    const std::size_t pad = (4 - (signedPart + 2) % 4) % 4;
    if (length != signedPart + pad + 2 + RSP_INTEGRITY_SIZE)
        return Reject("bad-length");
    for (std::size_t i = 0; i < pad; ++i)
    {
        if (data[signedPart + i] != 0)
            return Reject("bad-pad");
    }
    if (data[signedPart + pad] != pad)
        return Reject("bad-pad-length");
    if (data[signedPart + pad + 1] != RSP_NEXT_HEADER)
        return Reject("bad-next-header");
    BYTE expected[RSP_INTEGRITY_SIZE];
    const std::size_t covered = length - RSP_INTEGRITY_SIZE;
    HmacSha1_96(data, covered, m_sik, sizeof m_sik, expected);
    if (!ConstantTimeEqual(expected, sizeof expected, data + covered, RSP_INTEGRITY_SIZE))
        return Reject("bad-integrity");
    return true;
}

CAsfAgent::tagHANDLED CAsfAgent::HandleStatusMessage(const tagRMCP_VIEW& message)
{
    tagHANDLED handled;
    handled.accepted = true;
    handled.hasReply = true;
    std::vector<BYTE>& data = handled.replyData;
    switch (message.type)
    {
    case ASF_PRESENCE_PING:
        // ASF 2.0, 3.2.4.3: IANA, OEM-defined, supported entities (bit 7 IPMI, low nibble
        // the ASF version 1.0), supported interactions (bit 7 RSP), six reserved bytes.
        ++m_stats.pings;
        handled.replyType = ASF_PRESENCE_PONG;
        PutBe32(data, ASF_IANA);
        PutBe32(data, 0);
        data.push_back(static_cast<BYTE>((m_options.ipmi ? 0x80 : 0x00) | 0x01));
        data.push_back(m_options.rsp ? 0x80 : 0x00);
        data.resize(16, 0);
        break;
    case ASF_CAPABILITIES_REQUEST:
        // IANA, OEM-defined, special commands (2), system capabilities, firmware
        // capabilities (4), reserved.
        ++m_stats.capabilities;
        handled.replyType = ASF_CAPABILITIES_RESPONSE;
        PutBe32(data, ASF_IANA);
        PutBe32(data, 0);
        data.push_back(0);
        data.push_back(0);
        data.push_back(m_options.capabilities);
        data.resize(16, 0);
        break;
    case ASF_SYSTEM_STATE_REQUEST:
        ++m_stats.stateRequests;
        handled.replyType = ASF_SYSTEM_STATE_RESPONSE;
        data = {m_options.state, static_cast<BYTE>(m_options.watchdog ? 0x01 : 0x00), 0, 0};
        if (m_options.bigReply)
            data.resize(8, 0);
        break;
    default:
        handled = tagHANDLED{};
        break;
    }
    return handled;
}

CAsfAgent::tagHANDLED CAsfAgent::HandleOpenSession(const tagRMCP_VIEW& message)
{
    tagHANDLED handled;
    if (message.dataLength < OPEN_SESSION_REQUEST_SIZE)
        return Reject("short-open-session"), handled;
    const BYTE* d = message.data;
    ResetSession();
    std::memcpy(m_sidR, d, 4);

    BYTE status = RSP_STATUS_OK;
    if (d[4] != RSP_PAYLOAD_AUTHENTICATION || d[7] != RSP_PAYLOAD_LENGTH ||
        d[12] != RSP_PAYLOAD_INTEGRITY || d[15] != RSP_PAYLOAD_LENGTH)
        status = RSP_STATUS_INVALID_PAYLOAD_TYPE;
    else if (d[8] != RSP_AUTH_RAKP_HMAC_SHA1)
        status = RSP_STATUS_INVALID_AUTH_ALGORITHM;
    else if (d[16] != RSP_INTEGRITY_HMAC_SHA1_96)
        status = RSP_STATUS_INVALID_INTEGRITY_ALGORITHM;
    else
    {
        // Session ID 0 marks the setup messages, so ours must not be 0.
        status = RSP_STATUS_NO_RESOURCES;
        for (int attempt = 0; attempt < 4 && status != RSP_STATUS_OK; ++attempt)
        {
            if (m_random.Fill(m_sidM, sizeof m_sidM) && GetBe32(m_sidM) != 0)
                status = RSP_STATUS_OK;
        }
    }

    handled.accepted = true;
    handled.hasReply = true;
    handled.replyType = ASF_OPEN_SESSION_RESPONSE;
    if (status != RSP_STATUS_OK)
    {
        handled.replyData = StatusReply(status, m_sidR);
        ResetSession();
        return handled;
    }
    m_phase = Phase::Opened;
    std::vector<BYTE>& data = handled.replyData;
    data = StatusReply(RSP_STATUS_OK, m_sidR);
    Append(data, m_sidM, 4);
    const BYTE payloads[16] = {
        RSP_PAYLOAD_AUTHENTICATION, 0, 0, RSP_PAYLOAD_LENGTH, RSP_AUTH_RAKP_HMAC_SHA1,    0, 0, 0,
        RSP_PAYLOAD_INTEGRITY,      0, 0, RSP_PAYLOAD_LENGTH, RSP_INTEGRITY_HMAC_SHA1_96, 0, 0, 0};
    Append(data, payloads, sizeof payloads);
    return handled;
}

CAsfAgent::tagHANDLED CAsfAgent::HandleRakp1(const tagRMCP_VIEW& message)
{
    tagHANDLED handled;
    if (message.dataLength < RAKP_1_SIZE)
        return Reject("short-rakp1"), handled;
    const BYTE* d = message.data;
    handled.accepted = true;
    handled.hasReply = true;
    handled.replyType = ASF_RAKP_MESSAGE_2;

    // RAKP Message 1: SIDm, Rr, ROLEm, two reserved bytes, ULENGTHm, user name (16).
    const BYTE role = d[20];
    const BYTE nameLength = d[23];
    BYTE status = RSP_STATUS_OK;
    if ((m_phase != Phase::Opened && m_phase != Phase::Rakp2Sent) || std::memcmp(d, m_sidM, 4) != 0)
        status = RSP_STATUS_INVALID_SESSION_ID;
    else if (role != ROLE_OPERATOR && role != ROLE_ADMINISTRATOR)
        status = RSP_STATUS_INVALID_ROLE;
    else if (nameLength > RSP_MAX_NAME)
        status = RSP_STATUS_INVALID_NAME_LENGTH;
    else
    {
        m_role = role;
        m_name.assign(reinterpret_cast<const char*>(d + 24), nameLength);
        m_stats.lastRole = role;
        m_stats.lastUser = m_name;
        if (!m_options.user.empty() && m_name != m_options.user)
            status = RSP_STATUS_UNAUTHORIZED_NAME;
        else if (!m_random.Fill(m_rm, sizeof m_rm))
            status = RSP_STATUS_NO_RESOURCES;
    }
    if (status != RSP_STATUS_OK)
    {
        handled.replyData = StatusReply(status, m_sidR);
        ResetSession();
        return handled;
    }
    std::memcpy(m_rr, d + 4, sizeof m_rr);
    std::memcpy(m_kr, m_role == ROLE_ADMINISTRATOR ? m_options.adminKey : m_options.operatorKey,
                sizeof m_kr);

    std::vector<BYTE> input;
    Append(input, m_sidR, 4);          // SIDr
    Append(input, m_sidM, 4);          // SIDm
    Append(input, m_rr, 16);           // Rr
    Append(input, m_rm, 16);           // Rm
    Append(input, m_options.guid, 16); // GUIDm
    input.push_back(m_role);           // ROLEm
    input.push_back(nameLength);       // ULENGTHm
    Append(input, d + 24, nameLength); // UNAMEm
    BYTE code[20];
    HmacSha1(input.data(), input.size(), m_kr, sizeof m_kr, code);
    if (m_options.badAuthCode)
        code[0] ^= 0xFF;

    std::vector<BYTE>& data = handled.replyData;
    data = StatusReply(RSP_STATUS_OK, m_sidR);
    Append(data, m_rm, 16);
    Append(data, m_options.guid, 16);
    Append(data, code, RSP_INTEGRITY_SIZE);
    m_phase = Phase::Rakp2Sent;
    return handled;
}

CAsfAgent::tagHANDLED CAsfAgent::HandleRakp3(const tagRMCP_VIEW& message)
{
    tagHANDLED handled;
    if (message.dataLength < RAKP_3_SIZE)
        return Reject("short-rakp3"), handled;
    const BYTE* d = message.data;
    if (m_phase != Phase::Rakp2Sent || std::memcmp(d + 4, m_sidM, 4) != 0)
        return Reject("rakp3-without-rakp2"), handled;
    // Received and acknowledged whatever it says; only a good code establishes the session.
    handled.accepted = true;
    if (d[0] != RSP_STATUS_OK)
    {
        m_stats.lastReject = "rakp3-status";
        ResetSession();
        return handled;
    }

    const BYTE nameLength = static_cast<BYTE>(m_name.size());
    std::vector<BYTE> input;
    Append(input, m_rm, 16);                                                 // Rm
    Append(input, m_sidR, 4);                                                // SIDr
    input.push_back(m_role);                                                 // ROLEm
    input.push_back(nameLength);                                             // ULENGTHm
    Append(input, reinterpret_cast<const BYTE*>(m_name.data()), nameLength); // UNAMEm
    BYTE expected[20];
    HmacSha1(input.data(), input.size(), m_kr, sizeof m_kr, expected);
    if (!ConstantTimeEqual(expected, RSP_INTEGRITY_SIZE, d + 8, RSP_INTEGRITY_SIZE))
    {
        ++m_stats.authFailures;
        m_stats.lastReject = "rakp3-auth-code";
        if (m_options.sendRakp4)
            handled.rakp4 = StatusReply(RSP_STATUS_INVALID_INTEGRITY_CHECK, m_sidR);
        ResetSession();
        return handled;
    }

    // SIK = HMAC-SHA1 keyed with KG over Rr | Rm | ROLEm | ULENGTHm | UNAMEm.
    input.clear();
    Append(input, m_rr, 16);
    Append(input, m_rm, 16);
    input.push_back(m_role);
    input.push_back(nameLength);
    Append(input, reinterpret_cast<const BYTE*>(m_name.data()), nameLength);
    HmacSha1(input.data(), input.size(), m_options.generationKey, sizeof m_options.generationKey,
             m_sik);
    SecureZero(m_kr, sizeof m_kr);
    m_phase = Phase::Established;
    m_rxSequence = 0;
    m_txSequence = 0;
    m_stats.established = true;
    ++m_stats.sessionsOpened;

    if (m_options.sendRakp4)
    {
        // Integrity check value over Rr | SIDr | GUIDm, keyed with the SIK.
        input.clear();
        Append(input, m_rr, 16);
        Append(input, m_sidR, 4);
        Append(input, m_options.guid, 16);
        BYTE icv[RSP_INTEGRITY_SIZE];
        HmacSha1_96(input.data(), input.size(), m_sik, sizeof m_sik, icv);
        handled.rakp4 = StatusReply(RSP_STATUS_OK, m_sidR);
        Append(handled.rakp4, icv, sizeof icv);
    }
    return handled;
}

CAsfAgent::tagHANDLED CAsfAgent::HandlePowerOp(const tagRMCP_VIEW& message)
{
    tagHANDLED handled;
    handled.accepted = true;
    ++m_stats.powerOps;
    m_stats.lastPowerOp = message.type;
    m_options.state = message.type == ASF_POWER_DOWN ? STATE_SOFT_OFF : STATE_WORKING;
    return handled;
}

std::vector<BYTE> CAsfAgent::BuildMessage(BYTE sequence, BYTE type, BYTE tag,
                                          const std::vector<BYTE>& data) const
{
    std::vector<BYTE> message{RMCP_VERSION, 0x00, sequence, RMCP_CLASS_ASF};
    PutBe32(message, ASF_IANA);
    message.push_back(type);
    message.push_back(tag);
    message.push_back(0x00);
    message.push_back(static_cast<BYTE>(data.size()));
    Append(message, data.data(), data.size());
    return message;
}

std::vector<BYTE> CAsfAgent::SignSecure(std::vector<BYTE> datagram) const
{
    const std::size_t pad = (4 - (datagram.size() + 2) % 4) % 4;
    datagram.resize(datagram.size() + pad, 0);
    datagram.push_back(static_cast<BYTE>(pad));
    datagram.push_back(RSP_NEXT_HEADER);
    BYTE icv[RSP_INTEGRITY_SIZE];
    HmacSha1_96(datagram.data(), datagram.size(), m_sik, sizeof m_sik, icv);
    if (m_options.badIntegrity)
        icv[RSP_INTEGRITY_SIZE - 1] ^= 0xFF;
    Append(datagram, icv, sizeof icv);
    return datagram;
}

BYTE CAsfAgent::NextRmcpSequence()
{
    BYTE sequence = m_rmcpSequence;
    m_rmcpSequence = static_cast<BYTE>(sequence + 1 == RMCP_SEQ_NO_ACK ? 0 : sequence + 1);
    return sequence;
}

bool CAsfAgent::Reject(const char* reason)
{
    ++m_stats.rejected;
    m_stats.lastReject = reason;
    return false;
}

void CAsfAgent::ResetSession()
{
    m_phase = Phase::Idle;
    SecureZero(m_sidR, sizeof m_sidR);
    SecureZero(m_sidM, sizeof m_sidM);
    SecureZero(m_rr, sizeof m_rr);
    SecureZero(m_rm, sizeof m_rm);
    SecureZero(m_kr, sizeof m_kr);
    SecureZero(m_sik, sizeof m_sik);
    m_role = 0;
    m_name.clear();
    m_rxSequence = 0;
    m_txSequence = 0;
    m_stats.established = false;
}

std::vector<std::vector<BYTE>> CAsfAgent::ApplySendFaults(const std::vector<tagOUTGOING>& outgoing)
{
    std::vector<std::vector<BYTE>> send;
    for (const tagOUTGOING& item : outgoing)
    {
        unsigned& dropCount = item.isAck ? m_options.dropAck : m_options.dropReply;
        if (dropCount != 0)
        {
            --dropCount;
            ++m_stats.sendsDropped;
            continue;
        }
        ++(item.isAck ? m_stats.acksSent : m_stats.repliesSent);
        send.push_back(item.bytes);
    }
    return send;
}
