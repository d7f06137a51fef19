#pragma once
// CComConnect: the connection kind of servers recorded with the serial connection type.
// The server list accepts no such servers, so it only keeps the place: every operation
// reports success and moves nothing, and every command through it ends without a reply.
#include "transport/IPMIConnect.h"

class CComConnect : public CIPMIConnect
{
public:
    BOOL Connect(DWORD, WORD, const tagLAN_CONNECT_PARAM&) override { return TRUE; }
    BOOL Disconnect() override { return TRUE; }
    DWORD NextSequence() override { return 0xFFFFFFFFu; }
    BOOL BuildPacket(const BYTE*, BYTE*, std::size_t& length, DWORD) override
    {
        length = 0;
        return TRUE;
    }
    BOOL ExtractMessage(const BYTE*, std::size_t, BYTE*, std::size_t) override { return TRUE; }
    BOOL SendPacket(const BYTE*, std::size_t) override { return TRUE; }
    BOOL ReceivePacket(BYTE*, std::size_t& length) override
    {
        length = 0;
        return TRUE;
    }
};
