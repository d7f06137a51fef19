// Settings: defaults written back, intervals of 0 kept in the registry, the save and the
// phone list, and the dialog's changes in the order the frame applies them.
#include "shell/Settings.h"

#include "shell/ServerListStore.h"
#include "tests/shell/ShellTestSupport.h"

namespace
{

using SettingsTest = CShellRegistryTest;

DWORD StoredDword(CShellRegistryTest& test, const std::string& path, const char* name)
{
    std::string raw = test.RawText(HKEY_LOCAL_MACHINE, path, name);
    if (raw.size() != 4)
        return 0xDEADBEEF;
    DWORD value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<BYTE>(raw[static_cast<std::size_t>(i)]);
    return value;
}

TEST_F(SettingsTest, MissingValuesAreWrittenBackAndBadIntervalsReplacedInMemoryOnly)
{
    WriteDword(TARN_KEY, "Polling SEL interval", 0);
    WriteDword(TARN_KEY, "Polling ASF system state interval", 0xFFFFFFFF); // -1
    WriteDword(TARN_KEY, "SMS Enabled", 7);
    WriteRaw(TARN_KEY, "PET number", REG_SZ, "12"); // the wrong type counts as missing

    tagSETTINGS settings = LoadSettings(m_registry);
    EXPECT_EQ(settings.pollingSelInterval, 10);
    EXPECT_EQ(settings.pollingAsfStateInterval, 30);
    EXPECT_EQ(settings.smsEnabled, TRUE);
    EXPECT_EQ(settings.pollingSensorsInterval, 5);
    EXPECT_EQ(settings.petNumber, 256);

    EXPECT_EQ(StoredDword(*this, TARN_KEY, "Polling SEL interval"), 0u);
    EXPECT_EQ(StoredDword(*this, TARN_KEY, "Polling ASF system state interval"), 0xFFFFFFFFu);
    const std::pair<const char*, DWORD> written[] = {
        {"Polling SEL", 1},     {"Polling Sensors interval", 5},  {"Update Bios Timeout", 60},
        {"PET number", 256},    {"Polling ASF power enabled", 0}, {"SOL Timely Redraw", 0},
        {"SOL_TermKbdMode", 1},
    };
    for (const auto& [name, value] : written)
        EXPECT_EQ(StoredDword(*this, TARN_KEY, name), value) << name;
    EXPECT_EQ(StoredDword(*this, std::string(SMS_PHONE_KEY) + "\\Phone 9", "Phone Enabled"), 0u);
    EXPECT_EQ(
        RawText(HKEY_LOCAL_MACHINE, std::string(SMS_PHONE_KEY) + "\\Phone 9", "SMS Phone Num"), "");
}

TEST_F(SettingsTest, SaveWritesEveryValueAndThePhoneList)
{
    tagSETTINGS settings;
    settings.pollingSel = FALSE;
    settings.petNumber = 100;
    settings.solTermKbdMode = KBD_MODE_VT100;
    settings.phones[2] = {TRUE, "+1234567890123456789012345678"}; // 29 characters
    ASSERT_EQ(SaveSettings(m_registry, settings), ERROR_SUCCESS);

    std::string phone2 = std::string(SMS_PHONE_KEY) + "\\Phone 2";
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, phone2, "SMS Phone Num"), "+12345678901234567890123");
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, SMS_PHONE_KEY, ""), std::string("SMS_Phone\0", 10));

    tagSETTINGS loaded = LoadSettings(m_registry);
    EXPECT_EQ(loaded.pollingSel, FALSE);
    EXPECT_EQ(loaded.petNumber, 100);
    EXPECT_EQ(loaded.solTermKbdMode, KBD_MODE_VT100);
    EXPECT_TRUE(loaded.phones[2].enabled);
    EXPECT_EQ(loaded.phones[2].number, "+12345678901234567890123");
    EXPECT_FALSE(loaded.phones[3].enabled);

    // A failing write leaves everything as it was.
    InjectFault("UPDATE ON reg_values", "NEW.name = 'SOL_TermKbdMode'");
    settings.petNumber = 500;
    EXPECT_NE(SaveSettings(m_registry, settings), ERROR_SUCCESS);
    EXPECT_EQ(LoadSettings(m_registry).petNumber, 100);
}

void Set(tagDIALOG& dialog, int id, const std::string& value)
{
    for (tagDIALOG_CONTROL& control : dialog.controls)
        if (control.id == id)
            control.value = value;
}

TEST_F(SettingsTest, DialogChangesComeInTheOrderTheyAreApplied)
{
    tagSETTINGS settings;
    tagDIALOG dialog = BuildSettingsDialog(settings);
    ASSERT_EQ(dialog.title, "Server Settings");

    // Untouched: nothing to apply, nothing to save.
    auto phones = settings.phones;
    EXPECT_TRUE(ApplySettingsDialog(dialog, phones, settings).empty());

    // Every field changed, set in reverse order of application.
    Set(dialog, SETTINGS_ID_KBD_MODE, "VT100");
    Set(dialog, SETTINGS_ID_SOL_REDRAW, "1");
    phones[4] = {TRUE, "555"};
    Set(dialog, SETTINGS_ID_SMS_ENABLED, "1");
    Set(dialog, SETTINGS_ID_PET_NUMBER, "512");
    Set(dialog, SETTINGS_ID_ASF_INTERVAL, "60");
    Set(dialog, SETTINGS_ID_ASF_POWER, "1");
    Set(dialog, SETTINGS_ID_BIOS_TIMEOUT, "90");
    Set(dialog, SETTINGS_ID_SENSOR_INTERVAL, "7");
    Set(dialog, SETTINGS_ID_SEL_MODE, SEL_MODE_ON_PET);
    std::vector<tagSETTING_CHANGE> changes = ApplySettingsDialog(dialog, phones, settings);

    const SETTING_CHANGE order[] = {
        SETTING_CHANGE::SEL_POLLING,        SETTING_CHANGE::SENSOR_INTERVAL,
        SETTING_CHANGE::BIOS_TIMEOUT,       SETTING_CHANGE::ASF_POWER_POLLING,
        SETTING_CHANGE::ASF_STATE_INTERVAL, SETTING_CHANGE::PET_NUMBER,
        SETTING_CHANGE::SMS_ENABLED,        SETTING_CHANGE::PHONE_ENTRY,
        SETTING_CHANGE::SOL_TIMELY_REDRAW,  SETTING_CHANGE::KBD_MODE,
    };
    ASSERT_EQ(changes.size(), std::size(order));
    for (std::size_t i = 0; i < changes.size(); ++i)
        EXPECT_EQ(changes[i].kind, order[i]) << i;
    EXPECT_EQ(changes[0].value, 0); // polling only on PET: the servers' interval is off
    EXPECT_EQ(changes[7].phoneIndex, 4);
    EXPECT_EQ(settings.pollingSel, FALSE);
    EXPECT_EQ(settings.petNumber, 512);
    EXPECT_EQ(settings.solTermKbdMode, KBD_MODE_VT100);
    EXPECT_EQ(settings.phones[4].number, "555");
}

TEST_F(SettingsTest, SelPollingChangesCarryTheIntervalWhilePeriodic)
{
    tagSETTINGS settings;
    settings.pollingSel = FALSE;
    tagDIALOG dialog = BuildSettingsDialog(settings);
    // An interval typed while polling only on PET is not taken.
    Set(dialog, SETTINGS_ID_SEL_INTERVAL, "20");
    EXPECT_TRUE(ApplySettingsDialog(dialog, settings.phones, settings).empty());

    Set(dialog, SETTINGS_ID_SEL_MODE, SEL_MODE_PERIODIC);
    auto changes = ApplySettingsDialog(dialog, settings.phones, settings);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].value, 20);
    EXPECT_EQ(settings.pollingSel, TRUE);

    Set(dialog, SETTINGS_ID_SEL_INTERVAL, "30");
    changes = ApplySettingsDialog(dialog, settings.phones, settings);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, SETTING_CHANGE::SEL_POLLING);
    EXPECT_EQ(settings.pollingSelInterval, 30);
}

} // namespace
