#pragma once
// The two LAN framings of IPMI messages, built and taken apart as pure functions over byte
// buffers (no socket, no session object), so that every byte can be tested alone.
//
// IPMI v1.5 LAN packet, outside a session (IPMI v2.0, 13.6 and 13.14):
//   off size field
//    0   4   RMCP header: version 06h, reserved 00h, sequence FFh (no ack), class 07h (IPMI)
//    4   1   authentication type, 00h (none)
//    5   4   session sequence number, 0
//    9   4   session ID, 0
//   13   1   message length n
//   14   n   IPMI message
//
// RMCP+ packet (IPMI v2.0, 13.6 and 13.8):
//   off size field
//    0   4   RMCP header as above
//    4   1   authentication type / format, 06h (RMCP+)
//    5   1   payload type: bit 7 encrypted, bit 6 authenticated, bits 5..0 the type
//    6   4   session ID (the BMC's, as it sent it; 0 during session setup)
//   10   4   session sequence number, LS byte first (0 during session setup)
//   14   2   payload length, LS byte first
//   16   len payload: the IPMI message, or IV ++ AES-CBC-128 ciphertext
//   Only in sessions with an integrity algorithm (IPMI v2.0, 13.28.4):
//        pad integrity pad, FFh bytes, so that bytes 4 .. next header are a multiple of 4
//        1   pad length
//        1   next header, 07h
//        m   AuthCode over bytes 4 .. next header (12 for HMAC-SHA1-96, 16 for MD5-128)
#include "transport/TransportTypes.h"

#include <cstddef>

class KAES;

constexpr BYTE RMCP_VERSION_1 = 0x06;
constexpr BYTE RMCP_SEQUENCE_NO_ACK = 0xFF;
constexpr BYTE RMCP_CLASS_ASF = 0x06;
constexpr BYTE RMCP_CLASS_IPMI = 0x07;
constexpr BYTE IPMI_AUTHTYPE_NONE = 0x00;
constexpr BYTE IPMI_AUTHTYPE_RMCPPLUS = 0x06;

constexpr BYTE PAYLOAD_FLAG_ENCRYPTED = 0x80;
constexpr BYTE PAYLOAD_FLAG_AUTHENTICATED = 0x40;
constexpr BYTE PAYLOAD_TYPE_MASK = 0x3F;
constexpr BYTE PAYLOAD_TYPE_IPMI = 0x00;
constexpr BYTE PAYLOAD_TYPE_SOL = 0x01;
constexpr BYTE PAYLOAD_TYPE_OPEN_SESSION_REQUEST = 0x10;
constexpr BYTE PAYLOAD_TYPE_OPEN_SESSION_RESPONSE = 0x11;
constexpr BYTE PAYLOAD_TYPE_RAKP_1 = 0x12;
constexpr BYTE PAYLOAD_TYPE_RAKP_2 = 0x13;
constexpr BYTE PAYLOAD_TYPE_RAKP_3 = 0x14;
constexpr BYTE PAYLOAD_TYPE_RAKP_4 = 0x15;

constexpr std::size_t V15_HEADER_SIZE = 14;
constexpr std::size_t RMCPPLUS_HEADER_SIZE = 16;
constexpr std::size_t AES_BLOCK = 16;
constexpr std::size_t IPMI_PACKET_BUFFER_SIZE = 400;
constexpr BYTE RMCPPLUS_NEXT_HEADER = 0x07;

// The security state of an open RMCP+ session that the framing needs. Owned by the
// connection; the framing only reads it (and runs the cipher).
struct tagRMCPPLUS_CRYPTO
{
    BYTE integrity = INTEGRITY_NONE; // INTEGRITY_NONE, _HMAC_SHA1_96 or _MD5_128
    BOOL encrypt = FALSE;            // AES-CBC-128 payloads
    KAES* cipher = nullptr;          // keyed with the first 16 bytes of K2
    BYTE k1[20] = {};                // HMAC-SHA1-96 key
    BYTE kuid[20] = {};              // the password, zero-extended: MD5-128 key
};

struct tagRMCPPLUS_FIELDS
{
    BYTE authType = IPMI_AUTHTYPE_RMCPPLUS;
    BYTE payloadType = PAYLOAD_TYPE_IPMI; // bits 5..0; the flag bits are set by the builder
    DWORD sessionId = 0;
    DWORD sequence = 0;
};

// Length of the AuthCode an integrity algorithm appends; 0 for none or unknown.
std::size_t AuthCodeLength(BYTE integrity);

// IPMI v1.5 packet from a message with its 8-bit length prefix. Returns the packet length,
// 0 when it does not fit.
std::size_t BuildV15Packet(const BYTE* prefixedMessage, BYTE* out, std::size_t capacity);

// RMCP+ packet around a payload. With crypto, the payload is encrypted when crypto->encrypt
// (iv: the 16-byte initialisation vector to use) and the integrity trailer is added when
// crypto->integrity is set. Returns the packet length, 0 when it does not fit.
std::size_t BuildRmcpPlusPacket(const tagRMCPPLUS_FIELDS& fields, const BYTE* payload,
                                std::size_t payloadLength, const tagRMCPPLUS_CRYPTO* crypto,
                                const BYTE* iv, BYTE* out, std::size_t capacity);

// The message of a v1.5 packet, with its 8-bit length prefix, into out. reason is set on
// failure (a short text naming the check that refused the packet).
BOOL ExtractV15Message(const BYTE* packet, std::size_t length, BYTE* out, std::size_t capacity,
                       const char** reason);

// The IPMI message of an in-session RMCP+ packet, with its 16-bit length prefix, into out:
// the integrity trailer is checked and the payload decrypted as the session's crypto
// state says (the packet's own flag bits are not trusted for that).
BOOL ExtractRmcpPlusMessage(const BYTE* packet, std::size_t length,
                            const tagRMCPPLUS_CRYPTO* crypto, BYTE* out, std::size_t capacity,
                            const char** reason);

// AES-CBC-128 payload (IPMI v2.0, 13.29): IV, then the ciphertext of message ++ 01 02 .. N
// ++ N, with N the smallest count that fills the last block. Returns the payload length.
std::size_t EncryptPayload(const BYTE* message, std::size_t length, KAES& cipher, const BYTE iv[16],
                           BYTE* out, std::size_t capacity);
// Inverse of EncryptPayload; checks the block count and the pad. Returns the message length
// written to out, or -1 (reason set).
long DecryptPayload(const BYTE* payload, std::size_t length, KAES& cipher, BYTE* out,
                    std::size_t capacity, const char** reason);
