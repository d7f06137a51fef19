#pragma once
// CLanPort: the UDP endpoint of one IPMI LAN connection. Sends to the BMC's address and
// port and accepts a datagram only from that same address and port; anything else that
// arrives on the socket is dropped, so nobody else on the network can answer in the BMC's
// name. Send and receive time out after 256 ms. Used by one exchange at a time: the
// owning connection's exchange lock serialises callers.
#include "platform/Clock.h"
#include "platform/DatagramSocket.h"
#include "platform/Types.h"

#include <cstddef>
#include <memory>

class CLanPort
{
public:
    static constexpr DWORD TIMEOUT_MS = 256;
    // Datagrams from other sources read and dropped within one receive, at most.
    static constexpr int MAX_FOREIGN_DATAGRAMS = 32;

    explicit CLanPort(DatagramSocketFactory factory = UdpSocketFactory(),
                      IClock* clock = &SystemClock());
    ~CLanPort();
    CLanPort(const CLanPort&) = delete;
    CLanPort& operator=(const CLanPort&) = delete;

    // Refuses 0xFFFFFFFF, the value of a failed dotted-address parse. Host order.
    BOOL SetAddress(WORD port, DWORD address);
    BOOL Open();
    void Close();
    BOOL IsOpen() const;
    BOOL Send(const BYTE* data, std::size_t length);
    // length: capacity in, datagram length out (0 on a time-out).
    BOOL Receive(BYTE* buffer, std::size_t& length);
    BOOL WaitReady(DWORD timeoutUs, BOOL forWrite = FALSE);

    DWORD Address() const { return m_address; }
    WORD Port() const { return m_port; }
    // Why the last Send or Receive failed, for logs and the command-line tool.
    const char* LastReason() const { return m_lastReason; }

private:
    DatagramSocketFactory m_factory;
    IClock* m_clock;
    std::unique_ptr<IDatagramSocket> m_socket;
    DWORD m_address = 0;
    WORD m_port = 0;
    BOOL m_addressSet = FALSE;
    const char* m_lastReason = "";
};
