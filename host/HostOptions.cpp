#include "host/HostOptions.h"

#include <arpa/inet.h>

#include <cstdlib>

namespace
{
BOOL ParseListen(const std::string& text, tagHOST_OPTIONS* options, std::string* error)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
    {
        *error = "--listen takes ADDR:PORT, e.g. 127.0.0.1:8623";
        return FALSE;
    }
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (host == "localhost")
        host = "127.0.0.1";
    in_addr addr{};
    if (inet_pton(AF_INET, host.c_str(), &addr) != 1)
    {
        *error = "--listen: '" + host + "' is not an IPv4 address";
        return FALSE;
    }
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    {
        *error = "--listen: '" + port + "' is not a port number";
        return FALSE;
    }
    const long value = std::strtol(port.c_str(), nullptr, 10);
    if (value > 65535)
    {
        *error = "--listen: port " + port + " is out of range";
        return FALSE;
    }
    options->listenHost = host;
    options->port = static_cast<int>(value);
    return TRUE;
}
} // namespace

const char* HostUsage()
{
    return "usage: tarn-console [--listen ADDR:PORT] [--data DIR] [--token TOKEN] [--web DIR]\n"
           "                    [--rmcp-port P] [--rsp-port P]";
}

BOOL IsAcceptableToken(const std::string& token)
{
    if (token.size() < 16 || token.size() > 256)
        return FALSE;
    for (char c : token)
    {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '~' || c == '-';
        if (!ok)
            return FALSE;
    }
    return TRUE;
}

BOOL ParseHostOptions(const std::vector<std::string>& args, tagHOST_OPTIONS* options,
                      std::string* error)
{
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& name = args[i];
        if (name != "--listen" && name != "--data" && name != "--token" && name != "--web" &&
            name != "--rmcp-port" && name != "--rsp-port")
        {
            *error = "unknown argument '" + name + "'";
            return FALSE;
        }
        if (i + 1 >= args.size())
        {
            *error = name + " needs a value";
            return FALSE;
        }
        const std::string& value = args[++i];
        if (name == "--listen")
        {
            if (!ParseListen(value, options, error))
                return FALSE;
        }
        else if (name == "--data")
            options->dataDir = value;
        else if (name == "--web")
            options->webDir = value;
        else if (name == "--rmcp-port" || name == "--rsp-port")
        {
            if (value.empty() || value.size() > 5 ||
                value.find_first_not_of("0123456789") != std::string::npos ||
                std::strtol(value.c_str(), nullptr, 10) < 1 ||
                std::strtol(value.c_str(), nullptr, 10) > 65535)
            {
                *error = name + " takes a port number from 1 to 65535";
                return FALSE;
            }
            (name == "--rmcp-port" ? options->rmcpPort : options->rspPort) =
                static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
        }
        else
        {
            if (!IsAcceptableToken(value))
            {
                *error = "--token must be 16 to 256 characters from A-Z a-z 0-9 . _ ~ -";
                return FALSE;
            }
            options->token = value;
        }
    }
    return TRUE;
}
