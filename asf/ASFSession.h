#pragma once
// CASFSession: the transport and secure session to one ASF alerting network adapter (ASF 2.0,
// 3.2): RMCP/ASF request and acknowledgement exchanges on the primary port, the RSP session
// (Open Session, RAKP 1-3, session integrity key) on the secure port, the four remote power
// operations and the system-state poll. Owned by its CASFServer.
//
// Threads: the user-interface thread (login, power operations, close) and the one-shot poll
// thread it starts per timer tick (m_pollThread, joined before anything it uses goes).
// Locks: m_exchangeLock (recursive) makes each Transact, and each whole Open/Close Session,
// atomic: it guards the socket, both buffers, the RSP state, the RAKP material, the saved
// credentials and the last reason. m_dataLock guards the presence, capabilities and system
// state stores that the views read. Neither lock is held across a dialog or a Send.
#include "asf/AsfCredentials.h"
#include "asf/AsfFraming.h"
#include "asf/AsfSessionMessages.h"
#include "platform/Clock.h"
#include "platform/DatagramSocket.h"
#include "platform/MessageBox.h"
#include "platform/Random.h"
#include "platform/WorkerThread.h"
#include "shell/ShellTypes.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class CDialogService;

// The frame's "Disconnect Current Server" command, sent when a poll finds the machine gone.
constexpr UINT ASF_ID_DISCONNECT_CURRENT_SERVER = 32782;
// The command's lParam when a poll sends it: this flag and the server tag in the low byte, so
// the frame disconnects the machine that went away, not whichever server is selected.
constexpr LPARAM ASF_COMMAND_FROM_POLL = 0x10000;
constexpr LPARAM AsfPollCommandParam(BYTE serverTag)
{
    return ASF_COMMAND_FROM_POLL | serverTag;
}

// Kept for the class layout of the message family; the messages are built by CASFSession.
class CASFMsg
{
public:
    virtual ~CASFMsg() = default;
};

// The outside world a session talks through; tests pass fakes, ports and short time-outs.
struct tagASF_SESSION_ENV
{
    IClock* clock = &SystemClock();
    IRandom* random = &SystemRandom();
    DatagramSocketFactory sockets = UdpSocketFactory();
    WORD primaryPort = RMCP_PRIMARY_PORT;
    WORD securePort = RMCP_SECURE_PORT;
    DWORD timeoutMs = 3000;                   // send and receive time-out of each datagram
    CDialogService* dialogs = nullptr;        // the login dialog; null answers Cancel
    IMessageBoxService* messageBox = nullptr; // refusal boxes; null shows none
    IMessageSink* sink = nullptr;             // the main window; null sends nothing
    DWORD sendLimitMs = 5000; // how long the poll waits for the window to take its command
    LPARAM commandParam = 0;  // lParam of that command (CASFServer: AsfPollCommandParam)
};

class CASFSession
{
public:
    static constexpr int ATTEMPTS = 2;
    // Datagrams from other sources read and dropped within one receive, at most.
    static constexpr int MAX_FOREIGN_DATAGRAMS = 32;

    explicit CASFSession(DWORD address, tagASF_SESSION_ENV env = {});
    ~CASFSession();
    CASFSession(const CASFSession&) = delete;
    CASFSession& operator=(const CASFSession&) = delete;

    // Transport.
    BOOL OpenSocket();
    // One exchange: the message, its acknowledgement when wanted, its reply when wanted.
    // replyLength: the capacity of reply in, the reply's data length out.
    BOOL Transact(BYTE type, const BYTE* data, std::size_t dataLength, BOOL wantReply, BYTE* reply,
                  std::size_t* replyLength, BOOL wantAck);
    BOOL SendAck(const BYTE* datagram, std::size_t length);
    // buffer holds ASF_BUFFER_SIZE bytes; length in and out.
    BOOL WrapSecure(BYTE* buffer, std::size_t& length);
    BOOL VerifyIntegrity(const BYTE* datagram, std::size_t length);

    // Session.
    BOOL OpenSession(const tagASF_CREDENTIALS& credentials);
    void CloseSession();
    // Shows an empty login dialog and opens the session with its answer.
    BOOL Login();
    BOOL IsPongReceived() const { return m_pongReceived.load() ? TRUE : FALSE; }
    BOOL IsEstablished() const { return m_established.load() ? TRUE : FALSE; }
    BOOL IsRspSupported() const { return m_rspSupported.load() ? TRUE : FALSE; }
    BOOL IsIpmiSupported() const { return m_ipmiSupported.load() ? TRUE : FALSE; }
    // Presence Ping (no acknowledgement); the presence flags follow its outcome.
    BOOL PresencePing();
    // Capabilities Request into the capabilities store.
    BOOL ReadCapabilities();
    // The 16 bytes of the last Capabilities Response; FALSE when none is held.
    BOOL GetCapabilities(BYTE out[ASF_CAPABILITIES_SIZE]) const;
    tagASF_CREDENTIALS GetSavedCredentials();

    // Power operations: TRUE done or refused with a box, FALSE failed.
    BOOL PowerUp();
    BOOL PowerDown();
    BOOL Reset();
    BOOL PowerCycle();

    // Starts the one-shot poll thread; FALSE when the previous poll still runs.
    BOOL StartPoll();
    BOOL PollSystemState();
    BOOL GetStateTexts(std::string& state, std::string& watchdog) const;
    BYTE GetStateCode() const;
    // The 4 bytes of the last System State Response; FALSE when no valid state is held.
    BOOL GetSystemState(BYTE out[ASF_SYSTEM_STATE_SIZE]) const;

    DWORD Address() const { return m_address; }
    // Why the last exchange or session step failed, for logs and the command-line tool.
    std::string LastReason();

private:
    BOOL Power(BYTE type, BYTE mask, const char* text, const char* caption);
    BOOL PollOnce(CEvent* stop);
    // Waits for a running poll to end, bounded by the time-outs of its exchanges.
    void WaitForPoll();
    // Zeroes the session state (keys wiped), RSP off, socket closed.
    void ResetLocked();
    BOOL FailOpen(const char* reason);
    // One datagram from the adapter's address and port into m_receive; its length, 0 when
    // none came in time.
    std::size_t Receive(WORD port);
    void SetReason(const char* reason) { m_lastReason = reason; }
    BOOL Refuse(const char* text, const char* caption);

    const DWORD m_address;
    tagASF_SESSION_ENV m_env;

    std::recursive_mutex m_exchangeLock;
    std::unique_ptr<IDatagramSocket> m_socket; // guarded by m_exchangeLock
    tagRSP_STATE m_rsp;                        // guarded by m_exchangeLock
    tagASF_RAKP_MATERIAL m_material;           // guarded by m_exchangeLock
    tagASF_CREDENTIALS m_saved;                // guarded by m_exchangeLock
    std::string m_lastReason;                  // guarded by m_exchangeLock
    BYTE m_receive[ASF_BUFFER_SIZE] = {};      // guarded by m_exchangeLock
    BYTE m_transmit[ASF_BUFFER_SIZE] = {};     // guarded by m_exchangeLock

    mutable std::mutex m_dataLock;
    BYTE m_capabilities[ASF_CAPABILITIES_SIZE] = {}; // guarded by m_dataLock
    bool m_capabilitiesKnown = false;                // guarded by m_dataLock
    BYTE m_state[ASF_SYSTEM_STATE_SIZE] = {};        // guarded by m_dataLock
    bool m_stateValid = false;                       // guarded by m_dataLock

    std::atomic<bool> m_established{false};
    std::atomic<bool> m_pongReceived{true};
    std::atomic<bool> m_rspSupported{false};
    std::atomic<bool> m_ipmiSupported{false};
    // The last Presence Pong arrived and did not announce RSP support.
    std::atomic<bool> m_rspDenied{false};
    std::atomic<bool> m_pollSendingCommand{false};

    // Last, so that it is joined before anything it uses is destroyed.
    CWorkerThread m_pollThread;
};
