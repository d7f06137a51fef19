#pragma once
// Command-line options of tarn-cli, parsed without side effects so they can be tested.
#include "platform/Types.h"

#include <string>
#include <vector>

struct tagCLI_OPTIONS
{
    std::string host;
    WORD port = 623;
    std::string user;
    std::string password;
    bool passwordGiven = false;
    BYTE authAlgorithm = 1; // RAKP-HMAC-SHA1
    BYTE privilege = 4;     // Administrator
    bool encrypt = false;
    bool json = false;
    bool help = false;
    // ASF commands.
    int asfRole = 0; // 0 administrator, 1 operator
    std::string adminKey;
    std::string operatorKey;
    std::string generationKey;
    WORD asfPort = 623;
    WORD rspPort = 664;
    DWORD asfTimeoutMs = 3000;
    std::string command;
    std::vector<std::string> arguments;
};

// Parses argv (without the program name). FALSE with error set on bad input. The password
// falls back to the given environment value when -P is absent.
BOOL ParseCliOptions(const std::vector<std::string>& args, const char* envPassword,
                     tagCLI_OPTIONS& options, std::string& error);

// Parses "0x1f", "1f" or "1Fh" as one byte; FALSE when it is not one.
BOOL ParseHexByte(const std::string& text, BYTE& value);

extern const char* const CLI_USAGE;
