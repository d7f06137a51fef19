#pragma once
// CIPMIConnect: the abstract connection to a BMC and its request engine. SendCommand does
// one whole exchange (build, send, receive, match) under the exchange lock, so the user-
// interface thread, the server's pollers and the console threads interleave one exchange
// at a time. Replies that belong to another command are kept in a five-slot stash and
// handed to the next command of their row.
//
// Locks: m_exchange (timed, 12 s) guards the stash, the packet path and the framing state
// used while building and extracting; derived classes take their sequence lock inside it,
// never the other way round. Each caller gets its reply copied into its own record, so a
// reply stays valid while other threads use the connection.
#include "transport/IpmiMessage.h"
#include "transport/TransportTypes.h"

#include <atomic>
#include <cstddef>
#include <mutex>

class CIPMIConnect
{
public:
    static constexpr DWORD EXCHANGE_LOCK_WAIT_MS = 12000;
    static constexpr int STASH_SLOTS = 5;

    CIPMIConnect() = default;
    virtual ~CIPMIConnect() = default;
    CIPMIConnect(const CIPMIConnect&) = delete;
    CIPMIConnect& operator=(const CIPMIConnect&) = delete;

    virtual BOOL Connect(DWORD address, WORD port, const tagLAN_CONNECT_PARAM& param) = 0;
    virtual BOOL Disconnect() = 0;
    virtual BOOL IsConnected() const { return m_connected.load(); }
    virtual DWORD NextSequence() = 0;
    // message: length-prefixed as BuildMessage makes it for the current version.
    virtual BOOL BuildPacket(const BYTE* message, BYTE* packet, std::size_t& length,
                             DWORD sequence) = 0;
    // Fills message (capacity bytes) with the length-prefixed message of a packet.
    virtual BOOL ExtractMessage(const BYTE* packet, std::size_t length, BYTE* message,
                                std::size_t capacity) = 0;
    virtual BOOL SendPacket(const BYTE* packet, std::size_t length) = 0;
    // length: capacity in, datagram length out.
    virtual BOOL ReceivePacket(BYTE* packet, std::size_t& length) = 0;

    // Sends the request record (row byte, then data) and fills reply with the matching
    // reply record. FALSE when no matching reply came (the caller decides about retries).
    BOOL SendCommand(const BYTE* request, std::size_t length, tagIPMI_REPLY& reply);
    // One session-setup message out (RMCP+ framing, no session), one payload back.
    BOOL ExchangePayload(BYTE payloadType, const BYTE* payload, std::size_t length,
                         tagRMCP_PAYLOAD& reply);

    float Version() const { return m_version.load(); }
    // Why the last exchange failed, for logs and the command-line tool.
    const char* LastReason() const { return m_lastReason.load(); }
    // For tests of the lock's limit.
    void SetExchangeLockWait(DWORD milliseconds) { m_lockWaitMs = milliseconds; }
    std::timed_mutex& ExchangeLock() { return m_exchange; }

protected:
    void SetReason(const char* reason) { m_lastReason.store(reason); }

    std::atomic<float> m_version{1.5f};
    std::atomic<BOOL> m_connected{FALSE};
    tagIPMI_ADDRESSING m_addressing;

private:
    BOOL TakeStashed(BYTE row, tagIPMI_REPLY& reply);
    void Stash(const tagIPMI_REPLY& reply);
    // Receives one datagram and parses it; 0 when nothing usable came.
    BYTE ReceiveReply(IpmiForm form, BYTE requestedRow, tagIPMI_REPLY& reply);

    std::timed_mutex m_exchange;
    DWORD m_lockWaitMs = EXCHANGE_LOCK_WAIT_MS;
    tagIPMI_REPLY m_stash[STASH_SLOTS] = {};
    bool m_stashUsed[STASH_SLOTS] = {};
    int m_stashNext = 0;
    std::atomic<const char*> m_lastReason{""};
};
