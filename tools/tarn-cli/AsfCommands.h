#pragma once
// tarn-cli's ASF commands: asf-ping and asf-caps outside a session, asf-state and
// asf-power up|down|reset|cycle inside an RSP secure session opened with the options' role,
// user name and keys.
#include "tools/tarn-cli/CliOptions.h"

BOOL IsAsfCommand(const std::string& command);
// Runs the command against the adapter at address and prints what it answered. Returns the
// process exit status.
int RunAsfCommand(const tagCLI_OPTIONS& options, DWORD address);
