#include "shell/Settings.h"

#include "shell/RegKey.h"
#include "shell/ServerListStore.h"

#include <cstdio>
#include <cstdlib>

namespace
{

enum class VALUE_KIND
{
    FLAG,     // read as on when non-zero, kept as 0 or 1
    NUMBER,   // kept as stored
    INTERVAL, // 0 or less means the default (in memory only)
};

struct tagSETTING_VALUE
{
    const char* name;
    VALUE_KIND kind;
    int tagSETTINGS::*field;
    int defaultValue;
};

// In the order they are read and written.
const tagSETTING_VALUE SETTING_VALUES[] = {
    {"Polling SEL", VALUE_KIND::FLAG, &tagSETTINGS::pollingSel, 1},
    {"Polling SEL interval", VALUE_KIND::INTERVAL, &tagSETTINGS::pollingSelInterval, 10},
    {"Polling Sensors interval", VALUE_KIND::INTERVAL, &tagSETTINGS::pollingSensorsInterval, 5},
    {"Update Bios Timeout", VALUE_KIND::NUMBER, &tagSETTINGS::updateBiosTimeout, 60},
    {"Polling ASF power enabled", VALUE_KIND::FLAG, &tagSETTINGS::pollingAsfPowerEnabled, 0},
    {"Polling ASF system state interval", VALUE_KIND::INTERVAL,
     &tagSETTINGS::pollingAsfStateInterval, 30},
    {"PET number", VALUE_KIND::NUMBER, &tagSETTINGS::petNumber, 256},
    {"SMS Enabled", VALUE_KIND::FLAG, &tagSETTINGS::smsEnabled, 0},
    {"SOL Timely Redraw", VALUE_KIND::FLAG, &tagSETTINGS::solTimelyRedraw, 0},
    {"SOL_TermKbdMode", VALUE_KIND::NUMBER, &tagSETTINGS::solTermKbdMode, KBD_MODE_LINUX},
};

constexpr const char* PHONE_ENABLED = "Phone Enabled";
constexpr const char* PHONE_NUMBER = "SMS Phone Num";
constexpr const char* SMS_PHONE_DEFAULT_TEXT = "SMS_Phone";

std::string PhoneKeyPath(int index)
{
    return std::string(SMS_PHONE_KEY) + "\\Phone " + std::to_string(index);
}

int StoredValue(const tagSETTING_VALUE& value, int stored)
{
    if (value.kind == VALUE_KIND::FLAG)
        return stored != 0 ? 1 : 0;
    return stored;
}

// The phone values go through the user-or-machine functions, forced to the machine.
tagPHONE_ENTRY LoadPhone(CRegistry& registry, int index)
{
    tagPHONE_ENTRY entry;
    std::string path = PhoneKeyPath(index);
    DWORD enabled = 0;
    DWORD type = REG_DWORD;
    DWORD size = sizeof enabled;
    LONG rc =
        registry.GetUSValue(path.c_str(), PHONE_ENABLED, &type, &enabled, &size, TRUE, nullptr, 0);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof enabled)
    {
        enabled = 0;
        registry.SetUSValue(path.c_str(), PHONE_ENABLED, REG_DWORD, &enabled, sizeof enabled,
                            SHREGSET_FORCE_HKLM);
    }
    entry.enabled = enabled != 0 ? TRUE : FALSE;

    char number[SMS_PHONE_MAX_CHARS + 1] = {};
    type = REG_SZ;
    size = SMS_PHONE_MAX_CHARS;
    rc = registry.GetUSValue(path.c_str(), PHONE_NUMBER, &type, number, &size, TRUE, nullptr, 0);
    if (rc == ERROR_SUCCESS)
    {
        entry.number.assign(number, size);
        entry.number.resize(std::char_traits<char>::length(entry.number.c_str()));
    }
    else if (rc == ERROR_FILE_NOT_FOUND)
    {
        registry.SetUSValue(path.c_str(), PHONE_NUMBER, REG_SZ, "", 0, SHREGSET_FORCE_HKLM);
    }
    return entry;
}

LONG SavePhones(CRegistry& registry, const std::array<tagPHONE_ENTRY, SMS_PHONE_COUNT>& phones)
{
    CRegKey key;
    LONG rc = key.Create(registry, HKEY_LOCAL_MACHINE, SMS_PHONE_KEY);
    if (rc == ERROR_SUCCESS)
        rc = key.SetText(nullptr, SMS_PHONE_DEFAULT_TEXT, TRUE);
    for (int i = 0; rc == ERROR_SUCCESS && i < SMS_PHONE_COUNT; ++i)
    {
        std::string path = PhoneKeyPath(i);
        const tagPHONE_ENTRY& phone = phones[static_cast<std::size_t>(i)];
        DWORD enabled = phone.enabled ? 1 : 0;
        std::string number = phone.number.substr(0, SMS_PHONE_MAX_CHARS);
        rc = registry.SetUSValue(path.c_str(), PHONE_ENABLED, REG_DWORD, &enabled, sizeof enabled,
                                 SHREGSET_FORCE_HKLM);
        if (rc == ERROR_SUCCESS)
            rc = registry.SetUSValue(path.c_str(), PHONE_NUMBER, REG_SZ, number.data(),
                                     static_cast<DWORD>(number.size()), SHREGSET_FORCE_HKLM);
    }
    return rc;
}

} // namespace

tagSETTINGS LoadSettings(CRegistry& registry)
{
    tagSETTINGS settings;
    CRegKey key;
    key.Create(registry, HKEY_LOCAL_MACHINE, TARN_KEY);
    for (const tagSETTING_VALUE& value : SETTING_VALUES)
    {
        DWORD stored = 0;
        int result = value.defaultValue;
        if (key.QueryDword(value.name, stored) == ERROR_SUCCESS)
            result = StoredValue(value, static_cast<int>(stored));
        else
            key.SetDword(value.name, static_cast<DWORD>(value.defaultValue));
        if (value.kind == VALUE_KIND::INTERVAL && result <= 0)
            result = value.defaultValue;
        settings.*value.field = result;
    }
    for (int i = 0; i < SMS_PHONE_COUNT; ++i)
        settings.phones[static_cast<std::size_t>(i)] = LoadPhone(registry, i);
    return settings;
}

LONG SaveSettings(CRegistry& registry, const tagSETTINGS& settings)
{
    CRegBatch batch(registry);
    LONG rc = batch.Status();
    if (rc != ERROR_SUCCESS)
        return rc;
    CRegKey key;
    rc = key.Create(registry, HKEY_LOCAL_MACHINE, TARN_KEY);
    for (const tagSETTING_VALUE& value : SETTING_VALUES)
    {
        if (rc != ERROR_SUCCESS)
            break;
        rc =
            key.SetDword(value.name, static_cast<DWORD>(StoredValue(value, settings.*value.field)));
    }
    key.Close();
    if (rc == ERROR_SUCCESS)
        rc = SavePhones(registry, settings.phones);
    if (rc != ERROR_SUCCESS)
    {
        batch.Abort();
        return rc;
    }
    return batch.Commit();
}
