// tarn-cli's ASF commands as a process against the asf-sim program: the state read and the
// four power operations with both roles, the refusal of an operation the adapter does not
// offer, a wrong key and a silent adapter. The simulator's counters confirm what arrived.
#include "tests/support/AsfSim.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

#ifndef VEXA_BIN_DIR
#define VEXA_BIN_DIR "build/bin"
#endif

namespace
{
constexpr DWORD TOOL_TIMEOUT_MS = 20000;
const char* const NAME_16 = "sixteen-chars-16";
const char* const GENERATION_KEY = "0123456789abcdef0123456789ABCDEF01234567";

struct tagROLE
{
    const char* name;
    std::vector<std::string> options;    // role, user and key options
    const char* roleByte;                // as the simulator's stats show it
    std::vector<std::string> simOptions; // what the simulator must know for this login
};

const tagROLE ROLES[] = {
    {"administrator", {"--role", "administrator", "--admin-key", ASFSIM_ADMIN_KEY}, "01", {}},
    {"operator",
     {"--role", "operator", "-U", NAME_16, "--operator-key", ASFSIM_OPERATOR_KEY,
      "--generation-key", GENERATION_KEY},
     "00",
     {"--generation-key", GENERATION_KEY}},
};

class AsfCliPeerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CAsfSim::Available())
            GTEST_SKIP() << CAsfSim::Program() << " is not built";
        m_dir = MakeTempDir("vexa-asfcli");
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override { RemoveTree(m_dir); }

    void StartSim(std::vector<std::string> options = {}, const tagROLE& role = ROLES[0])
    {
        options.insert(options.end(), role.simOptions.begin(), role.simOptions.end());
        ASSERT_TRUE(sim.Start(options)) << sim.LastError();
    }

    // tarn-cli with the simulator's ports and a short time-out, then the given arguments.
    tagTOOL_RUN Cli(const std::vector<std::string>& args, DWORD timeoutMs = 200)
    {
        std::vector<std::string> argv{std::string(VEXA_BIN_DIR) + "/tarn-cli",
                                      "-H",
                                      "127.0.0.1",
                                      "--asf-port",
                                      std::to_string(sim.RmcpPort()),
                                      "--rsp-port",
                                      std::to_string(sim.RspPort()),
                                      "--asf-timeout",
                                      std::to_string(timeoutMs)};
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string log = m_dir + "/run-" + std::to_string(++m_runs) + ".log";
        tagTOOL_RUN run = RunTool(argv, log, TOOL_TIMEOUT_MS);
        EXPECT_TRUE(run.finished) << run.output;
        return run;
    }

    static std::vector<std::string> With(const tagROLE& role, std::vector<std::string> command)
    {
        std::vector<std::string> args = role.options;
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }

    // The last line of the output, as JSON (stderr is empty on success).
    static nlohmann::json LastJson(const std::string& output)
    {
        std::istringstream lines(output);
        std::string last;
        for (std::string line; std::getline(lines, line);)
            if (!line.empty())
                last = line;
        return nlohmann::json::parse(last, nullptr, false);
    }

    CAsfSim sim;

private:
    std::string m_dir;
    int m_runs = 0;
};
} // namespace

TEST_F(AsfCliPeerTest, StateAndPowerWithBothRoles)
{
    struct tagOP
    {
        const char* word;
        const char* type;
        long stateAfter;
    } ops[] = {{"down", "12", 5}, {"up", "11", 0}, {"reset", "10", 0}, {"cycle", "13", 0}};
    for (const tagROLE& role : ROLES)
    {
        SCOPED_TRACE(role.name);
        StartSim({"--state", "4", "--watchdog"}, role);
        tagTOOL_RUN run = Cli(With(role, {"--json", "asf-state"}));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        nlohmann::json state = LastJson(run.output);
        ASSERT_TRUE(state.is_object()) << run.output;
        EXPECT_EQ(state["system_state"], 4);
        EXPECT_EQ(state["system_state_text"], "non-volatile sleep / suspend-to disk(S4)");
        EXPECT_EQ(state["watchdog_text"], "Watchdog Timer Expired");
        EXPECT_EQ(state["power"], 0);
        CAsfSimStats stats = sim.Stats();
        EXPECT_EQ(stats.Text("role"), role.roleByte) << stats.Line();
        EXPECT_EQ(stats.Number("closes"), 1) << "the session is closed before the tool ends";

        long count = 0;
        for (const tagOP& op : ops)
        {
            SCOPED_TRACE(op.word);
            ASSERT_TRUE(sim.Set("state 3"));
            run = Cli(With(role, {"--json", "asf-power", op.word}));
            ASSERT_EQ(run.exitCode, 0) << run.output;
            const nlohmann::json done = LastJson(run.output);
            EXPECT_EQ(done["power"], op.word) << run.output;
            EXPECT_EQ(done["acknowledged"], true);
            stats = sim.Stats();
            EXPECT_EQ(stats.Number("power-ops"), ++count) << stats.Line();
            EXPECT_EQ(stats.Text("last-power"), op.type);
            EXPECT_EQ(stats.Number("state"), op.stateAfter);
            EXPECT_EQ(stats.Text("established"), "no");
        }
        EXPECT_EQ(stats.Number("sessions"), 5);
        EXPECT_EQ(stats.Number("rejected"), 0) << stats.Text("last-reject");
        EXPECT_EQ(stats.Text("user"), role.roleByte == std::string("00") ? NAME_16 : "");
        ASSERT_TRUE(sim.Stop());
    }
}

TEST_F(AsfCliPeerTest, CapabilitiesDecideWhatIsOffered)
{
    StartSim({"--capabilities", "0F"});
    tagTOOL_RUN run = Cli({"--json", "asf-caps"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const nlohmann::json caps = LastJson(run.output);
    for (const char* op : {"reset", "power_up", "power_down", "power_cycle"})
        EXPECT_EQ(caps[op], true) << op << ": the secure-port bits alone offer it";
    run = Cli(With(ROLES[0], {"asf-power", "cycle"}));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    ASSERT_TRUE(sim.Stop());

    StartSim({"--capabilities", "00"}, ROLES[1]);
    run = Cli(With(ROLES[1], {"asf-power", "down"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("Power Down: The host you connected to  does not support Power "
                              "Down!."),
              std::string::npos)
        << run.output;
    run = Cli(With(ROLES[1], {"asf-power", "up"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("does not support Power up!."), std::string::npos) << run.output;
    const CAsfSimStats stats = sim.Stats();
    EXPECT_EQ(stats.Number("power-ops"), 0) << stats.Line();
    EXPECT_EQ(stats.Number("sessions"), 2) << "the refusal comes after the login";
}

TEST_F(AsfCliPeerTest, WrongKeyAndSilentAdapterFail)
{
    StartSim();
    tagTOOL_RUN run =
        Cli({"--role", "operator", "--operator-key", ASFSIM_ADMIN_KEY, "asf-power", "up"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("cannot open an ASF secure session"), std::string::npos)
        << run.output;
    CAsfSimStats stats = sim.Stats();
    EXPECT_EQ(stats.Text("established"), "no") << stats.Line();
    EXPECT_EQ(stats.Number("sessions"), 0);
    EXPECT_EQ(stats.Number("power-ops"), 0);

    ASSERT_TRUE(sim.Set("silent 1"));
    run = Cli(With(ROLES[0], {"asf-state"}), 100);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    run = Cli({"asf-ping"}, 100);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("no Presence Pong"), std::string::npos) << run.output;
}
