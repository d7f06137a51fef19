#pragma once
// The handle type, result codes, value types and flags of the registry API, with the numbers
// of the desktop API that the console's callers were written against. Result codes are LONG
// values with ERROR_SUCCESS (0) for success, as the Reg* functions have always returned them;
// the secrets store reports its failures with the same numbers.
#include "platform/Types.h"

#include <cstdint>

using LONG = std::int32_t;
using LSTATUS = LONG;
using REGSAM = DWORD;

// An open key. The value is an entry in the process's key-handle table (or one of the
// predefined hive constants below), never a pointer to be dereferenced.
struct tagHKEY;
using HKEY = tagHKEY*;
using PHKEY = HKEY*;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

// Result codes (the desktop API's system error numbers).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_OPEN_FAILED = 110;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_BUSY = 170;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_FILE_CORRUPT = 1392;

// Value types. Any type number may be stored; REG_DWORD and REG_QWORD must have their size.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Access rights of a key handle. Only the value and enumeration rights are enforced; the
// 32/64-bit view flags are accepted and ignored (there is one view).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// RegCreateKeyEx dispositions.
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// RegRestoreKey flags. Open handles never block a restore here, so forcing changes nothing.
constexpr DWORD REG_FORCE_RESTORE = 0x0008;

// SHRegSetUSValue flags: write the user (HKCU) or machine (HKLM) value when it does not
// exist yet, or always with FORCE.
constexpr DWORD SHREGSET_HKCU = 0x0001;
constexpr DWORD SHREGSET_FORCE_HKCU = 0x0002;
constexpr DWORD SHREGSET_HKLM = 0x0004;
constexpr DWORD SHREGSET_FORCE_HKLM = 0x0008;
constexpr DWORD SHREGSET_DEFAULT = SHREGSET_FORCE_HKCU | SHREGSET_HKLM;

// Limits of the desktop registry, kept so that stored data stays portable to it.
constexpr DWORD REG_MAX_KEY_NAME = 255;
constexpr DWORD REG_MAX_VALUE_NAME = 16383;
constexpr DWORD REG_MAX_DEPTH = 512;
