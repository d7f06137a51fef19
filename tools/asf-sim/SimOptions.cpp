#include "tools/asf-sim/SimOptions.h"

#include <cstdlib>
#include <cstring>

namespace
{
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseUnsigned(const std::string& text, unsigned long maximum, unsigned long& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 10);
    return *end == '\0' && text[0] != '-' && text[0] != '+' && value <= maximum;
}

// One flag: its name and the option it sets.
struct tagSIM_FLAG
{
    const char* name;
    bool tagSIM_OPTIONS::*member;
};

const tagSIM_FLAG FLAGS[] = {
    {"--ipmi", &tagSIM_OPTIONS::ipmi},
    {"--watchdog", &tagSIM_OPTIONS::watchdog},
    {"--bad-auth-code", &tagSIM_OPTIONS::badAuthCode},
    {"--bad-integrity", &tagSIM_OPTIONS::badIntegrity},
    {"--silent", &tagSIM_OPTIONS::silent},
    {"--big-reply", &tagSIM_OPTIONS::bigReply},
    {"--send-rakp4", &tagSIM_OPTIONS::sendRakp4},
};

struct tagSIM_COUNT
{
    const char* name;
    unsigned tagSIM_OPTIONS::*member;
};

const tagSIM_COUNT COUNTS[] = {
    {"--drop-every", &tagSIM_OPTIONS::dropEvery},
    {"--drop-ack", &tagSIM_OPTIONS::dropAck},
    {"--drop-reply", &tagSIM_OPTIONS::dropReply},
};

// An option that takes a value; FALSE with the reason when the value is bad.
bool ApplyValue(const std::string& name, const std::string& value, tagSIM_OPTIONS& options,
                std::string& error)
{
    unsigned long number = 0;
    for (const tagSIM_COUNT& count : COUNTS)
    {
        if (name == count.name)
        {
            if (!ParseUnsigned(value, 1000000, number))
                return error = name + ": not a count: " + value, false;
            options.*count.member = static_cast<unsigned>(number);
            return true;
        }
    }
    if (name == "--address")
        options.address = value;
    else if (name == "--port-rmcp" || name == "--port-rsp")
    {
        if (!ParseUnsigned(value, 65535, number))
            return error = name + ": not a port: " + value, false;
        (name == "--port-rmcp" ? options.portRmcp : options.portRsp) = static_cast<WORD>(number);
    }
    else if (name == "--state")
    {
        if (!ParseUnsigned(value, 255, number))
            return error = "--state: not a byte: " + value, false;
        options.state = static_cast<BYTE>(number);
    }
    else if (name == "--capabilities")
    {
        if (!ParseHexBytes(value, &options.capabilities, 1))
            return error = "--capabilities: not two hex digits: " + value, false;
    }
    else if (name == "--guid")
    {
        if (!ParseHexBytes(value, options.guid, SIM_GUID_SIZE))
            return error = "--guid: not 32 hex digits: " + value, false;
    }
    else if (name == "--user")
    {
        if (value.size() > 16)
            return error = "--user: longer than 16 characters", false;
        options.user = value;
    }
    else if (name == "--admin-key" || name == "--operator-key" || name == "--generation-key")
    {
        BYTE* key = name == "--admin-key"      ? options.adminKey
                    : name == "--operator-key" ? options.operatorKey
                                               : options.generationKey;
        if (!ParseKeyText(value, key))
            return error = name + ": not up to 40 hex digits", false;
    }
    else
        return error = "unknown option " + name, false;
    return true;
}
} // namespace

tagSIM_OPTIONS::tagSIM_OPTIONS()
{
    std::memset(adminKey, 0xAA, sizeof adminKey);
    std::memset(operatorKey, 0xBB, sizeof operatorKey);
}

BOOL ParseKeyText(const std::string& text, BYTE key[SIM_KEY_SIZE])
{
    BYTE parsed[SIM_KEY_SIZE] = {};
    if (text.size() > 2 * SIM_KEY_SIZE)
        return FALSE;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        int digit = HexDigit(text[i]);
        if (digit < 0)
            return FALSE;
        BYTE& byte = parsed[i / 2];
        byte = static_cast<BYTE>(byte << 4 | digit);
    }
    std::memcpy(key, parsed, sizeof parsed);
    return TRUE;
}

BOOL ParseHexBytes(const std::string& text, BYTE* out, std::size_t length)
{
    if (text.size() != 2 * length)
        return FALSE;
    for (std::size_t i = 0; i < length; ++i)
    {
        int high = HexDigit(text[2 * i]);
        int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return FALSE;
        out[i] = static_cast<BYTE>(high << 4 | low);
    }
    return TRUE;
}

BOOL ParseSimOptions(const std::vector<std::string>& args, tagSIM_OPTIONS& options, bool& help,
                     std::string& error)
{
    help = false;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos)
        {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name == "--help" || name == "-h")
        {
            help = true;
            return TRUE;
        }
        if (name == "--no-rsp")
        {
            options.rsp = false;
            continue;
        }
        bool isFlag = false;
        for (const tagSIM_FLAG& flag : FLAGS)
        {
            if (name == flag.name)
            {
                options.*flag.member = true;
                isFlag = true;
            }
        }
        if (isFlag)
        {
            if (hasValue)
                return error = name + " takes no value", FALSE;
            continue;
        }
        if (!hasValue)
        {
            if (i + 1 >= args.size())
                return error = name + " needs a value", FALSE;
            value = args[++i];
        }
        if (!ApplyValue(name, value, options, error))
            return FALSE;
    }
    return TRUE;
}

const char* SimUsage()
{
    return "usage: asf-sim [options]\n"
           "  --address A          IPv4 address to bind (127.0.0.1)\n"
           "  --port-rmcp P        RMCP primary port (623; 0 = any free port)\n"
           "  --port-rsp P         RSP secure port (664; 0 = any free port)\n"
           "  --ipmi               Presence Pong announces IPMI support\n"
           "  --no-rsp             Presence Pong without RSP support\n"
           "  --capabilities HH    system capabilities byte (FF)\n"
           "  --state N            system state code (0)\n"
           "  --watchdog           watchdog timer expired\n"
           "  --guid HEX32         GUID sent in RAKP Message 2\n"
           "  --user NAME          the only user name accepted (any)\n"
           "  --admin-key HEX      Administrator key, up to 40 hex digits (20 x AA)\n"
           "  --operator-key HEX   Operator key (20 x BB)\n"
           "  --generation-key HEX generation key (zero)\n"
           "  --drop-every N       drop every Nth received datagram\n"
           "  --drop-ack N         drop the first N acknowledgements it would send\n"
           "  --drop-reply N       drop the first N replies it would send\n"
           "  --bad-auth-code      corrupt the authentication code of RAKP Message 2\n"
           "  --bad-integrity      corrupt the integrity data of signed datagrams\n"
           "  --silent             answer nothing\n"
           "  --big-reply          System State Response with 8 data bytes\n"
           "  --send-rakp4         send RAKP Message 4 after RAKP Message 3\n"
           "Control lines on stdin: see tools/asf-sim/README.md.\n";
}
