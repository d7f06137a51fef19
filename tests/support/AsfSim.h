#pragma once
// CAsfSim: the asf-sim program (tools/asf-sim) started as the ASF adapter for peer tests, on
// 127.0.0.1 with ports the system picks (--port-rmcp 0 --port-rsp 0). Start() returns once
// the program has printed its ready line (bounded wait) and the two ports are known; the
// control channel is the program's stdin and stdout, one reply line per command. Stop() and
// the destructor end it by its process ID and remove its working directory (kept when the
// environment variable VEXA_KEEP_PEER_DIRS is set), which holds its stderr log.
// Owned by one test and used from the test's thread; no locks.
// The program is found in $VEXA_BIN_DIR, else in the bin folder of the build tree the
// harness was compiled in; targets using this depend on asf-sim.
#include "platform/Types.h"
#include "tests/support/PeerProcess.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// The simulator's default role keys (20 x AAh, 20 x BBh), as hexadecimal text.
inline constexpr const char* ASFSIM_ADMIN_KEY = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
inline constexpr const char* ASFSIM_OPERATOR_KEY = "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB";

// One "stats" line: key=value fields; "user" holds the rest of the line.
class CAsfSimStats
{
public:
    BOOL Parse(const std::string& line);
    // The field's text; empty when it is missing.
    std::string Text(const std::string& key) const;
    // The field as a decimal number; -1 when it is missing or not a number.
    long Number(const std::string& key) const;
    BOOL Has(const std::string& key) const { return m_fields.count(key) ? TRUE : FALSE; }
    const std::string& Line() const { return m_line; }

private:
    std::map<std::string, std::string> m_fields;
    std::string m_line;
};

class CAsfSim
{
public:
    CAsfSim() = default;
    ~CAsfSim();
    CAsfSim(const CAsfSim&) = delete;
    CAsfSim& operator=(const CAsfSim&) = delete;

    // The asf-sim program's path (may not exist yet).
    static std::string Program();
    // TRUE when the program has been built.
    static BOOL Available();

    // Starts the program with options added after the address and port options (e.g.
    // {"--capabilities", "0F"}) and waits up to readyTimeoutMs for its ready line. On
    // failure LastError() says why, with the program's log.
    BOOL Start(const std::vector<std::string>& options = {}, DWORD readyTimeoutMs = 5000);
    // Ends the program by its PID (SIGTERM, then SIGKILL); returns once it is reaped.
    BOOL Stop();
    BOOL IsRunning();

    // Sends one control line and returns the reply line; empty when the program does not
    // answer within timeoutMs (LastError() then says why).
    std::string Control(const std::string& line, DWORD timeoutMs = 5000);
    // A control line that must be answered "ok".
    BOOL Set(const std::string& line);
    // The "stats" line, parsed; empty when there is no answer.
    CAsfSimStats Stats();
    // Reads the stats until the field has the text wanted, at most timeoutMs; FALSE after.
    BOOL WaitForStat(const std::string& key, const std::string& value, DWORD timeoutMs = 5000);

    DWORD Address() const { return m_address; } // 127.0.0.1, host order
    WORD RmcpPort() const { return m_rmcpPort; }
    WORD RspPort() const { return m_rspPort; }
    pid_t Pid() const { return m_process.Pid(); }
    const std::string& LastError() const { return m_lastError; }
    std::string Log() const { return m_process.ReadLog(); }

private:
    BOOL ReadLine(std::string& line, DWORD timeoutMs);
    BOOL Fail(const std::string& why);
    void ClosePipes();

    CPeerProcess m_process;
    tagPEER_PIPES m_pipes;
    std::string m_pending; // stdout read past the last line
    std::string m_workDir;
    std::string m_lastError;
    DWORD m_address = 0x7F000001;
    WORD m_rmcpPort = 0;
    WORD m_rspPort = 0;
};
