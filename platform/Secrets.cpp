#include "platform/Secrets.h"

#include "platform/DataFolder.h"
#include "platform/RegistryFile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Secrets file, version 1. Integers are little-endian.
//
//   offset  size  field
//   0       8     magic "VXSECR\r\n"
//   8       4     format version, 1
//   12      4     entry count
//   16      ...   entries in key order: 2-byte key length, key, 4-byte value length, value
//   end-4   4     CRC-32 of every byte before it

namespace
{

constexpr BYTE SECRETS_MAGIC[8] = {'V', 'X', 'S', 'E', 'C', 'R', '\r', '\n'};
constexpr DWORD SECRETS_VERSION = 1;
constexpr std::size_t SECRETS_MAX_FILE = 16u * 1024u * 1024u;
constexpr auto LOCK_WAIT = std::chrono::milliseconds(5000);
constexpr auto LOCK_RETRY = std::chrono::milliseconds(5);

void PutU32(std::vector<BYTE>& out, std::size_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<BYTE>(v >> shift));
}

DWORD GetU32(const BYTE* p)
{
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

std::vector<BYTE> Encode(const std::map<std::string, std::string>& entries)
{
    std::vector<BYTE> out(SECRETS_MAGIC, SECRETS_MAGIC + sizeof SECRETS_MAGIC);
    PutU32(out, SECRETS_VERSION);
    PutU32(out, entries.size());
    for (const auto& entry : entries)
    {
        out.push_back(static_cast<BYTE>(entry.first.size()));
        out.push_back(static_cast<BYTE>(entry.first.size() >> 8));
        out.insert(out.end(), entry.first.begin(), entry.first.end());
        PutU32(out, entry.second.size());
        out.insert(out.end(), entry.second.begin(), entry.second.end());
    }
    PutU32(out, Crc32(out.data(), out.size()));
    return out;
}

BOOL Decode(const std::vector<BYTE>& file, std::map<std::string, std::string>& entries,
            std::string& reason)
{
    entries.clear();
    if (file.size() < 20 || std::memcmp(file.data(), SECRETS_MAGIC, sizeof SECRETS_MAGIC) != 0)
    {
        reason = "not a secrets file";
        return FALSE;
    }
    std::size_t end = file.size() - 4;
    if (Crc32(file.data(), end) != GetU32(file.data() + end))
    {
        reason = "checksum mismatch (damaged or truncated)";
        return FALSE;
    }
    if (GetU32(file.data() + 8) != SECRETS_VERSION)
    {
        reason = "unsupported secrets file version";
        return FALSE;
    }
    DWORD count = GetU32(file.data() + 12);
    std::size_t pos = 16;
    for (DWORD i = 0; i < count; ++i)
    {
        if (end - pos < 2)
            break;
        std::size_t keyLength = file[pos] | std::size_t(file[pos + 1]) << 8;
        pos += 2;
        if (end - pos < keyLength + 4)
            break;
        std::string key(file.begin() + pos, file.begin() + pos + keyLength);
        pos += keyLength;
        std::size_t valueLength = GetU32(file.data() + pos);
        pos += 4;
        if (end - pos < valueLength)
            break;
        entries[key].assign(file.begin() + pos, file.begin() + pos + valueLength);
        pos += valueLength;
    }
    if (entries.size() != count || pos != end)
    {
        reason = "malformed entries";
        entries.clear();
        return FALSE;
    }
    return TRUE;
}

LONG CodeFromErrno(int error)
{
    switch (error)
    {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_WRITE_FAULT;
    }
}

// An exclusive lock on the lock file, waited for with a bound.
class CFileLock
{
public:
    explicit CFileLock(const std::string& path)
    {
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
        {
            m_error = errno;
            return;
        }
        auto deadline = std::chrono::steady_clock::now() + LOCK_WAIT;
        while (flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= deadline)
            {
                m_error = errno == EINTR ? EWOULDBLOCK : errno;
                return;
            }
            std::this_thread::sleep_for(LOCK_RETRY);
        }
        m_locked = TRUE;
    }
    ~CFileLock()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    BOOL Locked() const { return m_locked; }
    int Error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
    BOOL m_locked = FALSE;
};

} // namespace

CSecrets::CSecrets(std::string path) : m_path(std::move(path)) {}

LONG CSecrets::LastError() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastError;
}

std::string CSecrets::LastErrorText() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastErrorText;
}

BOOL CSecrets::Fail(LONG code, const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastError = code;
    m_lastErrorText = text;
    return FALSE;
}

BOOL CSecrets::Load(std::map<std::string, std::string>& entries)
{
    std::vector<BYTE> file;
    int error = 0;
    entries.clear();
    if (!ReadWholeFile(m_path, SECRETS_MAX_FILE, file, error))
    {
        if (error == ENOENT)
            return TRUE;
        if (error == EFBIG)
            return Fail(ERROR_FILE_CORRUPT, "secrets file " + m_path + " is larger than 16 MiB");
        return Fail(error == EACCES ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT,
                    "cannot read secrets file " + m_path + ": " + std::strerror(error));
    }
    std::string reason;
    if (!Decode(file, entries, reason))
        return Fail(ERROR_FILE_CORRUPT, "secrets file " + m_path + " is damaged (" + reason +
                                            "); it was left as it is");
    return TRUE;
}

BOOL CSecrets::Save(const std::map<std::string, std::string>& entries)
{
    std::vector<BYTE> file = Encode(entries);
    int error = 0;
    if (!WriteFileAtomically(m_path, file.data(), file.size(), TRUE, error))
        return Fail(CodeFromErrno(error),
                    "cannot write secrets file " + m_path + ": " + std::strerror(error));
    return TRUE;
}

BOOL CSecrets::Change(const std::string& key, const std::string* value)
{
    if (key.empty() || key.size() > SECRET_MAX_KEY)
        return Fail(ERROR_INVALID_PARAMETER, "secret key names are 1 to 1024 bytes");
    if (value && value->size() > SECRET_MAX_VALUE)
        return Fail(ERROR_INVALID_PARAMETER, "secret values are at most 65535 bytes");
    CFileLock lock(m_path + ".lock");
    if (!lock.Locked())
    {
        if (lock.Error() == EWOULDBLOCK)
            return Fail(ERROR_BUSY, "another writer kept " + m_path + ".lock for more than 5 s");
        return Fail(CodeFromErrno(lock.Error()),
                    "cannot lock " + m_path + ".lock: " + std::strerror(lock.Error()));
    }
    std::map<std::string, std::string> entries;
    if (!Load(entries))
        return FALSE;
    auto it = entries.find(key);
    if (!value)
    {
        if (it == entries.end())
            return TRUE;
        entries.erase(it);
    }
    else
    {
        if (it != entries.end() && it->second == *value)
            return TRUE;
        entries[key] = *value;
    }
    return Save(entries);
}

BOOL CSecrets::Store(const std::string& key, const std::string& value)
{
    return Change(key, value.empty() ? nullptr : &value);
}

BOOL CSecrets::Delete(const std::string& key)
{
    return Change(key, nullptr);
}

BOOL CSecrets::Retrieve(const std::string& key, std::string& value)
{
    value.clear();
    std::map<std::string, std::string> entries;
    if (!Load(entries))
        return FALSE;
    auto it = entries.find(key);
    if (it == entries.end())
        return Fail(ERROR_FILE_NOT_FOUND, "no secret stored under '" + key + "'");
    value = it->second;
    return TRUE;
}
