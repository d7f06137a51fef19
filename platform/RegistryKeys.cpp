// Key and value operations of CRegistry, and the user-or-machine value functions.
#include "platform/Registry.h"

#include "platform/RegistryInternal.h"

#include <cstring>

namespace
{

std::string NameOf(const char* name)
{
    return name ? std::string(name) : std::string();
}

LONG CheckValueName(const std::string& name)
{
    if (name.size() <= REG_MAX_VALUE_NAME)
        return ERROR_SUCCESS;
    SetRegError("value name longer than 16383 characters");
    return ERROR_INVALID_PARAMETER;
}

LONG CheckValueData(DWORD type, const void* data, DWORD size)
{
    if (!data && size > 0)
        SetRegError("value data is null but its size is not 0");
    else if (type == REG_DWORD && size != 4)
        SetRegError("a REG_DWORD value must be 4 bytes");
    else if (type == REG_QWORD && size != 8)
        SetRegError("a REG_QWORD value must be 8 bytes");
    else
        return ERROR_SUCCESS;
    return ERROR_INVALID_PARAMETER;
}

LONG CheckAccess(const tagREG_KEY_REF& ref, REGSAM needed, const char* what)
{
    if ((ref.access & needed) == needed)
        return ERROR_SUCCESS;
    SetRegError(std::string("the key handle was not opened with the right to ") + what);
    return ERROR_ACCESS_DENIED;
}

LONG InvalidParameter(const char* what)
{
    SetRegError(what);
    return ERROR_INVALID_PARAMETER;
}

// The query rules: data null asks for the size only; a buffer too small gets the size needed
// and stays untouched.
LONG CopyData(DWORD storedType, const std::vector<BYTE>& stored, DWORD* type, void* data,
              DWORD* size)
{
    DWORD needed = static_cast<DWORD>(stored.size());
    if (type)
        *type = storedType;
    if (data && *size < needed)
    {
        *size = needed;
        SetRegError("buffer too small for the value's data");
        return ERROR_MORE_DATA;
    }
    if (data && needed > 0)
        std::memcpy(data, stored.data(), needed);
    if (size)
        *size = needed;
    return ERROR_SUCCESS;
}

BOOL NameFits(const std::string& name, const DWORD* nameChars)
{
    return name.size() + 1 <= *nameChars;
}

void CopyName(const std::string& name, char* out, DWORD* nameChars)
{
    std::memcpy(out, name.c_str(), name.size() + 1);
    *nameChars = static_cast<DWORD>(name.size());
}

} // namespace

LONG CRegistry::KeyExists(std::int64_t keyId)
{
    sqlite3_stmt* raw = nullptr;
    LONG result = Statement("SELECT 1 FROM reg_keys WHERE id = ?1", raw);
    if (result != ERROR_SUCCESS)
        return result;
    CSqlStatement query(raw);
    query.Bind(1, keyId);
    int rc = query.Step();
    if (rc == SQLITE_ROW)
        return ERROR_SUCCESS;
    if (rc != SQLITE_DONE)
        return SqlFailure(rc, "looking up a key");
    SetRegError("the key was deleted");
    return ERROR_KEY_DELETED;
}

LONG CRegistry::FindChild(std::int64_t parentId, const std::string& name, std::int64_t& childId)
{
    sqlite3_stmt* raw = nullptr;
    LONG result = Statement("SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2", raw);
    if (result != ERROR_SUCCESS)
        return result;
    CSqlStatement query(raw);
    query.Bind(1, parentId);
    query.Bind(2, name);
    int rc = query.Step();
    if (rc == SQLITE_ROW)
    {
        childId = query.Int(0);
        return ERROR_SUCCESS;
    }
    if (rc != SQLITE_DONE)
        return SqlFailure(rc, "looking up a key");
    SetRegError("key '" + name + "' not found");
    return ERROR_FILE_NOT_FOUND;
}

LONG CRegistry::InsertKey(std::int64_t parentId, const std::string& name, std::int64_t& keyId)
{
    sqlite3_stmt* raw = nullptr;
    LONG result = Statement("INSERT INTO reg_keys(parent, name) VALUES(?1, ?2)", raw);
    if (result != ERROR_SUCCESS)
        return result;
    CSqlStatement insert(raw);
    insert.Bind(1, parentId);
    insert.Bind(2, name);
    int rc = insert.Step();
    if (rc != SQLITE_DONE)
        return SqlFailure(rc, "creating key '" + name + "'");
    keyId = sqlite3_last_insert_rowid(m_db);
    return ERROR_SUCCESS;
}

LONG CRegistry::WalkPath(std::int64_t fromId, const std::vector<std::string>& parts,
                         std::int64_t& keyId)
{
    keyId = fromId;
    for (const std::string& part : parts)
    {
        LONG result = FindChild(keyId, part, keyId);
        if (result != ERROR_SUCCESS)
            return result;
    }
    return ERROR_SUCCESS;
}

LONG CRegistry::CreatePath(std::int64_t fromId, const std::vector<std::string>& parts,
                           std::int64_t& keyId, BOOL& created)
{
    keyId = fromId;
    created = FALSE;
    for (const std::string& part : parts)
    {
        LONG result = created ? ERROR_FILE_NOT_FOUND : FindChild(keyId, part, keyId);
        if (result == ERROR_FILE_NOT_FOUND)
        {
            result = InsertKey(keyId, part, keyId);
            created = TRUE;
        }
        if (result != ERROR_SUCCESS)
            return result;
    }
    return ERROR_SUCCESS;
}

LONG CRegistry::DeleteSubtree(std::int64_t keyId, BOOL keepKey)
{
    const char* const valuesSql = "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                                  " SELECT k.id FROM reg_keys k JOIN sub ON k.parent = sub.id)"
                                  " DELETE FROM reg_values WHERE key IN (SELECT id FROM sub)";
    const char* const keysSql =
        "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
        " SELECT k.id FROM reg_keys k JOIN sub ON k.parent = sub.id)"
        " DELETE FROM reg_keys WHERE id IN (SELECT id FROM sub) AND id <> ?2";
    for (const char* sql : {valuesSql, keysSql})
    {
        sqlite3_stmt* raw = nullptr;
        LONG result = Statement(sql, raw);
        if (result != ERROR_SUCCESS)
            return result;
        CSqlStatement statement(raw);
        statement.Bind(1, keyId);
        if (sql == keysSql)
            statement.Bind(2, keepKey ? keyId : std::int64_t{0});
        int rc = statement.Step();
        if (rc != SQLITE_DONE)
            return SqlFailure(rc, "deleting a key tree");
    }
    return ERROR_SUCCESS;
}

LONG CRegistry::WriteValue(std::int64_t keyId, const std::string& name, DWORD type,
                           const BYTE* data, DWORD size)
{
    sqlite3_stmt* raw = nullptr;
    // The upsert keeps the row (and so the enumeration position and the name's case).
    LONG result = Statement("INSERT INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4)"
                            " ON CONFLICT(key, name) DO UPDATE"
                            " SET type = excluded.type, data = excluded.data",
                            raw);
    if (result != ERROR_SUCCESS)
        return result;
    CSqlStatement upsert(raw);
    upsert.Bind(1, keyId);
    upsert.Bind(2, name);
    upsert.Bind(3, std::int64_t{type});
    upsert.BindBlob(4, data, size);
    int rc = upsert.Step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : SqlFailure(rc, "writing value '" + name + "'");
}

LONG CRegistry::ReadValue(std::int64_t keyId, const std::string& name, DWORD& type,
                          std::vector<BYTE>& data)
{
    sqlite3_stmt* raw = nullptr;
    LONG result = Statement("SELECT type, data FROM reg_values WHERE key = ?1 AND name = ?2", raw);
    if (result != ERROR_SUCCESS)
        return result;
    CSqlStatement query(raw);
    query.Bind(1, keyId);
    query.Bind(2, name);
    int rc = query.Step();
    if (rc == SQLITE_ROW)
    {
        type = static_cast<DWORD>(query.Int(0));
        data = query.Blob(1);
        return ERROR_SUCCESS;
    }
    if (rc != SQLITE_DONE)
        return SqlFailure(rc, "reading value '" + name + "'");
    SetRegError("value '" + name + "' not found");
    return ERROR_FILE_NOT_FOUND;
}

LONG CRegistry::CreateKey(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result,
                          DWORD* disposition)
{
    if (!result)
        return InvalidParameter("no place for the new key handle");
    *result = nullptr;
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    std::vector<std::string> parts;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = SplitKeyPath(subKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    if (ref.depth + parts.size() > REG_MAX_DEPTH)
        return InvalidParameter("key path deeper than 512 levels");

    // Most calls open a key that exists: try that without taking the write lock.
    std::int64_t keyId = 0;
    BOOL created = FALSE;
    status = KeyExists(ref.keyId);
    if (status == ERROR_SUCCESS)
        status = WalkPath(ref.keyId, parts, keyId);
    if (status == ERROR_FILE_NOT_FOUND)
    {
        status = BeginWrite();
        if (status != ERROR_SUCCESS)
            return status;
        status = KeyExists(ref.keyId);
        if (status == ERROR_SUCCESS)
            status = CreatePath(ref.keyId, parts, keyId, created);
        status = EndWrite(status);
    }
    if (status != ERROR_SUCCESS)
        return status;
    tagREG_KEY_REF opened;
    opened.registry = this;
    opened.keyId = keyId;
    opened.depth = ref.depth + static_cast<DWORD>(parts.size());
    opened.access = samDesired;
    *result = NewKeyHandle(opened);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG CRegistry::OpenKey(HKEY key, const char* subKey, REGSAM samDesired, PHKEY result)
{
    if (!result)
        return InvalidParameter("no place for the key handle");
    *result = nullptr;
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    std::vector<std::string> parts;
    std::int64_t keyId = 0;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = SplitKeyPath(subKey, parts);
    if (status == ERROR_SUCCESS)
        status = KeyExists(ref.keyId);
    if (status == ERROR_SUCCESS)
        status = WalkPath(ref.keyId, parts, keyId);
    if (status != ERROR_SUCCESS)
        return status;
    tagREG_KEY_REF opened;
    opened.registry = this;
    opened.keyId = keyId;
    opened.depth = ref.depth + static_cast<DWORD>(parts.size());
    opened.access = samDesired;
    *result = NewKeyHandle(opened);
    return ERROR_SUCCESS;
}

LONG CRegistry::DeleteKey(HKEY key, const char* subKey)
{
    if (!subKey)
        return InvalidParameter("no subkey named to delete");
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    std::vector<std::string> parts;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = SplitKeyPath(subKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    if (ref.root && parts.empty())
    {
        SetRegError("a hive root cannot be deleted");
        return ERROR_ACCESS_DENIED;
    }
    status = BeginWrite();
    if (status != ERROR_SUCCESS)
        return status;
    std::int64_t target = 0;
    status = KeyExists(ref.keyId);
    if (status == ERROR_SUCCESS)
        status = WalkPath(ref.keyId, parts, target);
    if (status == ERROR_SUCCESS)
    {
        sqlite3_stmt* raw = nullptr;
        status = Statement("SELECT 1 FROM reg_keys WHERE parent = ?1 LIMIT 1", raw);
        if (status == ERROR_SUCCESS)
        {
            CSqlStatement children(raw);
            children.Bind(1, target);
            int rc = children.Step();
            if (rc == SQLITE_ROW)
            {
                SetRegError("the key has subkeys; delete them first or use RegDeleteTree");
                status = ERROR_ACCESS_DENIED;
            }
            else if (rc != SQLITE_DONE)
            {
                status = SqlFailure(rc, "looking for subkeys");
            }
        }
    }
    if (status == ERROR_SUCCESS)
        status = DeleteSubtree(target, FALSE);
    return EndWrite(status);
}

LONG CRegistry::DeleteTree(HKEY key, const char* subKey)
{
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    std::vector<std::string> parts;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = SplitKeyPath(subKey, parts);
    if (status == ERROR_SUCCESS && parts.empty())
        status = CheckAccess(ref, KEY_SET_VALUE, "set values");
    if (status != ERROR_SUCCESS)
        return status;
    if (ref.root && parts.empty())
    {
        SetRegError("a whole hive cannot be emptied");
        return ERROR_ACCESS_DENIED;
    }
    status = BeginWrite();
    if (status != ERROR_SUCCESS)
        return status;
    std::int64_t target = 0;
    status = KeyExists(ref.keyId);
    if (status == ERROR_SUCCESS)
        status = WalkPath(ref.keyId, parts, target);
    if (status == ERROR_SUCCESS)
        status = DeleteSubtree(target, parts.empty());
    return EndWrite(status);
}

LONG CRegistry::EnumKey(HKEY key, DWORD index, char* name, DWORD* nameChars)
{
    if (!name || !nameChars)
        return InvalidParameter("no buffer for the key name");
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = CheckAccess(ref, KEY_ENUMERATE_SUB_KEYS, "enumerate subkeys");
    sqlite3_stmt* raw = nullptr;
    if (status == ERROR_SUCCESS)
        status = Statement("SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY name"
                           " LIMIT 1 OFFSET ?2",
                           raw);
    if (status != ERROR_SUCCESS)
        return status;
    CSqlStatement query(raw);
    query.Bind(1, ref.keyId);
    query.Bind(2, std::int64_t{index});
    int rc = query.Step();
    if (rc == SQLITE_DONE)
    {
        status = KeyExists(ref.keyId);
        if (status != ERROR_SUCCESS)
            return status;
        SetRegError("no more subkeys");
        return ERROR_NO_MORE_ITEMS;
    }
    if (rc != SQLITE_ROW)
        return SqlFailure(rc, "enumerating subkeys");
    std::string found = query.Text(0);
    if (!NameFits(found, nameChars))
    {
        SetRegError("buffer too small for the key name");
        return ERROR_MORE_DATA;
    }
    CopyName(found, name, nameChars);
    return ERROR_SUCCESS;
}

LONG CRegistry::QueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values,
                             DWORD* maxValueNameLen, DWORD* maxValueLen)
{
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = CheckAccess(ref, KEY_QUERY_VALUE, "query values");
    if (status == ERROR_SUCCESS)
        status = KeyExists(ref.keyId);
    sqlite3_stmt* keysRaw = nullptr;
    sqlite3_stmt* valuesRaw = nullptr;
    if (status == ERROR_SUCCESS)
        status = Statement("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0)"
                           " FROM reg_keys WHERE parent = ?1",
                           keysRaw);
    if (status == ERROR_SUCCESS)
        status = Statement("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0),"
                           " ifnull(max(length(data)), 0) FROM reg_values WHERE key = ?1",
                           valuesRaw);
    if (status != ERROR_SUCCESS)
        return status;
    CSqlStatement keys(keysRaw);
    CSqlStatement valueRows(valuesRaw);
    keys.Bind(1, ref.keyId);
    valueRows.Bind(1, ref.keyId);
    int rc = keys.Step();
    if (rc != SQLITE_ROW)
        return SqlFailure(rc, "counting subkeys");
    rc = valueRows.Step();
    if (rc != SQLITE_ROW)
        return SqlFailure(rc, "counting values");
    if (subKeys)
        *subKeys = static_cast<DWORD>(keys.Int(0));
    if (maxSubKeyLen)
        *maxSubKeyLen = static_cast<DWORD>(keys.Int(1));
    if (values)
        *values = static_cast<DWORD>(valueRows.Int(0));
    if (maxValueNameLen)
        *maxValueNameLen = static_cast<DWORD>(valueRows.Int(1));
    if (maxValueLen)
        *maxValueLen = static_cast<DWORD>(valueRows.Int(2));
    return ERROR_SUCCESS;
}

LONG CRegistry::SetValue(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size)
{
    std::string name = NameOf(valueName);
    LONG status = CheckValueName(name);
    if (status == ERROR_SUCCESS)
        status = CheckValueData(type, data, size);
    if (status != ERROR_SUCCESS)
        return status;
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = CheckAccess(ref, KEY_SET_VALUE, "set values");
    if (status == ERROR_SUCCESS)
        status = BeginWrite();
    if (status != ERROR_SUCCESS)
        return status;
    // Checked inside the transaction: a value must never outlive its key.
    status = KeyExists(ref.keyId);
    if (status == ERROR_SUCCESS)
        status = WriteValue(ref.keyId, name, type, data, size);
    return EndWrite(status);
}

LONG CRegistry::QueryValue(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* size)
{
    if (data && !size)
        return InvalidParameter("a data buffer was given without its size");
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = CheckAccess(ref, KEY_QUERY_VALUE, "query values");
    DWORD storedType = 0;
    std::vector<BYTE> stored;
    if (status == ERROR_SUCCESS)
        status = ReadValue(ref.keyId, NameOf(valueName), storedType, stored);
    if (status == ERROR_FILE_NOT_FOUND && KeyExists(ref.keyId) == ERROR_KEY_DELETED)
        status = ERROR_KEY_DELETED;
    if (status != ERROR_SUCCESS)
        return status;
    return CopyData(storedType, stored, type, data, size);
}

LONG CRegistry::EnumValue(HKEY key, DWORD index, char* name, DWORD* nameChars, DWORD* type,
                          BYTE* data, DWORD* size)
{
    if (!name || !nameChars)
        return InvalidParameter("no buffer for the value name");
    if (data && !size)
        return InvalidParameter("a data buffer was given without its size");
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = CheckAccess(ref, KEY_QUERY_VALUE, "query values");
    sqlite3_stmt* raw = nullptr;
    if (status == ERROR_SUCCESS)
        status = Statement("SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY id"
                           " LIMIT 1 OFFSET ?2",
                           raw);
    if (status != ERROR_SUCCESS)
        return status;
    CSqlStatement query(raw);
    query.Bind(1, ref.keyId);
    query.Bind(2, std::int64_t{index});
    int rc = query.Step();
    if (rc == SQLITE_DONE)
    {
        status = KeyExists(ref.keyId);
        if (status != ERROR_SUCCESS)
            return status;
        SetRegError("no more values");
        return ERROR_NO_MORE_ITEMS;
    }
    if (rc != SQLITE_ROW)
        return SqlFailure(rc, "enumerating values");
    std::string found = query.Text(0);
    if (!NameFits(found, nameChars))
    {
        SetRegError("buffer too small for the value name");
        return ERROR_MORE_DATA;
    }
    status = CopyData(static_cast<DWORD>(query.Int(1)), query.Blob(2), type, data, size);
    if (status == ERROR_SUCCESS)
        CopyName(found, name, nameChars);
    return status;
}

LONG CRegistry::DeleteValue(HKEY key, const char* valueName)
{
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    LONG status = Resolve(key, ref);
    if (status == ERROR_SUCCESS)
        status = CheckAccess(ref, KEY_SET_VALUE, "set values");
    sqlite3_stmt* raw = nullptr;
    if (status == ERROR_SUCCESS)
        status = Statement("DELETE FROM reg_values WHERE key = ?1 AND name = ?2", raw);
    if (status == ERROR_SUCCESS)
        status = BeginWrite();
    if (status != ERROR_SUCCESS)
        return status;
    std::string name = NameOf(valueName);
    {
        CSqlStatement statement(raw);
        statement.Bind(1, ref.keyId);
        statement.Bind(2, name);
        int rc = statement.Step();
        if (rc != SQLITE_DONE)
            status = SqlFailure(rc, "deleting value '" + name + "'");
    }
    if (status == ERROR_SUCCESS && sqlite3_changes(m_db) == 0)
    {
        status = KeyExists(ref.keyId);
        if (status == ERROR_SUCCESS)
        {
            SetRegError("value '" + name + "' not found");
            status = ERROR_FILE_NOT_FOUND;
        }
    }
    return EndWrite(status);
}

LONG CRegistry::GetUSValueIn(std::int64_t rootId, const std::vector<std::string>& parts,
                             const std::string& name, DWORD* type, void* data, DWORD* size)
{
    std::int64_t keyId = 0;
    DWORD storedType = 0;
    std::vector<BYTE> stored;
    LONG status = WalkPath(rootId, parts, keyId);
    if (status == ERROR_SUCCESS)
        status = ReadValue(keyId, name, storedType, stored);
    if (status != ERROR_SUCCESS)
        return status;
    return CopyData(storedType, stored, type, data, size);
}

LONG CRegistry::GetUSValue(const char* subKey, const char* valueName, DWORD* type, void* data,
                           DWORD* size, BOOL ignoreUser, const void* defaultData, DWORD defaultSize)
{
    if (data && !size)
        return InvalidParameter("a data buffer was given without its size");
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    if (!m_db)
    {
        SetRegError("the registry is not open");
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> parts;
    LONG status = SplitKeyPath(subKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    std::string name = NameOf(valueName);
    status = ERROR_FILE_NOT_FOUND;
    if (!ignoreUser)
        status = GetUSValueIn(REG_ROOT_USER, parts, name, type, data, size);
    if (status == ERROR_FILE_NOT_FOUND)
        status = GetUSValueIn(REG_ROOT_MACHINE, parts, name, type, data, size);
    if (status != ERROR_FILE_NOT_FOUND || !defaultData || defaultSize == 0)
        return status;
    if (data && *size < defaultSize)
    {
        *size = defaultSize;
        SetRegError("buffer too small for the default data");
        return ERROR_MORE_DATA;
    }
    if (data)
        std::memcpy(data, defaultData, defaultSize);
    if (size)
        *size = defaultSize;
    return ERROR_SUCCESS;
}

LONG CRegistry::SetUSValueIn(std::int64_t rootId, const std::vector<std::string>& parts,
                             const std::string& name, DWORD type, const BYTE* data, DWORD size,
                             BOOL onlyIfMissing)
{
    std::int64_t keyId = 0;
    BOOL created = FALSE;
    LONG status = CreatePath(rootId, parts, keyId, created);
    if (status != ERROR_SUCCESS)
        return status;
    if (onlyIfMissing && !created)
    {
        DWORD storedType = 0;
        std::vector<BYTE> stored;
        status = ReadValue(keyId, name, storedType, stored);
        if (status != ERROR_FILE_NOT_FOUND)
            return status;
    }
    return WriteValue(keyId, name, type, data, size);
}

LONG CRegistry::SetUSValue(const char* subKey, const char* valueName, DWORD type, const void* data,
                           DWORD size, DWORD flags)
{
    const DWORD userFlags = SHREGSET_HKCU | SHREGSET_FORCE_HKCU;
    const DWORD machineFlags = SHREGSET_HKLM | SHREGSET_FORCE_HKLM;
    if ((flags & (userFlags | machineFlags)) == 0)
        return InvalidParameter("SHRegSetUSValue needs a SHREGSET_ flag");
    std::string name = NameOf(valueName);
    std::vector<std::string> parts;
    LONG status = CheckValueName(name);
    if (status == ERROR_SUCCESS)
        status = CheckValueData(type, data, size);
    if (status == ERROR_SUCCESS)
        status = SplitKeyPath(subKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    if (parts.size() > REG_MAX_DEPTH)
        return InvalidParameter("key path deeper than 512 levels");
    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    if (!m_db)
    {
        SetRegError("the registry is not open");
        return ERROR_INVALID_HANDLE;
    }
    status = BeginWrite();
    if (status != ERROR_SUCCESS)
        return status;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    if (flags & userFlags)
        status = SetUSValueIn(REG_ROOT_USER, parts, name, type, bytes, size,
                              (flags & SHREGSET_FORCE_HKCU) == 0);
    if (status == ERROR_SUCCESS && (flags & machineFlags))
        status = SetUSValueIn(REG_ROOT_MACHINE, parts, name, type, bytes, size,
                              (flags & SHREGSET_FORCE_HKLM) == 0);
    return EndWrite(status);
}
