#pragma once
// The command line of the ASF adapter simulator: where it listens, what it reports about the
// simulated machine, the RSP keys it authenticates with and the faults it injects. Parsed once
// in main; the agent keeps its own copy, which the control channel changes while it runs.
#include "platform/Types.h"

#include <string>
#include <vector>

constexpr std::size_t SIM_KEY_SIZE = 20;
constexpr std::size_t SIM_GUID_SIZE = 16;

struct tagSIM_OPTIONS
{
    std::string address = "127.0.0.1";
    WORD portRmcp = 623; // 0 = any free port
    WORD portRsp = 664;

    // What the simulated adapter and machine report.
    bool ipmi = false;        // Presence Pong: IPMI supported
    bool rsp = true;          // Presence Pong: RMCP security extensions supported
    BYTE capabilities = 0xFF; // Capabilities Response byte 10
    BYTE state = 0;           // System State Response byte 0
    bool watchdog = false;    // System State Response byte 1, bit 0
    BYTE guid[SIM_GUID_SIZE] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

    // Credentials. An empty user accepts any name.
    std::string user;
    BYTE adminKey[SIM_KEY_SIZE] = {};
    BYTE operatorKey[SIM_KEY_SIZE] = {};
    BYTE generationKey[SIM_KEY_SIZE] = {};

    // Faults.
    unsigned dropEvery = 0; // drop every Nth received datagram (0 = none)
    unsigned dropAck = 0;   // drop the first N acknowledgements it would send
    unsigned dropReply = 0; // drop the first N replies (anything but acknowledgements)
    bool badAuthCode = false;
    bool badIntegrity = false;
    bool silent = false;
    bool bigReply = false;
    bool sendRakp4 = false;

    tagSIM_OPTIONS();
};

// Parses the arguments after the program name. FALSE with a one-line reason on a bad option;
// help is set (and TRUE returned) for --help.
BOOL ParseSimOptions(const std::vector<std::string>& args, tagSIM_OPTIONS& options, bool& help,
                     std::string& error);

// Key text as the console's operator types it: at most 40 hexadecimal digits, each pair one
// byte from the start, an odd last digit a byte of its own, the rest zero. FALSE on other
// characters or more than 40 digits.
BOOL ParseKeyText(const std::string& text, BYTE key[SIM_KEY_SIZE]);

// Exactly 2 * length hexadecimal digits.
BOOL ParseHexBytes(const std::string& text, BYTE* out, std::size_t length);

const char* SimUsage();
