#pragma once
// CIpmiSim: OpenIPMI's ipmi_sim (Debian package openipmi) started as the BMC for peer tests,
// on 127.0.0.1 and a free UDP port, with the configuration in tests/peers/ipmi_sim/ and a
// fresh state directory per instance. Owned by one test; used from the test's thread; no
// locks. Start() returns once the simulator answers an RMCP presence ping (bounded wait);
// Stop() and the destructor end it by its process ID and remove its working directory
// (kept when the environment variable VEXA_KEEP_PEER_DIRS is set).
// The configuration files are found under $VEXA_SOURCE_DIR (set by ctest), else under the
// source tree the harness was compiled from.
#include "platform/Types.h"
#include "tests/support/PeerProcess.h"

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Behaviour of ipmi_sim 2.0.33 that tests against it must allow for (measured):
// - A session opened with MD5-128 integrity (cipher suite 11) crashes the simulator when
//   its RAKP Message 1 is refused (unknown user, privilege mismatch), and about 30 s later
//   when the console abandons it before RAKP 1. Test refused logins with suites 1-3 or 6.
// - With the name-only lookup bit set in RAKP 1 any user gets the privilege it asks for,
//   up to Administrator; only with the bit clear must the level equal the user's own.
// - HMAC-MD5-128 integrity (suites 7, 8, 12) is keyed with the password, not K1, so
//   standard clients fail with it.

// IPMI privilege levels (IPMI v2.0, 6.8), as written in the user table below.
constexpr BYTE IPMISIM_PRIV_CALLBACK = 0x01;
constexpr BYTE IPMISIM_PRIV_USER = 0x02;
constexpr BYTE IPMISIM_PRIV_OPERATOR = 0x03;
constexpr BYTE IPMISIM_PRIV_ADMIN = 0x04;

// One user account of tests/peers/ipmi_sim/lan.conf.
struct tagIPMISIM_USER
{
    const char* name;
    const char* password;
    BYTE privilege; // the user's maximum privilege level
};

inline constexpr tagIPMISIM_USER IPMISIM_USER_ADMIN{"admin", "vexa-admin-pw", IPMISIM_PRIV_ADMIN};
inline constexpr tagIPMISIM_USER IPMISIM_USER_OPERATOR{"operator", "vexa-operator-pw",
                                                       IPMISIM_PRIV_OPERATOR};
inline constexpr tagIPMISIM_USER IPMISIM_USER_USER{"user", "vexa-user-pw", IPMISIM_PRIV_USER};
inline constexpr tagIPMISIM_USER IPMISIM_USER_CALLBACK{"callback", "vexa-callback-pw",
                                                       IPMISIM_PRIV_CALLBACK};
// Password of exactly 16 characters, the IPMI v1.5 maximum.
inline constexpr tagIPMISIM_USER IPMISIM_USER_ADMIN16{"admin16", "Sixteen-Chars-16",
                                                      IPMISIM_PRIV_ADMIN};
// Password of 19 characters, the longest ipmi_sim takes from lan.conf (it keeps at most
// 19 password and 15 user-name characters there). Note: ipmi_sim keys RAKP-HMAC-MD5 with
// the first 16 password bytes only, so this user cannot log in with suites 6 to 12.
inline constexpr tagIPMISIM_USER IPMISIM_USER_ADMIN19{"admin19", "Nineteen-Characters",
                                                      IPMISIM_PRIV_ADMIN};
// Empty password: the key is 20 zero bytes.
inline constexpr tagIPMISIM_USER IPMISIM_USER_EMPTY{"empty", "", IPMISIM_PRIV_ADMIN};

// The channel GUID ipmi_sim reports (lan.conf "guid"), as it appears on the wire.
inline constexpr BYTE IPMISIM_GUID[16] = {0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6, 0x07, 0x18,
                                          0x29, 0x3a, 0x4b, 0x5c, 0x6d, 0x7e, 0x8f, 0x90};

// The fixture BMC's files in tests/peers/ipmi_sim/ (fixture.emu and fixture-sel.persist are
// written by make_fixture.py there; CIpmiSimFixture below puts them together).
inline constexpr const char* IPMISIM_FIXTURE_EMU = "fixture.emu";
inline constexpr const char* IPMISIM_FIXTURE_LAN_CONF = "fixture-lan.conf";
inline constexpr const char* IPMISIM_FIXTURE_SEL = "fixture-sel.persist";
// Where ipmi_sim keeps the BMC "vexa_fixture"'s SEL inside its state directory.
inline constexpr const char* IPMISIM_FIXTURE_SEL_STATE = "ipmi_sim/vexa_fixture/sel.20";

class CIpmiSim
{
public:
    // emuFile and lanConfFile name templates in tests/peers/ipmi_sim/. In both, @ADDRESS@,
    // @PORT@, @STATE_DIR@ and @CONFIG_DIR@ (that source folder) are filled in, and
    // @CONSOLE_PORT@ with a free TCP port on the same address when the lan.conf template
    // uses it (for a "console" line).
    explicit CIpmiSim(std::string emuFile = "bmc.emu", std::string lanConfFile = "lan.conf");
    ~CIpmiSim();
    CIpmiSim(const CIpmiSim&) = delete;
    CIpmiSim& operator=(const CIpmiSim&) = delete;

    // TRUE when the ipmi_sim program is installed.
    static BOOL Available();
    // <source>/tests/peers/ipmi_sim
    static std::string ConfigDir();

    // Makes the state directory, picks a free port, writes the configuration, starts
    // ipmi_sim and waits up to readyTimeoutMs for its presence pong. Retries with another
    // port (bounded) if the simulator exits at start, e.g. because the port was taken.
    // On failure LastError() says why, with the simulator's log.
    BOOL Start(DWORD readyTimeoutMs = 10000);
    // Ends the simulator by its PID; returns once it is reaped (SIGKILL after 3 s).
    BOOL Stop();
    BOOL IsRunning();

    // One presence ping on the simulator's port; TRUE when the matching pong arrives
    // within timeoutMs.
    BOOL Ping(DWORD timeoutMs) const;

    // Before each start, the template templateName (placeholders filled in as above) is
    // written to relativePath inside the fresh state directory, e.g. a saved SEL.
    void AddStateFile(std::string templateName, std::string relativePath);

    // One emulation command (man ipmi_sim_cmd) on the emulator console, which needs
    // @CONSOLE_PORT@ in the lan.conf template: connects, waits for the prompt, sends the
    // command, reads up to the next prompt, then closes (the simulator dies of SIGPIPE if
    // a client leaves while it writes). reply, when given, receives what the command
    // printed (without the echo and prompt). FALSE when the console cannot be reached or
    // does not answer within timeoutMs, or the simulator reports an error ("**...").
    BOOL Console(const std::string& command, std::string* reply = nullptr, DWORD timeoutMs = 5000);

    // The power state held by the fixture's chassis control script (fixture-lan.conf):
    // 1 on, 0 off, -1 when its state file cannot be read. The machine starts on.
    int PowerState() const;

    // Before Start: another loopback address (127.0.0.0/8, host order) and a fixed UDP port
    // (0: pick a free one), for fleets of simulators on one port number.
    void SetAddress(DWORD address) { m_address = address; }
    void SetPort(WORD port) { m_fixedPort = port; }

    DWORD Address() const { return m_address; } // 127.0.0.1 unless set, host order
    WORD Port() const { return m_port; }
    WORD ConsolePort() const { return m_consolePort; } // 0 when there is no console
    pid_t Pid() const { return m_process.Pid(); }
    const std::string& WorkDir() const { return m_workDir; }
    const std::string& StateDir() const { return m_stateDir; }
    const std::string& LastError() const { return m_lastError; }
    std::string Log() const { return m_process.ReadLog(); }

private:
    BOOL WriteConfig(const std::string& templateName, const std::string& outPath);
    BOOL WaitReady(DWORD timeoutMs);
    BOOL Fail(const std::string& why);

    BOOL WriteStateFiles();

    std::string m_emuFile;
    std::string m_lanConfFile;
    std::vector<std::pair<std::string, std::string>> m_stateFiles; // template, relative path
    std::string m_workDir;
    std::string m_stateDir;
    std::string m_lastError;
    DWORD m_address = 0x7F000001;
    WORD m_port = 0;
    WORD m_fixedPort = 0;
    WORD m_consolePort = 0;
    CPeerProcess m_process;
};

// The fixture BMC: fixture.emu (SDR repository, sensors with readings and thresholds, FRU
// devices 0 and 1) with fixture-lan.conf (users of lan.conf, power control, emulator
// console) and the pre-filled SEL of fixture-sel.persist, whose time stamps ipmi_sim keeps
// only when it loads them from its state directory. See make_fixture.py for the contents.
class CIpmiSimFixture : public CIpmiSim
{
public:
    CIpmiSimFixture() : CIpmiSim(IPMISIM_FIXTURE_EMU, IPMISIM_FIXTURE_LAN_CONF)
    {
        AddStateFile(IPMISIM_FIXTURE_SEL, IPMISIM_FIXTURE_SEL_STATE);
    }
};
