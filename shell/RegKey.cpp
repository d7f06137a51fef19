#include "shell/RegKey.h"

#include <vector>

LONG CRegKey::Create(CRegistry& registry, HKEY hive, const std::string& path)
{
    Close();
    return RegCreateKeyEx(registry.RootKey(hive), path.c_str(), KEY_ALL_ACCESS, &m_key, nullptr);
}

LONG CRegKey::Open(CRegistry& registry, HKEY hive, const std::string& path, REGSAM rights)
{
    Close();
    return RegOpenKeyEx(registry.RootKey(hive), path.c_str(), rights, &m_key);
}

void CRegKey::Close()
{
    if (m_key)
        RegCloseKey(m_key);
    m_key = nullptr;
}

LONG CRegKey::SetDword(const char* name, DWORD value)
{
    BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                    static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return RegSetValueEx(m_key, name, REG_DWORD, data, sizeof data);
}

LONG CRegKey::SetByte(const char* name, BYTE value)
{
    return RegSetValueEx(m_key, name, REG_BINARY, &value, 1);
}

LONG CRegKey::SetText(const char* name, const std::string& text, BOOL withTerminator)
{
    DWORD size = static_cast<DWORD>(text.size() + (withTerminator ? 1 : 0));
    return RegSetValueEx(m_key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), size);
}

LONG CRegKey::QueryDword(const char* name, DWORD& value)
{
    BYTE data[4] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    LONG rc = RegQueryValueEx(m_key, name, &type, data, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_DWORD || size != sizeof data)
        return ERROR_WRONG_VALUE_TYPE;
    value =
        DWORD{data[0]} | (DWORD{data[1]} << 8) | (DWORD{data[2]} << 16) | (DWORD{data[3]} << 24);
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryByte(const char* name, BYTE& value)
{
    BYTE data = 0;
    DWORD type = REG_NONE;
    DWORD size = 1;
    LONG rc = RegQueryValueEx(m_key, name, &type, &data, &size);
    if (rc == ERROR_SUCCESS && size == 1)
        value = data;
    return rc;
}

LONG CRegKey::QueryText(const char* name, std::size_t bufferSize, std::string& text)
{
    std::vector<BYTE> data(bufferSize, 0);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(bufferSize);
    LONG rc = RegQueryValueEx(m_key, name, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::size_t length = 0;
    while (length < size && length + 1 < bufferSize && data[length] != 0)
        ++length;
    text.assign(reinterpret_cast<const char*>(data.data()), length);
    return ERROR_SUCCESS;
}
