#include "tests/support/ScriptedConnection.h"

#include "transport/CommandTable.h"

#include <chrono>
#include <cstring>

namespace
{
BYTE Checksum(const BYTE* data, std::size_t length)
{
    BYTE sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<BYTE>(sum + data[i]);
    return static_cast<BYTE>(-sum);
}
} // namespace

CScriptedConnection::CScriptedConnection()
{
    m_version.store(1.5f);
}

void CScriptedConnection::SetResponder(Responder responder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_responder = std::move(responder);
}

void CScriptedConnection::Queue(BYTE row, tagSCRIPTED_REPLY reply)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_queued[row].push_back(std::move(reply));
}

void CScriptedConnection::Queue(BYTE row, BYTE completionCode, std::vector<BYTE> data)
{
    tagSCRIPTED_REPLY reply;
    reply.completionCode = completionCode;
    reply.data = std::move(data);
    Queue(row, std::move(reply));
}

void CScriptedConnection::SetConnectResult(BOOL connect, BOOL disconnect)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_connectResult = connect;
    m_disconnectResult = disconnect;
}

void CScriptedConnection::Close()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = TRUE;
    m_changed.notify_all();
}

std::vector<tagSCRIPTED_REQUEST> CScriptedConnection::Requests()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_log;
}

std::vector<BYTE> CScriptedConnection::Rows()
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<BYTE> rows;
    for (const auto& request : m_log)
        rows.push_back(request.row);
    return rows;
}

std::size_t CScriptedConnection::CountLocked(BYTE row) const
{
    if (row == 0)
        return m_log.size();
    std::size_t count = 0;
    for (const auto& request : m_log)
        count += request.row == row ? 1 : 0;
    return count;
}

std::size_t CScriptedConnection::CountOf(BYTE row)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return CountLocked(row);
}

void CScriptedConnection::ClearLog()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_log.clear();
}

BOOL CScriptedConnection::WaitForRequests(BYTE row, std::size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return CountLocked(row) >= count; })
               ? TRUE
               : FALSE;
}

int CScriptedConnection::ConnectCalls()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connectCalls;
}

int CScriptedConnection::DisconnectCalls()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_disconnectCalls;
}

BOOL CScriptedConnection::Connect(DWORD, WORD, const tagLAN_CONNECT_PARAM&)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_connectCalls;
    m_connected.store(m_connectResult);
    return m_connectResult;
}

BOOL CScriptedConnection::Disconnect()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_disconnectCalls;
    if (m_disconnectResult)
        m_connected.store(FALSE);
    return m_disconnectResult;
}

DWORD CScriptedConnection::NextSequence()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sequence = (m_sequence + 1) & 0x3F;
    return m_sequence;
}

BOOL CScriptedConnection::BuildPacket(const BYTE* message, BYTE* packet, std::size_t& length, DWORD)
{
    std::size_t size = static_cast<std::size_t>(message[0]) + 1;
    if (size > length)
        return FALSE;
    std::memcpy(packet, message, size);
    length = size;
    return TRUE;
}

BOOL CScriptedConnection::ExtractMessage(const BYTE* packet, std::size_t length, BYTE* message,
                                         std::size_t capacity)
{
    if (length > capacity)
        return FALSE;
    std::memcpy(message, packet, length);
    return TRUE;
}

BOOL CScriptedConnection::SendPacket(const BYTE* packet, std::size_t length)
{
    // Length byte, then rsAddr, netFn/LUN, checksum, rqAddr, rqSeq, cmd, data, checksum.
    if (length < 1 + IPMI_MESSAGE_MIN)
        return FALSE;
    const BYTE* message = packet + 1;
    std::size_t messageLength = packet[0];
    BYTE netFn = static_cast<BYTE>(message[1] >> 2);
    BYTE command = message[5];
    tagSCRIPTED_REQUEST request;
    request.row = IpmiCommandRowOfReply(static_cast<BYTE>(netFn + 1), command);
    request.data.assign(message + IPMI_MESSAGE_HEADER, message + messageLength - 1);

    std::unique_lock<std::mutex> lock(m_lock);
    m_log.push_back(request);
    m_pendingNetFn = netFn;
    m_pendingCommand = command;
    m_pendingSequence = message[4];
    m_pending.reset();
    auto queued = m_queued.find(request.row);
    if (queued != m_queued.end() && !queued->second.empty())
    {
        m_pending = queued->second.front();
        queued->second.pop_front();
    }
    else if (m_responder)
    {
        Responder responder = m_responder;
        lock.unlock();
        std::optional<tagSCRIPTED_REPLY> answer = responder(request);
        lock.lock();
        m_pending = answer;
    }
    m_changed.notify_all();
    return TRUE;
}

BOOL CScriptedConnection::ReceivePacket(BYTE* packet, std::size_t& length)
{
    std::unique_lock<std::mutex> lock(m_lock);
    std::optional<tagSCRIPTED_REPLY> reply = m_pending;
    m_pending.reset();
    if (!reply)
    {
        length = 0;
        return FALSE;
    }
    if (reply->delayMs > 0)
        m_changed.wait_for(lock, std::chrono::milliseconds(reply->delayMs),
                           [this] { return m_closed == TRUE; });
    if (reply->silent)
    {
        length = 0;
        return FALSE;
    }
    // rqAddr, netFn/LUN, checksum, rsAddr, rqSeq, cmd, completion code, data, checksum.
    std::vector<BYTE> message = {0x81,
                                 static_cast<BYTE>((m_pendingNetFn + 1) << 2),
                                 0,
                                 0x20,
                                 m_pendingSequence,
                                 m_pendingCommand,
                                 reply->completionCode};
    message[2] = Checksum(message.data(), 2);
    message.insert(message.end(), reply->data.begin(), reply->data.end());
    message.push_back(Checksum(message.data() + 3, message.size() - 3));
    if (message.size() > 0xFF || message.size() + 1 > length)
        return FALSE;
    packet[0] = static_cast<BYTE>(message.size());
    std::memcpy(packet + 1, message.data(), message.size());
    length = message.size() + 1;
    return TRUE;
}
