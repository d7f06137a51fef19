// The "Server Settings" dialog model: built from the settings, read back into changes.
#include "shell/Settings.h"

#include <cstdlib>
#include <string>

namespace
{

constexpr const char* KBD_LINUX = "Linux";
constexpr const char* KBD_VT100 = "VT100";

tagDIALOG_CONTROL Spin(int id, const char* label, int value, int minimum, int maximum)
{
    tagDIALOG_CONTROL control;
    control.id = id;
    control.kind = DLG_CONTROL_KIND::SPIN;
    control.label = label;
    control.value = std::to_string(value);
    control.minimum = minimum;
    control.maximum = maximum;
    return control;
}

tagDIALOG_CONTROL Check(int id, const char* label, BOOL on)
{
    tagDIALOG_CONTROL control;
    control.id = id;
    control.kind = DLG_CONTROL_KIND::CHECKBOX;
    control.label = label;
    control.value = on ? "1" : "0";
    return control;
}

tagDIALOG_CONTROL Radio(int id, const char* label, const char* first, const char* second,
                        BOOL firstChosen)
{
    tagDIALOG_CONTROL control;
    control.id = id;
    control.kind = DLG_CONTROL_KIND::RADIO;
    control.label = label;
    control.options = {first, second};
    control.value = firstChosen ? first : second;
    return control;
}

const tagDIALOG_CONTROL* Find(const tagDIALOG& dialog, int id)
{
    for (const tagDIALOG_CONTROL& control : dialog.controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

// The control's whole number, or current when the control is missing or holds no number.
int Number(const tagDIALOG& dialog, int id, int current)
{
    const tagDIALOG_CONTROL* control = Find(dialog, id);
    if (!control || control->value.empty())
        return current;
    char* end = nullptr;
    long value = std::strtol(control->value.c_str(), &end, 10);
    if (*end != '\0' || value < -2147483647L || value > 2147483647L)
        return current;
    return static_cast<int>(value);
}

BOOL Flag(const tagDIALOG& dialog, int id, BOOL current)
{
    const tagDIALOG_CONTROL* control = Find(dialog, id);
    if (!control)
        return current;
    return control->value == "1" ? TRUE : FALSE;
}

std::string Choice(const tagDIALOG& dialog, int id)
{
    const tagDIALOG_CONTROL* control = Find(dialog, id);
    return control ? control->value : std::string();
}

// Takes the new value into field and records the change when it differs.
void Take(int& field, int value, SETTING_CHANGE kind, std::vector<tagSETTING_CHANGE>& changes)
{
    if (field == value)
        return;
    field = value;
    changes.push_back({kind, value, -1});
}

} // namespace

tagDIALOG BuildSettingsDialog(const tagSETTINGS& settings)
{
    tagDIALOG dialog;
    dialog.title = "Server Settings";
    dialog.controls = {
        Radio(SETTINGS_ID_SEL_MODE, "Polling SEL", SEL_MODE_PERIODIC, SEL_MODE_ON_PET,
              settings.pollingSel),
        Spin(SETTINGS_ID_SEL_INTERVAL, "Polling SEL interval", settings.pollingSelInterval, 1, 300),
        Spin(SETTINGS_ID_SENSOR_INTERVAL, "Reading Sensors value every",
             settings.pollingSensorsInterval, 1, 300),
        Spin(SETTINGS_ID_BIOS_TIMEOUT, "Reset to Bios Timeout:", settings.updateBiosTimeout, 1,
             3600),
        Check(SETTINGS_ID_ASF_POWER, "Enable Polling ASF Server Power State",
              settings.pollingAsfPowerEnabled),
        Spin(SETTINGS_ID_ASF_INTERVAL, "Detect ASF system state every",
             settings.pollingAsfStateInterval, 1, 300),
        Spin(SETTINGS_ID_PET_NUMBER, "Keep PET less than", settings.petNumber, 10, 1024),
        Check(SETTINGS_ID_SMS_ENABLED, "Enable Short Message Service feature.",
              settings.smsEnabled),
        Check(SETTINGS_ID_SOL_REDRAW, "Enable Remote Console timely redraw.",
              settings.solTimelyRedraw),
        Radio(SETTINGS_ID_KBD_MODE, "Keypad", KBD_LINUX, KBD_VT100,
              settings.solTermKbdMode != KBD_MODE_VT100),
    };
    dialog.buttons = {
        {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {SETTINGS_ID_SET_PHONE_LIST, "Set Phone List"}};
    return dialog;
}

std::vector<tagSETTING_CHANGE>
ApplySettingsDialog(const tagDIALOG& dialog,
                    const std::array<tagPHONE_ENTRY, SMS_PHONE_COUNT>& phones,
                    tagSETTINGS& settings)
{
    std::vector<tagSETTING_CHANGE> changes;

    std::string selMode = Choice(dialog, SETTINGS_ID_SEL_MODE);
    BOOL periodic = selMode.empty() ? settings.pollingSel : selMode == SEL_MODE_PERIODIC;
    int selInterval = Number(dialog, SETTINGS_ID_SEL_INTERVAL, settings.pollingSelInterval);
    if (periodic && (!settings.pollingSel || selInterval != settings.pollingSelInterval))
    {
        settings.pollingSel = TRUE;
        settings.pollingSelInterval = selInterval;
        changes.push_back({SETTING_CHANGE::SEL_POLLING, selInterval, -1});
    }
    else if (!periodic && settings.pollingSel)
    {
        settings.pollingSel = FALSE;
        changes.push_back({SETTING_CHANGE::SEL_POLLING, 0, -1});
    }

    Take(settings.pollingSensorsInterval,
         Number(dialog, SETTINGS_ID_SENSOR_INTERVAL, settings.pollingSensorsInterval),
         SETTING_CHANGE::SENSOR_INTERVAL, changes);
    Take(settings.updateBiosTimeout,
         Number(dialog, SETTINGS_ID_BIOS_TIMEOUT, settings.updateBiosTimeout),
         SETTING_CHANGE::BIOS_TIMEOUT, changes);
    Take(settings.pollingAsfPowerEnabled,
         Flag(dialog, SETTINGS_ID_ASF_POWER, settings.pollingAsfPowerEnabled),
         SETTING_CHANGE::ASF_POWER_POLLING, changes);
    Take(settings.pollingAsfStateInterval,
         Number(dialog, SETTINGS_ID_ASF_INTERVAL, settings.pollingAsfStateInterval),
         SETTING_CHANGE::ASF_STATE_INTERVAL, changes);
    Take(settings.petNumber, Number(dialog, SETTINGS_ID_PET_NUMBER, settings.petNumber),
         SETTING_CHANGE::PET_NUMBER, changes);
    Take(settings.smsEnabled, Flag(dialog, SETTINGS_ID_SMS_ENABLED, settings.smsEnabled),
         SETTING_CHANGE::SMS_ENABLED, changes);

    for (int i = 0; i < SMS_PHONE_COUNT; ++i)
    {
        const tagPHONE_ENTRY& edited = phones[static_cast<std::size_t>(i)];
        tagPHONE_ENTRY& current = settings.phones[static_cast<std::size_t>(i)];
        BOOL enabled = edited.enabled ? TRUE : FALSE;
        std::string number = edited.number.substr(0, SMS_PHONE_MAX_CHARS);
        if (enabled == current.enabled && number == current.number)
            continue;
        current.enabled = enabled;
        current.number = number;
        changes.push_back({SETTING_CHANGE::PHONE_ENTRY, enabled, i});
    }

    Take(settings.solTimelyRedraw, Flag(dialog, SETTINGS_ID_SOL_REDRAW, settings.solTimelyRedraw),
         SETTING_CHANGE::SOL_TIMELY_REDRAW, changes);
    std::string keypad = Choice(dialog, SETTINGS_ID_KBD_MODE);
    if (!keypad.empty())
        Take(settings.solTermKbdMode, keypad == KBD_VT100 ? KBD_MODE_VT100 : KBD_MODE_LINUX,
             SETTING_CHANGE::KBD_MODE, changes);
    return changes;
}
