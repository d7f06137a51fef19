#include "tests/support/AsfSim.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sstream>
#include <unistd.h>

#ifndef VEXA_BIN_DIR_DEFAULT
#define VEXA_BIN_DIR_DEFAULT "build/bin"
#endif

namespace
{
using Clock = std::chrono::steady_clock;

constexpr const char* READY_WORD = "asf-sim ready";
// No line from the program is longer than this; more without a newline is a fault.
constexpr std::size_t MAX_LINE = 4096;

int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(left.count(), INT_MAX));
}

BOOL ParsePort(const std::string& text, WORD& port)
{
    char* end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < 1 || n > 65535)
        return FALSE;
    port = static_cast<WORD>(n);
    return TRUE;
}
} // namespace

BOOL CAsfSimStats::Parse(const std::string& line)
{
    m_fields.clear();
    m_line = line;
    if (line.rfind("stats ", 0) != 0)
        return FALSE;
    const std::size_t user = line.find(" user=");
    std::istringstream words(
        line.substr(6, user == std::string::npos ? std::string::npos : user - 6));
    for (std::string word; words >> word;)
    {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos)
            m_fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    if (user != std::string::npos)
        m_fields["user"] = line.substr(user + 6);
    return TRUE;
}

std::string CAsfSimStats::Text(const std::string& key) const
{
    auto found = m_fields.find(key);
    return found == m_fields.end() ? std::string() : found->second;
}

long CAsfSimStats::Number(const std::string& key) const
{
    const std::string text = Text(key);
    char* end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    return text.empty() || *end != '\0' ? -1 : n;
}

CAsfSim::~CAsfSim()
{
    Stop();
    if (!m_workDir.empty() && std::getenv("VEXA_KEEP_PEER_DIRS") == nullptr)
        RemoveTree(m_workDir);
}

std::string CAsfSim::Program()
{
    const char* bin = std::getenv("VEXA_BIN_DIR");
    return std::string(bin && *bin ? bin : VEXA_BIN_DIR_DEFAULT) + "/asf-sim";
}

BOOL CAsfSim::Available()
{
    return ::access(Program().c_str(), X_OK) == 0 ? TRUE : FALSE;
}

BOOL CAsfSim::Start(const std::vector<std::string>& options, DWORD readyTimeoutMs)
{
    if (m_process.Pid() != 0)
        return Fail("asf-sim is already running (pid " + std::to_string(m_process.Pid()) + ")");
    if (!Available())
        return Fail(Program() + " not found (build the asf-sim target)");
    if (m_workDir.empty())
        m_workDir = MakeTempDir("vexa-asfsim");
    if (m_workDir.empty())
        return Fail("cannot create a temporary directory");
    std::vector<std::string> argv{Program(), "--address",  "127.0.0.1", "--port-rmcp",
                                  "0",       "--port-rsp", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    // A write to the control pipe of a simulator that has just ended must fail, not end the
    // test process.
    std::signal(SIGPIPE, SIG_IGN);
    m_pending.clear();
    m_rmcpPort = m_rspPort = 0;
    if (!m_process.Start(argv, m_workDir + "/asf-sim.log", &m_pipes))
        return Fail("cannot start " + Program());

    std::string line;
    if (!ReadLine(line, readyTimeoutMs))
    {
        m_process.Stop();
        ClosePipes();
        return Fail("no ready line within " + std::to_string(readyTimeoutMs) + " ms (exit code " +
                    std::to_string(m_process.ExitCode()) + ")");
    }
    // asf-sim ready 127.0.0.1 rmcp PORT rsp PORT
    std::istringstream words(line.rfind(READY_WORD, 0) == 0 ? line.substr(13) : std::string());
    std::string address, rmcp, rmcpPort, rsp, rspPort;
    words >> address >> rmcp >> rmcpPort >> rsp >> rspPort;
    if (address != "127.0.0.1" || rmcp != "rmcp" || rsp != "rsp" ||
        !ParsePort(rmcpPort, m_rmcpPort) || !ParsePort(rspPort, m_rspPort))
    {
        m_process.Stop();
        ClosePipes();
        return Fail("unexpected ready line: " + line);
    }
    return TRUE;
}

BOOL CAsfSim::Stop()
{
    const BOOL stopped = m_process.Stop();
    ClosePipes();
    return stopped;
}

BOOL CAsfSim::IsRunning()
{
    return m_process.IsRunning();
}

std::string CAsfSim::Control(const std::string& line, DWORD timeoutMs)
{
    if (m_pipes.toStdin < 0)
        return Fail("asf-sim is not running"), std::string();
    if (line.find('\n') != std::string::npos)
        return Fail("one control line per call"), std::string();
    const std::string text = line + "\n";
    std::size_t written = 0;
    while (written < text.size())
    {
        ssize_t n = ::write(m_pipes.toStdin, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail("cannot write to asf-sim's stdin"), std::string();
        written += static_cast<std::size_t>(n);
    }
    std::string reply;
    if (!ReadLine(reply, timeoutMs))
        return Fail("no reply to \"" + line + "\" within " + std::to_string(timeoutMs) + " ms"),
               std::string();
    return reply;
}

BOOL CAsfSim::Set(const std::string& line)
{
    const std::string reply = Control(line);
    if (reply == "ok")
        return TRUE;
    if (!reply.empty())
        Fail("\"" + line + "\" answered: " + reply);
    return FALSE;
}

CAsfSimStats CAsfSim::Stats()
{
    CAsfSimStats stats;
    stats.Parse(Control("stats"));
    return stats;
}

BOOL CAsfSim::WaitForStat(const std::string& key, const std::string& value, DWORD timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Each round trip of the control channel takes the simulator's lock, so a datagram being
    // handled is finished before the next look; the loop is bounded by the deadline.
    for (;;)
    {
        const CAsfSimStats stats = Stats();
        if (stats.Text(key) == value)
            return TRUE;
        if (stats.Line().empty() || MsLeft(deadline) == 0)
            return Fail(key + " is not " + value + " after " + std::to_string(timeoutMs) +
                        " ms: " + stats.Line());
    }
}

BOOL CAsfSim::ReadLine(std::string& line, DWORD timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        if (std::size_t end = m_pending.find('\n'); end != std::string::npos)
        {
            line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return TRUE;
        }
        if (m_pipes.fromStdout < 0 || m_pending.size() > MAX_LINE)
            return FALSE;
        pollfd waitFor{m_pipes.fromStdout, POLLIN, 0};
        int ready = ::poll(&waitFor, 1, MsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return FALSE;
        char chunk[512];
        ssize_t got = ::read(m_pipes.fromStdout, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return FALSE; // the program ended
        m_pending.append(chunk, static_cast<std::size_t>(got));
    }
}

BOOL CAsfSim::Fail(const std::string& why)
{
    m_lastError = why;
    std::string log = m_process.LogPath().empty() ? std::string() : m_process.ReadLog(4096);
    if (!log.empty())
        m_lastError += "\n--- asf-sim log (" + m_process.LogPath() + ") ---\n" + log;
    return FALSE;
}

void CAsfSim::ClosePipes()
{
    for (int* fd : {&m_pipes.toStdin, &m_pipes.fromStdout})
    {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
