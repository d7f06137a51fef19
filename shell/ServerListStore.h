#pragma once
// The stored server list and the add dialog's remembered default, in the registry under
// HKEY_LOCAL_MACHINE "Software\Vexa\Tarn":
//   SERVERS\<n> (n = 0, 1, ... in list order), one key per server:
//     "CNNType"     REG_BINARY 1 byte   connection type
//     "SvrTag"      REG_BINARY 1 byte   the server tag when saved (not identity)
//     "SvrType"     REG_BINARY 1 byte   server type (read back as "Svrtype": names ignore case)
//     "dwUIp"       REG_SZ              the address number in decimal, no terminator
//     "SvrName"     REG_SZ              name with its terminator
//     "SvrMac"      REG_SZ              "%x:%x:%x:%x:%x:%x", no terminator
//     "SMSPhoneNum" REG_SZ              phone text with its terminator
//   Default Connection: "Connection Name" REG_SZ, "Connection IP address" REG_DWORD.
// Stateless functions; any thread (the registry serialises its callers).
#include "platform/Registry.h"
#include "platform/Types.h"
#include "shell/ShellTypes.h"

#include <string>
#include <vector>

constexpr const char* TARN_KEY = "Software\\Vexa\\Tarn";
constexpr const char* SERVERS_KEY = "Software\\Vexa\\Tarn\\SERVERS";
constexpr const char* DEFAULT_CONNECTION_KEY = "Software\\Vexa\\Tarn\\Default Connection";

constexpr const char* SAVE_OVERWRITE_QUESTION =
    "The current server node list will be overwrite, continue anyway?";
constexpr const char* SAVE_FAILED_TEXT = "The Save operation failed. ";

// TRUE when SERVERS\0 exists with a "CNNType" value (the overwrite question is due).
BOOL HasStoredServerList(CRegistry& registry);

// Replaces the stored list with the records, in one registry transaction: when any write
// fails nothing is changed and the old stored list stays whole. An empty list deletes the
// stored one. ERROR_SUCCESS or the failing call's code; on failure the caller shows
// SAVE_FAILED_TEXT.
LONG SaveServerList(CRegistry& registry, const std::vector<tagSERVER_RECORD>& records);

// The stored records from index 0 up to the first missing index. Every record found is
// returned, COM records included (AddServerNode refuses those itself). Missing or unreadable
// values leave zeros: connection type 0 (LAN), server type 0 (ASF), empty texts, address 0.
// The tag read back is not identity: the document assigns a fresh one on AddServer.
std::vector<tagSERVER_RECORD> LoadServerList(CRegistry& registry);

// "0:e:c:1:2:ff" for 00 0E 0C 01 02 FF.
std::string FormatMacText(const BYTE mac[6]);
// Character by character: a hex digit shifts the current byte left by four bits and adds
// itself, ':' stores the byte and starts the next, the end stores the last byte. Other
// characters are ignored and bytes past the sixth are dropped. mac is cleared first.
void ParseMacText(const std::string& text, BYTE mac[6]);
// The leading decimal digits as a 32-bit number; 0 when there are none or they exceed it.
DWORD ParseDecimalAddress(const std::string& text);

// Sets the record's name: the first 24 characters and the terminator, the rest of the field
// cleared.
void SetRecordName(tagSERVER_RECORD& record, const std::string& name);

// The add dialog's remembered default. The name is read into 16 bytes as the dialog always
// did: a stored name of 16 or more characters does not fit and counts as missing.
struct tagDEFAULT_CONNECTION
{
    BOOL hasName = FALSE;
    std::string name;
    BOOL hasAddress = FALSE;
    DWORD address = 0; // host order
};
tagDEFAULT_CONNECTION ReadDefaultConnection(CRegistry& registry);
// Writes the name (with its terminator) and the address, both or neither.
LONG WriteDefaultConnection(CRegistry& registry, const std::string& name, DWORD address);
