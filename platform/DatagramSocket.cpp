#include "platform/DatagramSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace
{
sockaddr_in MakeAddress(DWORD address, WORD port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}
} // namespace

CUdpSocket::~CUdpSocket()
{
    Close();
}

BOOL CUdpSocket::Open(DWORD timeoutMs)
{
    Close();
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_fd < 0)
        return FALSE;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeoutMs / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeoutMs % 1000) * 1000);
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0 ||
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0)
    {
        Close();
        return FALSE;
    }
    return TRUE;
}

void CUdpSocket::Close()
{
    if (m_fd >= 0)
    {
        ::close(m_fd);
        m_fd = -1;
    }
}

BOOL CUdpSocket::Bind(DWORD address, WORD port)
{
    if (m_fd < 0)
        return FALSE;
    sockaddr_in sa = MakeAddress(address, port);
    return ::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? TRUE : FALSE;
}

WORD CUdpSocket::LocalPort() const
{
    if (m_fd < 0)
        return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

BOOL CUdpSocket::SendTo(DWORD address, WORD port, const BYTE* data, std::size_t length)
{
    if (m_fd < 0 || length == 0)
        return FALSE;
    sockaddr_in sa = MakeAddress(address, port);
    for (;;)
    {
        ssize_t sent =
            ::sendto(m_fd, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (sent >= 0)
            return static_cast<std::size_t>(sent) == length ? TRUE : FALSE;
        // A refused earlier datagram may be reported on this call; the send itself went on.
        if (errno != EINTR && errno != ECONNREFUSED)
            return FALSE;
    }
}

tagDATAGRAM_RESULT CUdpSocket::ReceiveFrom(BYTE* buffer, std::size_t capacity, DWORD timeoutMs)
{
    tagDATAGRAM_RESULT result;
    if (m_fd < 0)
        return result;
    pollfd pfd{m_fd, POLLIN, 0};
    int ready = ::poll(&pfd, 1, static_cast<int>(timeoutMs));
    if (ready == 0)
    {
        result.status = DatagramStatus::TimedOut;
        return result;
    }
    if (ready < 0)
    {
        result.status = errno == EINTR ? DatagramStatus::TimedOut : DatagramStatus::Error;
        return result;
    }
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t got = ::recvfrom(m_fd, buffer, capacity, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (got < 0)
    {
        if (errno == ECONNREFUSED)
            result.status = DatagramStatus::Refused;
        else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            result.status = DatagramStatus::TimedOut;
        else
            result.status = DatagramStatus::Error;
        return result;
    }
    result.status = DatagramStatus::Ok;
    result.length = static_cast<std::size_t>(got);
    result.sourceAddress = ntohl(from.sin_addr.s_addr);
    result.sourcePort = ntohs(from.sin_port);
    return result;
}

BOOL CUdpSocket::WaitReady(DWORD timeoutUs, BOOL forWrite)
{
    if (m_fd < 0)
        return FALSE;
    pollfd pfd{m_fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    int timeoutMs = static_cast<int>((timeoutUs + 999) / 1000);
    return ::poll(&pfd, 1, timeoutMs) > 0 ? TRUE : FALSE;
}

DatagramSocketFactory UdpSocketFactory()
{
    return [] { return std::unique_ptr<IDatagramSocket>(new CUdpSocket()); };
}

DWORD ParseIPv4(const char* text)
{
    in_addr addr{};
    if (text == nullptr || ::inet_pton(AF_INET, text, &addr) != 1)
        return 0xFFFFFFFFu;
    return ntohl(addr.s_addr);
}
