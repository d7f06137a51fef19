#include "tools/tarn-cli/CliOptions.h"

#include <cstdlib>

const char* const CLI_USAGE =
    "usage: tarn-cli -H ADDR [-p PORT] -U USER -P PASSWORD [-A sha1|md5]\n"
    "                [-L callback|user|operator|admin] [-x] [--json] COMMAND\n"
    "commands:\n"
    "  session              open an RMCP+ session, print what was negotiated, close it\n"
    "  raw ROW [HEX ...]    send catalogue row ROW with the given data bytes in a session\n"
    "  guid                 the BMC's device GUID\n"
    "  sdr                  every sensor with its reading, once the SDR is loaded\n"
    "  sel                  the system event log, decoded\n"
    "  sel-clear            clear the system event log\n"
    "  fru [ID]             FRU inventory of every device of the SDR, or of device ID\n"
    "  power status|on|off|cycle|reset   chassis power\n"
    "  asf-ping             ASF presence ping (no session)\n"
    "  asf-caps             ASF capabilities (no session)\n"
    "  asf-state            open an ASF secure session, read the system state, close it\n"
    "  asf-power up|down|reset|cycle     ASF remote power control in a secure session\n"
    "options:\n"
    "  -H, --host ADDR      the BMC's IPv4 address\n"
    "  -p, --port PORT      UDP port (623)\n"
    "  -U, --user USER      user name (at most 16 bytes)\n"
    "  -P, --password PW    password (at most 16 bytes); else $TARN_PASSWORD\n"
    "  -A, --auth ALG       RAKP-HMAC-SHA1 (sha1, default) or RAKP-HMAC-MD5 (md5)\n"
    "  -L, --privilege LVL  callback, user, operator or admin (default)\n"
    "  -x, --encrypt        ask for AES-CBC-128 payload encryption\n"
    "      --json           print JSON\n"
    "ASF options:\n"
    "      --role R         administrator (default) or operator\n"
    "      --admin-key HEX  Administrator Key (up to 40 hex digits)\n"
    "      --operator-key HEX  Operator Key\n"
    "      --generation-key HEX  Generation Key\n"
    "      --asf-port P     RMCP primary port (623)\n"
    "      --rsp-port P     RMCP secure port (664)\n"
    "      --asf-timeout MS send and receive time-out (3000)\n";

namespace
{
bool IsOption(const std::string& arg, const char* shortForm, const char* longForm)
{
    return arg == shortForm || arg == longForm;
}

bool ParseNumber(const std::string& text, long low, long high, long& value)
{
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

bool IsAsfCommandName(const std::string& command)
{
    return command == "asf-ping" || command == "asf-caps" || command == "asf-state" ||
           command == "asf-power";
}
} // namespace

BOOL ParseHexByte(const std::string& text, BYTE& value)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    else if (!digits.empty() && (digits.back() == 'h' || digits.back() == 'H'))
        digits.pop_back();
    if (digits.empty() || digits.size() > 2)
        return FALSE;
    char* end = nullptr;
    unsigned long n = std::strtoul(digits.c_str(), &end, 16);
    if (end == nullptr || *end != '\0')
        return FALSE;
    value = static_cast<BYTE>(n);
    return TRUE;
}

BOOL ParseCliOptions(const std::vector<std::string>& args, const char* envPassword,
                     tagCLI_OPTIONS& options, std::string& error)
{
    options = tagCLI_OPTIONS{};
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) -> bool
        {
            if (i + 1 >= args.size())
            {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (!options.command.empty())
        {
            options.arguments.push_back(arg);
        }
        else if (arg == "-h" || arg == "--help")
        {
            options.help = true;
        }
        else if (IsOption(arg, "-H", "--host"))
        {
            if (!value(options.host))
                return FALSE;
        }
        else if (IsOption(arg, "-p", "--port"))
        {
            if (!value(v))
                return FALSE;
            char* end = nullptr;
            long port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || port < 1 || port > 65535)
            {
                error = "bad port: " + v;
                return FALSE;
            }
            options.port = static_cast<WORD>(port);
        }
        else if (IsOption(arg, "-U", "--user"))
        {
            if (!value(options.user))
                return FALSE;
        }
        else if (IsOption(arg, "-P", "--password"))
        {
            if (!value(options.password))
                return FALSE;
            options.passwordGiven = true;
        }
        else if (IsOption(arg, "-A", "--auth"))
        {
            if (!value(v))
                return FALSE;
            if (v == "sha1")
                options.authAlgorithm = 1;
            else if (v == "md5")
                options.authAlgorithm = 2;
            else
            {
                error = "bad authentication algorithm: " + v + " (sha1 or md5)";
                return FALSE;
            }
        }
        else if (IsOption(arg, "-L", "--privilege"))
        {
            if (!value(v))
                return FALSE;
            const char* names[] = {"callback", "user", "operator", "admin"};
            options.privilege = 0;
            for (int level = 0; level < 4; ++level)
                if (v == names[level])
                    options.privilege = static_cast<BYTE>(level + 1);
            if (options.privilege == 0)
            {
                error = "bad privilege level: " + v + " (callback, user, operator or admin)";
                return FALSE;
            }
        }
        else if (IsOption(arg, "-x", "--encrypt"))
        {
            options.encrypt = true;
        }
        else if (arg == "--json")
        {
            options.json = true;
        }
        else if (arg == "--role")
        {
            if (!value(v))
                return FALSE;
            if (v == "administrator")
                options.asfRole = 0;
            else if (v == "operator")
                options.asfRole = 1;
            else
            {
                error = "bad role: " + v + " (administrator or operator)";
                return FALSE;
            }
        }
        else if (arg == "--admin-key" || arg == "--operator-key" || arg == "--generation-key")
        {
            std::string& key = arg == "--admin-key"      ? options.adminKey
                               : arg == "--operator-key" ? options.operatorKey
                                                         : options.generationKey;
            if (!value(key))
                return FALSE;
            if (key.size() > 40)
            {
                error = "key longer than 40 hex digits: " + arg;
                return FALSE;
            }
        }
        else if (arg == "--asf-port" || arg == "--rsp-port" || arg == "--asf-timeout")
        {
            if (!value(v))
                return FALSE;
            long n = 0;
            const bool timeout = arg == "--asf-timeout";
            if (!ParseNumber(v, 1, timeout ? 60000 : 65535, n))
            {
                error = "bad value for " + arg + ": " + v;
                return FALSE;
            }
            if (timeout)
                options.asfTimeoutMs = static_cast<DWORD>(n);
            else if (arg == "--asf-port")
                options.asfPort = static_cast<WORD>(n);
            else
                options.rspPort = static_cast<WORD>(n);
        }
        else if (!arg.empty() && arg[0] == '-')
        {
            error = "unknown option: " + arg;
            return FALSE;
        }
        else
        {
            options.command = arg;
        }
    }
    if (options.help)
        return TRUE;
    if (!options.passwordGiven && envPassword != nullptr)
    {
        options.password = envPassword;
        options.passwordGiven = true;
    }
    if (options.command.empty())
        error = "no command given";
    else if (options.command != "session" && options.command != "raw" &&
             options.command != "guid" && options.command != "sdr" && options.command != "sel" &&
             options.command != "sel-clear" && options.command != "fru" &&
             options.command != "power" && !IsAsfCommandName(options.command))
        error = "unknown command: " + options.command;
    else if (options.host.empty())
        error = "no BMC address given (-H)";
    else if (options.user.size() > 16)
        error = "user name longer than 16 bytes";
    else if (options.password.size() > 16)
        error = "password longer than 16 bytes";
    return error.empty() ? TRUE : FALSE;
}
