// The asf-sim program on loopback: its ready line, a ping answered over UDP, the control
// channel on stdin, and a clean end on SIGTERM. The process is started with pipes for its
// stdin and stdout and stopped by its process ID.
#include "platform/DatagramSocket.h"
#include "platform/Spawn.h"
#include "tests/asfsim/AsfConsoleSide.h"
#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#ifndef VEXA_BIN_DIR
#define VEXA_BIN_DIR "build/bin"
#endif

extern char** environ;

namespace
{
constexpr DWORD WAIT_MS = 5000;

class AsfSimProcess
{
public:
    ~AsfSimProcess()
    {
        if (m_pid > 0)
            StopProcess(m_pid, 2000);
        CloseFd(m_in);
        CloseFd(m_out);
    }

    bool Start(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> argv{std::string(VEXA_BIN_DIR) + "/asf-sim"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        int rc = ::posix_spawn(&m_pid, raw[0], &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
        if (rc != 0)
            m_pid = 0;
        return rc == 0;
    }

    // One line of stdout, waiting at most WAIT_MS; empty on time-out or end.
    std::string ReadLine()
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
        for (;;)
        {
            if (std::size_t end = m_buffer.find('\n'); end != std::string::npos)
            {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{m_out, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) != 1)
                return {};
            char chunk[512];
            ssize_t got = ::read(m_out, chunk, sizeof chunk);
            if (got <= 0)
                return {};
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    std::string Command(const std::string& line)
    {
        std::string text = line + "\n";
        if (::write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return {};
        return ReadLine();
    }

    // SIGTERM, then the exit code (128 + signal when a signal ended it), or -1 when it did
    // not end in time.
    int Terminate()
    {
        ::kill(m_pid, SIGTERM);
        return Wait();
    }

    // The exit code of a process that ends by itself.
    int Wait()
    {
        int status = -1;
        if (!WaitForProcess(m_pid, WAIT_MS, status))
            return -1;
        m_pid = 0;
        return status;
    }

private:
    static void CloseFd(int fd)
    {
        if (fd >= 0)
            ::close(fd);
    }

    pid_t m_pid = 0;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

TEST(AsfSimProgram, AnswersOnLoopbackAndTakesControlLines)
{
    AsfSimProcess sim;
    ASSERT_TRUE(sim.Start({"--port-rmcp", "0", "--port-rsp", "0", "--state", "3"}));
    std::istringstream ready(sim.ReadLine());
    std::string word[5];
    unsigned rmcpPort = 0, rspPort = 0;
    ready >> word[0] >> word[1] >> word[2] >> word[3] >> rmcpPort >> word[4] >> rspPort;
    ASSERT_EQ("asf-sim ready 127.0.0.1 rmcp rsp",
              word[0] + " " + word[1] + " " + word[2] + " " + word[3] + " " + word[4]);
    ASSERT_NE(0u, rmcpPort);
    ASSERT_NE(0u, rspPort);
    ASSERT_NE(rmcpPort, rspPort);

    CUdpSocket socket;
    ASSERT_TRUE(socket.Open(WAIT_MS));
    const DWORD loopback = ParseIPv4("127.0.0.1");
    BYTE reply[512];
    auto exchange = [&](WORD port, const std::vector<BYTE>& datagram)
    {
        EXPECT_TRUE(socket.SendTo(loopback, port, datagram.data(), datagram.size()));
        tagDATAGRAM_RESULT got = socket.ReceiveFrom(reply, sizeof reply, WAIT_MS);
        EXPECT_EQ(DatagramStatus::Ok, got.status);
        EXPECT_EQ(port, got.sourcePort);
        return std::vector<BYTE>(reply, reply + got.length);
    };

    std::vector<BYTE> pong = exchange(static_cast<WORD>(rmcpPort), asfconsole::Message(0xFF, 0x80));
    EXPECT_EQ("06 00 ff 06 00 00 11 be 40 ff 00 10 00 00 11 be 00 00 00 00 01 80 00 00 00 00 00 00",
              ToHex(pong));

    EXPECT_EQ("ok", sim.Command("state 7"));
    std::vector<BYTE> state =
        exchange(static_cast<WORD>(rmcpPort), asfconsole::Message(0xFF, 0x82));
    ASSERT_EQ(16u, state.size());
    EXPECT_EQ(0x07, state[12]);

    // The secure port answers session setup; a power operation there without a session
    // gets nothing, which the counters show.
    std::vector<BYTE> open =
        exchange(static_cast<WORD>(rspPort),
                 asfconsole::SetupFrame(asfconsole::Message(
                     0xFF, 0x83, asfconsole::OpenSessionRequest(std::vector<BYTE>(4, 1).data()))));
    ASSERT_EQ(8u + 12 + 28, open.size());
    EXPECT_EQ(0x43, open[16]);

    std::string stats = sim.Command("stats");
    EXPECT_NE(std::string::npos, stats.find(" pings=1 ")) << stats;
    EXPECT_NE(std::string::npos, stats.find(" state-requests=1 ")) << stats;
    EXPECT_NE(std::string::npos, stats.find(" state=7 ")) << stats;

    EXPECT_EQ(0, sim.Terminate());
}

TEST(AsfSimProgram, RefusesBadOptionsAndBusyPorts)
{
    AsfSimProcess bad;
    ASSERT_TRUE(bad.Start({"--state", "300"}));
    EXPECT_EQ(2, bad.Wait());

    CUdpSocket holder;
    ASSERT_TRUE(holder.Open(1000));
    ASSERT_TRUE(holder.Bind(ParseIPv4("127.0.0.1"), 0));
    AsfSimProcess busy;
    ASSERT_TRUE(busy.Start({"--port-rmcp", std::to_string(holder.LocalPort()), "--port-rsp", "0"}));
    EXPECT_EQ("", busy.ReadLine());
    EXPECT_EQ(1, busy.Wait());
}
} // namespace
