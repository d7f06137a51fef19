// tarn-cli: the console's command-line tool for operators and scripts. Exit status 0 on
// success, 1 on any failure with a one-line reason on standard error.
#include "tools/tarn-cli/AsfCommands.h"
#include "tools/tarn-cli/CliOptions.h"
#include "tools/tarn-cli/ServerCommands.h"

#include "platform/DatagramSocket.h"
#include "platform/MessageBox.h"
#include "transport/CommandTable.h"
#include "transport/LANConnect.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace
{
const char* AuthName(BYTE algorithm)
{
    return algorithm == RAKP_HMAC_MD5 ? "RAKP-HMAC-MD5" : "RAKP-HMAC-SHA1";
}

const char* IntegrityName(BYTE integrity)
{
    switch (integrity)
    {
    case INTEGRITY_HMAC_SHA1_96:
        return "HMAC-SHA1-96";
    case INTEGRITY_MD5_128:
        return "MD5-128";
    default:
        return "none";
    }
}

std::string Hex32(DWORD wireValue)
{
    // Session IDs as their four bytes travel, first byte first.
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", wireValue & 0xFF, (wireValue >> 8) & 0xFF,
                  (wireValue >> 16) & 0xFF, wireValue >> 24);
    return text;
}

int Fail(const std::string& reason)
{
    std::cerr << "tarn-cli: " << reason << "\n";
    return 1;
}

int RunSession(CLANConnect& connection, const tagCLI_OPTIONS& options)
{
    const tagRAKP_STATE& s = connection.Session();
    std::string auth = AuthName(s.authAlgorithm);
    std::string integrity = IntegrityName(connection.Integrity());
    std::string confidentiality = connection.Encrypted() ? "AES-CBC-128" : "none";
    std::string console = Hex32(s.consoleSessionId);
    std::string bmc = Hex32(s.bmcSessionId);
    if (!connection.Disconnect())
        return Fail(std::string("closing the session failed: ") + connection.LastReason());
    if (options.json)
    {
        nlohmann::json out = {{"authentication", auth},
                              {"integrity", integrity},
                              {"confidentiality", confidentiality},
                              {"console_session_id", console},
                              {"bmc_session_id", bmc},
                              {"closed", true}};
        std::cout << out.dump() << "\n";
    }
    else
    {
        std::cout << "authentication: " << auth << "\nintegrity: " << integrity
                  << "\nconfidentiality: " << confidentiality << "\nconsole session ID: " << console
                  << "\nBMC session ID: " << bmc << "\nsession closed\n";
    }
    return 0;
}

// The request record of `raw ROW [HEX ...]`; empty with error set when it is not one.
std::vector<BYTE> RawRequest(const tagCLI_OPTIONS& options, std::string& error)
{
    if (options.arguments.empty())
    {
        error = "raw needs a catalogue row";
        return {};
    }
    char* end = nullptr;
    long row = std::strtol(options.arguments[0].c_str(), &end, 10);
    if (*end != '\0' || row < 1 || row > IPMI_COMMAND_ROWS)
    {
        error = "bad catalogue row: " + options.arguments[0] + " (1..40)";
        return {};
    }
    std::vector<BYTE> request = {static_cast<BYTE>(row)};
    for (std::size_t i = 1; i < options.arguments.size(); ++i)
    {
        BYTE value;
        if (!ParseHexByte(options.arguments[i], value))
        {
            error = "bad hex byte: " + options.arguments[i];
            return {};
        }
        request.push_back(value);
    }
    int needed = IpmiRequestDataLength(request.data(), request.size());
    if (needed < 0 || static_cast<std::size_t>(needed) != request.size() - 1)
    {
        std::string expect = needed < 0 ? "valid data" : std::to_string(needed) + " data bytes";
        error = "row " + std::to_string(row) + " takes " + expect + ", " +
                std::to_string(request.size() - 1) + " given";
        return {};
    }
    return request;
}

int RunRaw(CLANConnect& connection, const tagCLI_OPTIONS& options, const std::vector<BYTE>& request)
{
    long row = request[0];
    tagIPMI_REPLY reply;
    BOOL ok = connection.SendCommand(request.data(), request.size(), reply);
    std::string reason = ok ? "" : connection.LastReason();
    connection.Disconnect();
    if (!ok)
        return Fail("no reply to row " + std::to_string(row) + ": " + reason);

    // Record: row, completion code, response data, checksum 2.
    std::size_t dataLength = reply.length >= 3 ? reply.length - 3 : 0;
    BYTE cc = reply.data[1];
    if (options.json)
    {
        nlohmann::json data = nlohmann::json::array();
        for (std::size_t i = 0; i < dataLength; ++i)
            data.push_back(reply.data[2 + i]);
        std::cout << nlohmann::json{{"completion_code", cc}, {"data", data}}.dump() << "\n";
    }
    else
    {
        char text[4];
        std::snprintf(text, sizeof text, "%02x", cc);
        std::string line = text;
        for (std::size_t i = 0; i < dataLength; ++i)
        {
            std::snprintf(text, sizeof text, "%02x", reply.data[2 + i]);
            line += std::string(" ") + text;
        }
        std::cout << line << "\n";
    }
    if (cc != IPMI_CC_SUCCESS)
    {
        char text[64];
        std::snprintf(text, sizeof text, "BMC answered completion code %02Xh", cc);
        return Fail(text);
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    tagCLI_OPTIONS options;
    std::string error;
    if (!ParseCliOptions(args, std::getenv("TARN_PASSWORD"), options, error))
    {
        std::cerr << "tarn-cli: " << error << "\n" << CLI_USAGE;
        return 1;
    }
    if (options.help)
    {
        std::cout << CLI_USAGE;
        return 0;
    }
    DWORD address = ParseIPv4(options.host.c_str());
    if (address == 0xFFFFFFFFu)
        return Fail("bad IPv4 address: " + options.host);
    if (IsAsfCommand(options.command))
        return RunAsfCommand(options, address);

    std::vector<BYTE> request;
    if (options.command == "raw")
    {
        request = RawRequest(options, error);
        if (request.empty())
            return Fail(error);
    }

    tagLAN_CONNECT_PARAM param;
    MakeConnectParam(param, options.user.c_str(), options.password.c_str(), options.authAlgorithm,
                     options.encrypt, options.privilege);
    if (IsServerCommand(options.command))
        return RunServerCommand(options, address, param);

    CRecordingMessageBoxes boxes; // the reason line says what the box would
    tagTRANSPORT_ENV env;
    env.messageBox = &boxes;
    CLANConnect connection(env);
    if (!connection.Connect(address, options.port, param))
        return Fail(std::string("cannot open a session: ") + connection.LastReason());
    if (options.command == "session")
        return RunSession(connection, options);
    return RunRaw(connection, options, request);
}
