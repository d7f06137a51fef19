#pragma once
// Registration of the console's control class in HKEY_CLASSES_ROOT: the type library
// "OvelLib" 1.0 (help file "Ovel.hlp"), the dispatch and event interfaces, the property page
// and the class "Ovel Control" with ProgID "Ovel.OvelCtrl.1", apartment threading and misc
// status 0x20191. The type library is written first and the classes second, each in one
// registry transaction, so a failure leaves no half-written part. Unregistering removes them
// in the reverse order. Stateless; the exported DllRegisterServer/DllUnregisterServer of
// libtarn.so call these on the registry of the data folder.
#include "platform/Registry.h"
#include "shell/control/ControlTypes.h"

#include <string>

constexpr const char* OVEL_PROGID = "Ovel.OvelCtrl.1";
constexpr const char* OVEL_TYPE_NAME = "Ovel Control";
constexpr const char* OVEL_TYPELIB_NAME = "OvelLib";
constexpr const char* OVEL_TYPELIB_TEXT = "Ovel ActiveX Control module";
constexpr const char* OVEL_TYPELIB_VERSION = "1.0";
constexpr const char* OVEL_HELP_FILE = "Ovel.hlp";
constexpr const char* OVEL_PROPPAGE_NAME = "Ovel Property Page";
constexpr unsigned OVEL_MISC_STATUS = 0x20191;

// modulePath: the library's own file, written as the in-process server. S_OK,
// SELFREG_E_TYPELIB when the type library keys fail, SELFREG_E_CLASS when a class fails.
HRESULT RegisterControl(CRegistry& registry, const std::string& modulePath);
// Removes what RegisterControl wrote (what is already gone counts as removed); the same
// result codes.
HRESULT UnregisterControl(CRegistry& registry);

// The registry the exported entry points use: the process registry when one is set, else the
// database of the data folder ($VEXA_DATA, else $XDG_DATA_HOME/vexa, else
// ~/.local/share/vexa), opened for the call. FALSE when neither can be had.
class CRegistrationTarget
{
public:
    BOOL Open();
    CRegistry* Registry() { return m_registry; }

private:
    CRegistry m_own;
    CRegistry* m_registry = nullptr;
};
