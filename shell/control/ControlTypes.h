#pragma once
// The result codes and identifiers of the console's control class: the COM result numbers its
// callers were written against and the GUIDs of its type library, interfaces, property page
// and class (ours, fixed for good: pages and registrations refer to them).
#include <cstdint>

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

constexpr const char* OVEL_LIBID = "{6A1D3F52-8C47-4E0B-9B2D-1F7E5C3A9D01}";
constexpr const char* OVEL_DISPATCH_IID = "{6A1D3F52-8C47-4E0B-9B2D-1F7E5C3A9D02}";
constexpr const char* OVEL_EVENTS_IID = "{6A1D3F52-8C47-4E0B-9B2D-1F7E5C3A9D03}";
constexpr const char* OVEL_PROPPAGE_CLSID = "{6A1D3F52-8C47-4E0B-9B2D-1F7E5C3A9D04}";
constexpr const char* OVEL_CLSID = "{6A1D3F52-8C47-4E0B-9B2D-1F7E5C3A9D05}";

// Well-known interface identifiers the control answers for.
constexpr const char* IID_IUNKNOWN = "{00000000-0000-0000-C000-000000000046}";
constexpr const char* IID_IDISPATCH = "{00020400-0000-0000-C000-000000000046}";
constexpr const char* IID_IOBJECTSAFETY = "{CB5BDC81-93C1-11CF-8F20-00805F2CD064}";
constexpr const char* IID_IPERSISTPROPERTYBAG = "{37D84F60-42CB-11CE-8135-00AA004BB851}";
constexpr const char* IID_ICONNECTIONPOINTCONTAINER = "{B196B284-BAB4-101A-B69C-00AA00341D07}";
constexpr const char* IID_IOLEOBJECT = "{00000112-0000-0000-C000-000000000046}";
