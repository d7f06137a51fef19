#include "tests/support/IpmiSim.h"

#include "platform/DatagramSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifndef VEXA_SOURCE_DIR_DEFAULT
#define VEXA_SOURCE_DIR_DEFAULT ""
#endif

namespace
{
using Clock = std::chrono::steady_clock;

// Attempts with a fresh port when ipmi_sim exits at start (another program took the port
// between our probe and its bind).
constexpr int START_ATTEMPTS = 3;
// One presence ping waits this long for its pong before the next one is sent.
constexpr DWORD PING_WAIT_MS = 200;
// After a refused ping (nothing bound yet) wait this long on the process before the next.
constexpr DWORD REFUSED_BACKOFF_MS = 20;

// ASF 2.0, 3.2.4: RMCP header (version 06h, reserved, sequence FFh = no ACK, class 06h =
// ASF) and the ASF message header (IANA 4542 = 000011BEh, type, tag, reserved, length).
constexpr BYTE RMCP_VERSION_1_0 = 0x06;
constexpr BYTE RMCP_SEQUENCE_NO_ACK = 0xFF;
constexpr BYTE RMCP_CLASS_ASF = 0x06;
constexpr BYTE ASF_IANA[4] = {0x00, 0x00, 0x11, 0xBE};
constexpr BYTE ASF_TYPE_PRESENCE_PING = 0x80;
constexpr BYTE ASF_TYPE_PRESENCE_PONG = 0x40;
constexpr BYTE PING_TAG = 0x5A;
constexpr std::size_t PONG_DATA_LENGTH = 16;
constexpr std::size_t ASF_HEADER_LENGTH = 12;

std::vector<BYTE> BuildPresencePing()
{
    std::vector<BYTE> ping = {RMCP_VERSION_1_0, 0x00, RMCP_SEQUENCE_NO_ACK, RMCP_CLASS_ASF};
    ping.insert(ping.end(), std::begin(ASF_IANA), std::end(ASF_IANA));
    ping.push_back(ASF_TYPE_PRESENCE_PING);
    ping.push_back(PING_TAG);
    ping.push_back(0x00); // reserved
    ping.push_back(0x00); // data length
    return ping;
}

bool IsMatchingPong(const BYTE* data, std::size_t length)
{
    if (length < ASF_HEADER_LENGTH + PONG_DATA_LENGTH)
        return false;
    if (data[0] != RMCP_VERSION_1_0 || data[2] != RMCP_SEQUENCE_NO_ACK || data[3] != RMCP_CLASS_ASF)
        return false;
    if (!std::equal(std::begin(ASF_IANA), std::end(ASF_IANA), data + 4))
        return false;
    return data[8] == ASF_TYPE_PRESENCE_PONG && data[9] == PING_TAG && data[11] == PONG_DATA_LENGTH;
}

// A UDP port on address that was free a moment ago; 0 on failure.
WORD PickFreePort(DWORD address)
{
    CUdpSocket probe;
    if (!probe.Open(100) || !probe.Bind(address, 0))
        return 0;
    return probe.LocalPort();
}

// A TCP port on address that was free a moment ago; 0 on failure.
WORD PickFreeTcpPort(DWORD address)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    socklen_t length = sizeof local;
    WORD port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        port = ntohs(local.sin_port);
    ::close(fd);
    return port;
}

std::string DottedQuad(DWORD address)
{
    std::ostringstream text;
    text << (address >> 24) << '.' << ((address >> 16) & 0xFF) << '.' << ((address >> 8) & 0xFF)
         << '.' << (address & 0xFF);
    return text.str();
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

DWORD MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

BOOL ReadFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return FALSE;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return TRUE;
}

// The emulator console speaks telnet: it opens with option negotiations (IAC, verb,
// option) and ends every answer with the prompt "> ". Lines end in "\n\r".
constexpr unsigned char TELNET_IAC = 0xFF;
const std::string CONSOLE_PROMPT = "> ";
constexpr std::size_t CONSOLE_MAX_REPLY = 256 * 1024;

std::string StripTelnet(const std::string& raw)
{
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i)
    {
        if (static_cast<unsigned char>(raw[i]) == TELNET_IAC)
        {
            i += 2; // verb and option
            continue;
        }
        if (raw[i] != '\r')
            text.push_back(raw[i]);
    }
    return text;
}

// Reads from fd until the text received (telnet removed) ends with the prompt, the peer
// closes, or the deadline passes. TRUE when the prompt arrived.
BOOL ReadToPrompt(int fd, Clock::time_point deadline, std::string& text)
{
    std::string raw;
    char buffer[4096];
    for (;;)
    {
        text = StripTelnet(raw);
        if (text.size() >= CONSOLE_PROMPT.size() &&
            text.compare(text.size() - CONSOLE_PROMPT.size(), CONSOLE_PROMPT.size(),
                         CONSOLE_PROMPT) == 0)
            return TRUE;
        DWORD left = MsLeft(deadline);
        if (left == 0 || raw.size() > CONSOLE_MAX_REPLY)
            return FALSE;
        pollfd waitFor{fd, POLLIN, 0};
        int ready = ::poll(&waitFor, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return FALSE;
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return FALSE;
        raw.append(buffer, static_cast<std::size_t>(got));
    }
}

// Connects a TCP socket to address:port within the deadline; -1 on failure.
int ConnectTcp(DWORD address, WORD port, Clock::time_point deadline)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
    {
        if (errno != EINPROGRESS)
        {
            ::close(fd);
            return -1;
        }
        pollfd waitFor{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&waitFor, 1, static_cast<int>(MsLeft(deadline))) != 1 ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

BOOL SendAll(int fd, const std::string& data, Clock::time_point deadline)
{
    std::size_t sent = 0;
    while (sent < data.size())
    {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
        {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        {
            pollfd waitFor{fd, POLLOUT, 0};
            if (::poll(&waitFor, 1, static_cast<int>(MsLeft(deadline))) == 1)
                continue;
        }
        return FALSE;
    }
    return TRUE;
}

// Held from picking a port until ipmi_sim answers on it, across all test processes of the
// machine. ipmi_sim binds its port with SO_REUSEADDR, so two simulators given the same port
// would both bind it and split its datagrams without an error; the kernel hands out a port
// for bind(0) only while nobody holds it, so serialising pick-to-bind prevents that.
class CPortPickLock
{
public:
    explicit CPortPickLock(DWORD timeoutMs)
    {
        const char* base = std::getenv("TMPDIR");
        std::string path = std::string(base && *base ? base : "/tmp") + "/vexa-ipmisim-ports.lock";
        // O_CLOEXEC: the simulator must not inherit the descriptor, or it would hold the lock.
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        {
            // Another harness is starting a simulator (a few tens of milliseconds); look again
            // shortly, within the caller's time-out.
            DWORD left = MsLeft(deadline);
            if ((errno != EWOULDBLOCK && errno != EINTR) || left == 0)
            {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            ::poll(nullptr, 0, static_cast<int>(std::min<DWORD>(left, 5)));
        }
    }
    ~CPortPickLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    CPortPickLock(const CPortPickLock&) = delete;
    CPortPickLock& operator=(const CPortPickLock&) = delete;

    BOOL Held() const { return m_fd >= 0 ? TRUE : FALSE; }

private:
    int m_fd = -1;
};
} // namespace

CIpmiSim::CIpmiSim(std::string emuFile, std::string lanConfFile)
    : m_emuFile(std::move(emuFile)), m_lanConfFile(std::move(lanConfFile))
{
}

CIpmiSim::~CIpmiSim()
{
    Stop();
    if (!m_workDir.empty() && std::getenv("VEXA_KEEP_PEER_DIRS") == nullptr)
        RemoveTree(m_workDir);
}

BOOL CIpmiSim::Available()
{
    return FindProgram("ipmi_sim").empty() ? FALSE : TRUE;
}

std::string CIpmiSim::ConfigDir()
{
    const char* source = std::getenv("VEXA_SOURCE_DIR");
    std::string root = source && *source ? source : VEXA_SOURCE_DIR_DEFAULT;
    return root + "/tests/peers/ipmi_sim";
}

BOOL CIpmiSim::Start(DWORD readyTimeoutMs)
{
    if (m_process.Pid() != 0)
        return Fail("ipmi_sim is already running (pid " + std::to_string(m_process.Pid()) + ")");
    std::string program = FindProgram("ipmi_sim");
    if (program.empty())
        return Fail("ipmi_sim not found on PATH (Debian package openipmi)");
    if (m_workDir.empty())
        m_workDir = MakeTempDir("vexa-ipmisim");
    if (m_workDir.empty())
        return Fail("cannot create a temporary directory");
    m_stateDir = m_workDir + "/state";
    const std::string lanConf = m_workDir + "/" + m_lanConfFile;
    const std::string emu = m_workDir + "/" + m_emuFile;
    const std::string logPath = m_workDir + "/ipmi_sim.log";

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(readyTimeoutMs);
    for (int attempt = 1; attempt <= START_ATTEMPTS; ++attempt)
    {
        CPortPickLock lock(MsLeft(deadline));
        if (!lock.Held())
            return Fail("cannot take the port-pick lock in $TMPDIR (another start hangs?)");
        m_port = m_fixedPort != 0 ? m_fixedPort : PickFreePort(m_address);
        if (m_port == 0)
            return Fail("cannot find a free UDP port on " + DottedQuad(m_address));
        std::string lanTemplate;
        if (ReadFile(ConfigDir() + "/" + m_lanConfFile, lanTemplate) &&
            lanTemplate.find("@CONSOLE_PORT@") != std::string::npos)
        {
            m_consolePort = PickFreeTcpPort(m_address);
            if (m_consolePort == 0)
                return Fail("cannot find a free TCP port on " + DottedQuad(m_address));
        }
        // A fresh, empty state directory: ipmi_sim then takes its users from lan.conf.
        RemoveTree(m_stateDir);
        std::error_code ec;
        std::filesystem::create_directories(m_stateDir, ec);
        if (ec)
            return Fail("cannot create " + m_stateDir + ": " + ec.message());
        if (!WriteConfig(m_lanConfFile, lanConf) || !WriteConfig(m_emuFile, emu) ||
            !WriteStateFiles())
            return FALSE;
        {
            std::ofstream log(logPath, std::ios::app);
            log << "== attempt " << attempt << ": " << DottedQuad(m_address) << " port " << m_port
                << "\n";
        }
        if (!m_process.Start({program, "-c", lanConf, "-f", emu, "-s", m_stateDir, "-n"}, logPath))
            return Fail("cannot start " + program);
        if (WaitReady(MsLeft(deadline)))
            return TRUE;
        if (m_process.IsRunning())
        {
            m_process.Stop();
            return Fail("ipmi_sim did not answer a presence ping within " +
                        std::to_string(readyTimeoutMs) + " ms");
        }
        if (MsLeft(deadline) == 0)
            break;
    }
    return Fail("ipmi_sim exited during start-up (exit code " +
                std::to_string(m_process.ExitCode()) + ")");
}

void CIpmiSim::AddStateFile(std::string templateName, std::string relativePath)
{
    m_stateFiles.emplace_back(std::move(templateName), std::move(relativePath));
}

BOOL CIpmiSim::WriteStateFiles()
{
    for (const auto& [templateName, relativePath] : m_stateFiles)
    {
        const std::filesystem::path target = std::filesystem::path(m_stateDir) / relativePath;
        std::error_code ec;
        std::filesystem::create_directories(target.parent_path(), ec);
        if (ec)
            return Fail("cannot create " + target.parent_path().string() + ": " + ec.message());
        if (!WriteConfig(templateName, target.string()))
            return FALSE;
    }
    return TRUE;
}

BOOL CIpmiSim::Console(const std::string& command, std::string* reply, DWORD timeoutMs)
{
    if (m_consolePort == 0 || m_process.Pid() == 0)
        return Fail("no emulator console (is @CONSOLE_PORT@ in the lan.conf template?)");
    if (command.find('\n') != std::string::npos)
        return Fail("one console command per call");
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = ConnectTcp(m_address, m_consolePort, deadline);
    if (fd < 0)
        return Fail("cannot connect to the emulator console on port " +
                    std::to_string(m_consolePort));
    std::string text;
    BOOL ok = ReadToPrompt(fd, deadline, text);
    if (ok)
        ok = SendAll(fd, command + "\n", deadline);
    // The answer repeats the command line first, then whatever the command printed.
    if (ok)
        ok = ReadToPrompt(fd, deadline, text);
    ::close(fd);
    if (!ok)
        return Fail("no prompt from the emulator console after \"" + command + "\"");
    text.resize(text.size() - CONSOLE_PROMPT.size());
    std::size_t echoEnd = text.find('\n');
    text = echoEnd == std::string::npos ? std::string() : text.substr(echoEnd + 1);
    if (reply)
        *reply = text;
    if (text.rfind("**", 0) == 0)
        return Fail("emulator console: " + text);
    return TRUE;
}

int CIpmiSim::PowerState() const
{
    if (m_stateDir.empty())
        return -1;
    std::string text;
    if (!ReadFile(m_stateDir + "/power", text))
        return std::filesystem::exists(m_stateDir) ? 1 : -1; // no file yet: still on
    if (text.rfind("1", 0) == 0)
        return 1;
    if (text.rfind("0", 0) == 0)
        return 0;
    return -1;
}

BOOL CIpmiSim::Stop()
{
    return m_process.Stop();
}

BOOL CIpmiSim::IsRunning()
{
    return m_process.IsRunning();
}

BOOL CIpmiSim::Ping(DWORD timeoutMs) const
{
    if (m_port == 0)
        return FALSE;
    CUdpSocket socket;
    if (!socket.Open(timeoutMs) || !socket.Bind(m_address, 0))
        return FALSE;
    const std::vector<BYTE> ping = BuildPresencePing();
    if (!socket.SendTo(m_address, m_port, ping.data(), ping.size()))
        return FALSE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    BYTE reply[512];
    for (DWORD left = timeoutMs; left > 0; left = MsLeft(deadline))
    {
        tagDATAGRAM_RESULT got = socket.ReceiveFrom(reply, sizeof reply, left);
        if (got.status != DatagramStatus::Ok)
            return FALSE;
        if (got.sourceAddress == m_address && got.sourcePort == m_port &&
            IsMatchingPong(reply, got.length))
            return TRUE;
    }
    return FALSE;
}

BOOL CIpmiSim::WriteConfig(const std::string& templateName, const std::string& outPath)
{
    const std::string source = ConfigDir() + "/" + templateName;
    std::ifstream in(source, std::ios::binary);
    if (!in)
        return Fail("cannot read " + source + " (is VEXA_SOURCE_DIR right?)");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ReplaceAll(text, "@ADDRESS@", DottedQuad(m_address));
    ReplaceAll(text, "@PORT@", std::to_string(m_port));
    ReplaceAll(text, "@CONSOLE_PORT@", std::to_string(m_consolePort));
    ReplaceAll(text, "@STATE_DIR@", m_stateDir);
    ReplaceAll(text, "@CONFIG_DIR@", ConfigDir());
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        return Fail("cannot write " + outPath);
    return TRUE;
}

BOOL CIpmiSim::WaitReady(DWORD timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (DWORD left = timeoutMs; left > 0; left = MsLeft(deadline))
    {
        if (!m_process.IsRunning())
            return FALSE;
        const Clock::time_point sent = Clock::now();
        if (Ping(std::min(left, PING_WAIT_MS)))
            return TRUE;
        // A ping that failed at once was refused (port not bound yet): give the process a
        // moment, waiting on its exit rather than sleeping.
        if (Clock::now() - sent < std::chrono::milliseconds(REFUSED_BACKOFF_MS) &&
            m_process.WaitExit(std::min(MsLeft(deadline), REFUSED_BACKOFF_MS)))
            return FALSE;
    }
    return FALSE;
}

BOOL CIpmiSim::Fail(const std::string& why)
{
    m_lastError = why;
    std::string log = m_process.LogPath().empty() ? std::string() : m_process.ReadLog(4096);
    if (!log.empty())
        m_lastError += "\n--- ipmi_sim log (" + m_process.LogPath() + ") ---\n" + log;
    return FALSE;
}
