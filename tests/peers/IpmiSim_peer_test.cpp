// The ipmi_sim harness and the test BMC's configuration, checked with the reference clients
// ipmitool and FreeIPMI: if these fail, a failing session test of the console is about the
// harness or the configuration, not the console.
#include "tests/support/IpmiSim.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <string>
#include <vector>

namespace
{
constexpr DWORD TOOL_TIMEOUT_MS = 20000;

class IpmiSim : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CIpmiSim::Available())
            GTEST_SKIP() << "ipmi_sim not installed (Debian package openipmi; ./dev setup)";
        ASSERT_TRUE(m_sim.Start()) << m_sim.LastError();
    }

    void TearDown() override
    {
        pid_t pid = m_sim.Pid();
        EXPECT_TRUE(m_sim.Stop());
        if (pid > 0)
        {
            EXPECT_NE(0, ::kill(pid, 0)) << "ipmi_sim " << pid << " still exists after Stop()";
        }
    }

    // Runs a client with a bounded wait; a client that overruns is stopped by its PID.
    tagTOOL_RUN Run(const std::vector<std::string>& argv)
    {
        std::string log = m_sim.WorkDir() + "/client-" + std::to_string(++m_runs) + ".log";
        return RunTool(argv, log, TOOL_TIMEOUT_MS);
    }

    std::vector<std::string> Ipmitool(const tagIPMISIM_USER& user, int suite,
                                      const std::string& privilege) const
    {
        std::vector<std::string> argv{"ipmitool"};
        Append(argv, {"-I", "lanplus", "-H", "127.0.0.1", "-p", std::to_string(m_sim.Port())});
        Append(argv, {"-U", user.name, "-P", user.password});
        Append(argv, {"-C", std::to_string(suite), "-L", privilege});
        // Two tries of two seconds, so a refused login fails fast.
        Append(argv, {"-R", "2", "-N", "2"});
        return argv;
    }

    std::vector<std::string> FreeIpmiRaw(const tagIPMISIM_USER& user, int suite) const
    {
        std::vector<std::string> argv{"ipmi-raw"};
        Append(argv, {"-D", "LAN_2_0", "-h", "127.0.0.1:" + std::to_string(m_sim.Port())});
        Append(argv, {"-u", user.name});
        if (*user.password != '\0')
            Append(argv, {"-p", user.password});
        Append(argv, {"-I", std::to_string(suite), "-l", "ADMIN"});
        // ipmi_sim answers a request for the "highest available" privilege (0) with 0, which
        // FreeIPMI refuses; opensesspriv makes it ask for the level it wants.
        Append(argv, {"-W", "opensesspriv", "--config-file=/dev/null"});
        Append(argv, {"--session-timeout=5000", "--retransmission-timeout=500"});
        Append(argv, {"00", "06", "01"}); // LUN 0, netFn App, Get Device ID
        return argv;
    }

    static void Append(std::vector<std::string>& argv, std::initializer_list<std::string> more)
    {
        argv.insert(argv.end(), more.begin(), more.end());
    }

    CIpmiSim m_sim;
    int m_runs = 0;
};

// Why a client test cannot run, or empty when the client is installed.
std::string MissingTool(const char* name, const char* package)
{
    if (!FindProgram(name).empty())
        return std::string();
    return std::string(name) + " not installed (Debian package " + package + "; ./dev setup)";
}

// Get Device ID as bmc.emu sets it: device ID 00h, revision 03h, firmware 9.08, IPMI 2.0,
// support 9Fh, manufacturer 001291h, product 0F02h (ipmi-raw prints command and
// completion code first).
constexpr const char* FREEIPMI_DEVICE_ID = "rcvd: 01 00 00 03 09 08 02 9F 91 12 00 02 0F";

TEST_F(IpmiSim, StartsAnswersPingAndStopsByPid)
{
    EXPECT_EQ(0x7F000001u, m_sim.Address());
    EXPECT_NE(0, m_sim.Port());
    const pid_t pid = m_sim.Pid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(m_sim.Ping(1000));

    ASSERT_TRUE(m_sim.Stop());
    EXPECT_EQ(0, m_sim.Pid());
    errno = 0;
    EXPECT_EQ(-1, ::kill(pid, 0));
    EXPECT_EQ(ESRCH, errno) << "process " << pid << " still exists";
    EXPECT_FALSE(m_sim.Ping(300));
}

TEST_F(IpmiSim, InstancesRunSideBySide)
{
    CIpmiSim second;
    ASSERT_TRUE(second.Start()) << second.LastError();
    EXPECT_NE(m_sim.Port(), second.Port());
    EXPECT_NE(m_sim.StateDir(), second.StateDir());
    EXPECT_TRUE(m_sim.Ping(1000));
    EXPECT_TRUE(second.Ping(1000));
}

TEST_F(IpmiSim, IpmitoolCipherSuites)
{
    if (std::string why = MissingTool("ipmitool", "ipmitool"); !why.empty())
        GTEST_SKIP() << why;
    // Suites 7, 8 (HMAC-MD5-128) fail against ipmi_sim and ipmitool cannot do 11, 12.
    for (int suite : {1, 2, 3, 6})
    {
        std::vector<std::string> argv = Ipmitool(IPMISIM_USER_ADMIN, suite, "ADMINISTRATOR");
        Append(argv, {"mc", "info"});
        tagTOOL_RUN run = Run(argv);
        SCOPED_TRACE("cipher suite " + std::to_string(suite) + "\n" + run.output);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0, run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find("Firmware Revision         : 9.08"));
        EXPECT_NE(std::string::npos, run.output.find("Manufacturer ID           : 4753"));
        EXPECT_NE(std::string::npos, run.output.find("(0x0f02)"));
    }
}

TEST_F(IpmiSim, FreeIpmiCipherSuites)
{
    if (std::string why = MissingTool("ipmi-raw", "freeipmi-tools"); !why.empty())
        GTEST_SKIP() << why;
    const struct
    {
        int suite;
        tagIPMISIM_USER user;
    } cases[] = {
        {1, IPMISIM_USER_ADMIN},   {2, IPMISIM_USER_ADMIN},  {3, IPMISIM_USER_ADMIN},
        {6, IPMISIM_USER_ADMIN},   {11, IPMISIM_USER_ADMIN}, {11, IPMISIM_USER_ADMIN16},
        {3, IPMISIM_USER_ADMIN19}, {3, IPMISIM_USER_EMPTY},
    };
    for (const auto& c : cases)
    {
        tagTOOL_RUN run = Run(FreeIpmiRaw(c.user, c.suite));
        SCOPED_TRACE("cipher suite " + std::to_string(c.suite) + ", user " + c.user.name + "\n" +
                     run.output);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0, run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find(FREEIPMI_DEVICE_ID));
    }
}

TEST_F(IpmiSim, EachUserLogsInAtItsOwnPrivilege)
{
    if (std::string why = MissingTool("ipmitool", "ipmitool"); !why.empty())
        GTEST_SKIP() << why;
    const struct
    {
        tagIPMISIM_USER user;
        const char* level;  // ipmitool -L
        const char* userId; // slot in lan.conf
        const char* shown;  // session privilege ipmi_sim reports
    } cases[] = {
        {IPMISIM_USER_ADMIN, "ADMINISTRATOR", "2", "ADMINISTRATOR"},
        {IPMISIM_USER_OPERATOR, "OPERATOR", "3", "OPERATOR"},
        {IPMISIM_USER_USER, "USER", "4", "USER"},
        // ipmi_sim starts every session at User level and leaves it there for a callback
        // user (IPMI v2.0 would have it at Callback).
        {IPMISIM_USER_CALLBACK, "CALLBACK", "5", "USER"},
        {IPMISIM_USER_ADMIN16, "ADMINISTRATOR", "6", "ADMINISTRATOR"},
        {IPMISIM_USER_ADMIN19, "ADMINISTRATOR", "7", "ADMINISTRATOR"},
        {IPMISIM_USER_EMPTY, "ADMINISTRATOR", "8", "ADMINISTRATOR"},
    };
    for (const auto& c : cases)
    {
        std::vector<std::string> argv = Ipmitool(c.user, 3, c.level);
        Append(argv, {"session", "info", "active"});
        tagTOOL_RUN run = Run(argv);
        SCOPED_TRACE(std::string("user ") + c.user.name + " at " + c.level + "\n" + run.output);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0, run.exitCode);
        EXPECT_NE(std::string::npos,
                  run.output.find(std::string("user id                       : ") + c.userId));
        EXPECT_NE(std::string::npos,
                  run.output.find(std::string("privilege level               : ") + c.shown));
    }
}

TEST_F(IpmiSim, RejectsWrongPasswordAndUnknownUser)
{
    const tagIPMISIM_USER wrongPassword{"admin", "not-the-password", IPMISIM_PRIV_ADMIN};
    const tagIPMISIM_USER unknownUser{"nobody", "vexa-admin-pw", IPMISIM_PRIV_ADMIN};
    const struct
    {
        bool freeIpmi;
        tagIPMISIM_USER user;
        const char* message;
    } cases[] = {
        {false, wrongPassword, "RAKP 2 HMAC is invalid"}, // RAKP 2 status 00h
        {false, unknownUser, "RAKP 2 message indicates an error : unauthorized name"}, // 0Dh
        {true, wrongPassword, "password invalid"},
        {true, unknownUser, "username invalid"},
    };
    for (const auto& c : cases)
    {
        if (FindProgram(c.freeIpmi ? "ipmi-raw" : "ipmitool").empty())
            continue;
        std::vector<std::string> argv;
        if (c.freeIpmi)
            argv = FreeIpmiRaw(c.user, 3);
        else
        {
            argv = Ipmitool(c.user, 3, "ADMINISTRATOR");
            argv.insert(argv.begin() + 1, "-v");
            Append(argv, {"mc", "info"});
        }
        tagTOOL_RUN run = Run(argv);
        SCOPED_TRACE(std::string(c.freeIpmi ? "FreeIPMI" : "ipmitool") + ", user " + c.user.name +
                     "\n" + run.output);
        ASSERT_TRUE(run.finished);
        EXPECT_NE(0, run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find(c.message));
    }
    EXPECT_TRUE(m_sim.Ping(1000)) << "ipmi_sim stopped answering after the refused logins";
}
} // namespace
