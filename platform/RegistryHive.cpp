// Saving a key to a hive file and restoring one into a key.
#include "platform/Registry.h"

#include "platform/DataFolder.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryInternal.h"

#include <cerrno>
#include <cstring>

namespace
{

LONG FileFailure(const std::string& file, int error, BOOL writing)
{
    SetRegError(std::string(writing ? "cannot write " : "cannot read ") + file + ": " +
                std::strerror(error));
    switch (error)
    {
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOENT:
        return writing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return writing ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
    }
}

} // namespace

LONG CRegistry::Snapshot(std::int64_t keyId, tagHIVE_IMAGE& image)
{
    sqlite3_stmt* nameRaw = nullptr;
    sqlite3_stmt* childrenRaw = nullptr;
    sqlite3_stmt* valuesRaw = nullptr;
    LONG status = Statement("SELECT name FROM reg_keys WHERE id = ?1", nameRaw);
    if (status == ERROR_SUCCESS)
        status =
            Statement("SELECT id, name FROM reg_keys WHERE parent = ?1 ORDER BY name", childrenRaw);
    if (status == ERROR_SUCCESS)
        status = Statement("SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY id",
                           valuesRaw);
    if (status != ERROR_SUCCESS)
        return status;

    image.keys.assign(1, tagHIVE_KEY{});
    {
        CSqlStatement name(nameRaw);
        name.Bind(1, keyId);
        int rc = name.Step();
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE ? KeyExists(keyId) : SqlFailure(rc, "saving a key");
        image.keys[0].name = name.Text(0);
    }
    // Breadth first, so every parent precedes its children.
    std::vector<std::int64_t> ids{keyId};
    for (std::size_t index = 0; index < ids.size(); ++index)
    {
        CSqlStatement values(valuesRaw);
        values.Bind(1, ids[index]);
        int rc;
        while ((rc = values.Step()) == SQLITE_ROW)
        {
            tagHIVE_VALUE value;
            value.name = values.Text(0);
            value.type = static_cast<DWORD>(values.Int(1));
            value.data = values.Blob(2);
            image.keys[index].values.push_back(std::move(value));
        }
        if (rc != SQLITE_DONE)
            return SqlFailure(rc, "saving values");

        CSqlStatement children(childrenRaw);
        children.Bind(1, ids[index]);
        while ((rc = children.Step()) == SQLITE_ROW)
        {
            tagHIVE_KEY child;
            child.name = children.Text(1);
            child.parent = static_cast<DWORD>(index);
            image.keys.push_back(std::move(child));
            ids.push_back(children.Int(0));
        }
        if (rc != SQLITE_DONE)
            return SqlFailure(rc, "saving subkeys");
    }
    return ERROR_SUCCESS;
}

LONG CRegistry::Replace(std::int64_t keyId, const tagHIVE_IMAGE& image)
{
    LONG status = DeleteSubtree(keyId, TRUE);
    std::vector<std::int64_t> ids(image.keys.size(), 0);
    for (std::size_t index = 0; status == ERROR_SUCCESS && index < image.keys.size(); ++index)
    {
        const tagHIVE_KEY& key = image.keys[index];
        if (index == 0)
            ids[0] = keyId;
        else
            status = InsertKey(ids[key.parent], key.name, ids[index]);
        for (std::size_t v = 0; status == ERROR_SUCCESS && v < key.values.size(); ++v)
        {
            const tagHIVE_VALUE& value = key.values[v];
            status = WriteValue(ids[index], value.name, value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size()));
        }
    }
    return status;
}

LONG CRegistry::SaveKey(HKEY key, const char* file)
{
    if (!file || !*file)
    {
        SetRegError("no file name to save to");
        return ERROR_INVALID_PARAMETER;
    }
    tagHIVE_IMAGE image;
    {
        CLockGuard guard(*this);
        if (!guard)
            return ERROR_BUSY;
        tagREG_KEY_REF ref;
        LONG status = Resolve(key, ref);
        if (status != ERROR_SUCCESS)
            return status;
        // One read transaction, so the file is one consistent state of the tree.
        BOOL ownTransaction = !m_inBatch;
        if (ownTransaction)
            status = Exec("BEGIN");
        if (status == ERROR_SUCCESS)
            status = Snapshot(ref.keyId, image);
        if (ownTransaction)
            ExecQuietly("COMMIT");
        if (status != ERROR_SUCCESS)
            return status;
    }
    std::vector<BYTE> bytes = EncodeHiveFile(image);
    int error = 0;
    if (!WriteFileAtomically(file, bytes.data(), bytes.size(), FALSE, error))
        return FileFailure(file, error, TRUE);
    return ERROR_SUCCESS;
}

LONG CRegistry::RestoreKey(HKEY key, const char* file, DWORD flags)
{
    if (!file || !*file || (flags & ~REG_FORCE_RESTORE) != 0)
    {
        SetRegError("RegRestoreKey needs a file name and flags 0 or REG_FORCE_RESTORE");
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<BYTE> bytes;
    int error = 0;
    if (!ReadWholeFile(file, HIVE_FILE_MAX_SIZE, bytes, error))
    {
        if (error != EFBIG)
            return FileFailure(file, error, FALSE);
        SetRegError(std::string("hive file ") + file + " refused: larger than 64 MiB");
        return ERROR_REGISTRY_CORRUPT;
    }
    tagHIVE_IMAGE image;
    std::string reason;
    if (!DecodeHiveFile(bytes.data(), bytes.size(), image, reason))
    {
        SetRegError(std::string("hive file ") + file + " refused: " + reason);
        return ERROR_REGISTRY_CORRUPT;
    }

    CLockGuard guard(*this);
    if (!guard)
        return ERROR_BUSY;
    tagREG_KEY_REF ref;
    LONG status = Resolve(key, ref);
    if (status != ERROR_SUCCESS)
        return status;
    if (ref.root)
    {
        SetRegError("a whole hive cannot be restored over; restore into a key");
        return ERROR_ACCESS_DENIED;
    }
    if (ref.depth + HiveImageDepth(image) > REG_MAX_DEPTH)
    {
        SetRegError("the restored tree would be deeper than 512 levels");
        return ERROR_INVALID_PARAMETER;
    }
    status = BeginWrite();
    if (status != ERROR_SUCCESS)
        return status;
    status = KeyExists(ref.keyId);
    if (status == ERROR_SUCCESS)
        status = Replace(ref.keyId, image);
    return EndWrite(status);
}
