#pragma once
// CAsfAgent: the managed side of ASF 2.0 over RMCP, as a scripted test peer. It answers
// Presence Ping, Capabilities and System State Requests and acknowledges what asks for it
// on the RMCP primary port; on the secure port it runs the RSP session (Open Session,
// RAKP Messages 1-3 with RAKP-HMAC-SHA1, then HMAC-SHA1-96 integrity with the session key)
// and carries out the power operations inside it. Sans-I/O: HandleDatagram takes one
// received datagram and returns what to send back to its source. Faults are injected here.
// One mutex guards all state: the port threads and the control channel call in at once.
//
// Control lines (Control), one reply line each:
//   state N | watchdog 0|1 | capabilities HH | ipmi 0|1 | rsp 0|1 | silent 0|1
//   bad-auth-code 0|1 | bad-integrity 0|1 | big-reply 0|1 | send-rakp4 0|1
//   drop-every N | drop-ack N | drop-reply N        -> "ok" or "error: <reason>"
//   stats -> "stats key=value ... user=<name>" (tagSIM_STATS, user last, rest of the line)
#include "platform/Random.h"
#include "tools/asf-sim/SimOptions.h"

#include <mutex>
#include <string>
#include <vector>

enum class AsfChannel
{
    Primary, // RMCP primary port: plain RMCP/ASF messages
    Secure,  // RSP secure port: every message behind the RSP header
};

struct tagSIM_STATS
{
    unsigned received = 0;   // datagrams handed in
    unsigned dropped = 0;    // received but dropped by --silent or --drop-every
    unsigned rejected = 0;   // malformed, unknown session, bad integrity, stale, refused
    unsigned duplicates = 0; // retransmissions answered from the last replies
    unsigned pings = 0;
    unsigned capabilities = 0; // Capabilities Requests
    unsigned stateRequests = 0;
    unsigned acksSent = 0;
    unsigned acksReceived = 0;
    unsigned repliesSent = 0;
    unsigned sendsDropped = 0;   // acknowledgements and replies held back by --drop-ack/-reply
    unsigned sessionsOpened = 0; // sessions that reached the established state
    unsigned authFailures = 0;   // RAKP Message 3 with a wrong code
    unsigned closes = 0;
    unsigned powerOps = 0;
    BYTE lastPowerOp = 0; // message type of the last power operation, 0 for none
    bool established = false;
    BYTE lastRole = 0xFF; // ROLEm of the last RAKP Message 1, FFh for none
    std::string lastUser;
    std::string lastReject; // short reason of the last rejection, empty for none
    BYTE state = 0;
    bool watchdog = false;
};

class CAsfAgent
{
public:
    explicit CAsfAgent(const tagSIM_OPTIONS& options, IRandom& random = SystemRandom());
    ~CAsfAgent();
    CAsfAgent(const CAsfAgent&) = delete;
    CAsfAgent& operator=(const CAsfAgent&) = delete;

    std::vector<std::vector<BYTE>> HandleDatagram(AsfChannel channel, const BYTE* data,
                                                  std::size_t length);
    std::string Control(const std::string& line);
    tagSIM_STATS Stats() const;
    static std::string FormatStats(const tagSIM_STATS& stats);

    // One datagram to send: acknowledgements and replies are dropped by different faults.
    struct tagOUTGOING
    {
        bool isAck = false;
        std::vector<BYTE> bytes;
    };

private:
    enum class Phase
    {
        Idle,
        Opened,    // Open Session Response sent
        Rakp2Sent, // waiting for RAKP Message 3
        Established,
    };

    // One parsed RMCP message (the 4-byte acknowledgement or a 12-byte ASF header and data).
    struct tagRMCP_VIEW
    {
        BYTE sequence = 0;
        BYTE messageClass = 0;
        bool isAck = false;
        BYTE type = 0;
        BYTE tag = 0;
        const BYTE* data = nullptr;
        std::size_t dataLength = 0;
        std::size_t length = 0; // 4 for an acknowledgement, else 12 + dataLength
    };

    // What a handler decided: refused (no answer at all), or accepted with an optional reply.
    struct tagHANDLED
    {
        bool accepted = false;
        bool hasReply = false;
        BYTE replyType = 0;
        std::vector<BYTE> replyData;
        std::vector<BYTE> rakp4; // data of RAKP Message 4 to send after the reply, if any
        bool endSession = false;
    };

    std::vector<tagOUTGOING> HandlePrimary(const BYTE* data, std::size_t length);
    std::vector<tagOUTGOING> HandleSecure(const BYTE* data, std::size_t length);
    std::vector<tagOUTGOING> HandleSetupMessage(const BYTE* data, std::size_t length,
                                                const tagRMCP_VIEW& message);
    std::vector<tagOUTGOING> HandleSessionMessage(const BYTE* data, std::size_t length);

    bool ParseRmcp(const BYTE* data, std::size_t length, tagRMCP_VIEW& view);
    bool CheckTrailer(const BYTE* data, std::size_t length, std::size_t messageLength);
    tagHANDLED HandleStatusMessage(const tagRMCP_VIEW& message);
    tagHANDLED HandleOpenSession(const tagRMCP_VIEW& message);
    tagHANDLED HandleRakp1(const tagRMCP_VIEW& message);
    tagHANDLED HandleRakp3(const tagRMCP_VIEW& message);
    tagHANDLED HandlePowerOp(const tagRMCP_VIEW& message);

    std::vector<BYTE> BuildMessage(BYTE sequence, BYTE type, BYTE tag,
                                   const std::vector<BYTE>& data) const;
    std::vector<BYTE> SignSecure(std::vector<BYTE> datagram) const;
    BYTE NextRmcpSequence();
    bool Reject(const char* reason);
    void ResetSession();
    std::vector<std::vector<BYTE>> ApplySendFaults(const std::vector<tagOUTGOING>& outgoing);
    std::string ControlLocked(const std::string& command, const std::string& argument);

    mutable std::mutex m_lock;
    tagSIM_OPTIONS m_options;
    IRandom& m_random;
    tagSIM_STATS m_stats;

    Phase m_phase = Phase::Idle;
    BYTE m_sidR[4] = {};
    BYTE m_sidM[4] = {};
    BYTE m_rr[16] = {};
    BYTE m_rm[16] = {};
    BYTE m_role = 0;
    std::string m_name;
    BYTE m_kr[SIM_KEY_SIZE] = {};
    BYTE m_sik[SIM_KEY_SIZE] = {};
    DWORD m_rxSequence = 0; // last session sequence number accepted from the console
    DWORD m_txSequence = 0; // last session sequence number sent
    BYTE m_rmcpSequence = 0;

    // The last message taken on the secure port and what went back: a retransmission of
    // the same bytes is answered the same way, without doing it twice.
    std::vector<BYTE> m_lastSecureRequest;
    std::vector<tagOUTGOING> m_lastSecureReplies;
};
