#pragma once
// CRegKey: an open registry key closed with its scope, with the few typed reads and writes the
// shell's stores use. The key belongs to the registry it was opened on; one thread uses an
// object at a time.
#include "platform/Registry.h"
#include "platform/Types.h"

#include <cstddef>
#include <string>

// A value of another type or size than asked for (the desktop API's ERROR_INVALID_DATA).
constexpr LONG ERROR_WRONG_VALUE_TYPE = 13;

class CRegKey
{
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Below hive (HKEY_LOCAL_MACHINE, ...) of the registry.
    LONG Create(CRegistry& registry, HKEY hive, const std::string& path);
    LONG Open(CRegistry& registry, HKEY hive, const std::string& path, REGSAM rights = KEY_READ);
    void Close();
    HKEY Get() const { return m_key; }

    LONG SetDword(const char* name, DWORD value);
    LONG SetByte(const char* name, BYTE value);
    // The text's bytes, followed by the terminator when withTerminator.
    LONG SetText(const char* name, const std::string& text, BOOL withTerminator);
    // A REG_DWORD of four bytes, else the failure (ERROR_FILE_NOT_FOUND when missing,
    // ERROR_WRONG_VALUE_TYPE for another type or size).
    LONG QueryDword(const char* name, DWORD& value);
    // One byte of any type; a longer value does not fit (ERROR_MORE_DATA).
    LONG QueryByte(const char* name, BYTE& value);
    // At most bufferSize bytes, read as the desktop code read them into a buffer of that
    // size: the text ends at the first NUL, and a value without one keeps at most
    // bufferSize - 1 characters. A longer value does not fit (ERROR_MORE_DATA).
    LONG QueryText(const char* name, std::size_t bufferSize, std::string& text);

private:
    HKEY m_key = nullptr;
};
