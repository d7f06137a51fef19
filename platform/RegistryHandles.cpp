// The process's key-handle table, the process registry and the Reg* entry points. A handle
// is a number that the table maps to its key; closing removes the entry, so a closed or
// foreign handle is found invalid instead of being followed.
#include "platform/RegistryInternal.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace
{

struct tagHANDLE_TABLE
{
    std::mutex lock;
    std::unordered_map<std::uintptr_t, tagREG_KEY_REF> entries;
    std::uintptr_t next = 0x10000;
};

// Never destroyed, so that registries destroyed during exit can still unregister.
tagHANDLE_TABLE& Table()
{
    static tagHANDLE_TABLE* table = new tagHANDLE_TABLE;
    return *table;
}

std::atomic<CRegistry*> g_processRegistry{nullptr};
thread_local std::string t_lastError;

constexpr std::uintptr_t PREDEFINED_FIRST = 0x80000000;
constexpr std::uintptr_t PREDEFINED_LAST = 0x80000002;

// The registry a handle belongs to, or nullptr (with the error text set).
CRegistry* RegistryOf(HKEY key)
{
    if (PredefinedRoot(key) != 0)
    {
        CRegistry* registry = g_processRegistry.load();
        if (!registry)
            SetRegError("no registry is open in this process");
        return registry;
    }
    tagREG_KEY_REF ref;
    if (!LookupKeyHandle(key, ref))
    {
        SetRegError("invalid key handle");
        return nullptr;
    }
    return ref.registry;
}

} // namespace

std::int64_t PredefinedRoot(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return REG_ROOT_CLASSES;
    if (key == HKEY_CURRENT_USER)
        return REG_ROOT_USER;
    if (key == HKEY_LOCAL_MACHINE)
        return REG_ROOT_MACHINE;
    return 0;
}

HKEY NewKeyHandle(const tagREG_KEY_REF& ref)
{
    tagHANDLE_TABLE& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    std::uintptr_t value = table.next;
    table.next += 4;
    if (table.next >= PREDEFINED_FIRST && table.next <= PREDEFINED_LAST)
        table.next = PREDEFINED_LAST + 2;
    table.entries[value] = ref;
    return reinterpret_cast<HKEY>(value);
}

BOOL LookupKeyHandle(HKEY key, tagREG_KEY_REF& ref)
{
    tagHANDLE_TABLE& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == table.entries.end())
        return FALSE;
    ref = it->second;
    return TRUE;
}

BOOL ReleaseKeyHandle(HKEY key)
{
    tagHANDLE_TABLE& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == table.entries.end())
        return FALSE;
    if (!it->second.root)
        table.entries.erase(it);
    return TRUE;
}

void ReleaseRegistryHandles(const CRegistry* registry)
{
    tagHANDLE_TABLE& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto it = table.entries.begin(); it != table.entries.end();)
    {
        if (it->second.registry == registry)
            it = table.entries.erase(it);
        else
            ++it;
    }
}

void SetRegError(const std::string& text)
{
    t_lastError = text;
}

std::string RegLastErrorText()
{
    return t_lastError;
}

LONG SplitKeyPath(const char* path, std::vector<std::string>& parts)
{
    parts.clear();
    if (!path || !*path)
        return ERROR_SUCCESS;
    std::string text(path);
    if (text.front() == '\\')
    {
        SetRegError("key path '" + text + "' starts with a backslash");
        return ERROR_BAD_PATHNAME;
    }
    if (text.back() == '\\')
        text.pop_back();
    std::size_t start = 0;
    while (start <= text.size())
    {
        std::size_t end = text.find('\\', start);
        if (end == std::string::npos)
            end = text.size();
        if (end == start)
        {
            SetRegError("key path '" + std::string(path) + "' has an empty name");
            return ERROR_BAD_PATHNAME;
        }
        if (end - start > REG_MAX_KEY_NAME)
        {
            SetRegError("key name longer than 255 characters in '" + std::string(path) + "'");
            return ERROR_INVALID_PARAMETER;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

void SetProcessRegistry(CRegistry* registry)
{
    g_processRegistry.store(registry);
}

CRegistry* ProcessRegistry()
{
    return g_processRegistry.load();
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result,
                    DWORD* disposition)
{
    CRegistry* registry = RegistryOf(key);
    if (result)
        *result = nullptr;
    return registry ? registry->CreateKey(key, subKey, samDesired, result, disposition)
                    : ERROR_INVALID_HANDLE;
}

LONG RegOpenKeyEx(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result)
{
    CRegistry* registry = RegistryOf(key);
    if (result)
        *result = nullptr;
    return registry ? registry->OpenKey(key, subKey, samDesired, result) : ERROR_INVALID_HANDLE;
}

LONG RegCloseKey(HKEY key)
{
    if (PredefinedRoot(key) != 0)
        return ERROR_SUCCESS;
    if (!ReleaseKeyHandle(key))
    {
        SetRegError("invalid key handle");
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameChars)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->EnumKey(key, index, name, nameChars) : ERROR_INVALID_HANDLE;
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values,
                     DWORD* maxValueNameLen, DWORD* maxValueLen)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->QueryInfoKey(key, subKeys, maxSubKeyLen, values, maxValueNameLen,
                                             maxValueLen)
                    : ERROR_INVALID_HANDLE;
}

LONG RegDeleteKey(HKEY key, const char* subKey)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->DeleteKey(key, subKey) : ERROR_INVALID_HANDLE;
}

LONG RegDeleteTree(HKEY key, const char* subKey)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->DeleteTree(key, subKey) : ERROR_INVALID_HANDLE;
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->SetValue(key, valueName, type, data, size) : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* size)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->QueryValue(key, valueName, type, data, size) : ERROR_INVALID_HANDLE;
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameChars, DWORD* type, BYTE* data,
                  DWORD* size)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->EnumValue(key, index, name, nameChars, type, data, size)
                    : ERROR_INVALID_HANDLE;
}

LONG RegDeleteValue(HKEY key, const char* valueName)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->DeleteValue(key, valueName) : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY key)
{
    return RegistryOf(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegSaveKey(HKEY key, const char* file)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->SaveKey(key, file) : ERROR_INVALID_HANDLE;
}

LONG RegRestoreKey(HKEY key, const char* file, DWORD flags)
{
    CRegistry* registry = RegistryOf(key);
    return registry ? registry->RestoreKey(key, file, flags) : ERROR_INVALID_HANDLE;
}

LONG SHRegGetUSValue(const char* subKey, const char* valueName, DWORD* type, void* data,
                     DWORD* size, BOOL ignoreUser, const void* defaultData, DWORD defaultSize)
{
    CRegistry* registry = RegistryOf(HKEY_LOCAL_MACHINE);
    return registry ? registry->GetUSValue(subKey, valueName, type, data, size, ignoreUser,
                                           defaultData, defaultSize)
                    : ERROR_INVALID_HANDLE;
}

LONG SHRegSetUSValue(const char* subKey, const char* valueName, DWORD type, const void* data,
                     DWORD size, DWORD flags)
{
    CRegistry* registry = RegistryOf(HKEY_LOCAL_MACHINE);
    return registry ? registry->SetUSValue(subKey, valueName, type, data, size, flags)
                    : ERROR_INVALID_HANDLE;
}

CRegBatch::CRegBatch() : m_registry(ProcessRegistry())
{
    if (m_registry)
        m_status = m_registry->BeginBatch();
    else
        SetRegError("no registry is open in this process");
    m_open = m_status == ERROR_SUCCESS;
}

CRegBatch::CRegBatch(CRegistry& registry) : m_registry(&registry)
{
    m_status = m_registry->BeginBatch();
    m_open = m_status == ERROR_SUCCESS;
}

CRegBatch::~CRegBatch()
{
    if (m_open)
        m_registry->CommitBatch();
}

LONG CRegBatch::Commit()
{
    if (!m_open)
        return m_status;
    m_open = FALSE;
    return m_registry->CommitBatch();
}

void CRegBatch::Abort()
{
    if (!m_open)
        return;
    m_open = FALSE;
    m_registry->AbortBatch();
}
