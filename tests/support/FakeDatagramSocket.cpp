#include "tests/support/FakeDatagramSocket.h"

#include <algorithm>
#include <cstring>

namespace
{
class CFakeSocket final : public IDatagramSocket
{
public:
    explicit CFakeSocket(CFakeNetwork& net) : m_net(net) {}
    BOOL Open(DWORD) override
    {
        m_open = true;
        m_net.NoteOpen();
        return TRUE;
    }
    void Close() override { m_open = false; }
    BOOL IsOpen() const override { return m_open; }
    BOOL Bind(DWORD, WORD) override { return TRUE; }
    WORD LocalPort() const override { return 40000; }
    BOOL SendTo(DWORD address, WORD port, const BYTE* data, std::size_t length) override
    {
        if (!m_open)
            return FALSE;
        m_net.RecordSend(address, port, data, length);
        return TRUE;
    }
    tagDATAGRAM_RESULT ReceiveFrom(BYTE* buffer, std::size_t capacity, DWORD) override
    {
        return m_net.Take(buffer, capacity);
    }
    BOOL WaitReady(DWORD, BOOL) override { return m_net.Pending() > 0; }

private:
    CFakeNetwork& m_net;
    bool m_open = false;
};
} // namespace

DatagramSocketFactory CFakeNetwork::Factory()
{
    return [this] { return std::unique_ptr<IDatagramSocket>(new CFakeSocket(*this)); };
}

void CFakeNetwork::Queue(std::vector<BYTE> bytes, DWORD sourceAddress, WORD sourcePort)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_incoming.push_back({DatagramStatus::Ok, std::move(bytes), sourceAddress, sourcePort});
}

void CFakeNetwork::QueueStatus(DatagramStatus status)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_incoming.push_back({status, {}, 0, 0});
}

void CFakeNetwork::SetResponder(Responder responder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_responder = std::move(responder);
}

std::vector<std::vector<BYTE>> CFakeNetwork::Sent() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sent;
}

std::size_t CFakeNetwork::Pending() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_incoming.size();
}

int CFakeNetwork::SocketsOpened() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_opened;
}

int CFakeNetwork::Receives() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_receives;
}

void CFakeNetwork::NoteOpen()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_opened;
}

void CFakeNetwork::RecordSend(DWORD address, WORD port, const BYTE* data, std::size_t length)
{
    Responder responder;
    std::vector<BYTE> sent(data, data + length);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        lastAddress = address;
        lastPort = port;
        m_sent.push_back(sent);
        responder = m_responder;
    }
    if (responder)
        responder(sent, *this);
}

tagDATAGRAM_RESULT CFakeNetwork::Take(BYTE* buffer, std::size_t capacity)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_receives;
    tagDATAGRAM_RESULT result;
    if (m_incoming.empty())
    {
        result.status = DatagramStatus::TimedOut;
        return result;
    }
    tagFAKE_DATAGRAM next = std::move(m_incoming.front());
    m_incoming.pop_front();
    result.status = next.status;
    result.length = std::min(capacity, next.bytes.size());
    if (result.length)
        std::memcpy(buffer, next.bytes.data(), result.length);
    result.sourceAddress = next.sourceAddress;
    result.sourcePort = next.sourcePort;
    return result;
}
