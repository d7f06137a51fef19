#pragma once
// Pieces shared by the registry's source files and by nothing else: the key-handle table,
// path splitting, the per-thread error text and a statement wrapper that resets itself.
#include "platform/Registry.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What a key handle refers to. The key is named by its row id, which is never reused, so a
// handle to a deleted key stays deleted.
struct tagREG_KEY_REF
{
    CRegistry* registry = nullptr;
    std::int64_t keyId = 0;
    DWORD depth = 0;
    REGSAM access = 0;
    BOOL root = FALSE;
};

// Row ids of the hive roots, fixed when the database is created.
constexpr std::int64_t REG_ROOT_CLASSES = 1;
constexpr std::int64_t REG_ROOT_USER = 2;
constexpr std::int64_t REG_ROOT_MACHINE = 3;

// The hive root row for a predefined hive handle, 0 for any other handle.
std::int64_t PredefinedRoot(HKEY key);

HKEY NewKeyHandle(const tagREG_KEY_REF& ref);
BOOL LookupKeyHandle(HKEY key, tagREG_KEY_REF& ref);
// FALSE when the handle is not in the table.
BOOL ReleaseKeyHandle(HKEY key);
void ReleaseRegistryHandles(const CRegistry* registry);

void SetRegError(const std::string& text);

// How long a call waits for another thread of this process (a batch holds the lock).
constexpr auto REG_LOCK_TIMEOUT = std::chrono::milliseconds(10000);

// Takes m_lock with a bound; a caller that cannot get it in time fails with ERROR_BUSY.
class CRegistry::CLockGuard
{
public:
    explicit CLockGuard(CRegistry& registry) : m_registry(registry)
    {
        m_locked = registry.m_lock.try_lock_for(REG_LOCK_TIMEOUT);
        if (!m_locked)
            SetRegError("registry busy: another thread kept it for more than 10 s");
    }
    ~CLockGuard()
    {
        if (m_locked)
            m_registry.m_lock.unlock();
    }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;
    explicit operator bool() const { return m_locked; }

private:
    CRegistry& m_registry;
    bool m_locked;
};

// Splits "A\\B\\C" into its names. Null or "" gives no names; a leading backslash or an
// empty name inside the path is ERROR_BAD_PATHNAME; one trailing backslash is ignored.
LONG SplitKeyPath(const char* path, std::vector<std::string>& parts);

class CSqlStatement
{
public:
    explicit CSqlStatement(sqlite3_stmt* statement) : m_statement(statement) {}
    ~CSqlStatement()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    CSqlStatement(const CSqlStatement&) = delete;
    CSqlStatement& operator=(const CSqlStatement&) = delete;

    void Bind(int index, std::int64_t value) { sqlite3_bind_int64(m_statement, index, value); }
    void Bind(int index, const std::string& text)
    {
        sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void BindBlob(int index, const BYTE* data, std::size_t size)
    {
        if (size == 0)
            sqlite3_bind_zeroblob(m_statement, index, 0);
        else
            sqlite3_bind_blob(m_statement, index, data, static_cast<int>(size), SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(m_statement); }
    std::int64_t Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string Text(int column) const
    {
        const unsigned char* text = sqlite3_column_text(m_statement, column);
        int size = sqlite3_column_bytes(m_statement, column);
        return text ? std::string(reinterpret_cast<const char*>(text), size) : std::string();
    }
    std::vector<BYTE> Blob(int column) const
    {
        const BYTE* data = static_cast<const BYTE*>(sqlite3_column_blob(m_statement, column));
        int size = sqlite3_column_bytes(m_statement, column);
        return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
    }

private:
    sqlite3_stmt* m_statement;
};
