#include "asf/ASFServer.h"

#include "asf/AsfStates.h"

#include <cstdint>

const char* const ASF_CONNECT_FAILED_TEXT =
    "Fail to connect to the ASF server!\nPlease check whether you have proper\naccess "
    "privilege. Otherwise , please \ntry later.";
const char* const ASF_CONNECT_FAILED_CAPTION = "ASF Connecting";
const char* const ASF_DISCONNECT_FAILED_TEXT = "Fail to disconnect the ASF server";
const char* const ASF_DISCONNECT_FAILED_CAPTION = "Disconnect";

DWORD NormaliseAsfPollInterval(DWORD storedSeconds)
{
    // The registry value is read as the signed number the settings dialog wrote.
    const auto seconds = static_cast<std::int32_t>(storedSeconds);
    if (seconds <= 0)
        return DEFAULT_ASF_POLL_SECONDS;
    // Kept within what a millisecond timer period can hold.
    constexpr DWORD LIMIT = 0xFFFFFFFFu / 1000;
    return static_cast<DWORD>(seconds) > LIMIT ? LIMIT : static_cast<DWORD>(seconds);
}

namespace
{
tagASF_SESSION_ENV SessionEnv(tagASF_SESSION_ENV env, BYTE serverTag)
{
    env.commandParam = AsfPollCommandParam(serverTag);
    return env;
}
} // namespace

CASFServer::CASFServer(const tagSERVER_RECORD& record, tagASF_SERVER_ENV env)
    : CServer(record), m_session(std::make_unique<CASFSession>(
                           record.ipAddress, SessionEnv(std::move(env.session), record.serverTag))),
      m_pollInterval(NormaliseAsfPollInterval(env.settings.pollIntervalSeconds)),
      m_pollPowerEnabled(env.settings.pollPowerEnabled)
{
}

CASFServer::~CASFServer()
{
    Disconnect();
}

BOOL CASFServer::Reconnect()
{
    if (!m_session->Login())
        return FALSE;
    SetConnected(TRUE);
    m_connectTime = std::time(nullptr);
    return TRUE;
}

BOOL CASFServer::ConnectWith(const tagASF_CREDENTIALS& credentials)
{
    if (!m_session->OpenSession(credentials))
        return FALSE;
    SetConnected(TRUE);
    m_connectTime = std::time(nullptr);
    return TRUE;
}

BOOL CASFServer::Disconnect()
{
    if (!IsConnected())
        return FALSE;
    m_session->CloseSession();
    SetConnected(FALSE);
    return TRUE;
}

int CASFServer::GetPowerState()
{
    if (m_pollPowerEnabled.load() == 0)
        return 2;
    const int power = AsfPowerIndication(m_session->GetStateCode());
    m_powerState = power;
    return power;
}

BOOL CASFServer::AfterPower(BOOL done)
{
    if (!done)
        SetConnected(m_session->IsEstablished());
    return done;
}

BOOL CASFServer::PowerUp()
{
    return AfterPower(m_session->PowerUp());
}

BOOL CASFServer::PowerDown()
{
    return AfterPower(m_session->PowerDown());
}

BOOL CASFServer::Reset()
{
    return AfterPower(m_session->Reset());
}

BOOL CASFServer::PowerCycle()
{
    return AfterPower(m_session->PowerCycle());
}

BOOL CASFServer::StartPoll()
{
    if (!IsConnected())
        return FALSE;
    return m_session->StartPoll();
}

void CASFServer::SetSettings(const tagASF_SETTINGS& settings)
{
    m_pollInterval = NormaliseAsfPollInterval(settings.pollIntervalSeconds);
    m_pollPowerEnabled = settings.pollPowerEnabled;
}

tagASF_SETTINGS CASFServer::GetSettings() const
{
    return {m_pollInterval.load(), m_pollPowerEnabled.load()};
}

DWORD CASFServer::GetPollPeriodMs() const
{
    return m_pollInterval.load() * 1000;
}
