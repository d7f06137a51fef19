#pragma once
// Records shared by the IPMI LAN transport and its callers.
//
// A request record names a command by its catalogue row: byte 0 is the row (1..40), the
// bytes after it are the command's request data. A reply record carries the row the reply
// matched, the completion code and the response data.
#include "platform/Types.h"

#include <cstddef>

constexpr std::size_t IPMI_REPLY_RECORD_SIZE = 508;

// Reply record: data[0] = matched catalogue row, data[1] = completion code, data[2..] =
// response data followed by the reply's checksum-2 byte; length = IPMI message length - 5.
// Bytes past length read as zero.
struct tagIPMI_REPLY
{
    BYTE data[IPMI_REPLY_RECORD_SIZE];
    WORD length;
};

// Byte of the reply record of row 27 (the batch sensor reading) that counts its pairs.
constexpr std::size_t IPMI_REPLY_BATCH_COUNT = 258;

constexpr BYTE IPMI_CC_SUCCESS = 0x00;
constexpr BYTE IPMI_CC_INVALID_COMMAND = 0xC1;
constexpr BYTE IPMI_CC_INVALID_DATA_FIELD = 0xCC;

// A received RMCP+ payload of the session-setup exchange; bytes past length read as zero.
constexpr std::size_t RMCPPLUS_PAYLOAD_BUFFER_SIZE = 300;
struct tagRMCP_PAYLOAD
{
    BYTE data[RMCPPLUS_PAYLOAD_BUFFER_SIZE];
    WORD length;
};

// RAKP authentication algorithms as the login parameters carry them (IPMI v2.0, 13.28).
constexpr BYTE RAKP_HMAC_SHA1 = 1;
constexpr BYTE RAKP_HMAC_MD5 = 2;

// Integrity algorithm numbers (IPMI v2.0, table 13-18).
constexpr BYTE INTEGRITY_NONE = 0;
constexpr BYTE INTEGRITY_HMAC_SHA1_96 = 1;
constexpr BYTE INTEGRITY_MD5_128 = 3;

// Confidentiality algorithm numbers (IPMI v2.0, table 13-19).
constexpr BYTE CONFIDENTIALITY_NONE = 0;
constexpr BYTE CONFIDENTIALITY_AES_CBC_128 = 1;

constexpr BYTE PRIVILEGE_CALLBACK = 1;
constexpr BYTE PRIVILEGE_USER = 2;
constexpr BYTE PRIVILEGE_OPERATOR = 3;
constexpr BYTE PRIVILEGE_ADMINISTRATOR = 4;

// Login parameters, filled by the login dialog or the command-line tool.
struct tagLAN_CONNECT_PARAM
{
    BYTE userName[16];    // not terminated; unused bytes zero
    DWORD userNameLength; // 0..16
    BYTE password[16];    // unused bytes zero
    DWORD passwordLength; // 0..16
    BYTE headerAuthType;  // RMCP+ header authentication type; always 6
    BYTE authAlgorithm;   // RAKP_HMAC_SHA1 or RAKP_HMAC_MD5
    DWORD encryptPayload; // non-zero: ask for AES-CBC-128
    BYTE privilegeLevel;  // PRIVILEGE_CALLBACK .. PRIVILEGE_ADMINISTRATOR
};

// Fills a parameter record from texts; FALSE when a name or password exceeds 16 bytes.
BOOL MakeConnectParam(tagLAN_CONNECT_PARAM& param, const char* user, const char* password,
                      BYTE authAlgorithm, BOOL encrypt, BYTE privilegeLevel);
