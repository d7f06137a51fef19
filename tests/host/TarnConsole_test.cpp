// The tarn-console program itself: one line with the address, a working state request,
// and a clean exit on SIGTERM and SIGINT.
#include "tests/platform/http/HttpTestClient.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace
{
struct tagCHILD
{
    pid_t pid = -1;
    int out = -1;
};

tagCHILD Launch(const std::vector<std::string>& args)
{
    const char* build = std::getenv("VEXA_BUILD_DIR");
    const std::string program =
        std::string(build != nullptr ? build : VEXA_BUILD_DIR_DEFAULT) + "/bin/tarn-console";
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    tagCHILD child;
    if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    child.out = pipeFds[0];
    return child;
}

// Reads what the child printed until its first newline, waiting at most boundMs.
std::string ReadLine(int fd, int boundMs)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line;
}

// The child's exit status, or -1 when it has not ended within boundMs (then it is killed).
int WaitForExit(pid_t pid, int boundMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}
} // namespace

TEST(TarnConsole, PrintsItsAddressServesAndStopsOnSignals)
{
    const std::string dataDir = "/tmp/vexa-tarn-console-test-" + std::to_string(getpid());
    for (int signal : {SIGTERM, SIGINT})
    {
        tagCHILD child = Launch({"--listen", "127.0.0.1:0", "--data", dataDir});
        ASSERT_GT(child.pid, 0);
        const std::string output = ReadLine(child.out, 10000);
        // Exactly "http://127.0.0.1:PORT/?token=<64 hex digits>\n".
        const std::string prefix = "http://127.0.0.1:";
        const std::size_t slash = output.find("/?token=");
        ASSERT_EQ(output.rfind(prefix, 0), 0u) << "printed: " << output;
        ASSERT_NE(slash, std::string::npos) << "printed: " << output;
        const std::string portText = output.substr(prefix.size(), slash - prefix.size());
        const std::string token = output.substr(slash + 8, output.size() - slash - 9);
        ASSERT_EQ(portText.find_first_not_of("0123456789"), std::string::npos) << output;
        ASSERT_EQ(token.size(), 64u) << output;
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << output;
        EXPECT_EQ(output.back(), '\n');
        const int port = std::stoi(portText);
        EXPECT_NE(port, 0);

        EXPECT_EQ(SendRequest(port, "GET", "/api/state", {{"X-Vexa-Token", token}}).status, 200);
        EXPECT_EQ(SendRequest(port, "GET", "/api/state").status, 401);

        kill(child.pid, signal);
        EXPECT_EQ(WaitForExit(child.pid, 10000), 0) << "signal " << signal;
        // Nothing more than the one line.
        EXPECT_EQ(ReadLine(child.out, 100), "");
        close(child.out);
    }
    std::system(("rm -rf " + dataDir).c_str());
}

TEST(TarnConsole, RefusesABadCommandLine)
{
    tagCHILD child = Launch({"--listen", "nowhere"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitForExit(child.pid, 10000), 2);
    close(child.out);
}
