// Arbitrary datagrams through everything an ASF exchange parses: acknowledgement matching and
// reply extraction in both framings, the RSP integrity check, and the pong, Open Session
// Response and RAKP Message 2 checks on the extracted data. Nothing may crash or read out of
// bounds.
#include "asf/AsfFraming.h"
#include "asf/AsfSessionMessages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size copy so that a read past the end is caught.
    std::vector<BYTE> datagram(data, data + size);
    const BYTE* d = datagram.data();
    const BYTE sequence = size > 0 ? data[0] : 0;
    static const BYTE key[ASF_KEY_SIZE] = {1, 2, 3};
    const BYTE types[] = {ASF_MSG_PRESENCE_PONG, ASF_MSG_CAPABILITIES_RESPONSE,
                          ASF_MSG_SYSTEM_STATE_RESPONSE, ASF_MSG_OPEN_SESSION_RESPONSE,
                          ASF_MSG_RAKP_2};
    for (bool rsp : {false, true})
    {
        IsAsfAckFor(rsp, d, size, sequence, nullptr);
        CheckRspIntegrity(key, d, size);
        tagRSP_STATE state;
        state.rspMode = rsp;
        state.established = rsp && (sequence & 1);
        BYTE ack[64];
        BuildAsfAck(state, d, size, ack, sizeof ack);
        for (BYTE type : types)
        {
            std::size_t offset = 0;
            BYTE length = 0;
            if (!ExtractAsfReply(rsp, d, size, type, &offset, &length, nullptr))
                continue;
            std::vector<BYTE> reply(d + offset, d + offset + length);
            tagASF_PONG pong;
            ParsePresencePong(reply.data(), reply.size(), pong);
            BYTE sidm[4];
            CheckOpenSessionResponse(reply.data(), reply.size(), sidm, nullptr);
            tagASF_RAKP_MATERIAL m;
            BYTE code[ASF_RAKP_CODE_SIZE];
            if (CheckRakp2(m, reply.data(), reply.size(), code, nullptr))
                VerifyRakp2Code(m, code);
        }
    }
    return 0;
}
