#include "shell/control/ControlRegistration.h"

#include "platform/DataFolder.h"
#include "shell/RegKey.h"

#include <filesystem>
#include <vector>

namespace
{

// The proxy of every dispatch interface (the automation marshaller).
constexpr const char* DISPATCH_PROXY_CLSID = "{00020420-0000-0000-C000-000000000046}";

struct tagREG_TEXT
{
    std::string path;
    const char* name; // nullptr: the key's default value
    std::string text;
};

LONG WriteAll(CRegistry& registry, const std::vector<tagREG_TEXT>& values)
{
    CRegBatch batch(registry);
    LONG rc = batch.Status();
    for (const tagREG_TEXT& value : values)
    {
        if (rc != ERROR_SUCCESS)
            break;
        CRegKey key;
        rc = key.Create(registry, HKEY_CLASSES_ROOT, value.path);
        if (rc == ERROR_SUCCESS)
            rc = key.SetText(value.name, value.text, TRUE);
    }
    if (rc != ERROR_SUCCESS)
    {
        batch.Abort();
        return rc;
    }
    return batch.Commit();
}

LONG DeleteAll(CRegistry& registry, const std::vector<std::string>& paths)
{
    CRegBatch batch(registry);
    LONG rc = batch.Status();
    for (const std::string& path : paths)
    {
        if (rc != ERROR_SUCCESS)
            break;
        rc = RegDeleteTree(registry.RootKey(HKEY_CLASSES_ROOT), path.c_str());
        if (rc == ERROR_FILE_NOT_FOUND)
            rc = ERROR_SUCCESS;
    }
    if (rc != ERROR_SUCCESS)
    {
        batch.Abort();
        return rc;
    }
    return batch.Commit();
}

std::string TypeLibPath()
{
    return std::string("TypeLib\\") + OVEL_LIBID;
}

std::string ClassPath(const char* clsid)
{
    return std::string("CLSID\\") + clsid;
}

std::string InterfacePath(const char* iid)
{
    return std::string("Interface\\") + iid;
}

std::vector<tagREG_TEXT> TypeLibValues(const std::string& modulePath)
{
    std::string version = TypeLibPath() + "\\" + OVEL_TYPELIB_VERSION;
    std::string folder = std::filesystem::path(modulePath).parent_path().string();
    std::vector<tagREG_TEXT> values = {
        {version, nullptr, OVEL_TYPELIB_TEXT},
        {version + "\\0\\win32", nullptr, modulePath},
        {version + "\\FLAGS", nullptr, "0"},
        {version + "\\HELPDIR", nullptr, folder},
        {version + "\\HELPDIR", "HelpFile", OVEL_HELP_FILE},
        {version, "Name", OVEL_TYPELIB_NAME},
    };
    const std::pair<const char*, const char*> interfaces[] = {
        {OVEL_DISPATCH_IID, "_DOvel"},
        {OVEL_EVENTS_IID, "_DOvelEvents"},
    };
    for (const auto& [iid, name] : interfaces)
    {
        std::string path = InterfacePath(iid);
        values.push_back({path, nullptr, name});
        values.push_back({path + "\\ProxyStubClsid32", nullptr, DISPATCH_PROXY_CLSID});
        values.push_back({path + "\\TypeLib", nullptr, OVEL_LIBID});
        values.push_back({path + "\\TypeLib", "Version", OVEL_TYPELIB_VERSION});
    }
    return values;
}

std::vector<tagREG_TEXT> ClassValues(const std::string& modulePath)
{
    std::string control = ClassPath(OVEL_CLSID);
    std::string page = ClassPath(OVEL_PROPPAGE_CLSID);
    std::string progId = OVEL_PROGID;
    return {
        {progId, nullptr, OVEL_TYPE_NAME},
        {progId + "\\CLSID", nullptr, OVEL_CLSID},
        {control, nullptr, OVEL_TYPE_NAME},
        {control + "\\ProgID", nullptr, OVEL_PROGID},
        {control + "\\InprocServer32", nullptr, modulePath},
        {control + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {control + "\\Control", nullptr, ""},
        {control + "\\ToolboxBitmap32", nullptr, modulePath + ", 1"},
        {control + "\\MiscStatus", nullptr, "0"},
        {control + "\\MiscStatus\\1", nullptr, std::to_string(OVEL_MISC_STATUS)},
        {control + "\\TypeLib", nullptr, OVEL_LIBID},
        {control + "\\Version", nullptr, OVEL_TYPELIB_VERSION},
        {page, nullptr, OVEL_PROPPAGE_NAME},
        {page + "\\InprocServer32", nullptr, modulePath},
        {page + "\\InprocServer32", "ThreadingModel", "Apartment"},
    };
}

} // namespace

HRESULT RegisterControl(CRegistry& registry, const std::string& modulePath)
{
    if (WriteAll(registry, TypeLibValues(modulePath)) != ERROR_SUCCESS)
        return SELFREG_E_TYPELIB;
    if (WriteAll(registry, ClassValues(modulePath)) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterControl(CRegistry& registry)
{
    if (DeleteAll(registry, {TypeLibPath(), InterfacePath(OVEL_DISPATCH_IID),
                             InterfacePath(OVEL_EVENTS_IID)}) != ERROR_SUCCESS)
        return SELFREG_E_TYPELIB;
    if (DeleteAll(registry, {OVEL_PROGID, ClassPath(OVEL_CLSID), ClassPath(OVEL_PROPPAGE_CLSID)}) !=
        ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

BOOL CRegistrationTarget::Open()
{
    m_registry = ProcessRegistry();
    if (m_registry && m_registry->IsOpen())
        return TRUE;
    m_registry = nullptr;
    CDataFolder folder;
    if (!folder.OpenDefault(""))
        return FALSE;
    if (m_own.Open(folder.RegistryPath()) != ERROR_SUCCESS)
        return FALSE;
    m_registry = &m_own;
    return TRUE;
}
