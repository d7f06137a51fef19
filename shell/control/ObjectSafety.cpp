#include "shell/control/ObjectSafety.h"

#include <strings.h>

#include <utility>

namespace
{

constexpr DWORD SAFE_OPTIONS =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

} // namespace

BOOL ControlHasInterface(const std::string& iid)
{
    const char* const interfaces[] = {
        IID_IUNKNOWN,      IID_IDISPATCH,           OVEL_DISPATCH_IID,
        IID_IOBJECTSAFETY, IID_IPERSISTPROPERTYBAG, IID_ICONNECTIONPOINTCONTAINER,
        IID_IOLEOBJECT};
    for (const char* known : interfaces)
        if (strcasecmp(known, iid.c_str()) == 0) // GUID texts compare without regard to case
            return TRUE;
    return FALSE;
}

CObjectSafety::CObjectSafety(InterfaceLookup hasInterface) : m_hasInterface(std::move(hasInterface))
{
}

HRESULT CObjectSafety::GetInterfaceSafetyOptions(const std::string& iid, DWORD* supported,
                                                 DWORD* enabled) const
{
    if (supported)
        *supported = SAFE_OPTIONS;
    if (enabled)
        *enabled = SAFE_OPTIONS;
    return m_hasInterface && m_hasInterface(iid) ? S_OK : E_NOINTERFACE;
}

HRESULT CObjectSafety::SetInterfaceSafetyOptions(const std::string& iid, DWORD optionSetMask,
                                                 DWORD enabledOptions) const
{
    if (!m_hasInterface || !m_hasInterface(iid))
        return E_NOINTERFACE;
    if (optionSetMask < 4 && (optionSetMask & enabledOptions) == optionSetMask &&
        (optionSetMask & ~SAFE_OPTIONS) == 0)
        return S_OK;
    return E_FAIL;
}
