// CPeerProcess, the start/stop-by-PID helper every peer test relies on: exit codes come back,
// a peer that ignores SIGTERM is still ended, and nothing is left running.
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <sys/wait.h>

namespace
{
class PeerProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = MakeTempDir("vexa-peerprocess");
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override { RemoveTree(m_dir); }

    std::string Log(const char* name) const { return m_dir + "/" + name; }

    std::string m_dir;
};

TEST_F(PeerProcess, ReportsExitCodeAndOutput)
{
    CPeerProcess process;
    ASSERT_TRUE(
        process.Start({"sh", "-c", "echo to-stdout; echo to-stderr >&2; exit 7"}, Log("exit.log")));
    EXPECT_GT(process.Pid(), 0);
    ASSERT_TRUE(process.WaitExit(10000));
    EXPECT_EQ(0, process.Pid());
    EXPECT_EQ(7, process.ExitCode());
    const std::string log = process.ReadLog();
    EXPECT_NE(std::string::npos, log.find("to-stdout"));
    EXPECT_NE(std::string::npos, log.find("to-stderr"));
}

TEST_F(PeerProcess, StopEscalatesToKillForAPeerIgnoringTerm)
{
    CPeerProcess process;
    ASSERT_TRUE(process.Start({"sh", "-c", "trap '' TERM; echo ready; exec sleep 30"},
                              Log("stubborn.log")));
    const pid_t pid = process.Pid();
    // Wait (bounded, on the process) until the trap is in place.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (process.ReadLog().find("ready") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
    {
        ASSERT_FALSE(process.WaitExit(10)) << process.ReadLog();
    }
    ASSERT_NE(std::string::npos, process.ReadLog().find("ready"));

    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(process.Stop(200, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    ASSERT_TRUE(WIFSIGNALED(process.WaitStatus()));
    EXPECT_EQ(SIGKILL, WTERMSIG(process.WaitStatus()));
    errno = 0;
    EXPECT_EQ(-1, ::kill(pid, 0));
    EXPECT_EQ(ESRCH, errno);
}

TEST_F(PeerProcess, DestructorStopsTheProcess)
{
    pid_t pid = 0;
    {
        CPeerProcess process;
        ASSERT_TRUE(process.Start({"sleep", "30"}, Log("sleep.log")));
        pid = process.Pid();
        EXPECT_TRUE(process.IsRunning());
    }
    errno = 0;
    EXPECT_EQ(-1, ::kill(pid, 0));
    EXPECT_EQ(ESRCH, errno);
}

TEST_F(PeerProcess, RefusesAMissingProgram)
{
    CPeerProcess process;
    EXPECT_FALSE(process.Start({"vexa-no-such-program"}, Log("missing.log")));
    EXPECT_EQ(0, process.Pid());
    EXPECT_TRUE(FindProgram("vexa-no-such-program").empty());
    EXPECT_FALSE(FindProgram("sh").empty());
}
} // namespace
