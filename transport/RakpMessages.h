#pragma once
// The RMCP+ session-setup messages (IPMI v2.0, 13.17-13.31): Open Session Request and
// Response, RAKP Messages 1-4, and the session keys, as pure functions over one setup
// state record. The connection owns the record; its keys are wiped when the session ends.
#include "transport/TransportTypes.h"

#include <cstddef>

struct tagRAKP_STATE
{
    // Proposed and agreed algorithms.
    BYTE authAlgorithm = RAKP_HMAC_SHA1;
    BYTE integrity = INTEGRITY_NONE;
    BYTE confidentiality = CONFIDENTIALITY_NONE;
    BYTE privilege = PRIVILEGE_ADMINISTRATOR;
    BYTE tag = 0;

    // Session IDs as they travel on the wire (little-endian fields of the packets).
    DWORD consoleSessionId = 0;  // SIDm
    DWORD bmcSessionId = 0;      // SIDc
    BYTE consoleRandom[16] = {}; // Rm
    BYTE bmcRandom[16] = {};     // Rc
    BYTE bmcGuid[16] = {};       // GUIDc

    BYTE userName[16] = {};
    BYTE userNameLength = 0;
    BYTE kuid[20] = {}; // the password zero-extended to 20 bytes

    BYTE sik[20] = {};
    BYTE k1[20] = {};
    BYTE k2[20] = {};
    BYTE k3[20] = {};
};

// Status code of an Open Session Response or RAKP message (IPMI v2.0, table 13-15).
constexpr BYTE RMCPPLUS_STATUS_NO_ERROR = 0x00;
constexpr BYTE RMCPPLUS_STATUS_UNAUTHORIZED_NAME = 0x0D;
constexpr BYTE RMCPPLUS_STATUS_NO_CIPHER_SUITE_MATCH = 0x11;
constexpr BYTE RMCPPLUS_STATUS_INVALID_INTEGRITY_CHECK = 0x0F;

// Keyed hash of the session's authentication algorithm over data; 20 bytes written, the
// MD5 result followed by four zero bytes.
void RakpHmac(BYTE authAlgorithm, const BYTE* key, const BYTE* data, std::size_t length,
              BYTE out[20]);

std::size_t BuildOpenSessionRequest(const tagRAKP_STATE& state, BYTE* out, std::size_t capacity);
// Checks the response (status, echoed console session ID) and records the BMC's session
// ID. *status gets the response's status byte.
BOOL CheckOpenSessionResponse(tagRAKP_STATE& state, const BYTE* payload, std::size_t length,
                              BYTE* status, const char** reason);

std::size_t BuildRakp1(const tagRAKP_STATE& state, BYTE* out, std::size_t capacity);
// Checks RAKP Message 2 (status, console session ID, key exchange authentication code) and
// records the BMC's random number and GUID.
BOOL CheckRakp2(tagRAKP_STATE& state, const BYTE* payload, std::size_t length, BYTE* status,
                const char** reason);

// SIK, K1, K2, K3 from the random numbers, role and name (IPMI v2.0, 13.31-13.32): Kn =
// HMAC_SIK(Const n), Const n being constantLength bytes of n. The standard's constants are
// 20 bytes; see CLANConnect for the BMC that uses 16.
void DeriveSessionKeys(tagRAKP_STATE& state, std::size_t constantLength = 20);

std::size_t BuildRakp3(const tagRAKP_STATE& state, BYTE* out, std::size_t capacity);
// Checks RAKP Message 4 (status, integrity check value keyed with SIK).
BOOL CheckRakp4(const tagRAKP_STATE& state, const BYTE* payload, std::size_t length, BYTE* status,
                const char** reason);

// Wipes the keys and random numbers.
void ClearRakpSecrets(tagRAKP_STATE& state);
