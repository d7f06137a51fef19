#pragma once
// The command line of tarn-console:
//   tarn-console [--listen ADDR:PORT] [--data DIR] [--token TOKEN] [--web DIR]
//                [--rmcp-port P] [--rsp-port P]
// ADDR is a dotted IPv4 address (or "localhost"); PORT 0 picks a free port. A TOKEN given
// by the operator must be 16 to 256 characters from [A-Za-z0-9._~-] so that it travels in a
// URL and a cookie unchanged.
#include "platform/Types.h"

#include <string>
#include <vector>

struct tagHOST_OPTIONS
{
    std::string listenHost = "127.0.0.1";
    int port = 8623;
    std::string dataDir;
    std::string token;  // empty: a fresh random one per launch
    std::string webDir; // empty: the page folder the build knows
    // The management ports the console talks to: IPMI over LAN, the RMCP presence ping and
    // ASF messages on rmcpPort, the ASF secure session on rspPort. Other values than 623 and
    // 664 serve simulators on unprivileged ports.
    int rmcpPort = 623;
    int rspPort = 664;
};

// args exclude the program name. FALSE with a one-line error for a bad command line.
BOOL ParseHostOptions(const std::vector<std::string>& args, tagHOST_OPTIONS* options,
                      std::string* error);
BOOL IsAcceptableToken(const std::string& token);
const char* HostUsage();
