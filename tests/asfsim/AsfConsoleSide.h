#pragma once
// The console's half of RMCP/ASF and the RSP session, written out independently for the
// simulator's tests: builders of the datagrams a console sends and the key arithmetic of
// RAKP-HMAC-SHA1 (ASF 2.0, 3.2.4), so that the tests check the simulator against the
// protocol rather than against its own code. Header-only test support.
#include "platform/Types.h"
#include "transport/crypto/Hmac.h"

#include <cstring>
#include <string>
#include <vector>

namespace asfconsole
{
inline void Put32(std::vector<BYTE>& out, DWORD value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<BYTE>(value >> shift));
}

inline void Put(std::vector<BYTE>& out, const BYTE* data, std::size_t length)
{
    out.insert(out.end(), data, data + length);
}

// RMCP header, ASF class, IANA 4542, type, tag = sequence, data length, data.
inline std::vector<BYTE> Message(BYTE sequence, BYTE type, const std::vector<BYTE>& data = {})
{
    std::vector<BYTE> out{0x06, 0x00, sequence, 0x06,     0x00, 0x00,
                          0x11, 0xBE, type,     sequence, 0x00, static_cast<BYTE>(data.size())};
    Put(out, data.data(), data.size());
    return out;
}

// Session setup on the secure port: session ID 0, sequence 0, the message alone.
inline std::vector<BYTE> SetupFrame(const std::vector<BYTE>& message)
{
    std::vector<BYTE> out(8, 0);
    Put(out, message.data(), message.size());
    return out;
}

// Established: session ID, sequence, message, pad to a multiple of 4 with the two trailer
// bytes, pad length, next header 06h, HMAC-SHA1-96 keyed with the SIK.
inline std::vector<BYTE> Signed(const BYTE sid[4], DWORD sequence, const std::vector<BYTE>& message,
                                const BYTE sik[20])
{
    std::vector<BYTE> out(sid, sid + 4);
    Put32(out, sequence);
    Put(out, message.data(), message.size());
    BYTE pad = static_cast<BYTE>((4 - (out.size() + 2) % 4) % 4);
    out.insert(out.end(), pad, 0);
    out.push_back(pad);
    out.push_back(0x06);
    BYTE icv[12];
    HmacSha1_96(out.data(), out.size(), sik, 20, icv);
    Put(out, icv, sizeof icv);
    return out;
}

inline bool IntegrityOk(const std::vector<BYTE>& datagram, const BYTE sik[20])
{
    if (datagram.size() < 12)
        return false;
    BYTE icv[12];
    HmacSha1_96(datagram.data(), datagram.size() - 12, sik, 20, icv);
    return std::memcmp(icv, datagram.data() + datagram.size() - 12, 12) == 0;
}

inline std::vector<BYTE> OpenSessionRequest(const BYTE sidR[4])
{
    std::vector<BYTE> data(sidR, sidR + 4);
    const BYTE payloads[20] = {0x01, 0,    0,    0x08, 0x01, 0, 0,    0, 0x02, 0,
                               0,    0x08, 0x01, 0,    0,    0, 0x00, 0, 0,    0x04};
    Put(data, payloads, sizeof payloads);
    return data;
}

inline std::vector<BYTE> Rakp1(const BYTE sidM[4], const BYTE rr[16], BYTE role,
                               const std::string& name)
{
    std::vector<BYTE> data(sidM, sidM + 4);
    Put(data, rr, 16);
    data.push_back(role);
    data.push_back(0);
    data.push_back(0);
    data.push_back(static_cast<BYTE>(name.size()));
    Put(data, reinterpret_cast<const BYTE*>(name.data()), name.size());
    data.resize(40, 0);
    return data;
}

// The tail shared by every RAKP hash: ROLEm | ULENGTHm | UNAMEm.
inline void PutRoleAndName(std::vector<BYTE>& out, BYTE role, const std::string& name)
{
    out.push_back(role);
    out.push_back(static_cast<BYTE>(name.size()));
    Put(out, reinterpret_cast<const BYTE*>(name.data()), name.size());
}
} // namespace asfconsole
