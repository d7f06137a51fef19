#include "transport/IPMIConnect.h"

#include "transport/LANPacket.h"

#include <chrono>
#include <cstring>

namespace
{
// Owns the exchange lock for one exchange, if it was obtained within the wait.
class CExchangeGuard
{
public:
    CExchangeGuard(std::timed_mutex& lock, DWORD waitMs)
        : m_lock(lock), m_owned(lock.try_lock_for(std::chrono::milliseconds(waitMs)))
    {
    }
    ~CExchangeGuard()
    {
        if (m_owned)
            m_lock.unlock();
    }
    CExchangeGuard(const CExchangeGuard&) = delete;
    CExchangeGuard& operator=(const CExchangeGuard&) = delete;
    bool Owned() const { return m_owned; }

private:
    std::timed_mutex& m_lock;
    bool m_owned;
};

bool FormOf(float version, IpmiForm& form)
{
    if (version == 1.5f)
        form = IpmiForm::V15;
    else if (version == 2.0f)
        form = IpmiForm::V20;
    else
        return false;
    return true;
}
} // namespace

BOOL CIPMIConnect::TakeStashed(BYTE row, tagIPMI_REPLY& reply)
{
    for (int slot = 0; slot < STASH_SLOTS; ++slot)
    {
        if (m_stashUsed[slot] && m_stash[slot].data[0] == row)
        {
            reply = m_stash[slot];
            std::memset(&m_stash[slot], 0, sizeof m_stash[slot]);
            m_stashUsed[slot] = false;
            return TRUE;
        }
    }
    return FALSE;
}

void CIPMIConnect::Stash(const tagIPMI_REPLY& reply)
{
    // The slot at the next index is overwritten even when occupied: the oldest goes first.
    m_stash[m_stashNext] = reply;
    m_stashUsed[m_stashNext] = true;
    m_stashNext = (m_stashNext + 1) % STASH_SLOTS;
}

BYTE CIPMIConnect::ReceiveReply(IpmiForm form, BYTE requestedRow, tagIPMI_REPLY& reply)
{
    BYTE packet[IPMI_PACKET_BUFFER_SIZE];
    std::size_t length = sizeof packet;
    if (!ReceivePacket(packet, length))
    {
        SetReason("no reply");
        return 0;
    }
    BYTE message[IPMI_PACKET_BUFFER_SIZE] = {};
    if (!ExtractMessage(packet, length, message, sizeof message))
        return 0;
    BYTE row = ParseReply(form, message, sizeof message, requestedRow, reply);
    if (row == 0)
        SetReason("reply matches no command");
    return row;
}

BOOL CIPMIConnect::SendCommand(const BYTE* request, std::size_t length, tagIPMI_REPLY& reply)
{
    if (request == nullptr || length == 0)
        return FALSE;
    CExchangeGuard guard(m_exchange, m_lockWaitMs);
    if (!guard.Owned())
    {
        SetReason("connection busy: exchange lock not obtained");
        return FALSE;
    }
    DWORD sequence = NextSequence();
    IpmiForm form;
    if (!FormOf(m_version.load(), form))
    {
        SetReason("connection in no IPMI version");
        return FALSE;
    }
    BYTE message[IPMI_PACKET_BUFFER_SIZE];
    if (BuildMessage(form, request, length, sequence, m_addressing, message, sizeof message) == 0)
    {
        SetReason("invalid request record");
        return FALSE;
    }
    BYTE packet[IPMI_PACKET_BUFFER_SIZE] = {};
    std::size_t packetLength = sizeof packet;
    if (!BuildPacket(message, packet, packetLength, sequence) || !SendPacket(packet, packetLength))
    {
        SetReason("send failed");
        return FALSE;
    }
    BYTE row = request[0];
    if (TakeStashed(row, reply))
        return TRUE;

    // At most two datagrams per command: a stray reply is stashed and one more is read.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        tagIPMI_REPLY received;
        BYTE got = ReceiveReply(form, row, received);
        if (got == 0)
            return FALSE;
        if (got == row)
        {
            reply = received;
            return TRUE;
        }
        Stash(received);
    }
    SetReason("replies for other commands only");
    return FALSE;
}

BOOL CIPMIConnect::ExchangePayload(BYTE payloadType, const BYTE* payload, std::size_t length,
                                   tagRMCP_PAYLOAD& reply)
{
    std::memset(&reply, 0, sizeof reply);
    CExchangeGuard guard(m_exchange, m_lockWaitMs);
    if (!guard.Owned())
    {
        SetReason("connection busy: exchange lock not obtained");
        return FALSE;
    }
    tagRMCPPLUS_FIELDS fields;
    fields.payloadType = payloadType;
    BYTE packet[IPMI_PACKET_BUFFER_SIZE] = {};
    std::size_t packetLength =
        BuildRmcpPlusPacket(fields, payload, length, nullptr, nullptr, packet, sizeof packet);
    if (packetLength == 0 || !SendPacket(packet, packetLength))
    {
        SetReason("send failed");
        return FALSE;
    }
    BYTE received[RMCPPLUS_PAYLOAD_BUFFER_SIZE];
    std::size_t receivedLength = sizeof received;
    if (!ReceivePacket(received, receivedLength))
    {
        SetReason("no reply");
        return FALSE;
    }
    if (receivedLength < RMCPPLUS_HEADER_SIZE)
    {
        SetReason("session setup reply truncated");
        return FALSE;
    }
    // The payload from offset 16; its own length field bounds it to what arrived.
    std::size_t payloadLength = received[14] | static_cast<std::size_t>(received[15]) << 8;
    std::size_t available = receivedLength - RMCPPLUS_HEADER_SIZE;
    if (payloadLength > available)
        payloadLength = available;
    std::memcpy(reply.data, received + RMCPPLUS_HEADER_SIZE, payloadLength);
    reply.length = static_cast<WORD>(payloadLength);
    return TRUE;
}
