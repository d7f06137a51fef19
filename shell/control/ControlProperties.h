#pragma once
// The control's four persistent text properties, exchanged with the page's parameters of the
// same names (all empty by default), and the preset server they describe. Plain data and a
// pure function.
#include "platform/Types.h"
#include "shell/ShellTypes.h"

#include <string>

constexpr UINT WM_ADD_SERVER_NO_PROBE = 0x59F; // wParam: record, lParam: 1 to connect

struct tagCONTROL_PROPERTIES
{
    std::string Name;
    std::string IP;      // dotted IPv4 address
    std::string Type;    // "IPMI" (exactly) for an IPMI server, anything else for ASF
    std::string Connect; // "1" to connect the preset server at start
};

// The record and connect flag for the frame's add-without-probing message. FALSE (nothing
// to send) when Name is empty, or when IP is not a dotted IPv4 address: a server is never
// preset at an address the page did not give. The name is cut to 24 characters, connection
// type 0, server type 1 for "IPMI" else 0, the address in host order, phone text empty.
BOOL BuildPresetServer(const tagCONTROL_PROPERTIES& properties, tagSERVER_RECORD& record,
                       BOOL& connect);
