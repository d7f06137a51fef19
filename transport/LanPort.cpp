#include "transport/LanPort.h"

#include <cstring>

CLanPort::CLanPort(DatagramSocketFactory factory, IClock* clock)
    : m_factory(std::move(factory)), m_clock(clock)
{
}

CLanPort::~CLanPort()
{
    Close();
}

BOOL CLanPort::SetAddress(WORD port, DWORD address)
{
    if (address == 0xFFFFFFFFu)
        return FALSE;
    m_address = address;
    m_port = port;
    m_addressSet = TRUE;
    return TRUE;
}

BOOL CLanPort::Open()
{
    if (!m_addressSet)
        return FALSE;
    Close();
    m_socket = m_factory();
    if (!m_socket || !m_socket->Open(TIMEOUT_MS))
    {
        m_socket.reset();
        m_lastReason = "cannot create the UDP socket";
        return FALSE;
    }
    return TRUE;
}

void CLanPort::Close()
{
    if (m_socket)
    {
        m_socket->Close();
        m_socket.reset();
    }
}

BOOL CLanPort::IsOpen() const
{
    return m_socket && m_socket->IsOpen();
}

BOOL CLanPort::Send(const BYTE* data, std::size_t length)
{
    if (!IsOpen() || length == 0)
        return FALSE;
    if (!m_socket->SendTo(m_address, m_port, data, length))
    {
        m_lastReason = "send failed";
        return FALSE;
    }
    return TRUE;
}

BOOL CLanPort::Receive(BYTE* buffer, std::size_t& length)
{
    std::size_t capacity = length;
    length = 0;
    std::memset(buffer, 0, capacity);
    if (!IsOpen())
        return FALSE;
    DWORD start = m_clock->GetTickCount();
    for (int foreign = 0; foreign <= MAX_FOREIGN_DATAGRAMS;)
    {
        DWORD elapsed = m_clock->GetTickCount() - start;
        if (elapsed >= TIMEOUT_MS)
            break;
        tagDATAGRAM_RESULT got = m_socket->ReceiveFrom(buffer, capacity, TIMEOUT_MS - elapsed);
        switch (got.status)
        {
        case DatagramStatus::Ok:
            if (got.sourceAddress == m_address && got.sourcePort == m_port)
            {
                length = got.length;
                return TRUE;
            }
            std::memset(buffer, 0, capacity);
            ++foreign;
            break;
        case DatagramStatus::Refused:
            // ICMP port unreachable for an earlier datagram: keep waiting for a reply.
            ++foreign;
            break;
        case DatagramStatus::TimedOut:
            m_lastReason = "no reply";
            return FALSE;
        case DatagramStatus::Error:
            m_lastReason = "receive failed";
            return FALSE;
        }
    }
    m_lastReason = "no reply";
    return FALSE;
}

BOOL CLanPort::WaitReady(DWORD timeoutUs, BOOL forWrite)
{
    return IsOpen() && m_socket->WaitReady(timeoutUs, forWrite);
}
