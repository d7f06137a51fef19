// The in-process server's self-registration entry points, the only symbols libtarn.so exports
// so far. Each works on the registry of the data folder (see CRegistrationTarget).
#include "shell/control/ControlRegistration.h"

#include <dlfcn.h>

#include <string>

#define TARN_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

// The path of this library, as the loader found it.
std::string ModulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) && info.dli_fname)
        return info.dli_fname;
    return "libtarn.so";
}

} // namespace

TARN_EXPORT HRESULT DllRegisterServer()
{
    CRegistrationTarget target;
    if (!target.Open())
        return SELFREG_E_TYPELIB;
    return RegisterControl(*target.Registry(), ModulePath());
}

TARN_EXPORT HRESULT DllUnregisterServer()
{
    CRegistrationTarget target;
    if (!target.Open())
        return SELFREG_E_TYPELIB;
    return UnregisterControl(*target.Registry());
}
