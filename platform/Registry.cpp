#include "platform/Registry.h"

#include "platform/RegistryInternal.h"

#include <cerrno>
#include <cstring>

// The database. Two tables, both keyed by AUTOINCREMENT row ids so that the id of a deleted
// key is never handed to a new one:
//   reg_keys(id, parent, name)            parent 0 for the three hive roots (ids 1, 2, 3)
//   reg_values(id, key, name, type, data) data exactly as written; "" is the default value
// Names carry COLLATE NOCASE (ASCII case folding), which also makes UNIQUE(parent, name) and
// UNIQUE(key, name) case-insensitive while the stored name keeps its case.
//
// Durability: WAL journal with synchronous=FULL, so that a commit has reached the disk when
// the call returns (with NORMAL, a commit in WAL mode may be lost on power failure until the
// next checkpoint). Writers take the write lock up front (BEGIN IMMEDIATE) and wait for the
// other process at most BUSY_TIMEOUT_MS.

namespace
{

constexpr int BUSY_TIMEOUT_MS = 5000;
constexpr int APPLICATION_ID = 0x56585247; // "VXRG"
constexpr int SCHEMA_VERSION = 1;

const char* const SCHEMA_SQL =
    "CREATE TABLE reg_keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(parent, name));"
    "CREATE TABLE reg_values("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key, name));"
    "INSERT INTO reg_keys(id, parent, name) VALUES"
    " (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'), (3, 0, 'HKEY_LOCAL_MACHINE');"
    "PRAGMA application_id = 1448628807;"
    "PRAGMA user_version = 1;";
static_assert(APPLICATION_ID == 1448628807, "SCHEMA_SQL repeats the application id");

LONG MapSqliteResult(int rc)
{
    switch (rc & 0xFF)
    {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_CANTOPEN:
        return ERROR_OPEN_FAILED;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

} // namespace

void CRegistry::CRecursiveLock::lock()
{
    std::unique_lock<std::mutex> guard(m_mutex);
    std::thread::id self = std::this_thread::get_id();
    m_released.wait(guard, [&] { return m_depth == 0 || m_owner == self; });
    m_owner = self;
    ++m_depth;
}

bool CRegistry::CRecursiveLock::try_lock_for(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(m_mutex);
    std::thread::id self = std::this_thread::get_id();
    if (!m_released.wait_for(guard, timeout, [&] { return m_depth == 0 || m_owner == self; }))
        return false;
    m_owner = self;
    ++m_depth;
    return true;
}

void CRegistry::CRecursiveLock::unlock()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_depth == 0 || --m_depth > 0)
            return;
        m_owner = std::thread::id();
    }
    m_released.notify_all();
}

CRegistry::CRegistry() = default;

CRegistry::~CRegistry()
{
    Close();
    CRegistry* self = this;
    if (ProcessRegistry() == self)
        SetProcessRegistry(nullptr);
}

LONG CRegistry::Open(const std::string& databasePath)
{
    Close();
    std::lock_guard<CRecursiveLock> guard(m_lock);
    m_path = databasePath;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(databasePath.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK)
    {
        int error = m_db ? sqlite3_system_errno(m_db) : 0;
        std::string reason = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        if (error != 0)
            reason += std::string(" (") + std::strerror(error) + ")";
        SetRegError("cannot open registry database " + databasePath + ": " + reason);
        sqlite3_close(m_db);
        m_db = nullptr;
        if (error == ENOENT || error == ENOTDIR)
            return ERROR_PATH_NOT_FOUND;
        if (error == EACCES || error == EPERM || error == EROFS)
            return ERROR_ACCESS_DENIED;
        return ERROR_OPEN_FAILED;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, BUSY_TIMEOUT_MS);
    LONG result = CheckSchema();
    if (result != ERROR_SUCCESS)
    {
        for (auto& entry : m_statements)
            sqlite3_finalize(entry.second);
        m_statements.clear();
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    return result;
}

void CRegistry::Close()
{
    std::lock_guard<CRecursiveLock> guard(m_lock);
    if (m_inBatch)
    {
        ExecQuietly("ROLLBACK");
        m_inBatch = FALSE;
        m_lock.unlock();
    }
    ReleaseRegistryHandles(this);
    for (HKEY& root : m_roots)
        root = nullptr;
    for (auto& entry : m_statements)
        sqlite3_finalize(entry.second);
    m_statements.clear();
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}

BOOL CRegistry::IsOpen() const
{
    return m_db != nullptr;
}

HKEY CRegistry::RootKey(HKEY hive)
{
    std::int64_t root = PredefinedRoot(hive);
    CLockGuard guard(*this);
    if (root == 0 || !guard || !m_db)
        return nullptr;
    HKEY& slot = m_roots[root - 1];
    if (!slot)
    {
        tagREG_KEY_REF ref;
        ref.registry = this;
        ref.keyId = root;
        ref.access = KEY_ALL_ACCESS;
        ref.root = TRUE;
        slot = NewKeyHandle(ref);
    }
    return slot;
}

LONG CRegistry::CheckSchema()
{
    // Only reads until the file is known to be ours (or empty), so that a foreign or damaged
    // file is never written to.
    const std::string where = "registry database " + m_path;
    std::int64_t applicationId = 0;
    std::int64_t version = 0;
    std::int64_t objects = 0;
    sqlite3_stmt* raw = nullptr;
    const struct
    {
        const char* sql;
        std::int64_t* value;
    } probes[] = {{"PRAGMA application_id", &applicationId},
                  {"PRAGMA user_version", &version},
                  {"SELECT count(*) FROM sqlite_master", &objects}};
    for (const auto& probe : probes)
    {
        int rc = sqlite3_prepare_v2(m_db, probe.sql, -1, &raw, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(raw);
        *probe.value = rc == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : 0;
        std::string message = sqlite3_errmsg(m_db);
        sqlite3_finalize(raw);
        if (rc != SQLITE_ROW)
        {
            SetRegError(where + " cannot be read (" + message + "); it was left unchanged");
            return MapSqliteResult(rc) == ERROR_BUSY ? ERROR_BUSY : ERROR_BADDB;
        }
    }
    BOOL fresh = applicationId == 0 && version == 0 && objects == 0;
    if (!fresh && applicationId != APPLICATION_ID)
    {
        SetRegError(where + " is an SQLite database of another application; it was left "
                            "unchanged");
        return ERROR_BADDB;
    }
    if (!fresh && version != SCHEMA_VERSION)
    {
        SetRegError(where + " has schema version " + std::to_string(version) +
                    ", this program reads version 1; it was left unchanged");
        return ERROR_BADDB;
    }
    if (!fresh)
    {
        int rc = sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &raw, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(raw);
        std::string verdict = rc == SQLITE_ROW
                                  ? reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))
                                  : sqlite3_errmsg(m_db);
        sqlite3_finalize(raw);
        if (rc != SQLITE_ROW || verdict != "ok")
        {
            SetRegError(where + " is damaged (" + verdict + "); it was left unchanged");
            return rc == SQLITE_BUSY ? ERROR_BUSY : ERROR_BADDB;
        }
    }
    // WAL lets the other process read while one writes; a file system without shared memory
    // for it would silently keep the old journal mode, so the answer is checked.
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA journal_mode=WAL", -1, &raw, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(raw);
    std::string mode = rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))
                                        : sqlite3_errmsg(m_db);
    sqlite3_finalize(raw);
    if (rc != SQLITE_ROW)
        return SqlFailure(rc, "switching to the WAL journal");
    if (mode != "wal")
    {
        SetRegError(where + ": the file system does not support the WAL journal (mode stays " +
                    mode + ")");
        return ERROR_OPEN_FAILED;
    }
    LONG result = Exec("PRAGMA synchronous=FULL");
    if (result == ERROR_SUCCESS && fresh)
        result = CreateSchema();
    if (result != ERROR_SUCCESS)
        return result;

    sqlite3_stmt* roots = nullptr;
    result = Statement("SELECT count(*) FROM reg_keys WHERE id IN (1, 2, 3) AND parent = 0", roots);
    if (result != ERROR_SUCCESS)
        return result == ERROR_BUSY ? result : ERROR_BADDB;
    CSqlStatement query(roots);
    if (query.Step() != SQLITE_ROW || query.Int(0) != 3)
    {
        SetRegError(where + " lacks its hive roots; it was left unchanged");
        return ERROR_BADDB;
    }
    return ERROR_SUCCESS;
}

LONG CRegistry::CreateSchema()
{
    LONG result = Exec("BEGIN IMMEDIATE");
    if (result != ERROR_SUCCESS)
        return result;
    // Another process may have created it while this one waited for the write lock.
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    int rc = sqlite3_step(raw);
    std::int64_t objects = rc == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : -1;
    sqlite3_finalize(raw);
    if (objects < 0)
        result = SqlFailure(rc, "reading the schema");
    else if (objects == 0)
        result = Exec(SCHEMA_SQL);
    return EndWrite(result);
}

LONG CRegistry::Resolve(HKEY key, tagREG_KEY_REF& ref)
{
    if (!m_db)
    {
        SetRegError("the registry is not open");
        return ERROR_INVALID_HANDLE;
    }
    std::int64_t root = PredefinedRoot(key);
    if (root != 0)
    {
        ref = tagREG_KEY_REF{};
        ref.registry = this;
        ref.keyId = root;
        ref.access = KEY_ALL_ACCESS;
        ref.root = TRUE;
        return ERROR_SUCCESS;
    }
    if (!LookupKeyHandle(key, ref) || ref.registry != this)
    {
        SetRegError("invalid key handle");
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

LONG CRegistry::Statement(const char* sql, sqlite3_stmt*& statement)
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
    {
        statement = it->second;
        return ERROR_SUCCESS;
    }
    int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (rc != SQLITE_OK)
        return SqlFailure(rc, "preparing a statement");
    m_statements.emplace(sql, statement);
    return ERROR_SUCCESS;
}

LONG CRegistry::Exec(const char* sql)
{
    int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? ERROR_SUCCESS : SqlFailure(rc, sql);
}

void CRegistry::ExecQuietly(const char* sql)
{
    sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

LONG CRegistry::SqlFailure(int rc, const std::string& what)
{
    std::string text = "registry database " + m_path + ": " + what + ": " +
                       (m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    if ((rc & 0xFF) == SQLITE_BUSY)
        text += " (the other process kept the database locked for more than 5 s)";
    SetRegError(text);
    LONG result = MapSqliteResult(rc);
    return result == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : result;
}

LONG CRegistry::BeginWrite()
{
    return Exec(m_inBatch ? "SAVEPOINT reg_write" : "BEGIN IMMEDIATE");
}

LONG CRegistry::EndWrite(LONG result)
{
    if (m_inBatch)
    {
        // A failed call inside a batch takes back only its own changes.
        if (result != ERROR_SUCCESS)
            ExecQuietly("ROLLBACK TO reg_write");
        ExecQuietly("RELEASE reg_write");
        return result;
    }
    if (result == ERROR_SUCCESS)
    {
        result = Exec("COMMIT");
        if (result == ERROR_SUCCESS)
            return result;
    }
    ExecQuietly("ROLLBACK");
    return result;
}

LONG CRegistry::BeginBatch()
{
    if (!m_lock.try_lock_for(REG_LOCK_TIMEOUT))
    {
        SetRegError("registry busy: another thread kept it for more than 10 s");
        return ERROR_BUSY;
    }
    LONG result = ERROR_SUCCESS;
    if (!m_db)
    {
        SetRegError("the registry is not open");
        result = ERROR_INVALID_HANDLE;
    }
    else if (m_inBatch)
    {
        SetRegError("a batch is already open on this thread");
        result = ERROR_INVALID_PARAMETER;
    }
    else
    {
        result = Exec("BEGIN IMMEDIATE");
    }
    if (result != ERROR_SUCCESS)
    {
        m_lock.unlock();
        return result;
    }
    // The lock stays held until the batch ends.
    m_inBatch = TRUE;
    m_batchOwner = std::this_thread::get_id();
    return ERROR_SUCCESS;
}

LONG CRegistry::CommitBatch()
{
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    if (!m_inBatch || m_batchOwner != std::this_thread::get_id())
    {
        SetRegError("no batch is open on this thread");
        return ERROR_INVALID_PARAMETER;
    }
    LONG result = Exec("COMMIT");
    if (result != ERROR_SUCCESS)
        ExecQuietly("ROLLBACK");
    m_inBatch = FALSE;
    m_lock.unlock();
    return result;
}

void CRegistry::AbortBatch()
{
    CLockGuard guard(*this);
    if (!guard || !m_inBatch || m_batchOwner != std::this_thread::get_id())
        return;
    ExecQuietly("ROLLBACK");
    m_inBatch = FALSE;
    m_lock.unlock();
}
