#pragma once
// The credentials of an ASF login as the operator enters them (role, user name and the three
// keys as hexadecimal text), the 20-byte keys made from that text, and the one-line record
// the credential store keeps per server. Pure functions; no locks.
//
// Credential record: one character "0" (Administrator) or "1" (Operator), then four fields,
// each a two-digit decimal length and that many characters: Administrator Key, Operator Key,
// Generation Key, user name.
#include "asf/AsfFraming.h"

#include <string>

constexpr int ASF_ROLE_INDEX_ADMINISTRATOR = 0;
constexpr int ASF_ROLE_INDEX_OPERATOR = 1;
constexpr std::size_t ASF_KEY_TEXT_MAX = 40;

struct tagASF_CREDENTIALS
{
    int roleIndex = ASF_ROLE_INDEX_ADMINISTRATOR; // 0 Administrator, 1 Operator
    std::string userName;                         // at most 16 characters
    std::string administratorKey;                 // hexadecimal text, at most 40 characters
    std::string operatorKey;
    std::string generationKey;

    bool operator==(const tagASF_CREDENTIALS&) const = default;
};

// Hexadecimal key text to a 20-byte key: at most the first 40 characters, read in pairs into
// consecutive bytes; an odd final character is a byte by itself ("ABC" gives ABh 0Ch); a
// character that is not a hexadecimal digit ends the number of its pair (a pair without a
// valid first digit gives 00h); the remaining bytes are 00h.
void ParseAsfKey(const std::string& text, BYTE key[ASF_KEY_SIZE]);

// The record of the credentials (keys cut to 40 characters, the name to 16).
std::string FormatAsfCredential(const tagASF_CREDENTIALS& credentials);
// FALSE, credentials untouched, when the record is empty, a length field is not two decimal
// digits, or a field runs past the end of the record.
BOOL ParseAsfCredential(const std::string& record, tagASF_CREDENTIALS& credentials);
