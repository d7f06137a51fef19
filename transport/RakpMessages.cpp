#include "transport/RakpMessages.h"

#include "transport/ByteIo.h"
#include "transport/crypto/Hmac.h"
#include "transport/crypto/Secure.h"

#include <cstring>

namespace
{
constexpr std::size_t KEY_LENGTH = 20;
constexpr BYTE PAYLOAD_AUTHENTICATION = 0x00;
constexpr BYTE PAYLOAD_INTEGRITY = 0x01;
constexpr BYTE PAYLOAD_CONFIDENTIALITY = 0x02;

void PutAlgorithmPayload(CByteWriter& w, BYTE payloadType, BYTE algorithm)
{
    w.Put8(payloadType); // payload type
    w.PutLe16(0);        // reserved
    w.Put8(0x08);        // payload length
    w.Put8(algorithm);   // algorithm
    w.PutFill(0, 3);     // reserved
}

bool CheckStatus(const BYTE* payload, std::size_t length, std::size_t minimum, BYTE* status,
                 const char** reason, const char* truncated, const char* refused)
{
    *status = length >= 2 ? payload[1] : 0xFF;
    if (length < 2)
    {
        *reason = truncated;
        return false;
    }
    if (payload[1] != RMCPPLUS_STATUS_NO_ERROR)
    {
        *reason = refused;
        return false;
    }
    if (length < minimum)
    {
        *reason = truncated;
        return false;
    }
    return true;
}

// Compares a received code with the expected one, both zero-extended to 20 bytes.
bool CodesMatch(const BYTE* received, const BYTE expected[KEY_LENGTH])
{
    return ConstantTimeEqual(received, KEY_LENGTH, expected, KEY_LENGTH) != FALSE;
}

std::size_t DigestLength(BYTE authAlgorithm)
{
    return authAlgorithm == RAKP_HMAC_MD5 ? 16 : 20;
}
} // namespace

void RakpHmac(BYTE authAlgorithm, const BYTE* key, const BYTE* data, std::size_t length,
              BYTE out[20])
{
    if (authAlgorithm == RAKP_HMAC_MD5)
    {
        HmacMd5(data, length, key, KEY_LENGTH, out);
        std::memset(out + 16, 0, 4);
    }
    else
    {
        HmacSha1(data, length, key, KEY_LENGTH, out);
    }
}

std::size_t BuildOpenSessionRequest(const tagRAKP_STATE& state, BYTE* out, std::size_t capacity)
{
    CByteWriter w(out, capacity);
    w.Put8(state.tag);                 // message tag
    w.Put8(state.privilege);           // requested maximum privilege level
    w.PutLe16(0);                      // reserved
    w.PutLe32(state.consoleSessionId); // remote console session ID
    PutAlgorithmPayload(w, PAYLOAD_AUTHENTICATION, state.authAlgorithm);
    PutAlgorithmPayload(w, PAYLOAD_INTEGRITY, state.integrity);
    PutAlgorithmPayload(w, PAYLOAD_CONFIDENTIALITY, state.confidentiality);
    return w.Ok() ? w.Size() : 0;
}

BOOL CheckOpenSessionResponse(tagRAKP_STATE& state, const BYTE* payload, std::size_t length,
                              BYTE* status, const char** reason)
{
    if (!CheckStatus(payload, length, 12, status, reason, "Open Session Response truncated",
                     "BMC refused the Open Session Request"))
        return FALSE;
    CByteReader r(payload + 4, 8);
    DWORD echoed = r.GetLe32();
    if (echoed != state.consoleSessionId)
    {
        *reason = "Open Session Response for another console session";
        return FALSE;
    }
    state.bmcSessionId = r.GetLe32();
    return TRUE;
}

std::size_t BuildRakp1(const tagRAKP_STATE& state, BYTE* out, std::size_t capacity)
{
    CByteWriter w(out, capacity);
    w.Put8(state.tag);                                // message tag
    w.PutFill(0, 3);                                  // reserved
    w.PutLe32(state.bmcSessionId);                    // managed system session ID
    w.PutBytes(state.consoleRandom, 16);              // remote console random number
    w.Put8(state.privilege);                          // requested role (username/privilege lookup)
    w.PutLe16(0);                                     // reserved
    w.Put8(state.userNameLength);                     // user name length
    w.PutBytes(state.userName, state.userNameLength); // user name
    return w.Ok() ? w.Size() : 0;
}

BOOL CheckRakp2(tagRAKP_STATE& state, const BYTE* payload, std::size_t length, BYTE* status,
                const char** reason)
{
    if (!CheckStatus(payload, length, 40, status, reason, "RAKP Message 2 truncated",
                     "BMC refused RAKP Message 1"))
        return FALSE;
    CByteReader r(payload + 4, 36);
    if (r.GetLe32() != state.consoleSessionId)
    {
        *reason = "RAKP Message 2 for another console session";
        return FALSE;
    }
    r.GetBytes(state.bmcRandom, 16);
    r.GetBytes(state.bmcGuid, 16);

    BYTE data[58 + 16];
    CByteWriter w(data, sizeof data);
    w.PutLe32(state.consoleSessionId);                // SIDm
    w.PutLe32(state.bmcSessionId);                    // SIDc
    w.PutBytes(state.consoleRandom, 16);              // Rm
    w.PutBytes(state.bmcRandom, 16);                  // Rc
    w.PutBytes(state.bmcGuid, 16);                    // GUIDc
    w.Put8(state.privilege);                          // ROLEm
    w.Put8(state.userNameLength);                     // ULENGTHm
    w.PutBytes(state.userName, state.userNameLength); // UNAMEm
    BYTE expected[KEY_LENGTH];
    RakpHmac(state.authAlgorithm, state.kuid, data, w.Size(), expected);
    // The code is compared zero-extended to 20 bytes (16-byte HMAC-MD5 codes, and bytes a
    // short payload lacks, read as zero).
    BYTE received[KEY_LENGTH] = {};
    std::memcpy(received, payload + 40, length - 40 < KEY_LENGTH ? length - 40 : KEY_LENGTH);
    bool match = CodesMatch(received, expected);
    SecureZero(expected, sizeof expected);
    if (!match)
    {
        *reason = "wrong password: RAKP Message 2 key exchange code mismatch";
        return FALSE;
    }
    return TRUE;
}

void DeriveSessionKeys(tagRAKP_STATE& state, std::size_t constantLength)
{
    if (constantLength > KEY_LENGTH)
        constantLength = KEY_LENGTH;
    BYTE data[34 + 16];
    CByteWriter w(data, sizeof data);
    w.PutBytes(state.consoleRandom, 16);              // Rm
    w.PutBytes(state.bmcRandom, 16);                  // Rc
    w.Put8(state.privilege);                          // ROLEm
    w.Put8(state.userNameLength);                     // ULENGTHm
    w.PutBytes(state.userName, state.userNameLength); // UNAMEm
    RakpHmac(state.authAlgorithm, state.kuid, data, w.Size(), state.sik);

    BYTE constant[KEY_LENGTH];
    BYTE* keys[3] = {state.k1, state.k2, state.k3};
    for (int i = 0; i < 3; ++i)
    {
        std::memset(constant, i + 1, sizeof constant); // Const1..3: 01h.., 02h.., 03h..
        RakpHmac(state.authAlgorithm, state.sik, constant, constantLength, keys[i]);
    }
    SecureZero(data, sizeof data);
}

std::size_t BuildRakp3(const tagRAKP_STATE& state, BYTE* out, std::size_t capacity)
{
    BYTE data[22 + 16];
    CByteWriter d(data, sizeof data);
    d.PutBytes(state.bmcRandom, 16);                  // Rc
    d.PutLe32(state.consoleSessionId);                // SIDm
    d.Put8(state.privilege);                          // ROLEm
    d.Put8(state.userNameLength);                     // ULENGTHm
    d.PutBytes(state.userName, state.userNameLength); // UNAMEm
    BYTE code[KEY_LENGTH];
    RakpHmac(state.authAlgorithm, state.kuid, data, d.Size(), code);

    CByteWriter w(out, capacity);
    w.Put8(state.tag);                                   // message tag
    w.Put8(RMCPPLUS_STATUS_NO_ERROR);                    // status
    w.PutLe16(0);                                        // reserved
    w.PutLe32(state.bmcSessionId);                       // managed system session ID
    w.PutBytes(code, DigestLength(state.authAlgorithm)); // key exchange authentication code
    SecureZero(code, sizeof code);
    return w.Ok() ? w.Size() : 0;
}

BOOL CheckRakp4(const tagRAKP_STATE& state, const BYTE* payload, std::size_t length, BYTE* status,
                const char** reason)
{
    if (!CheckStatus(payload, length, 8, status, reason, "RAKP Message 4 truncated",
                     "BMC refused RAKP Message 3"))
        return FALSE;
    BYTE data[36];
    CByteWriter w(data, sizeof data);
    w.PutBytes(state.consoleRandom, 16); // Rm
    w.PutLe32(state.bmcSessionId);       // SIDc
    w.PutBytes(state.bmcGuid, 16);       // GUIDc
    BYTE expected[KEY_LENGTH] = {};
    if (state.authAlgorithm == RAKP_HMAC_MD5)
        HmacMd5(data, sizeof data, state.sik, KEY_LENGTH, expected);
    else
        HmacSha1_96(data, sizeof data, state.sik, KEY_LENGTH, expected);
    // The received buffer reads as zero past its length; compare 20 bytes as they stand.
    BYTE received[KEY_LENGTH] = {};
    std::size_t have = length > 8 ? length - 8 : 0;
    std::memcpy(received, payload + 8, have < KEY_LENGTH ? have : KEY_LENGTH);
    if (!CodesMatch(received, expected))
    {
        *reason = "RAKP Message 4 integrity check value mismatch";
        return FALSE;
    }
    return TRUE;
}

void ClearRakpSecrets(tagRAKP_STATE& state)
{
    SecureZero(state.consoleRandom, sizeof state.consoleRandom);
    SecureZero(state.bmcRandom, sizeof state.bmcRandom);
    SecureZero(state.kuid, sizeof state.kuid);
    SecureZero(state.sik, sizeof state.sik);
    SecureZero(state.k1, sizeof state.k1);
    SecureZero(state.k2, sizeof state.k2);
    SecureZero(state.k3, sizeof state.k3);
}
