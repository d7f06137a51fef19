#include "platform/Spawn.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cerrno>
#include <sys/wait.h>

TEST(Spawn, StartsProgramsAndReportsTheirExitStatus)
{
    struct tagCASE
    {
        const char* program;
        std::vector<std::string> arguments;
        int status;
    };
    const tagCASE cases[] = {
        {"/bin/true", {}, 0},
        {"/bin/false", {}, 1},
        {"/bin/sh", {"-c", "exit 7"}, 7},
        {"sh", {"-c", "exit 3"}, 3}, // a bare name is looked up in PATH
        {"/bin/sh", {"-c", "[ \"$1\" = 'two words' ] && [ $# = 2 ]", "sh", "two words", "x"}, 0},
        {"/bin/sh", {"-c", "kill -TERM $$"}, 128 + SIGTERM},
    };
    for (const tagCASE& c : cases)
    {
        SCOPED_TRACE(c.program + std::string(" ") +
                     (c.arguments.empty() ? "" : c.arguments.back()));
        tagSPAWN_RESULT result;
        ASSERT_TRUE(SpawnProgram(c.program, c.arguments, result)) << result.errorText;
        ASSERT_GT(result.pid, 0);
        int status = SPAWN_STATUS_UNKNOWN;
        ASSERT_TRUE(WaitForProcess(result.pid, 5000, status));
        EXPECT_EQ(status, c.status);
        // Reaped: the ID is no longer ours to wait for.
        EXPECT_FALSE(WaitForProcess(result.pid, 0, status));
    }
}

TEST(Spawn, MissingProgramFailsWithItsErrnoText)
{
    for (const char* program : {"/nonexistent/vexa-no-such-program", "vexa-no-such-program", ""})
    {
        SCOPED_TRACE(program);
        tagSPAWN_RESULT result;
        EXPECT_FALSE(SpawnProgram(program, {"arg"}, result));
        EXPECT_EQ(result.error, ENOENT);
        EXPECT_EQ(result.errorText, "No such file or directory");
        EXPECT_EQ(result.pid, -1);
    }
}

TEST(Spawn, ChildStartsWithDefaultSignalsEvenWhenTheParentIgnoresThem)
{
    struct sigaction ignore
    {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previous), 0);
    tagSPAWN_RESULT result;
    BOOL started = SpawnProgram("/bin/sh", {"-c", "kill -PIPE $$; exit 0"}, result);
    ::sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_TRUE(started) << result.errorText;
    int status = SPAWN_STATUS_UNKNOWN;
    ASSERT_TRUE(WaitForProcess(result.pid, 5000, status));
    EXPECT_EQ(status, 128 + SIGPIPE);
}

TEST(Spawn, RunningChildIsSeenAndStopped)
{
    tagSPAWN_RESULT result;
    ASSERT_TRUE(SpawnProgram("/bin/sleep", {"30"}, result)) << result.errorText;
    EXPECT_TRUE(IsProcessRunning(result.pid));
    int status = SPAWN_STATUS_UNKNOWN;
    EXPECT_FALSE(WaitForProcess(result.pid, 30, status));
    ASSERT_TRUE(StopProcess(result.pid, 5000));
    EXPECT_FALSE(IsProcessRunning(result.pid));

    // One that ignores SIGTERM is killed after the grace time.
    ASSERT_TRUE(SpawnProgram("/bin/sh", {"-c", "trap '' TERM; exec /bin/sleep 30"}, result));
    EXPECT_TRUE(StopProcess(result.pid, 100));
    EXPECT_FALSE(IsProcessRunning(result.pid));

    // A child that ended on its own is reaped by the check, which hands over its status.
    ASSERT_TRUE(SpawnProgram("/bin/sh", {"-c", "exit 5"}, result));
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(result.pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_FALSE(IsProcessRunning(result.pid, &status));
    EXPECT_EQ(status, 5);
}
