#pragma once
// The console's operating settings: ten REG_DWORD values under HKEY_LOCAL_MACHINE
// "Software\Vexa\Tarn" and the SMS phone list under its "SMS_Phone\Phone <n>" subkeys (n = 0..9,
// values "Phone Enabled" REG_DWORD and "SMS Phone Num" REG_SZ without terminator, at most 24
// characters; the SMS_Phone key's default value is "SMS_Phone"). Loaded when the frame is
// made, edited through the "Server Settings" dialog, saved when the dialog changed something.
// The functions are stateless; the frame owns the tagSETTINGS and uses it on its own thread.
#include "platform/Registry.h"
#include "platform/Types.h"
#include "platform/ui/DialogService.h"

#include <array>
#include <string>
#include <vector>

constexpr int SMS_PHONE_COUNT = 10;
constexpr std::size_t SMS_PHONE_MAX_CHARS = 24;
constexpr const char* SMS_PHONE_KEY = "Software\\Vexa\\Tarn\\SMS_Phone";

constexpr int KBD_MODE_LINUX = 1;
constexpr int KBD_MODE_VT100 = 2;

struct tagPHONE_ENTRY
{
    BOOL enabled = FALSE;
    std::string number; // at most 24 characters
};

// In the order the values are read; the defaults are those written back when a value is
// missing. Flags are 0 or 1 in memory.
struct tagSETTINGS
{
    BOOL pollingSel = TRUE;              // "Polling SEL": 1 periodic, 0 only when a PET arrives
    int pollingSelInterval = 10;         // "Polling SEL interval", s
    int pollingSensorsInterval = 5;      // "Polling Sensors interval", s
    int updateBiosTimeout = 60;          // "Update Bios Timeout", s
    BOOL pollingAsfPowerEnabled = FALSE; // "Polling ASF power enabled"
    int pollingAsfStateInterval = 30;    // "Polling ASF system state interval", s
    int petNumber = 256;                 // "PET number": rows kept in the PET pane
    BOOL smsEnabled = FALSE;             // "SMS Enabled"
    BOOL solTimelyRedraw = FALSE;        // "SOL Timely Redraw"
    int solTermKbdMode = KBD_MODE_LINUX; // "SOL_TermKbdMode": 1 Linux, 2 VT100
    std::array<tagPHONE_ENTRY, SMS_PHONE_COUNT> phones;
};

// Reads every value in order, then the ten phone entries. A missing (or unreadable) value is
// written back with its default; a stored interval of 0 or less is replaced by its default in
// memory only. Write failures are not reported.
tagSETTINGS LoadSettings(CRegistry& registry);
// Writes every value and the phone entries in one transaction; ERROR_SUCCESS or the code of
// the failing write (nothing written then).
LONG SaveSettings(CRegistry& registry, const tagSETTINGS& settings);

// The "Server Settings" dialog. Control and button ids:
constexpr int SETTINGS_ID_SEL_MODE = 1001;        // radio "Polling SEL every" / "... PET"
constexpr int SETTINGS_ID_SEL_INTERVAL = 1002;    // spin 1-300
constexpr int SETTINGS_ID_SENSOR_INTERVAL = 1003; // spin 1-300
constexpr int SETTINGS_ID_BIOS_TIMEOUT = 1004;    // spin 1-3600
constexpr int SETTINGS_ID_ASF_POWER = 1005;       // check box
constexpr int SETTINGS_ID_ASF_INTERVAL = 1006;    // spin 1-300
constexpr int SETTINGS_ID_PET_NUMBER = 1007;      // spin 10-1024
constexpr int SETTINGS_ID_SMS_ENABLED = 1008;     // check box
constexpr int SETTINGS_ID_SOL_REDRAW = 1009;      // check box
constexpr int SETTINGS_ID_KBD_MODE = 1010;        // radio "Linux" / "VT100"
constexpr int SETTINGS_ID_SET_PHONE_LIST = 1011;  // button: the caller shows the phone list
                                                  // dialog and then shows this one again
constexpr const char* SEL_MODE_PERIODIC = "Polling SEL every";
constexpr const char* SEL_MODE_ON_PET = "Polling SEL when receiving PET";

tagDIALOG BuildSettingsDialog(const tagSETTINGS& settings);

// One change found when the dialog is closed with OK, in the order they are applied.
enum class SETTING_CHANGE
{
    SEL_POLLING,        // value: the event-log interval for the servers, 0 = only on PET
    SENSOR_INTERVAL,    // value: seconds
    BIOS_TIMEOUT,       // value: seconds
    ASF_POWER_POLLING,  // value: 0/1
    ASF_STATE_INTERVAL, // value: seconds
    PET_NUMBER,         // value: rows
    SMS_ENABLED,        // value: 1 start the relay, 0 stop it
    PHONE_ENTRY,        // phoneIndex: the entry that changed (flag or number)
    SOL_TIMELY_REDRAW,  // value: 0/1
    KBD_MODE,           // value: 1 Linux, 2 VT100
};

struct tagSETTING_CHANGE
{
    SETTING_CHANGE kind;
    int value = 0;
    int phoneIndex = -1;
};

// Compares the answered dialog and the phone list as edited (through "Set Phone List") with
// the settings, stores every changed field in settings and returns the changes in the order
// they are applied: SEL polling, sensor interval, BIOS time-out, ASF power polling, ASF
// state interval, PET number, SMS, phone entries, terminal redraw, keypad mode. When the
// result is not empty the caller saves all settings.
std::vector<tagSETTING_CHANGE>
ApplySettingsDialog(const tagDIALOG& dialog,
                    const std::array<tagPHONE_ENTRY, SMS_PHONE_COUNT>& phones,
                    tagSETTINGS& settings);
