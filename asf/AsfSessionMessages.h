#pragma once
// The messages of the RSP session setup (ASF 2.0, 3.2.4: Open Session Request/Response and
// RAKP Messages 1-3 with RAKP-HMAC-SHA1 and HMAC-SHA1-96), the authentication codes and the
// session integrity key, and the reply data the console reads (Presence Pong, Capabilities,
// System State). Pure functions over byte buffers; the session object owns the material.
//
// Open Session Request data (24 bytes): SIDr(4), authentication payload 01h 00h 00h 08h
//   01h(RAKP-HMAC-SHA1) 00h 00h 00h, integrity payload 02h 00h 00h 08h 01h(HMAC-SHA1-96)
//   00h 00h 00h, closing payload 00h 00h 00h 04h.
// Open Session Response data: status(1) reserved(3) SIDr(4) SIDm(4) authentication payload
//   (8, algorithm at 16) integrity payload (8, algorithm at 24).
// RAKP Message 1 (40): SIDm(4) Rr(16) ROLEm(1) reserved(2) ULENGTHm(1) UNAMEm(16).
// RAKP Message 2 (52): status(1) reserved(3) SIDr(4) Rm(16) GUIDm(16) code(12).
// RAKP Message 3 (20): status(1) reserved(3) SIDm(4) code(12).
#include "asf/AsfFraming.h"

#include <cstddef>

constexpr std::size_t ASF_OPEN_SESSION_REQUEST_SIZE = 24;
constexpr std::size_t ASF_OPEN_SESSION_RESPONSE_SIZE = 28;
constexpr std::size_t ASF_RAKP_1_SIZE = 40;
constexpr std::size_t ASF_RAKP_2_SIZE = 52;
constexpr std::size_t ASF_RAKP_3_SIZE = 20;
constexpr std::size_t ASF_RAKP_CODE_SIZE = 12;
constexpr std::size_t ASF_USER_NAME_MAX = 16;
constexpr std::size_t ASF_PONG_SIZE = 16;
constexpr std::size_t ASF_CAPABILITIES_SIZE = 16;
constexpr std::size_t ASF_SYSTEM_STATE_SIZE = 4;

constexpr BYTE ASF_ROLE_ADMINISTRATOR = 0x01;
constexpr BYTE ASF_ROLE_OPERATOR = 0x00;

// Capabilities Response byte 10: primary-port bit (upper nibble) or secure-port bit.
constexpr std::size_t ASF_CAPABILITY_BYTE = 10;
constexpr BYTE ASF_CAP_RESET = 0x88;
constexpr BYTE ASF_CAP_POWER_UP = 0x44;
constexpr BYTE ASF_CAP_POWER_DOWN = 0x22;
constexpr BYTE ASF_CAP_POWER_CYCLE = 0x11;

// Everything the authentication codes and the integrity key are computed from.
struct tagASF_RAKP_MATERIAL
{
    BYTE sidr[4] = {}; // remote console session ID, as sent
    BYTE sidm[4] = {}; // managed client session ID, as received
    BYTE rr[16] = {};  // remote console random number
    BYTE rm[16] = {};  // managed client random number
    BYTE guidm[16] = {};
    BYTE role = ASF_ROLE_ADMINISTRATOR;
    BYTE userLength = 0;
    BYTE user[ASF_USER_NAME_MAX] = {};
    BYTE kr[ASF_KEY_SIZE] = {}; // the role key
    BYTE kg[ASF_KEY_SIZE] = {}; // the generation key
};

// Wipes every secret and identifier of the material.
void ClearRakpMaterial(tagASF_RAKP_MATERIAL& m);

void BuildOpenSessionRequest(const BYTE sidr[4], BYTE out[ASF_OPEN_SESSION_REQUEST_SIZE]);
// Status 00h and the two algorithms agreed; on success sidm gets the managed session ID.
BOOL CheckOpenSessionResponse(const BYTE* data, std::size_t length, BYTE sidm[4],
                              const char** reason);
void BuildRakp1(const tagASF_RAKP_MATERIAL& m, BYTE out[ASF_RAKP_1_SIZE]);
// Status 00h and SIDr echoed; on success Rm and GUIDm are stored into m and code gets the
// managed client's authentication code.
BOOL CheckRakp2(tagASF_RAKP_MATERIAL& m, const BYTE* data, std::size_t length,
                BYTE code[ASF_RAKP_CODE_SIZE], const char** reason);
// TRUE when code is the first 12 bytes of HMAC-SHA1 (Kr) over
// SIDr | SIDm | Rr | Rm | GUIDm | ROLEm | ULENGTHm | UNAMEm.
BOOL VerifyRakp2Code(const tagASF_RAKP_MATERIAL& m, const BYTE code[ASF_RAKP_CODE_SIZE]);
// Status 00h, SIDm and the first 12 bytes of HMAC-SHA1 (Kr) over
// Rm | SIDr | ROLEm | ULENGTHm | UNAMEm.
void BuildRakp3(const tagASF_RAKP_MATERIAL& m, BYTE out[ASF_RAKP_3_SIZE]);
// HMAC-SHA1 (KG) over Rr | Rm | ROLEm | ULENGTHm | UNAMEm.
void ComputeSik(const tagASF_RAKP_MATERIAL& m, BYTE sik[ASF_KEY_SIZE]);

// What the Presence Pong data announces (missing bytes read as 0).
struct tagASF_PONG
{
    BOOL ipmiSupported = FALSE; // supported entities, bit 7
    BOOL rspSupported = FALSE;  // supported interactions, bit 7
    DWORD iana = 0;
};
void ParsePresencePong(const BYTE* data, std::size_t length, tagASF_PONG& pong);
