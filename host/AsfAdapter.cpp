#include "host/AsfAdapter.h"

// Until the ASF server object is part of the build every ASF operation fails; the servers
// still appear in the list and the tree.
namespace
{
class CUnreachableAsfServer final : public CServer
{
public:
    using CServer::CServer;
    BOOL Reconnect() override { return FALSE; }
    BOOL Disconnect() override
    {
        SetConnected(FALSE);
        return TRUE;
    }
    int GetPowerState() override { return 2; }
};
} // namespace

std::unique_ptr<CServer> MakeAsfServer(const tagSERVER_RECORD& record, const tagASF_ENV&)
{
    return std::make_unique<CUnreachableAsfServer>(record);
}

ASF_CONNECT_RESULT ConnectAsfServer(CServer&, CDialogService&, CCredentialStore&)
{
    return ASF_CONNECT_RESULT::FAILED;
}

BOOL AsfPower(CServer&, ASF_POWER_OP)
{
    return FALSE;
}

void SetAsfStateInterval(CServer&, int) {}

int ProbeServerKind(DWORD, WORD)
{
    return -1;
}
