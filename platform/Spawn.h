#pragma once
// Starting other programs without waiting for them (posix_spawn), and looking after the
// children afterwards: whether one still runs, waiting a bounded time for its end, stopping it.
// Stateless functions, callable from any thread. A child is reaped by whichever of these
// calls first sees it ended; its exit status is returned to that caller only.
#include "platform/Types.h"

#include <string>
#include <sys/types.h>
#include <vector>

struct tagSPAWN_RESULT
{
    pid_t pid = -1; // the child's process ID on success
    int error = 0;  // errno of the failure, 0 on success
    std::string errorText;
};

// Starts program (a path, or a bare name looked up in PATH) with the given arguments; argv[0]
// is the program text. The child gets the caller's environment, default signal dispositions and
// an empty signal mask. TRUE with result.pid set; FALSE with errno and its text (a missing
// program reports ENOENT here, not later).
BOOL SpawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                  tagSPAWN_RESULT& result);

// Exit status of an ended child: its exit code, or 128 + the signal that ended it.
constexpr int SPAWN_STATUS_UNKNOWN = -1;

// TRUE while the process exists. For a child of ours that has ended, reaps it and stores its
// status in *exitStatus (when given); for another process, tells whether the ID is in use.
BOOL IsProcessRunning(pid_t pid, int* exitStatus = nullptr);

// Waits at most timeoutMs for our child to end and reaps it. TRUE with its status once it has
// ended; FALSE when it still runs after the limit or is not our child.
BOOL WaitForProcess(pid_t pid, DWORD timeoutMs, int& exitStatus);

// Sends SIGTERM, waits up to graceMs, then sends SIGKILL and reaps. TRUE once the child is gone.
BOOL StopProcess(pid_t pid, DWORD graceMs);
