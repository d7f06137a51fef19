#include "asf/AsfSessionMessages.h"

#include "transport/ByteIo.h"
#include "transport/crypto/Hmac.h"
#include "transport/crypto/Secure.h"

#include <cstring>

namespace
{
constexpr BYTE PAYLOAD_AUTHENTICATION = 0x01;
constexpr BYTE PAYLOAD_INTEGRITY = 0x02;
constexpr BYTE PAYLOAD_LENGTH = 0x08;
constexpr BYTE ALGORITHM_RAKP_HMAC_SHA1 = 0x01;
constexpr BYTE ALGORITHM_HMAC_SHA1_96 = 0x01;
constexpr BYTE ASF_STATUS_NO_ERROR = 0x00;

// Offsets within the Open Session Response data.
constexpr std::size_t OSR_SIDM = 8;
constexpr std::size_t OSR_AUTH_TYPE = 12;
constexpr std::size_t OSR_AUTH_ALGORITHM = 16;
constexpr std::size_t OSR_INTEGRITY_TYPE = 20;
constexpr std::size_t OSR_INTEGRITY_ALGORITHM = 24;

// The largest HMAC input: the 58 fixed bytes of the RAKP 2 code and a 16-byte name.
constexpr std::size_t MAX_HMAC_INPUT = 58 + ASF_USER_NAME_MAX;

bool Fail(const char** reason, const char* why)
{
    if (reason != nullptr)
        *reason = why;
    return false;
}

void PutPayload(CByteWriter& w, BYTE type, BYTE algorithm)
{
    w.Put8(type);           // payload type
    w.PutFill(0x00, 2);     // reserved
    w.Put8(PAYLOAD_LENGTH); // payload length
    w.Put8(algorithm);      // algorithm
    w.PutFill(0x00, 3);     // reserved
}

void PutUser(CByteWriter& w, const tagASF_RAKP_MATERIAL& m)
{
    w.Put8(m.role);                   // ROLEm
    w.Put8(m.userLength);             // ULENGTHm
    w.PutBytes(m.user, m.userLength); // UNAMEm
}
} // namespace

void ClearRakpMaterial(tagASF_RAKP_MATERIAL& m)
{
    SecureZero(&m, sizeof m);
    m.role = ASF_ROLE_ADMINISTRATOR;
}

void BuildOpenSessionRequest(const BYTE sidr[4], BYTE out[ASF_OPEN_SESSION_REQUEST_SIZE])
{
    CByteWriter w(out, ASF_OPEN_SESSION_REQUEST_SIZE);
    w.PutBytes(sidr, 4); // SIDr
    PutPayload(w, PAYLOAD_AUTHENTICATION, ALGORITHM_RAKP_HMAC_SHA1);
    PutPayload(w, PAYLOAD_INTEGRITY, ALGORITHM_HMAC_SHA1_96);
    w.PutFill(0x00, 3); // closing payload: type 00h, reserved
    w.Put8(0x04);       // closing payload length
}

BOOL CheckOpenSessionResponse(const BYTE* data, std::size_t length, BYTE sidm[4],
                              const char** reason)
{
    if (length < ASF_OPEN_SESSION_RESPONSE_SIZE)
        return Fail(reason, "Open Session Response too short");
    if (data[0] != ASF_STATUS_NO_ERROR)
        return Fail(reason, "Open Session Response status not 00h");
    if (data[OSR_AUTH_TYPE] != PAYLOAD_AUTHENTICATION ||
        data[OSR_AUTH_ALGORITHM] != ALGORITHM_RAKP_HMAC_SHA1)
        return Fail(reason, "authentication algorithm not RAKP-HMAC-SHA1");
    if (data[OSR_INTEGRITY_TYPE] != PAYLOAD_INTEGRITY ||
        data[OSR_INTEGRITY_ALGORITHM] != ALGORITHM_HMAC_SHA1_96)
        return Fail(reason, "integrity algorithm not HMAC-SHA1-96");
    std::memcpy(sidm, data + OSR_SIDM, 4);
    return TRUE;
}

void BuildRakp1(const tagASF_RAKP_MATERIAL& m, BYTE out[ASF_RAKP_1_SIZE])
{
    CByteWriter w(out, ASF_RAKP_1_SIZE);
    w.PutBytes(m.sidm, 4);                 // SIDm
    w.PutBytes(m.rr, 16);                  // Rr
    w.Put8(m.role);                        // ROLEm
    w.PutFill(0x00, 2);                    // reserved
    w.Put8(m.userLength);                  // ULENGTHm
    w.PutBytes(m.user, ASF_USER_NAME_MAX); // UNAMEm, zero after the name
}

BOOL CheckRakp2(tagASF_RAKP_MATERIAL& m, const BYTE* data, std::size_t length,
                BYTE code[ASF_RAKP_CODE_SIZE], const char** reason)
{
    if (length < ASF_RAKP_2_SIZE)
        return Fail(reason, "RAKP Message 2 too short");
    CByteReader r(data, length);
    BYTE status = r.Get8();
    r.Skip(3);
    BYTE sidr[4];
    r.GetBytes(sidr, sizeof sidr);
    if (status != ASF_STATUS_NO_ERROR)
        return Fail(reason, "RAKP Message 2 status not 00h");
    if (std::memcmp(sidr, m.sidr, sizeof sidr) != 0)
        return Fail(reason, "RAKP Message 2 for another console session");
    r.GetBytes(m.rm, sizeof m.rm);       // Rm
    r.GetBytes(m.guidm, sizeof m.guidm); // GUIDm
    r.GetBytes(code, ASF_RAKP_CODE_SIZE);
    return r.Ok() ? TRUE : Fail(reason, "RAKP Message 2 too short");
}

BOOL VerifyRakp2Code(const tagASF_RAKP_MATERIAL& m, const BYTE code[ASF_RAKP_CODE_SIZE])
{
    BYTE input[MAX_HMAC_INPUT];
    CByteWriter w(input, sizeof input);
    w.PutBytes(m.sidr, 4);   // SIDr
    w.PutBytes(m.sidm, 4);   // SIDm
    w.PutBytes(m.rr, 16);    // Rr
    w.PutBytes(m.rm, 16);    // Rm
    w.PutBytes(m.guidm, 16); // GUIDm
    PutUser(w, m);
    BYTE digest[20];
    HmacSha1(input, w.Size(), m.kr, ASF_KEY_SIZE, digest);
    BOOL ok = w.Ok() && ConstantTimeEqual(digest, ASF_RAKP_CODE_SIZE, code, ASF_RAKP_CODE_SIZE);
    SecureZero(digest, sizeof digest);
    return ok;
}

void BuildRakp3(const tagASF_RAKP_MATERIAL& m, BYTE out[ASF_RAKP_3_SIZE])
{
    BYTE input[MAX_HMAC_INPUT];
    CByteWriter in(input, sizeof input);
    in.PutBytes(m.rm, 16);  // Rm
    in.PutBytes(m.sidr, 4); // SIDr
    PutUser(in, m);
    BYTE digest[20];
    HmacSha1(input, in.Size(), m.kr, ASF_KEY_SIZE, digest);

    CByteWriter w(out, ASF_RAKP_3_SIZE);
    w.Put8(ASF_STATUS_NO_ERROR);            // status
    w.PutFill(0x00, 3);                     // reserved
    w.PutBytes(m.sidm, 4);                  // SIDm
    w.PutBytes(digest, ASF_RAKP_CODE_SIZE); // key exchange authentication code
    SecureZero(digest, sizeof digest);
}

void ComputeSik(const tagASF_RAKP_MATERIAL& m, BYTE sik[ASF_KEY_SIZE])
{
    BYTE input[MAX_HMAC_INPUT];
    CByteWriter w(input, sizeof input);
    w.PutBytes(m.rr, 16); // Rr
    w.PutBytes(m.rm, 16); // Rm
    PutUser(w, m);
    HmacSha1(input, w.Size(), m.kg, ASF_KEY_SIZE, sik);
}

void ParsePresencePong(const BYTE* data, std::size_t length, tagASF_PONG& pong)
{
    BYTE bytes[ASF_PONG_SIZE] = {};
    if (data != nullptr && length > 0)
        std::memcpy(bytes, data, length < sizeof bytes ? length : sizeof bytes);
    pong.iana = static_cast<DWORD>(bytes[0]) << 24 | static_cast<DWORD>(bytes[1]) << 16 |
                static_cast<DWORD>(bytes[2]) << 8 | bytes[3];
    pong.ipmiSupported = (bytes[8] & 0x80) ? TRUE : FALSE;
    pong.rspSupported = (bytes[9] & 0x80) ? TRUE : FALSE;
}
