// Arbitrary datagrams through every stage a reply from the network passes: extraction in
// both framings (plain, with each integrity algorithm, decrypted), reply matching in both
// forms, and the session-setup message checks. Nothing may crash or read out of bounds.
#include "transport/IpmiMessage.h"
#include "transport/LANPacket.h"
#include "transport/RakpMessages.h"
#include "transport/crypto/KAES.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static KAES cipher(16, reinterpret_cast<const BYTE*>("0123456789abcdef"));
    // Exact-size copies so that a read past the end is caught.
    std::vector<BYTE> packet(data, data + size);
    BYTE message[IPMI_PACKET_BUFFER_SIZE];
    tagIPMI_REPLY reply;
    const BYTE row = size > 0 ? data[0] % 42 : 6;

    if (ExtractV15Message(packet.data(), packet.size(), message, sizeof message, nullptr))
        ParseReply(IpmiForm::V15, message, sizeof message, row, reply);

    tagRMCPPLUS_CRYPTO variants[4];
    variants[1].integrity = INTEGRITY_HMAC_SHA1_96;
    variants[2].integrity = INTEGRITY_MD5_128;
    variants[3].integrity = INTEGRITY_HMAC_SHA1_96;
    variants[3].encrypt = TRUE;
    variants[3].cipher = &cipher;
    for (const tagRMCPPLUS_CRYPTO& crypto : variants)
    {
        if (ExtractRmcpPlusMessage(packet.data(), packet.size(), &crypto, message, sizeof message,
                                   nullptr))
            ParseReply(IpmiForm::V20, message, sizeof message, row, reply);
    }
    tagRMCPPLUS_CRYPTO encryptOnly;
    encryptOnly.encrypt = TRUE;
    encryptOnly.cipher = &cipher;
    ExtractRmcpPlusMessage(packet.data(), packet.size(), &encryptOnly, message, sizeof message,
                           nullptr);
    ParseReply(IpmiForm::V20, packet.data(), packet.size(), row, reply);

    tagRAKP_STATE state;
    BYTE status = 0;
    const char* reason = nullptr;
    CheckOpenSessionResponse(state, packet.data(), packet.size(), &status, &reason);
    state.authAlgorithm = size > 1 && (data[1] & 1) ? RAKP_HMAC_MD5 : RAKP_HMAC_SHA1;
    CheckRakp2(state, packet.data(), packet.size(), &status, &reason);
    CheckRakp4(state, packet.data(), packet.size(), &status, &reason);
    return 0;
}
