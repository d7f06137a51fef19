#pragma once
// The frame's door to the ASF server object: making one for a record, the connect flow with
// its credential dialog, and the power operations. Kept in one place so that the frame's
// commands read the same for both kinds of server. UI thread only.
#include "platform/Types.h"
#include "platform/ui/DialogService.h"
#include "shell/CredentialStore.h"
#include "shell/Server.h"
#include "shell/ShellTypes.h"

#include <memory>

struct tagASF_ENV
{
    WORD rmcpPort = 623; // RMCP (presence ping, ASF messages)
    WORD rspPort = 664;  // the RSP secure session
    IMessageSink* sink = nullptr;
    IMessageBoxService* messageBox = nullptr;
    int stateIntervalSeconds = 30;
    BOOL powerPolling = FALSE;
};

enum class ASF_POWER_OP
{
    UP,
    DOWN,
    RESET,
    CYCLE,
};

enum class ASF_CONNECT_RESULT
{
    CANCELLED,
    CONNECTED,
    FAILED,
};

std::unique_ptr<CServer> MakeAsfServer(const tagSERVER_RECORD& record, const tagASF_ENV& env);
// Shows the credential dialog prefilled from the store, connects, and stores the credential
// string again when it was new or changed.
ASF_CONNECT_RESULT ConnectAsfServer(CServer& server, CDialogService& dialogs,
                                    CCredentialStore& credentials);
BOOL AsfPower(CServer& server, ASF_POWER_OP op);
void SetAsfStateInterval(CServer& server, int seconds);
// The state-polling period of a connected ASF server in milliseconds, 0 for other servers.
DWORD AsfPollPeriodMs(CServer& server);
// Starts one state poll of an ASF server; FALSE when none started.
BOOL StartAsfPoll(CServer& server);

// Presence ping of an address: 1 when the pong announces IPMI, 0 for an ASF-only pong,
// -1 when no pong arrives.
int ProbeServerKind(DWORD address, WORD rmcpPort);
