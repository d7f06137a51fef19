#include "shell/ServerListStore.h"

#include "shell/RegKey.h"

#include <cstdio>
#include <cstring>

namespace
{

// The buffers the stored values are read into.
constexpr std::size_t ADDRESS_TEXT_BUFFER = 20;
constexpr std::size_t MAC_TEXT_BUFFER = 20;
constexpr std::size_t DEFAULT_NAME_BUFFER = 16;

std::string ServerKeyPath(std::size_t index)
{
    return std::string(SERVERS_KEY) + "\\" + std::to_string(index);
}

LONG WriteServerKey(CRegistry& registry, std::size_t index, const tagSERVER_RECORD& record)
{
    CRegKey key;
    LONG rc = key.Create(registry, HKEY_LOCAL_MACHINE, ServerKeyPath(index));
    if (rc != ERROR_SUCCESS)
        return rc;
    char name[SERVER_NAME_SIZE + 1] = {};
    std::memcpy(name, record.name, SERVER_NAME_SIZE);
    char phone[SERVER_PHONE_SIZE + 1] = {};
    std::memcpy(phone, record.phone, SERVER_PHONE_SIZE);
    const LONG results[] = {
        key.SetByte("CNNType", record.connectionType),
        key.SetByte("SvrTag", record.serverTag),
        key.SetByte("SvrType", record.serverType),
        key.SetText("dwUIp", std::to_string(record.ipAddress), FALSE),
        key.SetText("SvrName", name, TRUE),
        key.SetText("SvrMac", FormatMacText(record.macAddress), FALSE),
        key.SetText("SMSPhoneNum", phone, TRUE),
    };
    for (LONG result : results)
        if (result != ERROR_SUCCESS)
            return result;
    return ERROR_SUCCESS;
}

void CopyText(char* field, std::size_t fieldSize, const std::string& text)
{
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), text.size() < fieldSize ? text.size() : fieldSize - 1);
}

} // namespace

BOOL HasStoredServerList(CRegistry& registry)
{
    CRegKey key;
    if (key.Open(registry, HKEY_LOCAL_MACHINE, ServerKeyPath(0)) != ERROR_SUCCESS)
        return FALSE;
    DWORD size = 0;
    return RegQueryValueEx(key.Get(), "CNNType", nullptr, nullptr, &size) == ERROR_SUCCESS;
}

LONG SaveServerList(CRegistry& registry, const std::vector<tagSERVER_RECORD>& records)
{
    // One transaction: the old list is deleted only together with the new one being written.
    CRegBatch batch(registry);
    LONG rc = batch.Status();
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegDeleteTree(registry.RootKey(HKEY_LOCAL_MACHINE), SERVERS_KEY);
    if (rc == ERROR_FILE_NOT_FOUND)
        rc = ERROR_SUCCESS;
    for (std::size_t i = 0; rc == ERROR_SUCCESS && i < records.size(); ++i)
        rc = WriteServerKey(registry, i, records[i]);
    if (rc != ERROR_SUCCESS)
    {
        batch.Abort();
        return rc;
    }
    return batch.Commit();
}

std::vector<tagSERVER_RECORD> LoadServerList(CRegistry& registry)
{
    std::vector<tagSERVER_RECORD> records;
    for (std::size_t index = 0;; ++index)
    {
        CRegKey key;
        if (key.Open(registry, HKEY_LOCAL_MACHINE, ServerKeyPath(index)) != ERROR_SUCCESS)
            break; // the list ends at the first gap
        tagSERVER_RECORD record; // cleared: every field zero, as a missing value leaves it
        record.serverTag = 0;
        key.QueryByte("CNNType", record.connectionType);
        key.QueryByte("SvrTag", record.serverTag);
        key.QueryByte("Svrtype", record.serverType);
        std::string address;
        std::string mac;
        std::string name;
        std::string phone;
        key.QueryText("dwUIp", ADDRESS_TEXT_BUFFER, address);
        key.QueryText("SvrMac", MAC_TEXT_BUFFER, mac);
        key.QueryText("SvrName", SERVER_NAME_SIZE, name);
        // The whole field: a phone text longer than 24 characters is kept, not lost.
        key.QueryText("SMSPhoneNum", SERVER_PHONE_SIZE, phone);
        record.ipAddress = ParseDecimalAddress(address);
        ParseMacText(mac, record.macAddress);
        CopyText(record.name, sizeof record.name, name);
        CopyText(record.phone, sizeof record.phone, phone);
        records.push_back(record);
    }
    return records;
}

std::string FormatMacText(const BYTE mac[6])
{
    char text[24];
    std::snprintf(text, sizeof text, "%x:%x:%x:%x:%x:%x", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

void ParseMacText(const std::string& text, BYTE mac[6])
{
    std::memset(mac, 0, 6);
    std::size_t index = 0;
    BYTE current = 0;
    for (char c : text)
    {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit >= 0)
        {
            current = static_cast<BYTE>((current << 4) + digit);
        }
        else if (c == ':')
        {
            if (index < 6)
                mac[index] = current;
            ++index;
            current = 0;
        }
    }
    if (index < 6)
        mac[index] = current;
}

DWORD ParseDecimalAddress(const std::string& text)
{
    std::uint64_t value = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFu)
            return 0;
    }
    return static_cast<DWORD>(value);
}

void SetRecordName(tagSERVER_RECORD& record, const std::string& name)
{
    CopyText(record.name, sizeof record.name, name);
}

tagDEFAULT_CONNECTION ReadDefaultConnection(CRegistry& registry)
{
    tagDEFAULT_CONNECTION result;
    CRegKey key;
    if (key.Open(registry, HKEY_LOCAL_MACHINE, DEFAULT_CONNECTION_KEY) != ERROR_SUCCESS)
        return result;
    result.hasName =
        key.QueryText("Connection Name", DEFAULT_NAME_BUFFER, result.name) == ERROR_SUCCESS;
    result.hasAddress = key.QueryDword("Connection IP address", result.address) == ERROR_SUCCESS;
    return result;
}

LONG WriteDefaultConnection(CRegistry& registry, const std::string& name, DWORD address)
{
    CRegBatch batch(registry);
    LONG rc = batch.Status();
    if (rc != ERROR_SUCCESS)
        return rc;
    CRegKey key;
    rc = key.Create(registry, HKEY_LOCAL_MACHINE, DEFAULT_CONNECTION_KEY);
    if (rc == ERROR_SUCCESS)
        rc = key.SetText("Connection Name", name, TRUE);
    if (rc == ERROR_SUCCESS)
        rc = key.SetDword("Connection IP address", address);
    key.Close();
    if (rc != ERROR_SUCCESS)
    {
        batch.Abort();
        return rc;
    }
    return batch.Commit();
}
