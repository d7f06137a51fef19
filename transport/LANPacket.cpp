#include "transport/LANPacket.h"

#include "transport/ByteIo.h"
#include "transport/crypto/Hmac.h"
#include "transport/crypto/KAES.h"
#include "transport/crypto/Md5.h"
#include "transport/crypto/Secure.h"

#include <cstring>

namespace
{
constexpr std::size_t MAX_AUTH_CODE = 16;

void PutRmcpHeader(CByteWriter& w)
{
    w.Put8(RMCP_VERSION_1);       // version
    w.Put8(0x00);                 // reserved
    w.Put8(RMCP_SEQUENCE_NO_ACK); // sequence
    w.Put8(RMCP_CLASS_IPMI);      // class
}

// AuthCode over the packet from the authentication type through the next header.
void ComputeAuthCode(const tagRMCPPLUS_CRYPTO& crypto, const BYTE* data, std::size_t length,
                     BYTE* out)
{
    if (crypto.integrity == INTEGRITY_HMAC_SHA1_96)
    {
        HmacSha1_96(data, length, crypto.k1, sizeof crypto.k1, out);
    }
    else if (crypto.integrity == INTEGRITY_MD5_128)
    {
        // MD5-128: MD5(password ++ data ++ password), the password zero-extended to 20
        // bytes, as the reference BMC and clients compute it.
        tagMD5_CONTEXT md5;
        Md5Init(&md5);
        Md5Update(&md5, crypto.kuid, sizeof crypto.kuid);
        Md5Update(&md5, data, length);
        Md5Update(&md5, crypto.kuid, sizeof crypto.kuid);
        Md5Final(out, &md5);
    }
}

// Named checks of a received packet; each returns false and sets reason.
bool CheckRmcpHeader(const BYTE* packet, std::size_t length, const char** reason)
{
    if (length < 4 || packet[0] != RMCP_VERSION_1 || packet[3] != RMCP_CLASS_IPMI)
    {
        *reason = "not an RMCP IPMI-class packet";
        return false;
    }
    return true;
}

// The framing's header: RMCP IPMI class, at least the header's bytes, the authentication
// type the framing carries. Each failure names the check.
bool CheckFramingHeader(const BYTE* packet, std::size_t length, std::size_t headerSize,
                        BYTE authType, const char* truncated, const char* wrongType,
                        const char** reason)
{
    if (!CheckRmcpHeader(packet, length, reason))
        return false;
    if (length < headerSize)
    {
        *reason = truncated;
        return false;
    }
    if (packet[4] != authType)
    {
        *reason = wrongType;
        return false;
    }
    return true;
}

bool CheckIntegrity(const BYTE* packet, std::size_t length, std::size_t payloadEnd,
                    const tagRMCPPLUS_CRYPTO& crypto, const char** reason)
{
    std::size_t authLength = AuthCodeLength(crypto.integrity);
    if ((packet[5] & PAYLOAD_FLAG_AUTHENTICATED) == 0)
    {
        *reason = "packet not authenticated in an integrity session";
        return false;
    }
    if (length < payloadEnd + 2 + authLength)
    {
        *reason = "integrity trailer truncated";
        return false;
    }
    std::size_t nextHeader = length - authLength - 1;
    std::size_t padLength = packet[nextHeader - 1];
    if (padLength > 3 || payloadEnd + padLength + 2 + authLength != length)
    {
        *reason = "integrity pad length inconsistent";
        return false;
    }
    if (packet[nextHeader] != RMCPPLUS_NEXT_HEADER)
    {
        *reason = "bad next header in integrity trailer";
        return false;
    }
    BYTE expected[MAX_AUTH_CODE];
    ComputeAuthCode(crypto, packet + 4, nextHeader + 1 - 4, expected);
    if (!ConstantTimeEqual(expected, authLength, packet + nextHeader + 1, authLength))
    {
        *reason = "integrity AuthCode mismatch";
        return false;
    }
    return true;
}
} // namespace

std::size_t AuthCodeLength(BYTE integrity)
{
    switch (integrity)
    {
    case INTEGRITY_HMAC_SHA1_96:
        return 12;
    case INTEGRITY_MD5_128:
        return 16;
    default:
        return 0;
    }
}

std::size_t BuildV15Packet(const BYTE* prefixedMessage, BYTE* out, std::size_t capacity)
{
    BYTE length = prefixedMessage[0];
    CByteWriter w(out, capacity);
    PutRmcpHeader(w);
    w.Put8(IPMI_AUTHTYPE_NONE);              // authentication type
    w.PutLe32(0);                            // session sequence number
    w.PutLe32(0);                            // session ID
    w.Put8(length);                          // message length
    w.PutBytes(prefixedMessage + 1, length); // IPMI message
    return w.Ok() ? w.Size() : 0;
}

std::size_t BuildRmcpPlusPacket(const tagRMCPPLUS_FIELDS& fields, const BYTE* payload,
                                std::size_t payloadLength, const tagRMCPPLUS_CRYPTO* crypto,
                                const BYTE* iv, BYTE* out, std::size_t capacity)
{
    bool encrypt = crypto != nullptr && crypto->encrypt && crypto->cipher != nullptr;
    bool integrity = crypto != nullptr && AuthCodeLength(crypto->integrity) != 0;
    BYTE type = static_cast<BYTE>(fields.payloadType & PAYLOAD_TYPE_MASK);
    if (encrypt)
        type |= PAYLOAD_FLAG_ENCRYPTED;
    if (integrity)
        type |= PAYLOAD_FLAG_AUTHENTICATED;

    CByteWriter w(out, capacity);
    PutRmcpHeader(w);
    w.Put8(fields.authType); // authentication type / format
    w.Put8(type);            // payload type
    w.PutLe32(fields.sessionId);
    w.PutLe32(fields.sequence);
    w.PutLe16(0); // payload length, patched below
    if (!w.Ok())
        return 0;
    std::size_t payloadSize = payloadLength;
    if (encrypt)
    {
        std::size_t pad = (AES_BLOCK - (payloadLength + 1) % AES_BLOCK) % AES_BLOCK;
        payloadSize = AES_BLOCK + payloadLength + pad + 1;
        BYTE* place = w.Claim(payloadSize); // IV ++ ciphertext, written in place
        if (place == nullptr ||
            EncryptPayload(payload, payloadLength, *crypto->cipher, iv, place, payloadSize) == 0)
            return 0;
    }
    else
    {
        w.PutBytes(payload, payloadLength);
    }
    if (!w.Ok() || payloadSize > 0xFFFF)
        return 0;
    w.PatchLe16(14, static_cast<WORD>(payloadSize));

    if (integrity)
    {
        // Pad so that the bytes from the authentication type through the next header are a
        // multiple of 4 (IPMI v2.0, 13.28.4).
        std::size_t covered = w.Size() - 4 + 2;
        std::size_t pad = (4 - covered % 4) % 4;
        w.PutFill(0xFF, pad);           // integrity pad
        w.Put8(static_cast<BYTE>(pad)); // pad length
        w.Put8(RMCPPLUS_NEXT_HEADER);   // next header
        if (!w.Ok())
            return 0;
        BYTE code[MAX_AUTH_CODE];
        ComputeAuthCode(*crypto, out + 4, w.Size() - 4, code);
        w.PutBytes(code, AuthCodeLength(crypto->integrity)); // AuthCode
    }
    return w.Ok() ? w.Size() : 0;
}

BOOL ExtractV15Message(const BYTE* packet, std::size_t length, BYTE* out, std::size_t capacity,
                       const char** reason)
{
    const char* ignored = "";
    if (reason == nullptr)
        reason = &ignored;
    if (!CheckFramingHeader(packet, length, V15_HEADER_SIZE, IPMI_AUTHTYPE_NONE,
                            "v1.5 header truncated",
                            "v1.5 packet with authentication outside a session", reason))
        return FALSE;
    std::size_t messageLength = packet[13];
    if (V15_HEADER_SIZE + messageLength > length)
    {
        *reason = "v1.5 message length beyond the datagram";
        return FALSE;
    }
    if (messageLength + 1 > capacity)
    {
        *reason = "message too long";
        return FALSE;
    }
    out[0] = static_cast<BYTE>(messageLength);
    std::memcpy(out + 1, packet + V15_HEADER_SIZE, messageLength);
    return TRUE;
}

BOOL ExtractRmcpPlusMessage(const BYTE* packet, std::size_t length,
                            const tagRMCPPLUS_CRYPTO* crypto, BYTE* out, std::size_t capacity,
                            const char** reason)
{
    const char* ignored = "";
    if (reason == nullptr)
        reason = &ignored;
    if (!CheckFramingHeader(packet, length, RMCPPLUS_HEADER_SIZE, IPMI_AUTHTYPE_RMCPPLUS,
                            "RMCP+ header truncated", "not an RMCP+ packet", reason))
        return FALSE;
    CByteReader r(packet + 14, 2);
    std::size_t payloadLength = r.GetLe16();
    std::size_t payloadEnd = RMCPPLUS_HEADER_SIZE + payloadLength;
    if (payloadEnd > length)
    {
        *reason = "payload length beyond the datagram";
        return FALSE;
    }
    if (crypto != nullptr && AuthCodeLength(crypto->integrity) != 0 &&
        !CheckIntegrity(packet, length, payloadEnd, *crypto, reason))
        return FALSE;

    const BYTE* payload = packet + RMCPPLUS_HEADER_SIZE;
    if (capacity < 2)
        return FALSE;
    if (crypto != nullptr && crypto->encrypt && crypto->cipher != nullptr)
    {
        long messageLength =
            DecryptPayload(payload, payloadLength, *crypto->cipher, out + 2, capacity - 2, reason);
        if (messageLength < 0)
            return FALSE;
        out[0] = static_cast<BYTE>(messageLength);
        out[1] = static_cast<BYTE>(messageLength >> 8);
        return TRUE;
    }
    if (payloadLength + 2 > capacity)
    {
        *reason = "message too long";
        return FALSE;
    }
    out[0] = static_cast<BYTE>(payloadLength);
    out[1] = static_cast<BYTE>(payloadLength >> 8);
    std::memcpy(out + 2, payload, payloadLength);
    return TRUE;
}

std::size_t EncryptPayload(const BYTE* message, std::size_t length, KAES& cipher, const BYTE iv[16],
                           BYTE* out, std::size_t capacity)
{
    std::size_t pad = (AES_BLOCK - (length + 1) % AES_BLOCK) % AES_BLOCK;
    std::size_t plainLength = length + pad + 1;
    if (AES_BLOCK + plainLength > capacity)
        return 0;
    std::memcpy(out, iv, AES_BLOCK);
    BYTE* text = out + AES_BLOCK;
    if (length != 0)
        std::memmove(text, message, length);
    for (std::size_t i = 1; i <= pad; ++i)
        text[length + i - 1] = static_cast<BYTE>(i); // confidentiality pad 01h, 02h, ...
    text[plainLength - 1] = static_cast<BYTE>(pad);  // pad length
    const BYTE* previous = out;
    for (std::size_t block = 0; block < plainLength; block += AES_BLOCK)
    {
        for (std::size_t i = 0; i < AES_BLOCK; ++i)
            text[block + i] ^= previous[i];
        cipher.Encrypt(text + block, text + block);
        previous = text + block;
    }
    return AES_BLOCK + plainLength;
}

long DecryptPayload(const BYTE* payload, std::size_t length, KAES& cipher, BYTE* out,
                    std::size_t capacity, const char** reason)
{
    if (length < 2 * AES_BLOCK || (length - AES_BLOCK) % AES_BLOCK != 0)
    {
        *reason = "encrypted payload not whole blocks";
        return -1;
    }
    std::size_t plainLength = length - AES_BLOCK;
    if (plainLength > capacity)
    {
        *reason = "message too long";
        return -1;
    }
    const BYTE* cipherText = payload + AES_BLOCK;
    for (std::size_t block = 0; block < plainLength; block += AES_BLOCK)
    {
        cipher.Decrypt(cipherText + block, out + block);
        const BYTE* previous = block == 0 ? payload : cipherText + block - AES_BLOCK;
        for (std::size_t i = 0; i < AES_BLOCK; ++i)
            out[block + i] ^= previous[i];
    }
    std::size_t pad = out[plainLength - 1];
    if (pad >= AES_BLOCK || pad + 1 > plainLength)
    {
        *reason = "confidentiality pad length out of range";
        return -1;
    }
    std::size_t messageLength = plainLength - 1 - pad;
    for (std::size_t i = 1; i <= pad; ++i)
    {
        if (out[messageLength + i - 1] != i)
        {
            *reason = "confidentiality pad bytes wrong";
            return -1;
        }
    }
    return static_cast<long>(messageLength);
}
