#pragma once
// CAsfListener: puts a CAsfAgent on the network. It binds one UDP socket on the RMCP primary
// port and one on the RSP secure port of a loopback (or other local) address, and runs one
// thread per socket that hands each datagram to the agent and sends the agent's answers back
// to the sender. The agent is borrowed and must outlive the listener; Stop (or the
// destructor) ends and joins both threads within one receive slice (50 ms).
#include "platform/DatagramSocket.h"
#include "tools/asf-sim/AsfAgent.h"

#include <atomic>
#include <string>
#include <thread>

class CAsfListener
{
public:
    explicit CAsfListener(CAsfAgent& agent) : m_agent(agent) {}
    ~CAsfListener();
    CAsfListener(const CAsfListener&) = delete;
    CAsfListener& operator=(const CAsfListener&) = delete;

    // Binds both ports (0 = any free port) and starts the threads. FALSE with a reason.
    BOOL Start(const std::string& address, WORD portRmcp, WORD portRsp, std::string& error);
    void Stop();

    WORD RmcpPort() const { return m_rmcpPort; }
    WORD RspPort() const { return m_rspPort; }

private:
    void Serve(CUdpSocket& socket, AsfChannel channel);

    CAsfAgent& m_agent;
    CUdpSocket m_rmcp;
    CUdpSocket m_rsp;
    WORD m_rmcpPort = 0;
    WORD m_rspPort = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_rmcpThread;
    std::thread m_rspThread;
};
