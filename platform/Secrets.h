#pragma once
// The secrets store, standing in for the policy's private data: values stored, retrieved and
// deleted by key name (exact, case-sensitive) in one owner-only file (mode 0600) in the data
// folder. A change reads the file, edits it and replaces it atomically while holding an
// exclusive lock on "<file>.lock", which excludes other processes and other CSecrets objects
// on the same file; readers need no lock. A damaged file is reported and never overwritten.
// Any thread may call; m_lock guards the last-error fields.
#include "platform/RegistryTypes.h"
#include "platform/Types.h"

#include <map>
#include <mutex>
#include <string>

constexpr std::size_t SECRET_MAX_KEY = 1024;
constexpr std::size_t SECRET_MAX_VALUE = 65535;

class CSecrets
{
public:
    explicit CSecrets(std::string path);

    // Stores the value under the key; an empty value deletes the entry.
    BOOL Store(const std::string& key, const std::string& value);
    // FALSE with LastError() ERROR_FILE_NOT_FOUND when the key has no value.
    BOOL Retrieve(const std::string& key, std::string& value);
    // Deleting a key that has no value succeeds and leaves the file as it was.
    BOOL Delete(const std::string& key);

    const std::string& Path() const { return m_path; }
    // The result code and reason of the last failed call: ERROR_FILE_CORRUPT for a damaged
    // file, ERROR_BUSY when another writer kept the lock too long, ERROR_INVALID_PARAMETER
    // for a bad key or value, or the code of a file system failure.
    LONG LastError() const;
    std::string LastErrorText() const;

private:
    BOOL Fail(LONG code, const std::string& text);
    BOOL Load(std::map<std::string, std::string>& entries);
    BOOL Save(const std::map<std::string, std::string>& entries);
    BOOL Change(const std::string& key, const std::string* value);

    std::string m_path;
    mutable std::mutex m_lock;
    LONG m_lastError = ERROR_SUCCESS;
    std::string m_lastErrorText;
};
