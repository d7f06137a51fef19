#include "platform/Spawn.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;

int DecodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return SPAWN_STATUS_UNKNOWN;
}

// 1: ended and reaped (status set); 0: still running; -1: not our child (or no such process).
int TryReap(pid_t pid, int& exitStatus)
{
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(pid, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == pid)
    {
        exitStatus = DecodeStatus(status);
        return 1;
    }
    return r == 0 ? 0 : -1;
}

// A descriptor that becomes readable when the process ends, or -1 where the kernel (or a
// sandbox) does not offer one.
int OpenProcessFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)pid;
    return -1;
#endif
}

struct CSpawnAttributes
{
    posix_spawnattr_t attr;
    bool ready = false;

    CSpawnAttributes()
    {
        if (::posix_spawnattr_init(&attr) != 0)
            return;
        ready = true;
        sigset_t empty;
        sigemptyset(&empty);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig :
             {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM})
            sigaddset(&defaults, sig);
        ::posix_spawnattr_setsigmask(&attr, &empty);
        ::posix_spawnattr_setsigdefault(&attr, &defaults);
        ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~CSpawnAttributes()
    {
        if (ready)
            ::posix_spawnattr_destroy(&attr);
    }
    CSpawnAttributes(const CSpawnAttributes&) = delete;
    CSpawnAttributes& operator=(const CSpawnAttributes&) = delete;
};
} // namespace

BOOL SpawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                  tagSPAWN_RESULT& result)
{
    result = tagSPAWN_RESULT{};
    if (program.empty())
    {
        result.error = ENOENT;
        result.errorText = std::strerror(ENOENT);
        return FALSE;
    }

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    CSpawnAttributes attributes;
    if (!attributes.ready)
    {
        result.error = ENOMEM;
        result.errorText = std::strerror(ENOMEM);
        return FALSE;
    }
    pid_t pid = -1;
    // posix_spawnp treats a program text containing a slash as a path, as execvp does.
    int error =
        ::posix_spawnp(&pid, program.c_str(), nullptr, &attributes.attr, argv.data(), environ);
    if (error != 0)
    {
        result.error = error;
        result.errorText = std::strerror(error);
        return FALSE;
    }
    result.pid = pid;
    return TRUE;
}

BOOL IsProcessRunning(pid_t pid, int* exitStatus)
{
    if (pid <= 0)
        return FALSE;
    int status = SPAWN_STATUS_UNKNOWN;
    switch (TryReap(pid, status))
    {
    case 0:
        return TRUE;
    case 1:
        if (exitStatus)
            *exitStatus = status;
        return FALSE;
    default:
        // Not our child: the ID is in use when signal 0 reaches it or is refused for rights.
        return (::kill(pid, 0) == 0 || errno == EPERM) ? TRUE : FALSE;
    }
}

BOOL WaitForProcess(pid_t pid, DWORD timeoutMs, int& exitStatus)
{
    if (pid <= 0)
        return FALSE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = OpenProcessFd(pid);
    for (;;)
    {
        int reaped = TryReap(pid, exitStatus);
        if (reaped != 0)
        {
            if (fd >= 0)
                ::close(fd);
            return reaped == 1 ? TRUE : FALSE;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        if (fd >= 0)
        {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        }
        else
        {
            // Without a process descriptor, look again every few milliseconds.
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));
        }
    }
    if (fd >= 0)
        ::close(fd);
    return FALSE;
}

BOOL StopProcess(pid_t pid, DWORD graceMs)
{
    if (pid <= 0)
        return FALSE;
    int status = 0;
    int reaped = TryReap(pid, status);
    if (reaped != 0)
        return reaped == 1 ? TRUE : FALSE;
    ::kill(pid, SIGTERM);
    if (WaitForProcess(pid, graceMs, status))
        return TRUE;
    ::kill(pid, SIGKILL);
    // SIGKILL cannot be caught; the limit only covers a process stuck in the kernel.
    return WaitForProcess(pid, 5000, status);
}
