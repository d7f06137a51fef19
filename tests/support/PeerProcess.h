#pragma once
// CPeerProcess: one peer program started for a test (ipmi_sim, a reference client, ...),
// with stdin from /dev/null and stdout and stderr appended to a log file, or with stdin and
// stdout on pipes to the test and stderr alone in the log. Owned by the test or by the
// harness object that starts it, and used from that one thread; no locks.
// The process is stopped by its own process ID (SIGTERM, a bounded wait, then SIGKILL) and
// reaped, at the latest in the destructor, so a peer does not outlive the object that
// started it. Waits are bounded and wait on the process itself (a pidfd), never by sleeping.
#include "platform/Types.h"

#include <string>
#include <sys/types.h>
#include <vector>

// The caller's ends of the pipes to a child started with them; the caller closes both.
struct tagPEER_PIPES
{
    int toStdin = -1;    // write end: what the child reads on stdin
    int fromStdout = -1; // read end: what the child writes on stdout
};

class CPeerProcess
{
public:
    CPeerProcess() = default;
    ~CPeerProcess();
    CPeerProcess(const CPeerProcess&) = delete;
    CPeerProcess& operator=(const CPeerProcess&) = delete;

    // Starts argv[0] (looked up with FindProgram when it holds no '/') with the rest of
    // argv as its arguments. The log file is created or appended to. Fails when a process
    // is already running under this object or the program cannot be started.
    // With pipes, the child's stdin and stdout are pipes to the caller (returned in *pipes)
    // and only its stderr goes to the log.
    BOOL Start(const std::vector<std::string>& argv, const std::string& logPath,
               tagPEER_PIPES* pipes = nullptr);

    // The process ID while the process is started and not yet reaped, else 0.
    pid_t Pid() const { return m_pid; }
    // Reaps the process when it has ended; TRUE while it still runs.
    BOOL IsRunning();
    // Waits at most timeoutMs for the process to end by itself; TRUE once it is reaped.
    BOOL WaitExit(DWORD timeoutMs);
    // SIGTERM, up to termWaitMs for it to end, then SIGKILL and up to killWaitMs more.
    // TRUE once the process is reaped (or none was running).
    BOOL Stop(DWORD termWaitMs = 3000, DWORD killWaitMs = 2000);

    // The waitpid() status of the reaped process; meaningful once Exited() is TRUE.
    BOOL Exited() const { return m_reaped ? TRUE : FALSE; }
    int WaitStatus() const { return m_waitStatus; }
    // The exit code when the process called exit(), -1 when a signal ended it.
    int ExitCode() const;

    const std::string& LogPath() const { return m_logPath; }
    // The log file's contents (at most maxBytes from its end).
    std::string ReadLog(std::size_t maxBytes = 64 * 1024) const;

private:
    BOOL Reap(BOOL block);
    BOOL WaitReaped(DWORD timeoutMs);
    void ClosePidFd();

    pid_t m_pid = 0;
    int m_pidFd = -1;
    int m_waitStatus = 0;
    bool m_reaped = false;
    std::string m_logPath;
};

// The full path of an executable found on PATH, then in /usr/sbin, /sbin and
// /usr/local/sbin (FreeIPMI's tools live in sbin); empty when there is none.
std::string FindProgram(const std::string& name);

// Creates a fresh private directory under $TMPDIR (or /tmp), named prefix-XXXXXX;
// returns its path, or an empty string on failure.
std::string MakeTempDir(const std::string& prefix);
// Removes a directory tree made by MakeTempDir; ignores errors.
void RemoveTree(const std::string& path);

// One run of a client program (ipmitool, FreeIPMI, tarn-cli) to its end.
struct tagTOOL_RUN
{
    bool finished = false;
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

// Runs argv with its output in logPath, waiting at most timeoutMs; a program that overruns
// is stopped by its process ID.
tagTOOL_RUN RunTool(const std::vector<std::string>& argv, const std::string& logPath,
                    DWORD timeoutMs);
