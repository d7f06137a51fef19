#pragma once
// The control's object-safety answers: every interface the control has is safe for
// untrusted callers and untrusted data. The control's interfaces are given as a lookup, so
// the answers follow whatever the control exposes. Stateless beyond the lookup; any thread.
#include "platform/Types.h"
#include "shell/control/ControlTypes.h"

#include <functional>
#include <string>

constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_CALLER = 0x00000001;
constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_DATA = 0x00000002;

// TRUE when the control answers for the interface (IUnknown, IDispatch, its dispatch
// interface, IObjectSafety, IPersistPropertyBag, IConnectionPointContainer, IOleObject).
BOOL ControlHasInterface(const std::string& iid);

class CObjectSafety
{
public:
    using InterfaceLookup = std::function<BOOL(const std::string& iid)>;
    explicit CObjectSafety(InterfaceLookup hasInterface = ControlHasInterface);

    // Sets both to 3 for any interface; S_OK when the control has it, else E_NOINTERFACE.
    HRESULT GetInterfaceSafetyOptions(const std::string& iid, DWORD* supported,
                                      DWORD* enabled) const;
    // E_NOINTERFACE without the interface; S_OK when the mask is below 4 and every bit of it
    // is also set in the enabled options; E_FAIL otherwise.
    HRESULT SetInterfaceSafetyOptions(const std::string& iid, DWORD optionSetMask,
                                      DWORD enabledOptions) const;

private:
    InterfaceLookup m_hasInterface;
};
