#include "tests/support/PeerProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, clamped to what poll() takes.
int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(left.count(), INT_MAX));
}

int OpenPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)pid;
    return -1;
#endif
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// posix_spawn's attribute and file-action objects, released on every path out.
class CSpawnSetup
{
public:
    CSpawnSetup()
    {
        m_attrOk = ::posix_spawnattr_init(&m_attr) == 0;
        m_actionsOk = ::posix_spawn_file_actions_init(&m_actions) == 0;
    }
    ~CSpawnSetup()
    {
        if (m_actionsOk)
            ::posix_spawn_file_actions_destroy(&m_actions);
        if (m_attrOk)
            ::posix_spawnattr_destroy(&m_attr);
    }
    CSpawnSetup(const CSpawnSetup&) = delete;
    CSpawnSetup& operator=(const CSpawnSetup&) = delete;

    // With pipes (read end for the child's stdin, write end for its stdout) the child's
    // stdin and stdout are those pipes and only stderr goes to the log.
    BOOL Prepare(const std::string& logPath, int stdinRead = -1, int stdoutWrite = -1)
    {
        if (!m_attrOk || !m_actionsOk)
            return FALSE;
        // The child starts with no blocked signals and default handlers for the ones a
        // test runner may have changed, so SIGTERM from Stop() ends it.
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD})
            sigaddset(&defaults, sig);
        if (::posix_spawnattr_setsigmask(&m_attr, &none) != 0 ||
            ::posix_spawnattr_setsigdefault(&m_attr, &defaults) != 0 ||
            ::posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) !=
                0)
            return FALSE;
        if (stdinRead >= 0)
            return ::posix_spawn_file_actions_adddup2(&m_actions, stdinRead, STDIN_FILENO) == 0 &&
                           ::posix_spawn_file_actions_adddup2(&m_actions, stdoutWrite,
                                                              STDOUT_FILENO) == 0 &&
                           ::posix_spawn_file_actions_addopen(
                               &m_actions, STDERR_FILENO, logPath.c_str(),
                               O_WRONLY | O_CREAT | O_APPEND, 0644) == 0
                       ? TRUE
                       : FALSE;
        if (::posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY,
                                               0) != 0 ||
            ::posix_spawn_file_actions_addopen(&m_actions, STDOUT_FILENO, logPath.c_str(),
                                               O_WRONLY | O_CREAT | O_APPEND, 0644) != 0 ||
            ::posix_spawn_file_actions_adddup2(&m_actions, STDOUT_FILENO, STDERR_FILENO) != 0)
            return FALSE;
        return TRUE;
    }

    const posix_spawnattr_t* Attr() const { return &m_attr; }
    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }

private:
    posix_spawnattr_t m_attr{};
    posix_spawn_file_actions_t m_actions{};
    bool m_attrOk = false;
    bool m_actionsOk = false;
};

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}
} // namespace

CPeerProcess::~CPeerProcess()
{
    Stop();
    ClosePidFd();
}

BOOL CPeerProcess::Start(const std::vector<std::string>& argv, const std::string& logPath,
                         tagPEER_PIPES* pipes)
{
    if (m_pid != 0 || argv.empty() || logPath.empty())
        return FALSE;
    std::string program = argv[0].find('/') == std::string::npos ? FindProgram(argv[0]) : argv[0];
    if (program.empty())
        return FALSE;

    // Ours: the write end of the child's stdin and the read end of its stdout (close-on-exec,
    // so later children do not inherit them); the child's ends are closed after the spawn.
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    auto closeAll = [&]
    {
        for (int* fd : {&toChild[0], &toChild[1], &fromChild[0], &fromChild[1]})
            CloseFd(*fd);
    };
    if (pipes != nullptr &&
        (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0))
    {
        closeAll();
        return FALSE;
    }
    CSpawnSetup setup;
    if (!setup.Prepare(logPath, toChild[0], fromChild[1]))
    {
        closeAll();
        return FALSE;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), setup.Actions(), setup.Attr(), args.data(), environ) !=
        0)
    {
        closeAll();
        return FALSE;
    }
    if (pipes != nullptr)
    {
        CloseFd(toChild[0]);
        CloseFd(fromChild[1]);
        pipes->toStdin = toChild[1];
        pipes->fromStdout = fromChild[0];
    }
    m_pid = pid;
    m_reaped = false;
    m_waitStatus = 0;
    m_logPath = logPath;
    // The child is not reaped before we wait for it, so the pidfd refers to it even if it
    // has already ended.
    m_pidFd = OpenPidFd(pid);
    return TRUE;
}

BOOL CPeerProcess::IsRunning()
{
    if (m_pid == 0)
        return FALSE;
    return Reap(FALSE) ? FALSE : TRUE;
}

BOOL CPeerProcess::WaitExit(DWORD timeoutMs)
{
    if (m_pid == 0)
        return m_reaped ? TRUE : FALSE;
    return WaitReaped(timeoutMs);
}

BOOL CPeerProcess::Stop(DWORD termWaitMs, DWORD killWaitMs)
{
    if (m_pid == 0 || Reap(FALSE))
        return TRUE;
    ::kill(m_pid, SIGTERM);
    if (WaitReaped(termWaitMs))
        return TRUE;
    ::kill(m_pid, SIGKILL);
    return WaitReaped(killWaitMs);
}

int CPeerProcess::ExitCode() const
{
    if (!m_reaped || !WIFEXITED(m_waitStatus))
        return -1;
    return WEXITSTATUS(m_waitStatus);
}

std::string CPeerProcess::ReadLog(std::size_t maxBytes) const
{
    std::ifstream in(m_logPath, std::ios::binary);
    if (!in)
        return std::string();
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > maxBytes)
        text.erase(0, text.size() - maxBytes);
    return text;
}

BOOL CPeerProcess::Reap(BOOL block)
{
    if (m_pid == 0)
        return TRUE;
    for (;;)
    {
        int status = 0;
        pid_t got = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
        if (got == m_pid)
        {
            m_waitStatus = status;
            break;
        }
        if (got == 0)
            return FALSE;
        if (errno == EINTR)
            continue;
        // ECHILD: someone else reaped it; it is gone either way.
        break;
    }
    m_reaped = true;
    m_pid = 0;
    ClosePidFd();
    return TRUE;
}

BOOL CPeerProcess::WaitReaped(DWORD timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        if (Reap(FALSE))
            return TRUE;
        int left = MsLeft(deadline);
        if (left == 0)
            return FALSE;
        if (m_pidFd >= 0)
        {
            // Readable once the process has ended.
            pollfd pfd{m_pidFd, POLLIN, 0};
            ::poll(&pfd, 1, left);
        }
        else
        {
            // No pidfd (kernel before 5.3): look again in a few milliseconds.
            ::poll(nullptr, 0, std::min(left, 5));
        }
    }
}

void CPeerProcess::ClosePidFd()
{
    if (m_pidFd >= 0)
    {
        ::close(m_pidFd);
        m_pidFd = -1;
    }
}

std::string FindProgram(const std::string& name)
{
    if (name.empty())
        return std::string();
    if (name.find('/') != std::string::npos)
        return IsExecutableFile(name) ? name : std::string();
    std::vector<std::string> dirs;
    if (const char* path = std::getenv("PATH"))
    {
        std::string all(path);
        std::size_t start = 0;
        while (start <= all.size())
        {
            std::size_t end = all.find(':', start);
            if (end == std::string::npos)
                end = all.size();
            if (end > start)
                dirs.push_back(all.substr(start, end - start));
            start = end + 1;
        }
    }
    for (const char* extra : {"/usr/sbin", "/sbin", "/usr/local/sbin"})
        dirs.emplace_back(extra);
    for (const std::string& dir : dirs)
    {
        std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return std::string();
}

std::string MakeTempDir(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)
        return std::string();
    return std::string(buffer.data());
}

void RemoveTree(const std::string& path)
{
    if (path.empty() || path == "/")
        return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

tagTOOL_RUN RunTool(const std::vector<std::string>& argv, const std::string& logPath,
                    DWORD timeoutMs)
{
    tagTOOL_RUN run;
    CPeerProcess tool;
    if (!tool.Start(argv, logPath))
    {
        run.output = "cannot start " + (argv.empty() ? std::string("(nothing)") : argv[0]);
        return run;
    }
    run.finished = tool.WaitExit(timeoutMs);
    if (!run.finished)
        tool.Stop();
    run.exitCode = tool.ExitCode();
    run.output = tool.ReadLog();
    return run;
}
