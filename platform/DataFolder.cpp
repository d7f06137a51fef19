#include "platform/DataFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string PasswordHome()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return std::string();
    return found->pw_dir;
}

std::string Absolute(const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd)
        return path;
    std::string out = std::string(cwd) + "/" + path;
    std::free(cwd);
    return out;
}

std::string Join(const std::string& folder, const char* name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p with mode 0700 for every folder it creates.
BOOL MakeFolders(const std::string& path, std::string& error)
{
    std::size_t pos = 0;
    while (pos != std::string::npos)
    {
        pos = path.find('/', pos + 1);
        std::string prefix = path.substr(0, pos);
        if (prefix.empty())
            continue;
        if (mkdir(prefix.c_str(), 0700) == 0)
        {
            chmod(prefix.c_str(), 0700);
            continue;
        }
        int code = errno;
        struct stat info;
        if (code == EEXIST && stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        error = "cannot create folder " + prefix + ": " +
                std::strerror(code == EEXIST ? ENOTDIR : code);
        return FALSE;
    }
    return TRUE;
}

BOOL WriteAll(int fd, const BYTE* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size)
    {
        ssize_t wrote = write(fd, data + done, size - done);
        if (wrote < 0)
        {
            if (errno == EINTR)
                continue;
            return FALSE;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return TRUE;
}

BOOL SyncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FALSE;
    BOOL ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// Moves the temporary file into place without replacing an existing one.
int MoveNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    int code = errno;
    if (code != EINVAL && code != ENOSYS)
        return code;
    // A file system without RENAME_NOREPLACE: link() fails with EEXIST just as atomically.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno;
    unlink(from.c_str());
    return 0;
}

} // namespace

tagDATA_FOLDER_SOURCES DataFolderSources(const std::string& option)
{
    tagDATA_FOLDER_SOURCES sources;
    sources.option = option;
    sources.vexaData = Environment("VEXA_DATA");
    sources.xdgDataHome = Environment("XDG_DATA_HOME");
    sources.home = Environment("HOME");
    if (sources.home.empty())
        sources.home = PasswordHome();
    return sources;
}

std::string ResolveDataFolder(const tagDATA_FOLDER_SOURCES& sources)
{
    if (!sources.option.empty())
        return Absolute(sources.option);
    if (!sources.vexaData.empty())
        return Absolute(sources.vexaData);
    if (!sources.xdgDataHome.empty() && sources.xdgDataHome.front() == '/')
        return Join(sources.xdgDataHome, "vexa");
    if (!sources.home.empty() && sources.home.front() == '/')
        return Join(sources.home, ".local/share/vexa");
    return std::string();
}

BOOL FindDataOption(int argc, const char* const* argv, std::string& dir)
{
    dir.clear();
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i] ? argv[i] : "";
        if (arg == "--data")
        {
            if (i + 1 >= argc || !argv[i + 1] || !*argv[i + 1])
                return FALSE;
            dir = argv[++i];
        }
        else if (arg.rfind("--data=", 0) == 0)
        {
            dir = arg.substr(7);
            if (dir.empty())
                return FALSE;
        }
    }
    return TRUE;
}

BOOL CDataFolder::Open(const std::string& path)
{
    m_error.clear();
    if (path.empty())
    {
        m_error = "no data folder: give --data DIR or set VEXA_DATA";
        return FALSE;
    }
    std::string folder = Absolute(path);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!MakeFolders(folder, m_error) || !MakeFolders(Join(folder, "run"), m_error))
        return FALSE;
    m_path = folder;
    return TRUE;
}

BOOL CDataFolder::OpenDefault(const std::string& option)
{
    return Open(ResolveDataFolder(DataFolderSources(option)));
}

std::string CDataFolder::RegistryPath() const
{
    return Join(m_path, "registry.db");
}

std::string CDataFolder::SecretsPath() const
{
    return Join(m_path, "secrets");
}

std::string CDataFolder::RunPath() const
{
    return Join(m_path, "run");
}

BOOL ReadWholeFile(const std::string& path, std::size_t limit, std::vector<BYTE>& data, int& error)
{
    data.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        error = errno;
        return FALSE;
    }
    BYTE chunk[16384];
    for (;;)
    {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            error = errno;
            close(fd);
            return FALSE;
        }
        if (got == 0)
            break;
        if (data.size() + static_cast<std::size_t>(got) > limit)
        {
            error = EFBIG;
            close(fd);
            return FALSE;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    close(fd);
    return TRUE;
}

BOOL WriteFileAtomically(const std::string& path, const BYTE* data, std::size_t size, BOOL replace,
                         int& error)
{
    std::string temp = path + ".tmp.XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
    {
        error = errno;
        return FALSE;
    }
    BOOL ok = fchmod(fd, 0600) == 0 && WriteAll(fd, data, size) && fsync(fd) == 0;
    error = ok ? 0 : errno;
    if (close(fd) != 0 && ok)
    {
        ok = FALSE;
        error = errno;
    }
    if (ok)
    {
        int code = replace ? (rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno)
                           : MoveNoReplace(temp, path);
        ok = code == 0;
        error = code;
    }
    if (!ok)
    {
        unlink(temp.c_str());
        return FALSE;
    }
    if (!SyncFolder(FolderOf(path)))
    {
        error = errno;
        return FALSE;
    }
    return TRUE;
}
