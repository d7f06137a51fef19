#pragma once
// CScriptedConnection: a CIPMIConnect whose BMC is a script, for tests of the code above the
// request engine. Every request the engine sends is turned back into a request record (row and
// data) and logged; its reply comes from the queue of one-shot replies for that row, else from
// the responder, else there is none. A reply may be held back for a while (a slow BMC), bounded
// in real time and ended early by Close. Messages travel in IPMI v1.5 framing without a session.
// Any thread; m_lock guards the log, the queues and the responder.
#include "transport/IPMIConnect.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

struct tagSCRIPTED_REQUEST
{
    BYTE row = 0;
    std::vector<BYTE> data; // request data after the row
};

struct tagSCRIPTED_REPLY
{
    BYTE completionCode = 0;
    std::vector<BYTE> data; // response data after the completion code
    BOOL silent = FALSE;    // no reply at all (the transport's time-out)
    DWORD delayMs = 0;      // held back this long (real time) before it is answered
};

class CScriptedConnection final : public CIPMIConnect
{
public:
    using Responder = std::function<std::optional<tagSCRIPTED_REPLY>(const tagSCRIPTED_REQUEST&)>;

    CScriptedConnection();

    void SetResponder(Responder responder);
    // A one-shot reply for the next request of this row (before the responder is asked).
    void Queue(BYTE row, tagSCRIPTED_REPLY reply);
    void Queue(BYTE row, BYTE completionCode, std::vector<BYTE> data = {});
    void SetConnectResult(BOOL connect, BOOL disconnect);
    // Ends every held reply at once and makes later ones answer without delay.
    void Close();

    std::vector<tagSCRIPTED_REQUEST> Requests();
    std::vector<BYTE> Rows();
    std::size_t CountOf(BYTE row);
    void ClearLog();
    // Waits until count requests of row were logged (any row for row 0); FALSE after the limit.
    BOOL WaitForRequests(BYTE row, std::size_t count, DWORD timeoutMs);
    int ConnectCalls();
    int DisconnectCalls();

    BOOL Connect(DWORD address, WORD port, const tagLAN_CONNECT_PARAM& param) override;
    BOOL Disconnect() override;
    DWORD NextSequence() override;
    BOOL BuildPacket(const BYTE* message, BYTE* packet, std::size_t& length,
                     DWORD sequence) override;
    BOOL ExtractMessage(const BYTE* packet, std::size_t length, BYTE* message,
                        std::size_t capacity) override;
    BOOL SendPacket(const BYTE* packet, std::size_t length) override;
    BOOL ReceivePacket(BYTE* packet, std::size_t& length) override;

private:
    std::size_t CountLocked(BYTE row) const;

    std::mutex m_lock;
    std::condition_variable m_changed;
    Responder m_responder;
    std::map<BYTE, std::deque<tagSCRIPTED_REPLY>> m_queued;
    std::vector<tagSCRIPTED_REQUEST> m_log;
    std::optional<tagSCRIPTED_REPLY> m_pending; // the reply to the request just sent
    BYTE m_pendingNetFn = 0;
    BYTE m_pendingCommand = 0;
    BYTE m_pendingSequence = 0;
    BOOL m_closed = FALSE;
    BOOL m_connectResult = TRUE;
    BOOL m_disconnectResult = TRUE;
    int m_connectCalls = 0;
    int m_disconnectCalls = 0;
    DWORD m_sequence = 0;
};
