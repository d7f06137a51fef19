#include "asf/ASFSession.h"

#include "asf/AsfStates.h"
#include "asf/DlgASFSession.h"
#include "transport/crypto/Secure.h"

#include <cstring>

namespace
{
constexpr const char* POWER_DOWN_REFUSED =
    "The host you connected to  does not support Power Down!.\n";
constexpr const char* RESET_REFUSED = "The host you connected to  does not support Reset!.\n";
constexpr const char* POWER_CYCLE_REFUSED =
    "The host you connected to  does not support Power Cycle!.\n";
constexpr const char* POWER_UP_REFUSED = "The host you connected to  does not support Power up!.\n";
} // namespace

CASFSession::CASFSession(DWORD address, tagASF_SESSION_ENV env)
    : m_address(address), m_env(std::move(env))
{
    if (m_env.clock == nullptr)
        m_env.clock = &SystemClock();
    if (m_env.random == nullptr)
        m_env.random = &SystemRandom();
    if (!m_env.sockets)
        m_env.sockets = UdpSocketFactory();
}

CASFSession::~CASFSession()
{
    m_pollThread.RequestStop();
    m_pollThread.Join(0xFFFFFFFFu);
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    ResetLocked();
}

BOOL CASFSession::OpenSocket()
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    if (m_socket)
        m_socket->Close();
    m_socket = m_env.sockets();
    if (!m_socket || !m_socket->Open(m_env.timeoutMs))
    {
        m_socket.reset();
        SetReason("cannot create the UDP socket");
        return FALSE;
    }
    return TRUE;
}

std::size_t CASFSession::Receive(WORD port)
{
    const DWORD start = m_env.clock->GetTickCount();
    for (int foreign = 0; foreign <= MAX_FOREIGN_DATAGRAMS;)
    {
        const DWORD elapsed = m_env.clock->GetTickCount() - start;
        if (elapsed >= m_env.timeoutMs)
            break;
        tagDATAGRAM_RESULT got =
            m_socket->ReceiveFrom(m_receive, sizeof m_receive, m_env.timeoutMs - elapsed);
        switch (got.status)
        {
        case DatagramStatus::Ok:
            // Only the adapter, at the port the message went to, may answer for it.
            if (got.sourceAddress == m_address && got.sourcePort == port && got.length > 0)
                return got.length;
            ++foreign;
            break;
        case DatagramStatus::Refused:
            ++foreign;
            break;
        case DatagramStatus::TimedOut:
            SetReason("no answer");
            return 0;
        case DatagramStatus::Error:
            SetReason("receive failed");
            return 0;
        }
    }
    SetReason("no answer");
    return 0;
}

BOOL CASFSession::Transact(BYTE type, const BYTE* data, std::size_t dataLength, BOOL wantReply,
                           BYTE* reply, std::size_t* replyLength, BOOL wantAck)
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    if (!m_socket || !m_socket->IsOpen())
    {
        SetReason("no socket");
        return FALSE;
    }
    const BYTE sequence = wantAck ? TakeRmcpSequence() : ASF_SEQUENCE_NO_ACK;
    std::size_t length =
        BuildAsfMessage(type, sequence, data, dataLength, m_transmit, sizeof m_transmit);
    if (length == 0 || (m_rsp.rspMode && !WrapSecure(m_transmit, length)))
    {
        SetReason("message does not fit");
        return FALSE;
    }
    const bool rsp = m_rsp.rspMode;
    const WORD port = rsp ? m_env.securePort : m_env.primaryPort;
    const BYTE expectedType = AsfReplyType(type);

    bool answered = false;
    std::size_t dataOffset = 0;
    BYTE announced = 0;
    for (int attempt = 0; attempt < ATTEMPTS && !answered; ++attempt)
    {
        if (!m_socket->SendTo(m_address, port, m_transmit, length))
        {
            SetReason("send failed");
            continue;
        }
        if (wantAck)
        {
            const std::size_t got = Receive(port);
            const char* why = nullptr;
            if (got == 0)
                continue;
            if (!IsAsfAckFor(rsp, m_receive, got, sequence, &why))
            {
                SetReason(why);
                continue;
            }
        }
        if (!wantReply)
            return TRUE;
        const std::size_t got = Receive(port);
        if (got == 0)
            continue;
        // A forged or mangled reply is neither acknowledged nor used.
        if (rsp && m_rsp.established && !CheckRspIntegrity(m_rsp.key, m_receive, got))
        {
            SetReason("integrity data does not match");
            continue;
        }
        const char* why = nullptr;
        if (!ExtractAsfReply(rsp, m_receive, got, expectedType, &dataOffset, &announced, &why))
        {
            SetReason(why);
            continue;
        }
        if (rsp && wantAck)
            SendAck(m_receive, got);
        answered = true;
    }
    if (!answered)
        return FALSE;
    if (reply != nullptr && replyLength != nullptr)
    {
        const std::size_t capacity = *replyLength;
        *replyLength = announced;
        if (capacity < announced)
        {
            SetReason("reply larger than expected");
            return FALSE;
        }
        if (announced > 0)
            std::memcpy(reply, m_receive + dataOffset, announced);
    }
    return TRUE;
}

BOOL CASFSession::SendAck(const BYTE* datagram, std::size_t length)
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    if (!m_socket)
        return FALSE;
    BYTE ack[RSP_HEADER_SIZE + RMCP_ACK_SIZE + 4 + RSP_INTEGRITY_SIZE];
    const std::size_t size = BuildAsfAck(m_rsp, datagram, length, ack, sizeof ack);
    if (size == 0)
        return FALSE;
    const WORD port = m_rsp.rspMode ? m_env.securePort : m_env.primaryPort;
    return m_socket->SendTo(m_address, port, ack, size);
}

BOOL CASFSession::WrapSecure(BYTE* buffer, std::size_t& length)
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    const std::size_t wrapped = WrapRsp(m_rsp, buffer, length, ASF_BUFFER_SIZE);
    if (wrapped == 0)
        return FALSE;
    length = wrapped;
    return TRUE;
}

BOOL CASFSession::VerifyIntegrity(const BYTE* datagram, std::size_t length)
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    return CheckRspIntegrity(m_rsp.key, datagram, length);
}

void CASFSession::ResetLocked()
{
    if (m_socket)
    {
        m_socket->Close();
        m_socket.reset();
    }
    SecureZero(&m_rsp, sizeof m_rsp);
    m_rsp = tagRSP_STATE{};
    ClearRakpMaterial(m_material);
    SecureZero(m_saved.administratorKey.data(), m_saved.administratorKey.size());
    SecureZero(m_saved.operatorKey.data(), m_saved.operatorKey.size());
    SecureZero(m_saved.generationKey.data(), m_saved.generationKey.size());
    m_saved = tagASF_CREDENTIALS{};
    m_established = false;
    m_pongReceived = false;
    m_rspSupported = false;
    m_ipmiSupported = false;
    m_rspDenied = false;
    std::lock_guard<std::mutex> data(m_dataLock);
    std::memset(m_capabilities, 0, sizeof m_capabilities);
    m_capabilitiesKnown = false;
    std::memset(m_state, 0, sizeof m_state);
    m_stateValid = false;
}

BOOL CASFSession::PresencePing()
{
    BYTE pong[ASF_PONG_SIZE] = {};
    std::size_t size = sizeof pong;
    if (!Transact(ASF_MSG_PRESENCE_PING, nullptr, 0, TRUE, pong, &size, FALSE))
    {
        m_pongReceived = false;
        return FALSE;
    }
    tagASF_PONG parsed;
    ParsePresencePong(pong, size, parsed);
    m_pongReceived = true;
    m_ipmiSupported = parsed.ipmiSupported != FALSE;
    m_rspSupported = parsed.rspSupported != FALSE;
    m_rspDenied = parsed.rspSupported == FALSE;
    return TRUE;
}

BOOL CASFSession::ReadCapabilities()
{
    BYTE caps[ASF_CAPABILITIES_SIZE] = {};
    std::size_t size = sizeof caps;
    if (!Transact(ASF_MSG_CAPABILITIES_REQUEST, nullptr, 0, TRUE, caps, &size, TRUE))
        return FALSE;
    std::lock_guard<std::mutex> data(m_dataLock);
    std::memcpy(m_capabilities, caps, sizeof caps);
    m_capabilitiesKnown = true;
    return TRUE;
}

BOOL CASFSession::GetCapabilities(BYTE out[ASF_CAPABILITIES_SIZE]) const
{
    std::lock_guard<std::mutex> data(m_dataLock);
    std::memcpy(out, m_capabilities, sizeof m_capabilities);
    return m_capabilitiesKnown ? TRUE : FALSE;
}

BOOL CASFSession::FailOpen(const char* reason)
{
    if (reason != nullptr)
        SetReason(reason);
    ResetLocked();
    return FALSE;
}

BOOL CASFSession::OpenSession(const tagASF_CREDENTIALS& credentials)
{
    WaitForPoll();
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    ResetLocked();
    if (!OpenSocket())
        return FALSE;
    // An adapter that ignores the ping may still open a session.
    PresencePing();
    if (!ReadCapabilities())
        return FALSE;

    tagASF_RAKP_MATERIAL& m = m_material;
    m.role = credentials.roleIndex == ASF_ROLE_INDEX_ADMINISTRATOR ? ASF_ROLE_ADMINISTRATOR
                                                                   : ASF_ROLE_OPERATOR;
    // RAKP Message 1 has room for 16 name bytes; the dialog allows no more.
    const std::string user = credentials.userName.substr(0, ASF_USER_NAME_MAX);
    m.userLength = static_cast<BYTE>(user.size());
    std::memcpy(m.user, user.data(), user.size());
    ParseAsfKey(m.role == ASF_ROLE_ADMINISTRATOR ? credentials.administratorKey
                                                 : credentials.operatorKey,
                m.kr);
    ParseAsfKey(credentials.generationKey, m.kg);
    if (!m_env.random->Fill(m.sidr, sizeof m.sidr))
        return FailOpen("no random source");

    m_rsp.rspMode = true;
    BYTE request[ASF_RAKP_1_SIZE];
    BuildOpenSessionRequest(m.sidr, request);
    BYTE response[ASF_RAKP_2_SIZE] = {};
    std::size_t size = ASF_OPEN_SESSION_RESPONSE_SIZE;
    const char* why = nullptr;
    if (!Transact(ASF_MSG_OPEN_SESSION_REQUEST, request, ASF_OPEN_SESSION_REQUEST_SIZE, TRUE,
                  response, &size, TRUE))
        return FailOpen(nullptr);
    if (!CheckOpenSessionResponse(response, size, m.sidm, &why))
        return FailOpen(why);

    if (!m_env.random->Fill(m.rr, sizeof m.rr))
        return FailOpen("no random source");
    BuildRakp1(m, request);
    size = ASF_RAKP_2_SIZE;
    if (!Transact(ASF_MSG_RAKP_1, request, ASF_RAKP_1_SIZE, TRUE, response, &size, TRUE))
        return FailOpen(nullptr);
    BYTE code[ASF_RAKP_CODE_SIZE];
    if (!CheckRakp2(m, response, size, code, &why))
        return FailOpen(why);
    if (!VerifyRakp2Code(m, code))
        return FailOpen("RAKP Message 2 authentication code does not match (wrong key?)");

    BYTE rakp3[ASF_RAKP_3_SIZE];
    BuildRakp3(m, rakp3);
    // RAKP Message 4 is not awaited; the adapter's acceptance shows in the next exchange.
    Transact(ASF_MSG_RAKP_3, rakp3, sizeof rakp3, FALSE, nullptr, nullptr, TRUE);

    ComputeSik(m, m_rsp.key);
    std::memcpy(m_rsp.sessionId, m.sidm, sizeof m.sidm);
    m_rsp.sequence = 0;
    m_rsp.established = true;
    SecureZero(m.kr, sizeof m.kr);
    SecureZero(m.kg, sizeof m.kg);
    m_saved = credentials;
    m_established = true;
    return TRUE;
}

void CASFSession::CloseSession()
{
    WaitForPoll();
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    if (m_rsp.established)
        Transact(ASF_MSG_CLOSE_SESSION_REQUEST, nullptr, 0, FALSE, nullptr, nullptr, TRUE);
    ResetLocked();
}

BOOL CASFSession::Login()
{
    tagASF_CREDENTIALS credentials;
    CDlgASFSession dialog(m_env.dialogs);
    if (dialog.DoModal(credentials) != IDOK)
        return FALSE;
    return OpenSession(credentials);
}

tagASF_CREDENTIALS CASFSession::GetSavedCredentials()
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    return m_saved;
}

std::string CASFSession::LastReason()
{
    std::lock_guard<std::recursive_mutex> guard(m_exchangeLock);
    return m_lastReason;
}

BOOL CASFSession::Refuse(const char* text, const char* caption)
{
    if (m_env.messageBox != nullptr)
        m_env.messageBox->MessageBox(text, caption, MB_OK | MB_ICONWARNING);
    return TRUE;
}

BOOL CASFSession::Power(BYTE type, BYTE mask, const char* text, const char* caption)
{
    if (m_rspDenied)
        return FALSE;
    BYTE caps[ASF_CAPABILITIES_SIZE];
    // Before a first session nothing is known of the adapter: log in first, then decide.
    if (GetCapabilities(caps) && !(caps[ASF_CAPABILITY_BYTE] & mask))
        return Refuse(text, caption);
    if (!IsEstablished())
    {
        if (!Login())
            return FALSE;
        if (m_rspDenied)
            return FALSE;
        if (GetCapabilities(caps) && !(caps[ASF_CAPABILITY_BYTE] & mask))
            return Refuse(text, caption);
    }
    return Transact(type, nullptr, 0, FALSE, nullptr, nullptr, TRUE);
}

BOOL CASFSession::PowerUp()
{
    return Power(ASF_MSG_POWER_UP, ASF_CAP_POWER_UP, POWER_UP_REFUSED, "Power up");
}

BOOL CASFSession::PowerDown()
{
    return Power(ASF_MSG_POWER_DOWN, ASF_CAP_POWER_DOWN, POWER_DOWN_REFUSED, "Power Down");
}

BOOL CASFSession::Reset()
{
    return Power(ASF_MSG_RESET, ASF_CAP_RESET, RESET_REFUSED, "Reset");
}

BOOL CASFSession::PowerCycle()
{
    return Power(ASF_MSG_POWER_CYCLE, ASF_CAP_POWER_CYCLE, POWER_CYCLE_REFUSED, "Power Cycle");
}

BOOL CASFSession::StartPoll()
{
    if (m_pollThread.IsRunning())
        return FALSE; // one poll at a time; the next tick tries again
    m_pollSendingCommand = false;
    return m_pollThread.Start(
        [this](CEvent& stop)
        {
            PollOnce(&stop);
            return DWORD{0};
        },
        "asf-poll");
}

BOOL CASFSession::PollSystemState()
{
    return PollOnce(nullptr);
}

BOOL CASFSession::PollOnce(CEvent* stop)
{
    BYTE state[ASF_SYSTEM_STATE_SIZE] = {};
    std::size_t size = sizeof state;
    // A state reply without both the state and the watchdog byte holds no valid state.
    const BOOL ok =
        Transact(ASF_MSG_SYSTEM_STATE_REQUEST, nullptr, 0, TRUE, state, &size, TRUE) && size >= 2;
    {
        std::lock_guard<std::mutex> data(m_dataLock);
        m_stateValid = ok != FALSE;
        if (ok)
            std::memcpy(m_state, state, sizeof state);
    }
    if (ok)
        return TRUE;
    if (stop != nullptr && stop->IsSet())
        return FALSE;
    if (!PresencePing() && IsEstablished() && m_env.sink != nullptr &&
        !(stop != nullptr && stop->IsSet()))
    {
        // From here the thread touches nothing of the session: the window's handler of the
        // command closes this session, and CloseSession must not wait for us then.
        m_pollSendingCommand = true;
        m_env.sink->Send(WM_COMMAND,
                         MAKEWPARAM(static_cast<WORD>(ASF_ID_DISCONNECT_CURRENT_SERVER), 0),
                         m_env.commandParam, m_env.sendLimitMs, nullptr);
    }
    return FALSE;
}

void CASFSession::WaitForPoll()
{
    if (!m_pollThread.IsRunning())
    {
        m_pollThread.Join(0);
        return;
    }
    if (m_pollSendingCommand)
        return; // it waits on the very window that is closing us; it ends on its own
    m_pollThread.RequestStop();
    // A poll is two exchanges of two attempts, each waiting for an acknowledgement and a
    // reply, plus the wait for the lock held by one exchange of another thread.
    const DWORD bound = m_env.timeoutMs * 4 * ATTEMPTS * 3 + 1000;
    m_pollThread.Join(bound);
}

BOOL CASFSession::GetStateTexts(std::string& state, std::string& watchdog) const
{
    std::lock_guard<std::mutex> data(m_dataLock);
    if (!m_stateValid)
        return FALSE;
    state = AsfSystemStateText(m_state[0]);
    watchdog = AsfWatchdogText(m_state[1]);
    return TRUE;
}

BYTE CASFSession::GetStateCode() const
{
    std::lock_guard<std::mutex> data(m_dataLock);
    return m_stateValid ? static_cast<BYTE>(m_state[0] & 0x0F) : ASF_STATE_INVALID;
}

BOOL CASFSession::GetSystemState(BYTE out[ASF_SYSTEM_STATE_SIZE]) const
{
    std::lock_guard<std::mutex> data(m_dataLock);
    std::memcpy(out, m_state, sizeof m_state);
    return m_stateValid ? TRUE : FALSE;
}
