#pragma once
// The registry: keys with typed values under three hives (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE), kept in one SQLite database in the data folder that the console and the
// relay use at the same time, each process through its own CRegistry. A process opens one
// CRegistry at start and sets it as the process registry; the predefined hive handles then
// refer to it, and tests bind hive handles to a fresh registry with RootKey instead.
// Any thread may call. m_lock (timed, recursive) guards the connection, the statement cache
// and the batch state; the process-wide key-handle table has its own lock, never taken while
// a caller waits on m_lock. Every write is its own durable transaction unless a batch groups it.
#include "platform/RegistryTypes.h"
#include "platform/Types.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct tagREG_KEY_REF;
struct tagHIVE_IMAGE;

class CRegistry
{
public:
    CRegistry();
    ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Opens the database, creating it when the file does not exist. A file that is not a
    // sound registry database is refused with ERROR_BADDB and left exactly as it was;
    // RegLastErrorText() then says why.
    LONG Open(const std::string& databasePath);
    // Closes the database; handles opened on this registry become invalid.
    void Close();
    BOOL IsOpen() const;
    const std::string& Path() const { return m_path; }

    // A handle to a hive root of this registry (HKEY_LOCAL_MACHINE etc.), valid while the
    // registry is open; RegCloseKey on it does nothing. Returns nullptr for other handles.
    HKEY RootKey(HKEY hive);

    // Groups the calling thread's writes into one transaction until CommitBatch or AbortBatch:
    // nothing in it is durable before the commit, and other threads' calls wait for it.
    LONG BeginBatch();
    LONG CommitBatch();
    void AbortBatch();

    // The operations behind the Reg* functions below, with the same arguments.
    LONG CreateKey(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result,
                   DWORD* disposition);
    LONG OpenKey(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result);
    LONG DeleteKey(HKEY key, const char* subKey);
    LONG DeleteTree(HKEY key, const char* subKey);
    LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* nameChars);
    LONG QueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values,
                      DWORD* maxValueNameLen, DWORD* maxValueLen);
    LONG SetValue(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size);
    LONG QueryValue(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* size);
    LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameChars, DWORD* type, BYTE* data,
                   DWORD* size);
    LONG DeleteValue(HKEY key, const char* valueName);
    LONG SaveKey(HKEY key, const char* file);
    LONG RestoreKey(HKEY key, const char* file, DWORD flags);
    LONG GetUSValue(const char* subKey, const char* valueName, DWORD* type, void* data, DWORD* size,
                    BOOL ignoreUser, const void* defaultData, DWORD defaultSize);
    LONG SetUSValue(const char* subKey, const char* valueName, DWORD type, const void* data,
                    DWORD size, DWORD flags);

private:
    class CLockGuard;
    friend class CLockGuard;

    // A recursive lock with bounded waits, built on a mutex and a condition variable so that
    // thread checkers see every acquisition. The members carry the standard lockable names
    // so std::lock_guard takes it.
    class CRecursiveLock
    {
    public:
        void lock();
        bool try_lock_for(std::chrono::milliseconds timeout);
        void unlock();

    private:
        std::mutex m_mutex;
        std::condition_variable m_released;
        std::thread::id m_owner;
        unsigned m_depth = 0;
    };

    LONG Resolve(HKEY key, tagREG_KEY_REF& ref);
    LONG Statement(const char* sql, sqlite3_stmt*& statement);
    LONG Exec(const char* sql);
    void ExecQuietly(const char* sql);
    LONG SqlFailure(int rc, const std::string& what);
    LONG BeginWrite();
    LONG EndWrite(LONG result);
    LONG CheckSchema();
    LONG CreateSchema();

    LONG KeyExists(std::int64_t keyId);
    LONG FindChild(std::int64_t parentId, const std::string& name, std::int64_t& childId);
    LONG InsertKey(std::int64_t parentId, const std::string& name, std::int64_t& keyId);
    LONG WalkPath(std::int64_t fromId, const std::vector<std::string>& parts, std::int64_t& keyId);
    LONG CreatePath(std::int64_t fromId, const std::vector<std::string>& parts, std::int64_t& keyId,
                    BOOL& created);
    LONG DeleteSubtree(std::int64_t keyId, BOOL keepKey);
    LONG WriteValue(std::int64_t keyId, const std::string& name, DWORD type, const BYTE* data,
                    DWORD size);
    LONG ReadValue(std::int64_t keyId, const std::string& name, DWORD& type,
                   std::vector<BYTE>& data);
    LONG Snapshot(std::int64_t keyId, tagHIVE_IMAGE& image);
    LONG Replace(std::int64_t keyId, const tagHIVE_IMAGE& image);
    LONG GetUSValueIn(std::int64_t rootId, const std::vector<std::string>& parts,
                      const std::string& name, DWORD* type, void* data, DWORD* size);
    LONG SetUSValueIn(std::int64_t rootId, const std::vector<std::string>& parts,
                      const std::string& name, DWORD type, const BYTE* data, DWORD size,
                      BOOL onlyIfMissing);

    sqlite3* m_db = nullptr;
    std::string m_path;
    CRecursiveLock m_lock;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
    std::thread::id m_batchOwner;
    BOOL m_inBatch = FALSE;
    HKEY m_roots[3] = {nullptr, nullptr, nullptr};
};

// The registry that the predefined hive handles refer to in this process. The caller keeps
// it alive until it sets another one (or nullptr).
void SetProcessRegistry(CRegistry* registry);
CRegistry* ProcessRegistry();

// Why the calling thread's last failed registry call failed ("" when nothing failed yet).
std::string RegLastErrorText();

// The desktop API's registry functions. Handles from RegOpenKeyEx/RegCreateKeyEx carry their
// registry; the predefined hive constants mean the process registry. Arguments that mean
// nothing here are left out, the rest keep their order:
//  - RegCreateKeyEx: Reserved, lpClass, dwOptions and lpSecurityAttributes (every key is
//    non-volatile, there are no classes or security descriptors);
//  - RegOpenKeyEx: ulOptions; RegEnumKeyEx: lpReserved, lpClass, lpcchClass, lpftLastWriteTime;
//  - RegQueryValueEx, RegSetValueEx, RegEnumValue: lpReserved / Reserved;
//  - RegSaveKey: lpSecurityAttributes (the file is made owner-only); RegQueryInfoKey keeps
//    only the counts and maximum lengths.
// Names in a path are separated by backslashes; a path may not start with one. Names compare
// without regard to ASCII case and keep the case they were created with. A handle keeps the
// rights it was opened with: reading values needs KEY_QUERY_VALUE, writing or deleting them
// KEY_SET_VALUE, enumerating subkeys KEY_ENUMERATE_SUB_KEYS (else ERROR_ACCESS_DENIED).
// Calls on a handle whose key was deleted fail with ERROR_KEY_DELETED.
LONG RegCreateKeyEx(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result,
                    DWORD* disposition);
LONG RegOpenKeyEx(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result);
LONG RegCloseKey(HKEY key);
// Subkeys are enumerated in name order (without regard to case). nameChars is the buffer
// size in characters on entry and the name length on return; a name that does not fit gives
// ERROR_MORE_DATA with nameChars unchanged. Past the last one: ERROR_NO_MORE_ITEMS.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameChars);
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values,
                     DWORD* maxValueNameLen, DWORD* maxValueLen);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
LONG RegDeleteKey(HKEY key, const char* subKey);
// Deletes the subkey with its whole subtree, or with subKey null or "" everything below the
// key (its values and subkeys) while the key itself stays. One transaction.
LONG RegDeleteTree(HKEY key, const char* subKey);
// A null or "" value name is the key's default (unnamed) value.
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size);
// With data null and size non-null: stores the size needed. A buffer too small gives
// ERROR_MORE_DATA with the size needed and leaves the buffer untouched.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* size);
// Values are enumerated in creation order (rewriting a value keeps its place), with the
// name rules of RegEnumKeyEx and the data rules of RegQueryValueEx.
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameChars, DWORD* type, BYTE* data,
                  DWORD* size);
LONG RegDeleteValue(HKEY key, const char* valueName);
// Every write is already durable when it returns; this only checks the handle.
LONG RegFlushKey(HKEY key);
// Writes the key and its subtree to a new hive file (ERROR_ALREADY_EXISTS if the file exists).
LONG RegSaveKey(HKEY key, const char* file);
// Replaces everything below the key with the file's contents, in one transaction. A damaged
// file is refused with ERROR_REGISTRY_CORRUPT before anything changes. flags: 0 or
// REG_FORCE_RESTORE.
LONG RegRestoreKey(HKEY key, const char* file, DWORD flags);

// The user-or-machine value functions of the desktop shell API. Get reads HKCU\subKey first
// (unless ignoreUser) and falls back to HKLM\subKey when the user key or value is missing;
// when both are missing and defaultData is given, the default is returned with the type left
// as the caller set it. Other failures are returned, never masked by the default.
LONG SHRegGetUSValue(const char* subKey, const char* valueName, DWORD* type, void* data,
                     DWORD* size, BOOL ignoreUser, const void* defaultData, DWORD defaultSize);
// Writes to HKCU and/or HKLM by the SHREGSET_* flags, creating the key when missing; all
// in one transaction.
LONG SHRegSetUSValue(const char* subKey, const char* valueName, DWORD type, const void* data,
                     DWORD size, DWORD flags);

// A batch on the process registry (or the given one) for the life of the scope. Ending the
// scope commits what was written, so writes that succeeded before a failure stay; Abort
// discards them instead. Every call outside a batch waits for the disk, so a save of many
// keys (the server list) belongs in one. Other threads' registry calls wait for the batch
// (ERROR_BUSY after 10 s): never wait for another thread inside one.
class CRegBatch
{
public:
    CRegBatch();
    explicit CRegBatch(CRegistry& registry);
    ~CRegBatch();
    CRegBatch(const CRegBatch&) = delete;
    CRegBatch& operator=(const CRegBatch&) = delete;

    // The result of starting the batch.
    LONG Status() const { return m_status; }
    LONG Commit();
    void Abort();

private:
    CRegistry* m_registry = nullptr;
    LONG m_status = ERROR_INVALID_HANDLE;
    BOOL m_open = FALSE;
};
