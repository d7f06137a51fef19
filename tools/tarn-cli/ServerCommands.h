#pragma once
// tarn-cli's commands that go through a connected IPMI server object and its threads:
// guid, sdr, sel, sel-clear, fru [ID], power status|on|off|cycle|reset.
#include "tools/tarn-cli/CliOptions.h"

#include "transport/TransportTypes.h"

// TRUE when command is one of the server object's commands.
BOOL IsServerCommand(const std::string& command);
// Connects a server object with the options' address and login, runs the command, prints
// its result and disconnects. Returns the process exit status.
int RunServerCommand(const tagCLI_OPTIONS& options, DWORD address,
                     const tagLAN_CONNECT_PARAM& param);
