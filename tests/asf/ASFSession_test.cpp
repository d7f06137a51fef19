// CASFSession over the fake network: the exchange rules (acknowledgement, retry, reply size,
// source filter, integrity), the whole session setup for both roles, the power operations'
// capability rule and login, and the poll that finds the machine gone.
#include "asf/ASFSession.h"

#include "asf/AsfCredentials.h"
#include "asf/AsfStates.h"
#include "asf/DlgASFSession.h"
#include "platform/ui/DialogService.h"
#include "platform/ui/ScriptedResponder.h"
#include "tests/asf/FakeAdapter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FixedRandom.h"
#include "tests/support/Hex.h"
#include "tests/support/RecordingSink.h"

#include <gtest/gtest.h>

namespace
{
constexpr DWORD kBound = 5000;

class ASFSessionTest : public ::testing::Test
{
protected:
    std::unique_ptr<CASFSession> Make()
    {
        tagASF_SESSION_ENV env;
        env.clock = &clock;
        env.random = &random;
        env.sockets = net.Factory();
        env.dialogs = &dialogs;
        env.messageBox = &boxes;
        env.sink = &sink;
        return std::make_unique<CASFSession>(ADAPTER_ADDRESS, std::move(env));
    }

    tagASF_CREDENTIALS Credentials(int role)
    {
        tagASF_CREDENTIALS c;
        c.roleIndex = role;
        c.userName = role == ASF_ROLE_INDEX_ADMINISTRATOR ? "administrator" : "op";
        c.administratorKey = "0102030405060708090a0b0c0d0e0f1011121314";
        c.operatorKey = "ABC";
        c.generationKey = "";
        ParseAsfKey(role == ASF_ROLE_INDEX_ADMINISTRATOR ? c.administratorKey : c.operatorKey,
                    adapter.kr);
        return c;
    }

    // A plain ack or reply datagram from the adapter (outside RSP).
    void QueueAck(BYTE sequence, DWORD from = ADAPTER_ADDRESS, WORD port = RMCP_PRIMARY_PORT)
    {
        net.Queue({0x06, 0x00, sequence, 0x86}, from, port);
    }
    void QueueReply(BYTE type, BYTE sequence, std::vector<BYTE> data)
    {
        BYTE out[ASF_BUFFER_SIZE];
        std::size_t n = BuildAsfMessage(type, sequence, data.data(), data.size(), out, sizeof out);
        net.Queue({out, out + n}, ADAPTER_ADDRESS, RMCP_PRIMARY_PORT);
    }

    CFakeClock clock;
    CFixedRandom random;
    CFakeNetwork net;
    CDialogService dialogs{nullptr};
    CRecordingMessageBoxes boxes;
    CRecordingSink sink{nullptr};
    tagFAKE_ADAPTER adapter;
};
} // namespace

TEST_F(ASFSessionTest, LostAcknowledgementCostsASecondIdenticalSend)
{
    auto session = Make();
    ASSERT_TRUE(session->OpenSocket());
    const BYTE sequence = PeekRmcpSequence();
    net.QueueStatus(DatagramStatus::TimedOut); // the first ack never comes
    QueueAck(sequence);
    QueueReply(ASF_MSG_CAPABILITIES_RESPONSE, sequence, std::vector<BYTE>(16, 0x0F));
    BYTE caps[16];
    std::size_t size = sizeof caps;
    ASSERT_TRUE(
        session->Transact(ASF_MSG_CAPABILITIES_REQUEST, nullptr, 0, TRUE, caps, &size, TRUE));
    EXPECT_EQ(size, 16u);
    const auto sent = net.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], sent[1]);
    EXPECT_EQ(sent[0][2], sequence);
    EXPECT_EQ(net.lastPort, RMCP_PRIMARY_PORT);

    // No answer at all: two sends, then failure.
    EXPECT_FALSE(
        session->Transact(ASF_MSG_CAPABILITIES_REQUEST, nullptr, 0, TRUE, caps, &size, TRUE));
    EXPECT_EQ(net.Sent().size(), 4u);
}

TEST_F(ASFSessionTest, PingWantsNoAcknowledgement)
{
    auto session = Make();
    ASSERT_TRUE(session->OpenSocket());
    const BYTE before = PeekRmcpSequence();
    QueueReply(ASF_MSG_PRESENCE_PONG, 0xFF, FromHex("000011be 00000000 00 80 000000000000"));
    ASSERT_TRUE(session->PresencePing());
    EXPECT_EQ(ToHex(net.Sent()[0]), "06 00 ff 06 00 00 11 be 80 ff 00 00");
    EXPECT_EQ(PeekRmcpSequence(), before);
    EXPECT_TRUE(session->IsPongReceived());
    EXPECT_TRUE(session->IsRspSupported());
    EXPECT_FALSE(session->IsIpmiSupported());
}

TEST_F(ASFSessionTest, ReplyLargerThanTheCallersBufferFails)
{
    auto session = Make();
    ASSERT_TRUE(session->OpenSocket());
    const BYTE sequence = PeekRmcpSequence();
    QueueAck(sequence);
    QueueReply(ASF_MSG_SYSTEM_STATE_RESPONSE, sequence, std::vector<BYTE>(16, 0x01));
    BYTE state[4];
    std::size_t size = sizeof state;
    EXPECT_FALSE(
        session->Transact(ASF_MSG_SYSTEM_STATE_REQUEST, nullptr, 0, TRUE, state, &size, TRUE));
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(net.Sent().size(), 1u) << "the reply arrived; only the size is wrong";
}

TEST_F(ASFSessionTest, DatagramsFromElsewhereAreIgnored)
{
    auto session = Make();
    ASSERT_TRUE(session->OpenSocket());
    const BYTE sequence = PeekRmcpSequence();
    QueueAck(sequence, 0x7F000009);            // another host
    QueueAck(sequence, ADAPTER_ADDRESS, 7000); // another port
    QueueAck(sequence);
    QueueReply(ASF_MSG_SYSTEM_STATE_RESPONSE, sequence, {0x05, 0x01, 0, 0});
    BYTE state[4];
    std::size_t size = sizeof state;
    ASSERT_TRUE(
        session->Transact(ASF_MSG_SYSTEM_STATE_REQUEST, nullptr, 0, TRUE, state, &size, TRUE));
    EXPECT_EQ(net.Sent().size(), 1u);
    EXPECT_EQ(state[0], 0x05);

    // A stray acknowledgement of another message consumes the attempt.
    const BYTE next = PeekRmcpSequence();
    QueueAck(static_cast<BYTE>(next + 1));
    QueueAck(next);
    QueueReply(ASF_MSG_SYSTEM_STATE_RESPONSE, next, {0x00, 0x00, 0, 0});
    size = sizeof state;
    ASSERT_TRUE(
        session->Transact(ASF_MSG_SYSTEM_STATE_REQUEST, nullptr, 0, TRUE, state, &size, TRUE));
    EXPECT_EQ(net.Sent().size(), 3u);
}

TEST_F(ASFSessionTest, OpensSessionForEachRoleAndSignsWhatFollows)
{
    for (int role : {ASF_ROLE_INDEX_ADMINISTRATOR, ASF_ROLE_INDEX_OPERATOR})
    {
        SCOPED_TRACE(role);
        adapter = tagFAKE_ADAPTER{};
        adapter.Attach(net);
        auto session = Make();
        const tagASF_CREDENTIALS c = Credentials(role);
        ASSERT_TRUE(session->OpenSession(c)) << session->LastReason();
        EXPECT_TRUE(session->IsEstablished());
        EXPECT_TRUE(adapter.rakp3Good);
        EXPECT_EQ(adapter.role, role == ASF_ROLE_INDEX_ADMINISTRATOR ? 0x01 : 0x00);
        EXPECT_EQ(adapter.user, c.userName);
        EXPECT_EQ(adapter.types, (std::vector<BYTE>{0x80, 0x81, 0x83, 0xC0, 0xC2}));
        EXPECT_EQ(adapter.ports, (std::vector<WORD>{623, 623, 664, 664, 664}));
        EXPECT_EQ(session->GetSavedCredentials(), c);

        // The state request now goes out numbered, signed with the SIK, and is answered.
        ASSERT_TRUE(session->PollSystemState());
        const auto sent = net.Sent();
        const std::vector<BYTE>& last = sent[sent.size() - 2]; // before the reply's ack
        ASSERT_EQ(last.size(), 8u + 12 + 2 + 2 + 12);
        EXPECT_EQ(ToHex(last.data(), 4), "5a 5b 5c 5d");
        EXPECT_EQ(ToHex(last.data() + 4, 4), "00 00 00 01");
        EXPECT_TRUE(CheckRspIntegrity(adapter.sik, last.data(), last.size()));
        EXPECT_EQ(sent.back().size(), 28u) << "the secured acknowledgement of the reply";
        EXPECT_TRUE(CheckRspIntegrity(adapter.sik, sent.back().data(), 28));

        session->CloseSession();
        EXPECT_FALSE(session->IsEstablished());
        EXPECT_EQ(adapter.types.back(), ASF_MSG_CLOSE_SESSION_REQUEST);
    }
}

TEST_F(ASFSessionTest, UnansweredPingDoesNotPreventTheSession)
{
    adapter.answerPing = false;
    adapter.Attach(net);
    auto session = Make();
    ASSERT_TRUE(session->OpenSession(Credentials(ASF_ROLE_INDEX_ADMINISTRATOR)));
    EXPECT_FALSE(session->IsPongReceived());
}

TEST_F(ASFSessionTest, WrongKeyFailsAtTheAuthenticationCode)
{
    adapter.Attach(net);
    auto session = Make();
    tagASF_CREDENTIALS c = Credentials(ASF_ROLE_INDEX_ADMINISTRATOR);
    c.administratorKey = "ff";
    EXPECT_FALSE(session->OpenSession(c));
    EXPECT_FALSE(session->IsEstablished());
    EXPECT_NE(session->LastReason().find("authentication code"), std::string::npos);
    EXPECT_EQ(adapter.types.back(), ASF_MSG_RAKP_1) << "no RAKP Message 3 after a mismatch";
}

TEST_F(ASFSessionTest, RepliesFailingIntegrityAreDropped)
{
    adapter.Attach(net);
    auto session = Make();
    ASSERT_TRUE(session->OpenSession(Credentials(ASF_ROLE_INDEX_ADMINISTRATOR)));
    adapter.corruptMac = true;
    const std::size_t before = net.Sent().size();
    BYTE state[4];
    std::size_t size = sizeof state;
    EXPECT_FALSE(
        session->Transact(ASF_MSG_SYSTEM_STATE_REQUEST, nullptr, 0, TRUE, state, &size, TRUE));
    EXPECT_EQ(net.Sent().size() - before, 2u) << "two attempts, no ack of a forged reply";
    EXPECT_EQ(session->GetStateCode(), ASF_STATE_INVALID);
}

TEST_F(ASFSessionTest, PowerOperationsFollowTheCapabilityByte)
{
    adapter.capabilities = 0x0F; // secure-port bits only
    adapter.Attach(net);
    auto session = Make();
    ASSERT_TRUE(session->OpenSession(Credentials(ASF_ROLE_INDEX_ADMINISTRATOR)));
    EXPECT_TRUE(session->PowerUp());
    EXPECT_TRUE(session->PowerDown());
    EXPECT_TRUE(session->Reset());
    EXPECT_TRUE(session->PowerCycle());
    const std::vector<BYTE> tail(adapter.types.end() - 4, adapter.types.end());
    EXPECT_EQ(tail, (std::vector<BYTE>{0x11, 0x12, 0x10, 0x13}));
    EXPECT_TRUE(boxes.Shown().empty());

    adapter = tagFAKE_ADAPTER{};
    adapter.capabilities = 0xDD; // no power-down bit on either port
    adapter.Attach(net);
    session = Make();
    ASSERT_TRUE(session->OpenSession(Credentials(ASF_ROLE_INDEX_ADMINISTRATOR)));
    const std::size_t sent = net.Sent().size();
    EXPECT_TRUE(session->PowerDown()) << "refused with a box counts as done";
    EXPECT_EQ(net.Sent().size(), sent);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "The host you connected to  does not support Power Down!.\n");
    EXPECT_EQ(boxes.Shown()[0].caption, "Power Down");
    EXPECT_EQ(boxes.Shown()[0].type, MB_OK | MB_ICONWARNING);
}

TEST_F(ASFSessionTest, PowerUpWithoutSessionAsksForCredentials)
{
    adapter.Attach(net);
    CScriptedResponder responder(dialogs);
    responder.Queue({ASF_DIALOG_TITLE, "Cancel", {}});
    auto session = Make();
    EXPECT_FALSE(session->PowerUp());
    ASSERT_EQ(responder.Shown().size(), 1u);
    EXPECT_TRUE(net.Sent().empty());

    Credentials(ASF_ROLE_INDEX_ADMINISTRATOR);
    responder.Queue(
        {ASF_DIALOG_TITLE,
         "OK",
         {{"212", "administrator"}, {"209", "0102030405060708090a0b0c0d0e0f1011121314"}}});
    EXPECT_TRUE(session->PowerUp());
    EXPECT_TRUE(session->IsEstablished());
    EXPECT_EQ(adapter.types.back(), ASF_MSG_POWER_UP);
}

TEST_F(ASFSessionTest, PollThatFindsTheMachineGoneSendsDisconnect)
{
    adapter.Attach(net);
    auto session = Make();
    ASSERT_TRUE(session->OpenSession(Credentials(ASF_ROLE_INDEX_ADMINISTRATOR)));
    adapter.state = 0x09;
    adapter.watchdog = 0x01;
    ASSERT_TRUE(session->StartPoll());
    session->CloseSession(); // waits for the poll; it must not kill or lose it
    ASSERT_TRUE(session->OpenSession(Credentials(ASF_ROLE_INDEX_ADMINISTRATOR)));
    ASSERT_TRUE(session->PollSystemState());
    std::string state, watchdog;
    ASSERT_TRUE(session->GetStateTexts(state, watchdog));
    EXPECT_EQ(state, "sleep(G1)");
    EXPECT_EQ(watchdog, "Watchdog Timer Expired");

    adapter.silent = true;
    ASSERT_TRUE(session->StartPoll());
    ASSERT_TRUE(sink.WaitFor(WM_COMMAND, 1, kBound));
    const auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].sent);
    EXPECT_EQ(LOWORD(messages[0].wParam), 32782);
    session->CloseSession();
    EXPECT_FALSE(session->GetStateTexts(state, watchdog));
    EXPECT_EQ(session->GetStateCode(), ASF_STATE_INVALID);
}
