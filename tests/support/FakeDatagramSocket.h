#pragma once
// A scripted datagram network for transport tests: sockets made by its factory record what
// they send and receive what the test (or a responder called on every send) queues. No
// real socket, no waiting: an empty queue answers "timed out" at once.
#include "platform/DatagramSocket.h"

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

struct tagFAKE_DATAGRAM
{
    DatagramStatus status = DatagramStatus::Ok;
    std::vector<BYTE> bytes;
    DWORD sourceAddress = 0;
    WORD sourcePort = 0;
};

class CFakeNetwork
{
public:
    // Called after every send with the datagram; may queue replies.
    using Responder = std::function<void(const std::vector<BYTE>& sent, CFakeNetwork& net)>;

    DatagramSocketFactory Factory();

    void Queue(std::vector<BYTE> bytes, DWORD sourceAddress, WORD sourcePort);
    void QueueStatus(DatagramStatus status);
    void SetResponder(Responder responder);

    std::vector<std::vector<BYTE>> Sent() const;
    std::size_t Pending() const;
    int SocketsOpened() const;
    int Receives() const;

    // Used by the sockets.
    void RecordSend(DWORD address, WORD port, const BYTE* data, std::size_t length);
    tagDATAGRAM_RESULT Take(BYTE* buffer, std::size_t capacity);
    void NoteOpen();

    DWORD lastAddress = 0;
    WORD lastPort = 0;

private:
    mutable std::mutex m_lock;
    std::deque<tagFAKE_DATAGRAM> m_incoming;
    std::vector<std::vector<BYTE>> m_sent;
    Responder m_responder;
    int m_opened = 0;
    int m_receives = 0;
};
