#pragma once
// An in-process ASF adapter on the fake datagram network: acknowledges, answers the presence,
// capabilities, state and session messages, checks the console's RAKP Message 3 and signs its
// replies with the session integrity key once the session is up. Its digests are computed
// here from HMAC-SHA1 directly; the framing comes from the console's own builders, which
// their golden tests pin. Failure branches are switched on by the test.
#include "asf/AsfFraming.h"
#include "asf/AsfSessionMessages.h"
#include "tests/support/FakeDatagramSocket.h"
#include "transport/crypto/Hmac.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

constexpr DWORD ADAPTER_ADDRESS = 0x7F000001; // 127.0.0.1

struct tagFAKE_ADAPTER
{
    // Set by the test before the exchange starts.
    BYTE kr[20] = {};
    BYTE kg[20] = {};
    BYTE capabilities = 0xFF;
    BYTE state = 0x00;
    BYTE watchdog = 0x00;
    bool answerPing = true;
    bool silent = false;     // nothing at all is answered
    bool corruptMac = false; // signed replies carry a wrong integrity code
    BYTE expectRole = 0x01;

    // What the adapter saw.
    std::vector<BYTE> types; // message types received (acks excluded)
    std::vector<WORD> ports; // the port of each
    bool rakp3Good = false;
    bool established = false;
    BYTE sik[20] = {};
    BYTE sidr[4] = {};
    BYTE rr[16] = {};
    BYTE role = 0;
    std::string user;
    DWORD replySequence = 0;

    void Attach(CFakeNetwork& net)
    {
        net.SetResponder([this](const std::vector<BYTE>& sent, CFakeNetwork& n)
                         { OnSend(sent, n); });
    }

    void OnSend(const std::vector<BYTE>& sent, CFakeNetwork& net)
    {
        const WORD port = net.lastPort;
        const bool rsp = port == RMCP_SECURE_PORT;
        const std::size_t base = rsp ? RSP_HEADER_SIZE : 0;
        if (silent || sent.size() < base + 4 || (sent[base + 3] & ASF_RMCP_ACK_BIT))
            return;
        const BYTE sequence = sent[base + 2];
        const BYTE type = sent[base + 8];
        const BYTE* data = sent.data() + base + ASF_HEADER_SIZE;
        types.push_back(type);
        ports.push_back(port);
        if (type == ASF_MSG_PRESENCE_PING && !answerPing)
            return;
        if (sequence != ASF_SEQUENCE_NO_ACK)
        {
            std::vector<BYTE> ack(sent.begin(), sent.begin() + static_cast<long>(base + 4));
            ack[base + 3] |= ASF_RMCP_ACK_BIT;
            net.Queue(ack, ADAPTER_ADDRESS, port);
        }
        std::vector<BYTE> reply;
        switch (type)
        {
        case ASF_MSG_PRESENCE_PING:
            reply = {0, 0, 0x11, 0xBE, 0, 0, 0, 0, 0x81, 0x80, 0, 0, 0, 0, 0, 0};
            break;
        case ASF_MSG_CAPABILITIES_REQUEST:
            reply.assign(16, 0);
            reply[10] = capabilities;
            break;
        case ASF_MSG_SYSTEM_STATE_REQUEST:
            reply = {state, watchdog, 0, 0};
            break;
        case ASF_MSG_OPEN_SESSION_REQUEST:
            std::memcpy(sidr, data, 4);
            reply = {0, 0, 0, 0, sidr[0], sidr[1], sidr[2], sidr[3], 0x5A, 0x5B, 0x5C, 0x5D, 1, 0,
                     0, 8, 1, 0, 0,       0,       2,       0,       0,    8,    1,    0,    0, 0};
            break;
        case ASF_MSG_RAKP_1:
            reply = Rakp2(data);
            break;
        case ASF_MSG_RAKP_3:
            CheckRakp3(data);
            return;
        default:
            return;
        }
        BYTE out[ASF_BUFFER_SIZE];
        std::size_t n = BuildAsfMessage(static_cast<BYTE>(AsfReplyType(type)), sequence,
                                        reply.data(), reply.size(), out, sizeof out);
        if (rsp)
        {
            tagRSP_STATE s;
            s.rspMode = true;
            s.established = established;
            std::memcpy(s.sessionId, sidr, 4);
            std::memcpy(s.key, sik, 20);
            s.sequence = replySequence++;
            n = WrapRsp(s, out, n, sizeof out);
            if (established && corruptMac)
                out[n - 1] ^= 0x01;
        }
        net.Queue({out, out + n}, ADAPTER_ADDRESS, port);
    }

    std::vector<BYTE> Rakp2(const BYTE* data)
    {
        std::memcpy(rr, data + 4, 16);
        role = data[20];
        user.assign(reinterpret_cast<const char*>(data + 24), data[23]);
        std::vector<BYTE> r = {0, 0, 0, 0, sidr[0], sidr[1], sidr[2], sidr[3]};
        r.insert(r.end(), Rm, Rm + 16);
        r.insert(r.end(), Guid, Guid + 16);
        // SIDr SIDm Rr Rm GUIDm ROLEm ULENGTHm UNAMEm
        std::vector<BYTE> in(sidr, sidr + 4);
        in.insert(in.end(), Sidm, Sidm + 4);
        in.insert(in.end(), rr, rr + 16);
        in.insert(in.end(), Rm, Rm + 16);
        in.insert(in.end(), Guid, Guid + 16);
        AppendUser(in);
        BYTE code[20];
        HmacSha1(in.data(), in.size(), kr, 20, code);
        r.insert(r.end(), code, code + 12);
        return r;
    }

    void CheckRakp3(const BYTE* data)
    {
        // Rm SIDr ROLEm ULENGTHm UNAMEm
        std::vector<BYTE> in(Rm, Rm + 16);
        in.insert(in.end(), sidr, sidr + 4);
        AppendUser(in);
        BYTE code[20];
        HmacSha1(in.data(), in.size(), kr, 20, code);
        rakp3Good = std::memcmp(code, data + 8, 12) == 0 && std::memcmp(data + 4, Sidm, 4) == 0;
        // Rr Rm ROLEm ULENGTHm UNAMEm, keyed with KG
        std::vector<BYTE> s(rr, rr + 16);
        s.insert(s.end(), Rm, Rm + 16);
        AppendUser(s);
        HmacSha1(s.data(), s.size(), kg, 20, sik);
        established = rakp3Good;
    }

    void AppendUser(std::vector<BYTE>& in) const
    {
        in.push_back(role);
        in.push_back(static_cast<BYTE>(user.size()));
        in.insert(in.end(), user.begin(), user.end());
    }

    static constexpr BYTE Sidm[4] = {0x5A, 0x5B, 0x5C, 0x5D};
    static constexpr BYTE Rm[16] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7,
                                    0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF};
    static constexpr BYTE Guid[16] = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                                      0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF};
};
