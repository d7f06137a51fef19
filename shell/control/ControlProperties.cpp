#include "shell/control/ControlProperties.h"

#include "shell/ServerListStore.h"

#include <arpa/inet.h>

#include <cstring>

BOOL BuildPresetServer(const tagCONTROL_PROPERTIES& properties, tagSERVER_RECORD& record,
                       BOOL& connect)
{
    connect = FALSE;
    if (properties.Name.empty())
        return FALSE;
    in_addr address{};
    // Strict dotted-decimal: a mistyped address is not turned into the broadcast address.
    if (inet_pton(AF_INET, properties.IP.c_str(), &address) != 1)
        return FALSE;
    record = tagSERVER_RECORD{};
    SetRecordName(record, properties.Name);
    record.connectionType = CONNECTION_TYPE_LAN;
    record.serverType = properties.Type == "IPMI" ? SERVER_TYPE_IPMI : 0;
    record.ipAddress = ntohl(address.s_addr);
    connect = properties.Connect == "1" ? TRUE : FALSE;
    return TRUE;
}
