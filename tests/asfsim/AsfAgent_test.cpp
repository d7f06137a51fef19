// The simulator's agent driven datagram by datagram as a console would drive it: the exact
// bytes of its plain replies, a whole RSP session with the keys worked out independently,
// the checks it makes on signed messages, and the faults it injects.
#include "tests/asfsim/AsfConsoleSide.h"
#include "tests/support/FixedRandom.h"
#include "tests/support/Hex.h"
#include "tools/asf-sim/AsfAgent.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace asfconsole;

namespace
{
using Datagrams = std::vector<std::vector<BYTE>>;

constexpr BYTE SID_R[4] = {0x00, 0x00, 0x12, 0x34};
constexpr BYTE RR[16] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                         0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

class AsfAgentTest : public ::testing::Test
{
protected:
    Datagrams Primary(const std::vector<BYTE>& datagram)
    {
        return Agent().HandleDatagram(AsfChannel::Primary, datagram.data(), datagram.size());
    }
    Datagrams Secure(const std::vector<BYTE>& datagram)
    {
        return Agent().HandleDatagram(AsfChannel::Secure, datagram.data(), datagram.size());
    }
    CAsfAgent& Agent()
    {
        if (!m_agent)
            m_agent = std::make_unique<CAsfAgent>(m_options, m_random);
        return *m_agent;
    }

    // Open Session and RAKP Messages 1-3 as the console runs them; TRUE once RAKP 3 was
    // acknowledged. Leaves SIDm and the SIK the console would hold.
    bool Handshake(BYTE role, const BYTE key[20], const std::string& name,
                   const BYTE generationKey[20])
    {
        Datagrams open = Secure(SetupFrame(Message(1, 0x83, OpenSessionRequest(SID_R))));
        if (open.size() != 2 || open[1].size() != 8 + 12 + 28 || open[1][20] != 0x00)
            return false;
        std::memcpy(m_sidM, open[1].data() + 20 + 8, 4);

        Datagrams rakp2 = Secure(SetupFrame(Message(2, 0xC0, Rakp1(m_sidM, RR, role, name))));
        if (rakp2.size() != 2 || rakp2[1].size() != 8 + 12 + 52 || rakp2[1][20] != 0x00)
            return false;
        const BYTE* d = rakp2[1].data() + 20;
        BYTE rm[16], guid[16];
        std::memcpy(rm, d + 8, 16);
        std::memcpy(guid, d + 24, 16);

        std::vector<BYTE> input(SID_R, SID_R + 4); // SIDr | SIDm | Rr | Rm | GUIDm | ...
        Put(input, m_sidM, 4);
        Put(input, RR, 16);
        Put(input, rm, 16);
        Put(input, guid, 16);
        PutRoleAndName(input, role, name);
        BYTE code[20];
        HmacSha1(input.data(), input.size(), key, 20, code);
        m_rakp2CodeOk = std::memcmp(code, d + 40, 12) == 0;

        input.assign(rm, rm + 16); // Rm | SIDr | ROLEm | ULENGTHm | UNAMEm
        Put(input, SID_R, 4);
        PutRoleAndName(input, role, name);
        HmacSha1(input.data(), input.size(), key, 20, code);
        std::vector<BYTE> rakp3{0x00, 0, 0, 0};
        Put(rakp3, m_sidM, 4);
        Put(rakp3, code, 12);
        std::vector<BYTE> rakp3Datagram = SetupFrame(Message(3, 0xC2, rakp3));
        m_rakp3 = Secure(rakp3Datagram);

        input.assign(RR, RR + 16); // SIK over Rr | Rm | ROLEm | ULENGTHm | UNAMEm
        Put(input, rm, 16);
        PutRoleAndName(input, role, name);
        HmacSha1(input.data(), input.size(), generationKey, 20, m_sik);
        std::vector<BYTE> expectedAck(rakp3Datagram.begin(), rakp3Datagram.begin() + 12);
        expectedAck[11] = 0x86;
        return !m_rakp3.empty() && m_rakp3[0] == expectedAck;
    }

    bool AdminHandshake(const std::string& name = "admin")
    {
        return Handshake(0x01, m_options.adminKey, name, m_options.generationKey);
    }

    Datagrams SendSigned(BYTE rmcpSequence, BYTE type)
    {
        return Secure(Signed(m_sidM, ++m_sequence, Message(rmcpSequence, type), m_sik));
    }

    tagSIM_OPTIONS m_options;
    CFixedRandom m_random{0x40};
    std::unique_ptr<CAsfAgent> m_agent;
    BYTE m_sidM[4] = {};
    BYTE m_sik[20] = {};
    DWORD m_sequence = 0;
    bool m_rakp2CodeOk = false;
    Datagrams m_rakp3;
};

TEST_F(AsfAgentTest, PlainRepliesAreByteExact)
{
    m_options.ipmi = true;
    m_options.capabilities = 0x0F;
    m_options.state = 9;
    m_options.watchdog = true;

    // A ping wants no acknowledgement: the pong alone, sequence FFh, the ping's tag.
    Datagrams pong = Primary(Message(0xFF, 0x80));
    ASSERT_EQ(1u, pong.size());
    EXPECT_EQ("06 00 ff 06 00 00 11 be 40 ff 00 10"
              " 00 00 11 be 00 00 00 00 81 80 00 00 00 00 00 00",
              ToHex(pong[0]));

    Datagrams caps = Primary(Message(0x05, 0x81));
    ASSERT_EQ(2u, caps.size());
    EXPECT_EQ("06 00 05 86", ToHex(caps[0]));
    EXPECT_EQ("06 00 ff 06 00 00 11 be 41 05 00 10"
              " 00 00 11 be 00 00 00 00 00 00 0f 00 00 00 00 00",
              ToHex(caps[1]));

    Datagrams state = Primary(Message(0x06, 0x82));
    ASSERT_EQ(2u, state.size());
    EXPECT_EQ("06 00 ff 06 00 00 11 be 42 06 00 04 09 01 00 00", ToHex(state[1]));

    // The control channel changes what the next replies say.
    EXPECT_EQ("ok", Agent().Control("rsp 0"));
    EXPECT_EQ("ok", Agent().Control("big-reply 1"));
    EXPECT_EQ(0x00, Primary(Message(0xFF, 0x80))[0][21]);
    EXPECT_EQ("06 00 ff 06 00 00 11 be 42 07 00 08 09 01 00 00 00 00 00 00",
              ToHex(Primary(Message(0x07, 0x82))[1]));
}

TEST_F(AsfAgentTest, MalformedAndUnsessionedMessagesGetNoAnswer)
{
    struct tagCASE
    {
        const char* name;
        std::vector<BYTE> datagram;
        const char* reason;
    };
    std::vector<BYTE> badIana = Message(1, 0x81);
    badIana[7] = 0xBF;
    std::vector<BYTE> longData = Message(1, 0x81);
    longData[11] = 1;
    std::vector<BYTE> badVersion = Message(1, 0x81);
    badVersion[0] = 0x07;
    const tagCASE cases[] = {
        {"short", {0x06, 0x00, 0x01}, "short-rmcp"},
        {"version", badVersion, "rmcp-version"},
        {"iana", badIana, "iana"},
        {"data past the end", longData, "data-length"},
        {"power op on the primary port", Message(1, 0x12), "power-op-outside-session"},
        {"unknown type", Message(1, 0x55), "unexpected-message"},
    };
    for (const tagCASE& c : cases)
    {
        EXPECT_TRUE(Primary(c.datagram).empty()) << c.name;
        EXPECT_EQ(c.reason, Agent().Stats().lastReject) << c.name;
    }
    EXPECT_TRUE(Secure(SetupFrame(Message(1, 0x11))).empty());
    EXPECT_EQ("needs-session", Agent().Stats().lastReject);
    EXPECT_EQ(0u, Agent().Stats().powerOps);
}

TEST_F(AsfAgentTest, AdministratorSessionSignsEverythingAndRunsPowerOperations)
{
    m_options.sendRakp4 = true;
    ASSERT_TRUE(AdminHandshake());
    EXPECT_TRUE(m_rakp2CodeOk);
    ASSERT_EQ(2u, m_rakp3.size()); // the acknowledgement, then RAKP Message 4
    EXPECT_EQ(0xC3, m_rakp3[1][8 + 8]);
    EXPECT_EQ(0x00, m_rakp3[1][8 + 12]);
    tagSIM_STATS stats = Agent().Stats();
    EXPECT_TRUE(stats.established);
    EXPECT_EQ(0x01, stats.lastRole);
    EXPECT_EQ("admin", stats.lastUser);

    // A 12-byte request: 8 + 12 + 2 pad + 2 = 24, then the integrity data.
    Datagrams state = SendSigned(7, 0x82);
    ASSERT_EQ(2u, state.size());
    ASSERT_EQ(28u, state[0].size());
    EXPECT_EQ(0x86, state[0][11]);
    EXPECT_EQ("00 00 02 06", ToHex(state[0].data() + 12, 4));
    EXPECT_TRUE(IntegrityOk(state[0], m_sik));
    // The reply names the console's session and counts from 1.
    ASSERT_EQ(8u + 16 + 2 + 2 + 12, state[1].size());
    EXPECT_EQ(ToHex(SID_R, 4) + " 00 00 00 01", ToHex(state[1].data(), 8));
    EXPECT_EQ(0x42, state[1][8 + 8]);
    EXPECT_TRUE(IntegrityOk(state[1], m_sik));

    // The console acknowledges the reply by echoing its header.
    std::vector<BYTE> ack(state[1].begin(), state[1].begin() + 12);
    ack[11] |= 0x80;
    ack.insert(ack.end(), {0x00, 0x00, 0x02, 0x06});
    BYTE icv[12];
    HmacSha1_96(ack.data(), ack.size(), m_sik, 20, icv);
    ack.insert(ack.end(), icv, icv + 12);
    EXPECT_TRUE(Secure(ack).empty());
    EXPECT_EQ(1u, Agent().Stats().acksReceived);

    Datagrams down = SendSigned(8, 0x12);
    ASSERT_EQ(1u, down.size());
    EXPECT_TRUE(IntegrityOk(down[0], m_sik));
    EXPECT_EQ(5, Agent().Stats().state);
    EXPECT_EQ(0x05, Primary(Message(10, 0x82))[1][12]);
    SendSigned(11, 0x13);
    stats = Agent().Stats();
    EXPECT_EQ(0, stats.state);
    EXPECT_EQ(2u, stats.powerOps);
    EXPECT_EQ(0x13, stats.lastPowerOp);

    // Close is acknowledged with the session key, then the session is gone.
    Datagrams close = SendSigned(12, 0x84);
    ASSERT_EQ(1u, close.size());
    EXPECT_TRUE(IntegrityOk(close[0], m_sik));
    EXPECT_FALSE(Agent().Stats().established);
    EXPECT_TRUE(SendSigned(13, 0x11).empty());
    EXPECT_EQ("no-session", Agent().Stats().lastReject);
}

TEST_F(AsfAgentTest, SignedMessagesAreChecked)
{
    ASSERT_TRUE(AdminHandshake());
    std::vector<BYTE> good = Signed(m_sidM, 5, Message(1, 0x82), m_sik);
    ASSERT_EQ(2u, Secure(good).size());

    struct tagCASE
    {
        const char* name;
        std::vector<BYTE> datagram;
        const char* reason;
    };
    BYTE otherSid[4] = {0x01, 0x02, 0x03, 0x04};
    BYTE wrongKey[20] = {};
    std::vector<BYTE> withoutTrailer(good.begin(), good.end() - 12);
    std::vector<BYTE> badPad = Signed(m_sidM, 6, Message(2, 0x82), m_sik);
    badPad[20] = 0x01;
    const tagCASE cases[] = {
        {"stale sequence", Signed(m_sidM, 5, Message(3, 0x82), m_sik), "stale-sequence"},
        {"other session", Signed(otherSid, 7, Message(3, 0x82), m_sik), "unknown-session"},
        {"no trailer", withoutTrailer, "bad-length"},
        {"pad not zero", badPad, "bad-pad"},
        {"bad integrity", Signed(m_sidM, 8, Message(3, 0x82), wrongKey), "bad-integrity"},
        {"setup message inside the session",
         Signed(m_sidM, 9, Message(3, 0x83, OpenSessionRequest(SID_R)), m_sik),
         "unexpected-message"},
    };
    for (const tagCASE& c : cases)
    {
        EXPECT_TRUE(Secure(c.datagram).empty()) << c.name;
        EXPECT_EQ(c.reason, Agent().Stats().lastReject) << c.name;
    }
    EXPECT_TRUE(Agent().Stats().established);
}

TEST_F(AsfAgentTest, RoleSelectsTheKeyAndTheUserIsChecked)
{
    m_options.user = "ops";
    // Operator authenticates with the Operator Key; the Administrator Key fails RAKP 3.
    EXPECT_TRUE(Handshake(0x00, m_options.operatorKey, "ops", m_options.generationKey));
    EXPECT_TRUE(m_rakp2CodeOk);
    EXPECT_EQ(0x00, Agent().Stats().lastRole);

    EXPECT_TRUE(Handshake(0x00, m_options.adminKey, "ops", m_options.generationKey));
    EXPECT_FALSE(m_rakp2CodeOk);
    tagSIM_STATS stats = Agent().Stats();
    EXPECT_FALSE(stats.established);
    EXPECT_EQ(1u, stats.authFailures);

    // Another name: RAKP Message 2 carries status 0Dh (unauthorized name).
    Datagrams open = Secure(SetupFrame(Message(1, 0x83, OpenSessionRequest(SID_R))));
    ASSERT_EQ(2u, open.size());
    Datagrams rakp2 =
        Secure(SetupFrame(Message(2, 0xC0, Rakp1(open[1].data() + 28, RR, 0x00, "root"))));
    ASSERT_EQ(2u, rakp2.size());
    EXPECT_EQ("c1 02 00 08 0d 00 00 00 " + ToHex(SID_R, 4), ToHex(rakp2[1].data() + 16, 12));
}

TEST_F(AsfAgentTest, OpenSessionRefusesOtherAlgorithms)
{
    std::vector<BYTE> request = OpenSessionRequest(SID_R);
    request[16] = 0x02; // not HMAC-SHA1-96
    Datagrams reply = Secure(SetupFrame(Message(1, 0x83, request)));
    ASSERT_EQ(2u, reply.size());
    EXPECT_EQ("43 01 00 08 05 00 00 00 " + ToHex(SID_R, 4), ToHex(reply[1].data() + 16, 12));
}

TEST_F(AsfAgentTest, InjectedFaults)
{
    // The first acknowledgement is lost; the console's retry of the same bytes gets the same
    // answer (same SIDm), not a second session.
    m_options.dropAck = 1;
    std::vector<BYTE> open = SetupFrame(Message(1, 0x83, OpenSessionRequest(SID_R)));
    Datagrams first = Secure(open);
    ASSERT_EQ(1u, first.size());
    Datagrams retry = Secure(open);
    ASSERT_EQ(2u, retry.size());
    EXPECT_EQ(first[0], retry[1]);
    EXPECT_EQ(1u, Agent().Stats().duplicates);

    EXPECT_EQ("ok", Agent().Control("bad-auth-code 1"));
    EXPECT_TRUE(AdminHandshake());
    EXPECT_FALSE(m_rakp2CodeOk);

    EXPECT_EQ("ok", Agent().Control("bad-auth-code 0"));
    EXPECT_EQ("ok", Agent().Control("bad-integrity 1"));
    ASSERT_TRUE(AdminHandshake());
    Datagrams state = SendSigned(4, 0x82);
    ASSERT_EQ(2u, state.size());
    EXPECT_FALSE(IntegrityOk(state[1], m_sik));

    EXPECT_EQ("ok", Agent().Control("drop-every 2"));
    unsigned answered = 0;
    for (int i = 0; i < 4; ++i)
        answered += Primary(Message(0xFF, 0x80)).empty() ? 0 : 1;
    EXPECT_EQ(2u, answered);

    EXPECT_EQ("ok", Agent().Control("silent 1"));
    EXPECT_TRUE(Primary(Message(0xFF, 0x80)).empty());
}

TEST(AsfSimOptions, CommandLineAndKeys)
{
    tagSIM_OPTIONS options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--port-rmcp", "0", "--port-rsp=40664", "--ipmi", "--no-rsp",
                                 "--capabilities", "0f", "--admin-key", "ABC", "--drop-ack=2",
                                 "--guid", "000102030405060708090a0b0c0d0e0f"},
                                options, help, error))
        << error;
    EXPECT_EQ(0, options.portRmcp);
    EXPECT_EQ(40664, options.portRsp);
    EXPECT_TRUE(options.ipmi);
    EXPECT_FALSE(options.rsp);
    EXPECT_EQ(0x0F, options.capabilities);
    EXPECT_EQ(2u, options.dropAck);
    EXPECT_EQ(0x0F, options.guid[15]);
    // Pairs from the start, an odd last digit a byte of its own, then zero bytes.
    EXPECT_EQ("ab 0c 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
              ToHex(options.adminKey, 20));
    EXPECT_EQ(0xBB, options.operatorKey[19]);

    const std::vector<std::string> bad[] = {
        {"--port-rmcp", "65536"}, {"--state"},  {"--admin-key", std::string(41, 'A')},
        {"--admin-key", "12G4"},  {"--ipmi=1"}, {"--frobnicate"},
        {"--guid", "0011"},
    };
    for (const std::vector<std::string>& args : bad)
    {
        tagSIM_OPTIONS other;
        EXPECT_FALSE(ParseSimOptions(args, other, help, error)) << args[0];
    }
}

TEST(AsfSimControl, RepliesOneLinePerCommand)
{
    CFixedRandom random;
    CAsfAgent agent(tagSIM_OPTIONS{}, random);
    EXPECT_EQ("ok", agent.Control("state 9"));
    EXPECT_EQ("ok", agent.Control("watchdog 1"));
    EXPECT_EQ("ok", agent.Control("capabilities 0F"));
    EXPECT_EQ("error: expected 0 or 1", agent.Control("silent yes"));
    EXPECT_EQ("error: expected a state code 0..255", agent.Control("state 256"));
    EXPECT_EQ("error: unknown command reboot", agent.Control("reboot now"));
    std::string stats = agent.Control("stats");
    EXPECT_EQ(0u, stats.find("stats received=0 "));
    EXPECT_NE(std::string::npos, stats.find(" state=9 watchdog=1 established=no role=none"));
    EXPECT_EQ(stats.size() - 6, stats.rfind(" user="));
}
} // namespace
