// CASFSession and CASFServer against the asf-sim program on loopback: both roles with their
// keys, empty and full user names and generation keys, a wrong key, the four power operations
// under each capability mask, and the transport faults the simulator injects (a lost
// acknowledgement, an oversized reply, bad integrity data, silence, a machine that goes away
// while polled). The simulator's own counters are the second opinion on what happened.
#include "asf/ASFServer.h"
#include "asf/ASFSession.h"
#include "asf/AsfStates.h"
#include "asf/DlgASFSession.h"
#include "platform/ui/DialogService.h"
#include "platform/ui/ScriptedResponder.h"
#include "tests/support/AsfSim.h"
#include "tests/support/RecordingSink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
// Short per-datagram time-out: every unanswered exchange costs two of them.
constexpr DWORD TIMEOUT_MS = 250;
constexpr DWORD BOUND_MS = 5000;

const char* const KEY_1 = "0102030405060708090a0b0c0d0e0f1011121314";
const char* const KEY_2 = "F0E1D2C3B4A5968778695A4B3C2D1E0F00112233";
const char* const GENERATION_KEY = "C0FFEE";
const char* const NAME_16 = "sixteen-chars-16";

class AsfSimPeerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CAsfSim::Available())
            GTEST_SKIP() << CAsfSim::Program() << " is not built";
    }

    void StartSim(std::vector<std::string> options = {})
    {
        ASSERT_TRUE(sim.Start(options)) << sim.LastError();
    }

    tagASF_SESSION_ENV Env()
    {
        tagASF_SESSION_ENV env;
        env.primaryPort = sim.RmcpPort();
        env.securePort = sim.RspPort();
        env.timeoutMs = TIMEOUT_MS;
        env.dialogs = &dialogs;
        env.messageBox = &boxes;
        env.sink = &sink;
        return env;
    }

    std::unique_ptr<CASFSession> MakeSession()
    {
        return std::make_unique<CASFSession>(sim.Address(), Env());
    }

    std::unique_ptr<CASFServer> MakeServer(DWORD pollPower)
    {
        tagSERVER_RECORD record;
        record.ipAddress = sim.Address();
        record.serverTag = 9;
        tagASF_SERVER_ENV env;
        env.session = Env();
        env.settings.pollPowerEnabled = pollPower;
        return std::make_unique<CASFServer>(record, std::move(env));
    }

    static tagASF_CREDENTIALS Administrator(std::string user = "admin")
    {
        tagASF_CREDENTIALS c;
        c.roleIndex = ASF_ROLE_INDEX_ADMINISTRATOR;
        c.userName = std::move(user);
        c.administratorKey = ASFSIM_ADMIN_KEY;
        c.operatorKey = ASFSIM_OPERATOR_KEY;
        return c;
    }

    CAsfSimStats Stats()
    {
        CAsfSimStats stats = sim.Stats();
        EXPECT_FALSE(stats.Line().empty()) << sim.LastError();
        return stats;
    }

    CAsfSim sim;
    CDialogService dialogs{nullptr};
    CRecordingMessageBoxes boxes;
    CRecordingSink sink{nullptr};
};

struct tagLOGIN_CASE
{
    const char* what;
    int role;
    const char* user;
    const char* generationKey; // the same on both sides
};
} // namespace

TEST_F(AsfSimPeerTest, BothRolesLogInWithTheirKeysAndSignedExchangesWork)
{
    const tagLOGIN_CASE cases[] = {
        {"administrator, empty name, no generation key", ASF_ROLE_INDEX_ADMINISTRATOR, "", ""},
        {"administrator, 16-character name, generation key", ASF_ROLE_INDEX_ADMINISTRATOR, NAME_16,
         GENERATION_KEY},
        {"operator, empty name, generation key", ASF_ROLE_INDEX_OPERATOR, "", GENERATION_KEY},
        {"operator, 16-character name, no generation key", ASF_ROLE_INDEX_OPERATOR, NAME_16, ""},
    };
    for (const tagLOGIN_CASE& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<std::string> options{"--admin-key", KEY_1,     "--operator-key",
                                         KEY_2,         "--state", "3"};
        if (*c.generationKey)
            options.insert(options.end(), {"--generation-key", c.generationKey});
        if (*c.user)
            options.insert(options.end(), {"--user", c.user}); // only that name is let in
        StartSim(options);
        tagASF_CREDENTIALS credentials;
        credentials.roleIndex = c.role;
        credentials.userName = c.user;
        credentials.administratorKey = KEY_1;
        credentials.operatorKey = KEY_2;
        credentials.generationKey = c.generationKey;
        auto session = MakeSession();
        ASSERT_TRUE(session->OpenSession(credentials)) << session->LastReason();
        EXPECT_TRUE(session->IsEstablished());
        EXPECT_TRUE(session->IsPongReceived());
        EXPECT_TRUE(session->IsRspSupported());
        CAsfSimStats stats = Stats();
        EXPECT_EQ(stats.Text("established"), "yes") << stats.Line();
        EXPECT_EQ(stats.Number("sessions"), 1);
        EXPECT_EQ(stats.Text("role"), c.role == ASF_ROLE_INDEX_ADMINISTRATOR ? "01" : "00");
        EXPECT_EQ(stats.Text("user"), c.user);
        EXPECT_EQ(stats.Number("auth-failures"), 0);

        // The integrity key both sides derived signs the state exchange.
        ASSERT_TRUE(session->PollSystemState()) << session->LastReason();
        EXPECT_EQ(session->GetStateCode(), 3);
        EXPECT_EQ(session->GetSavedCredentials(), credentials);
        session->CloseSession();
        EXPECT_FALSE(session->IsEstablished());
        stats = Stats();
        EXPECT_EQ(stats.Number("closes"), 1) << stats.Line();
        EXPECT_EQ(stats.Text("established"), "no");
        EXPECT_EQ(stats.Number("rejected"), 0) << stats.Text("last-reject");
        ASSERT_TRUE(sim.Stop());
    }
}

TEST_F(AsfSimPeerTest, WrongKeyIsRefusedAtTheAuthenticationCode)
{
    StartSim({"--admin-key", KEY_1, "--operator-key", KEY_2});
    auto session = MakeSession();
    tagASF_CREDENTIALS wrong = Administrator();
    wrong.administratorKey = KEY_2; // the operator's key for the administrator role
    EXPECT_FALSE(session->OpenSession(wrong));
    EXPECT_FALSE(session->IsEstablished());
    tagASF_CREDENTIALS operatorWithAdminKey = Administrator();
    operatorWithAdminKey.roleIndex = ASF_ROLE_INDEX_OPERATOR;
    operatorWithAdminKey.operatorKey = KEY_1;
    EXPECT_FALSE(session->OpenSession(operatorWithAdminKey));
    EXPECT_FALSE(session->IsEstablished());
    CAsfSimStats stats = Stats();
    EXPECT_EQ(stats.Text("established"), "no") << stats.Line();
    EXPECT_EQ(stats.Number("sessions"), 0);
    // The console stops at RAKP Message 2's code and never sends RAKP Message 3.
    EXPECT_EQ(stats.Number("auth-failures"), 0);

    // A generation key that differs: both sides think the exchange done, but the keys they
    // derived differ, so the first signed message is refused and fails.
    tagASF_CREDENTIALS badGeneration = Administrator();
    badGeneration.administratorKey = KEY_1;
    badGeneration.generationKey = GENERATION_KEY;
    ASSERT_TRUE(session->OpenSession(badGeneration));
    EXPECT_FALSE(session->PollSystemState());
    stats = Stats();
    EXPECT_EQ(stats.Text("last-reject"), "bad-integrity") << stats.Line();
    EXPECT_EQ(stats.Number("state-requests"), 0);
}

TEST_F(AsfSimPeerTest, PowerOperationsFollowTheCapabilityMask)
{
    struct tagOP
    {
        BOOL (CASFSession::*run)();
        BYTE type;
        int stateAfter;
        const char* refusal;
        const char* caption;
    };
    const tagOP ops[] = {
        {&CASFSession::PowerDown, ASF_MSG_POWER_DOWN, 5,
         "The host you connected to  does not support Power Down!.\n", "Power Down"},
        {&CASFSession::PowerUp, ASF_MSG_POWER_UP, 0,
         "The host you connected to  does not support Power up!.\n", "Power up"},
        {&CASFSession::Reset, ASF_MSG_RESET, 0,
         "The host you connected to  does not support Reset!.\n", "Reset"},
        {&CASFSession::PowerCycle, ASF_MSG_POWER_CYCLE, 0,
         "The host you connected to  does not support Power Cycle!.\n", "Power Cycle"},
    };
    for (const char* capabilities : {"FF", "0F", "00"})
    {
        SCOPED_TRACE(capabilities);
        StartSim({"--capabilities", capabilities});
        auto session = MakeSession();
        ASSERT_TRUE(session->OpenSession(Administrator())) << session->LastReason();
        const bool offered = std::string(capabilities) != "00";
        long count = 0;
        for (const tagOP& op : ops)
        {
            SCOPED_TRACE(op.caption);
            ASSERT_TRUE(sim.Set("state 3")) << sim.LastError();
            const std::size_t boxesBefore = boxes.Shown().size();
            EXPECT_TRUE((session.get()->*op.run)()) << session->LastReason();
            CAsfSimStats stats = Stats();
            ASSERT_TRUE(session->PollSystemState()) << session->LastReason();
            if (offered)
            {
                ++count;
                EXPECT_EQ(boxes.Shown().size(), boxesBefore);
                char type[3];
                std::snprintf(type, sizeof type, "%02x", op.type);
                EXPECT_EQ(stats.Text("last-power"), type) << stats.Line();
                EXPECT_EQ(stats.Number("state"), op.stateAfter);
                EXPECT_EQ(session->GetStateCode(), op.stateAfter);
            }
            else
            {
                ASSERT_EQ(boxes.Shown().size(), boxesBefore + 1);
                EXPECT_EQ(boxes.Shown().back().text, op.refusal);
                EXPECT_EQ(boxes.Shown().back().caption, op.caption);
                EXPECT_EQ(boxes.Shown().back().type, MB_OK | MB_ICONWARNING);
                EXPECT_EQ(stats.Text("last-power"), "none");
                EXPECT_EQ(session->GetStateCode(), 3) << "nothing was done";
            }
            EXPECT_EQ(stats.Number("power-ops"), count);
        }
        EXPECT_TRUE(session->IsEstablished());
        session->CloseSession();
        ASSERT_TRUE(sim.Stop());
    }
}

TEST_F(AsfSimPeerTest, PowerOperationWithoutSessionLogsInThroughTheDialog)
{
    StartSim();
    auto session = MakeSession();
    ASSERT_TRUE(session->OpenSocket());
    ASSERT_TRUE(session->PresencePing());
    ASSERT_TRUE(session->ReadCapabilities());
    CScriptedResponder responder(dialogs);
    responder.Queue({ASF_DIALOG_TITLE, "OK", {{"212", NAME_16}, {"209", ASFSIM_ADMIN_KEY}}});
    EXPECT_TRUE(session->PowerCycle()) << session->LastReason();
    EXPECT_EQ(responder.Shown().size(), 1u);
    EXPECT_TRUE(responder.Problems().empty());
    const CAsfSimStats stats = Stats();
    EXPECT_EQ(stats.Text("last-power"), "13") << stats.Line();
    EXPECT_EQ(stats.Text("user"), NAME_16);
}

TEST_F(AsfSimPeerTest, LostAcknowledgementIsMadeGoodByTheSecondSend)
{
    StartSim({"--state", "5"});
    auto session = MakeSession();
    // On the primary port: the Capabilities Request of the login.
    ASSERT_TRUE(sim.Set("drop-ack 1"));
    ASSERT_TRUE(session->OpenSession(Administrator())) << session->LastReason();
    CAsfSimStats stats = Stats();
    EXPECT_EQ(stats.Number("capabilities"), 2) << stats.Line();
    EXPECT_EQ(stats.Number("sends-dropped"), 1);

    // In the session: the retry repeats the datagram, which is answered without a second
    // power-up.
    ASSERT_TRUE(sim.Set("drop-ack 1"));
    EXPECT_TRUE(session->PowerUp()) << session->LastReason();
    stats = Stats();
    EXPECT_EQ(stats.Number("power-ops"), 1) << stats.Line();
    EXPECT_EQ(stats.Number("duplicates"), 1);
    EXPECT_EQ(stats.Number("sends-dropped"), 2);

    // A lost reply is made good the same way, and the state read is the new one.
    ASSERT_TRUE(sim.Set("drop-reply 1"));
    ASSERT_TRUE(session->PollSystemState()) << session->LastReason();
    EXPECT_EQ(session->GetStateCode(), 0);
    EXPECT_EQ(Stats().Number("sends-dropped"), 3);

    // Both attempts lost: the exchange fails, and the session goes on after it.
    ASSERT_TRUE(sim.Set("drop-ack 2"));
    EXPECT_FALSE(session->PowerDown());
    EXPECT_TRUE(session->IsEstablished());
    EXPECT_TRUE(session->PollSystemState()) << session->LastReason();
    EXPECT_EQ(session->GetStateCode(), 5) << "the power-down itself arrived";
    EXPECT_EQ(Stats().Number("rejected"), 0);
}

TEST_F(AsfSimPeerTest, OversizedReplyAndBadIntegrityFailTheStateRequest)
{
    StartSim({"--state", "9"});
    auto session = MakeSession();
    ASSERT_TRUE(session->OpenSession(Administrator())) << session->LastReason();
    ASSERT_TRUE(session->PollSystemState());
    std::string state, watchdog;
    ASSERT_TRUE(session->GetStateTexts(state, watchdog));
    EXPECT_EQ(state, "sleep(G1)");
    EXPECT_EQ(watchdog, "Watchdog Timer not Expired");

    ASSERT_TRUE(sim.Set("big-reply 1"));
    EXPECT_FALSE(session->PollSystemState()) << "8 bytes into a 4-byte buffer";
    EXPECT_EQ(session->GetStateCode(), 0x0F);
    EXPECT_FALSE(session->GetStateTexts(state, watchdog));
    EXPECT_EQ(Stats().Number("state-requests"), 2) << "one reply arrived, whole";
    ASSERT_TRUE(sim.Set("big-reply 0"));
    ASSERT_TRUE(session->PollSystemState());
    EXPECT_TRUE(sink.Messages().empty()) << "the ping after the failure was answered";

    // Every signed reply now fails its check: the state request's, and that of the presence
    // ping that follows inside the session, so the machine counts as gone.
    ASSERT_TRUE(sim.Set("bad-integrity 1"));
    EXPECT_FALSE(session->PollSystemState());
    EXPECT_EQ(session->GetStateCode(), 0x0F);
    // Both attempts of each reached the simulator; each second one was a retransmission it
    // answered again without counting it twice.
    const CAsfSimStats stats = Stats();
    EXPECT_EQ(stats.Number("state-requests"), 4) << stats.Line();
    EXPECT_EQ(stats.Number("duplicates"), 2);
    ASSERT_EQ(sink.CountOf(WM_COMMAND), 1u);
    EXPECT_EQ(LOWORD(sink.Messages()[0].wParam), ASF_ID_DISCONNECT_CURRENT_SERVER);
    ASSERT_TRUE(sim.Set("bad-integrity 0"));
    EXPECT_TRUE(session->PollSystemState()) << session->LastReason();
}

TEST_F(AsfSimPeerTest, SilentAdapter)
{
    StartSim({"--silent"});
    auto session = MakeSession();
    ASSERT_TRUE(session->OpenSocket());
    EXPECT_FALSE(session->PresencePing());
    EXPECT_FALSE(session->IsPongReceived());
    EXPECT_FALSE(session->OpenSession(Administrator()));
    EXPECT_FALSE(session->IsEstablished());
    // Ping twice (no acknowledgement, no pong), then the Capabilities Request twice; then
    // the login stops. Every datagram arrived and was dropped.
    CAsfSimStats stats = Stats();
    EXPECT_EQ(stats.Number("pings"), 0) << stats.Line();
    EXPECT_EQ(stats.Number("received"), 6);
    EXPECT_EQ(stats.Number("dropped"), 6);
    EXPECT_EQ(stats.Number("acks-sent"), 0);

    // A silent ping alone does not stop the login.
    ASSERT_TRUE(sim.Set("silent 0"));
    ASSERT_TRUE(sim.Set("drop-reply 2")); // both pongs
    EXPECT_TRUE(session->OpenSession(Administrator())) << session->LastReason();
    EXPECT_FALSE(session->IsPongReceived());
}

TEST_F(AsfSimPeerTest, MachineThatGoesAwayWhilePolledIsDisconnected)
{
    StartSim();
    auto server = MakeServer(0);
    ASSERT_TRUE(server->ConnectWith(Administrator())) << server->Session().LastReason();
    ASSERT_TRUE(sim.Set("silent 1"));
    ASSERT_TRUE(server->StartPoll());
    ASSERT_TRUE(sink.WaitFor(WM_COMMAND, 1, BOUND_MS));
    const auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(LOWORD(messages[0].wParam), ASF_ID_DISCONNECT_CURRENT_SERVER);
    EXPECT_EQ(messages[0].lParam, AsfPollCommandParam(server->GetServerTag()))
        << "the command names the server whose machine went away";
    EXPECT_TRUE(messages[0].sent);
    // The frame's handler disconnects that server.
    EXPECT_TRUE(server->Disconnect());
    EXPECT_FALSE(server->IsConnected());
    EXPECT_FALSE(server->Session().IsEstablished());
}

TEST_F(AsfSimPeerTest, PowerIndicationFollowsTheMachineWhenPollingIsOn)
{
    StartSim({"--state", "0"});
    auto server = MakeServer(1);
    EXPECT_FALSE(server->StartPoll()) << "not connected";
    ASSERT_TRUE(server->ConnectWith(Administrator())) << server->Session().LastReason();
    struct tagCASE
    {
        const char* state;
        int power;
    } cases[] = {{"0", 1}, {"5", 0}, {"9", 2}, {"8", 1}, {"10", 0}, {"13", 2}};
    for (const tagCASE& c : cases)
    {
        SCOPED_TRACE(c.state);
        ASSERT_TRUE(sim.Set(std::string("state ") + c.state));
        ASSERT_TRUE(server->Session().PollSystemState());
        EXPECT_EQ(server->GetPowerState(), c.power);
    }
    // A power-down seen through the next poll.
    ASSERT_TRUE(sim.Set("state 0"));
    ASSERT_TRUE(server->PowerDown());
    ASSERT_TRUE(server->Session().PollSystemState());
    EXPECT_EQ(server->GetPowerState(), 0);
    server->SetSettings({0, 0});
    EXPECT_EQ(server->GetPollPeriodMs(), 30000u) << "an interval of 0 reads as 30 s";
    EXPECT_EQ(server->GetPowerState(), 2) << "polling off";
    ASSERT_TRUE(server->PowerUp());
    ASSERT_TRUE(server->Session().PollSystemState());
    EXPECT_EQ(server->GetPowerState(), 2);
    server->SetSettings({5, 1});
    EXPECT_EQ(server->GetPollPeriodMs(), 5000u);
    EXPECT_EQ(server->GetPowerState(), 1);

    // A failed power operation leaves the server connected while the session stands.
    ASSERT_TRUE(sim.Set("drop-ack 2"));
    EXPECT_FALSE(server->Reset());
    EXPECT_TRUE(server->IsConnected());
    EXPECT_TRUE(server->Disconnect());
    EXPECT_EQ(Stats().Number("closes"), 1);
}
