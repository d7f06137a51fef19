#include "tools/asf-sim/AsfListener.h"

namespace
{
constexpr DWORD SOCKET_TIMEOUT_MS = 1000;
constexpr DWORD RECEIVE_SLICE_MS = 50;
constexpr std::size_t DATAGRAM_CAPACITY = 2048;

BOOL OpenBound(CUdpSocket& socket, DWORD address, WORD port, const char* what, std::string& error)
{
    if (!socket.Open(SOCKET_TIMEOUT_MS))
        return error = std::string("cannot create the ") + what + " socket", FALSE;
    if (!socket.Bind(address, port))
        return error = std::string("cannot bind the ") + what + " port " + std::to_string(port),
               FALSE;
    return TRUE;
}
} // namespace

CAsfListener::~CAsfListener()
{
    Stop();
}

BOOL CAsfListener::Start(const std::string& address, WORD portRmcp, WORD portRsp,
                         std::string& error)
{
    if (m_rmcpThread.joinable())
        return error = "already started", FALSE;
    DWORD host = ParseIPv4(address.c_str());
    if (host == 0xFFFFFFFF)
        return error = "not an IPv4 address: " + address, FALSE;
    if (!OpenBound(m_rmcp, host, portRmcp, "RMCP", error) ||
        !OpenBound(m_rsp, host, portRsp, "RSP", error))
    {
        m_rmcp.Close();
        m_rsp.Close();
        return FALSE;
    }
    m_rmcpPort = m_rmcp.LocalPort();
    m_rspPort = m_rsp.LocalPort();
    m_stop = false;
    m_rmcpThread = std::thread([this] { Serve(m_rmcp, AsfChannel::Primary); });
    m_rspThread = std::thread([this] { Serve(m_rsp, AsfChannel::Secure); });
    return TRUE;
}

void CAsfListener::Stop()
{
    m_stop = true;
    if (m_rmcpThread.joinable())
        m_rmcpThread.join();
    if (m_rspThread.joinable())
        m_rspThread.join();
    m_rmcp.Close();
    m_rsp.Close();
}

void CAsfListener::Serve(CUdpSocket& socket, AsfChannel channel)
{
    BYTE buffer[DATAGRAM_CAPACITY];
    while (!m_stop)
    {
        tagDATAGRAM_RESULT got = socket.ReceiveFrom(buffer, sizeof buffer, RECEIVE_SLICE_MS);
        if (got.status != DatagramStatus::Ok)
            continue;
        try
        {
            for (const std::vector<BYTE>& reply :
                 m_agent.HandleDatagram(channel, buffer, got.length))
                socket.SendTo(got.sourceAddress, got.sourcePort, reply.data(), reply.size());
        }
        catch (...)
        {
            // An allocation failure costs this datagram only.
        }
    }
}
