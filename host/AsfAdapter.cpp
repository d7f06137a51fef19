#include "host/AsfAdapter.h"

#include "asf/ASFServer.h"
#include "asf/ASFSession.h"
#include "asf/DlgASFSession.h"

namespace
{
// The probe waits less than a session exchange: it runs while the operator waits for the
// add command to finish.
constexpr DWORD PROBE_TIMEOUT_MS = 1000;
} // namespace

std::unique_ptr<CServer> MakeAsfServer(const tagSERVER_RECORD& record, const tagASF_ENV& env)
{
    tagASF_SERVER_ENV asf;
    asf.session.primaryPort = env.rmcpPort;
    asf.session.securePort = env.rspPort;
    asf.session.sink = env.sink;
    asf.session.messageBox = env.messageBox;
    asf.settings.pollIntervalSeconds =
        NormaliseAsfPollInterval(static_cast<DWORD>(env.stateIntervalSeconds));
    asf.settings.pollPowerEnabled = env.powerPolling ? 1 : 0;
    return std::make_unique<CASFServer>(record, asf);
}

ASF_CONNECT_RESULT ConnectAsfServer(CServer& server, CDialogService& dialogs,
                                    CCredentialStore& credentials)
{
    auto* asf = dynamic_cast<CASFServer*>(&server);
    if (asf == nullptr)
        return ASF_CONNECT_RESULT::FAILED;
    std::string stored;
    tagASF_CREDENTIALS storedCredentials;
    const BOOL known = credentials.RetrieveCredential(server.GetIpText(), stored) &&
                       ParseAsfCredential(stored, storedCredentials);
    tagASF_CREDENTIALS entered = known ? storedCredentials : tagASF_CREDENTIALS{};
    CDlgASFSession dialog(&dialogs);
    if (dialog.DoModal(entered) != IDOK)
        return ASF_CONNECT_RESULT::CANCELLED;
    if (!asf->ConnectWith(entered))
        return ASF_CONNECT_RESULT::FAILED;
    // Kept for the next connect when new or changed; a failing store does not undo the
    // connection.
    if (!known || !(entered == storedCredentials))
        credentials.StoreCredential(server.GetIpText(), FormatAsfCredential(entered));
    return ASF_CONNECT_RESULT::CONNECTED;
}

BOOL AsfPower(CServer& server, ASF_POWER_OP op)
{
    auto* asf = dynamic_cast<CASFServer*>(&server);
    if (asf == nullptr)
        return FALSE;
    switch (op)
    {
    case ASF_POWER_OP::UP:
        return asf->PowerUp();
    case ASF_POWER_OP::DOWN:
        return asf->PowerDown();
    case ASF_POWER_OP::RESET:
        return asf->Reset();
    case ASF_POWER_OP::CYCLE:
        return asf->PowerCycle();
    }
    return FALSE;
}

void SetAsfStateInterval(CServer& server, int seconds)
{
    if (auto* asf = dynamic_cast<CASFServer*>(&server))
    {
        tagASF_SETTINGS settings = asf->GetSettings();
        settings.pollIntervalSeconds = NormaliseAsfPollInterval(static_cast<DWORD>(seconds));
        asf->SetSettings(settings);
    }
}

DWORD AsfPollPeriodMs(CServer& server)
{
    auto* asf = dynamic_cast<CASFServer*>(&server);
    return asf != nullptr && asf->IsConnected() ? asf->GetPollPeriodMs() : 0;
}

BOOL StartAsfPoll(CServer& server)
{
    auto* asf = dynamic_cast<CASFServer*>(&server);
    return asf != nullptr && asf->StartPoll();
}

int ProbeServerKind(DWORD address, WORD rmcpPort)
{
    tagASF_SESSION_ENV env;
    env.primaryPort = rmcpPort;
    env.timeoutMs = PROBE_TIMEOUT_MS;
    CASFSession session(address, env);
    if (!session.OpenSocket() || !session.PresencePing())
        return -1;
    return session.IsIpmiSupported() ? 1 : 0;
}
