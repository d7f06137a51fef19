#include "tools/tarn-cli/AsfCommands.h"

#include "asf/ASFSession.h"
#include "asf/AsfStates.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

namespace
{
int Fail(const std::string& reason)
{
    std::cerr << "tarn-cli: " << reason << "\n";
    return 1;
}

std::string Hex(const BYTE* data, std::size_t length)
{
    std::string out;
    char text[4];
    for (std::size_t i = 0; i < length; ++i)
    {
        std::snprintf(text, sizeof text, i ? " %02x" : "%02x", data[i]);
        out += text;
    }
    return out;
}

void Print(const tagCLI_OPTIONS& options, const nlohmann::ordered_json& out)
{
    if (options.json)
    {
        std::cout << out.dump() << "\n";
        return;
    }
    for (const auto& [key, value] : out.items())
        std::cout << key << ": " << (value.is_string() ? value.get<std::string>() : value.dump())
                  << "\n";
}

int Ping(CASFSession& session, const tagCLI_OPTIONS& options)
{
    if (!session.PresencePing())
        return Fail("no Presence Pong: " + session.LastReason());
    Print(options, {{"ipmi_supported", session.IsIpmiSupported() != FALSE},
                    {"rsp_supported", session.IsRspSupported() != FALSE}});
    return 0;
}

int Capabilities(CASFSession& session, const tagCLI_OPTIONS& options)
{
    if (!session.ReadCapabilities())
        return Fail("no Capabilities Response: " + session.LastReason());
    BYTE caps[ASF_CAPABILITIES_SIZE];
    session.GetCapabilities(caps);
    const BYTE mask = caps[ASF_CAPABILITY_BYTE];
    Print(options, {{"capabilities", Hex(caps, sizeof caps)},
                    {"reset", (mask & ASF_CAP_RESET) != 0},
                    {"power_up", (mask & ASF_CAP_POWER_UP) != 0},
                    {"power_down", (mask & ASF_CAP_POWER_DOWN) != 0},
                    {"power_cycle", (mask & ASF_CAP_POWER_CYCLE) != 0}});
    return 0;
}

int State(CASFSession& session, const tagCLI_OPTIONS& options)
{
    const BOOL ok = session.PollSystemState();
    const std::string reason = session.LastReason();
    BYTE state[ASF_SYSTEM_STATE_SIZE];
    session.GetSystemState(state);
    session.CloseSession();
    if (!ok)
        return Fail("no System State Response: " + reason);
    Print(options, {{"system_state", state[0] & 0x0F},
                    {"system_state_text", AsfSystemStateText(state[0])},
                    {"watchdog_text", AsfWatchdogText(state[1])},
                    {"power", AsfPowerIndication(state[0])}});
    return 0;
}

int Power(CASFSession& session, const tagCLI_OPTIONS& options, CRecordingMessageBoxes& boxes)
{
    const std::string op = options.arguments.empty() ? "" : options.arguments[0];
    BOOL ok = FALSE;
    if (op == "up")
        ok = session.PowerUp();
    else if (op == "down")
        ok = session.PowerDown();
    else if (op == "reset")
        ok = session.Reset();
    else if (op == "cycle")
        ok = session.PowerCycle();
    const std::string reason = session.LastReason();
    session.CloseSession();
    if (!ok)
        return Fail("power " + op + " failed: " + reason);
    const auto shown = boxes.Shown();
    if (!shown.empty())
        return Fail(shown.back().caption + ": " + shown.back().text);
    Print(options, {{"power", op}, {"acknowledged", true}});
    return 0;
}
} // namespace

BOOL IsAsfCommand(const std::string& command)
{
    return command == "asf-ping" || command == "asf-caps" || command == "asf-state" ||
                   command == "asf-power"
               ? TRUE
               : FALSE;
}

int RunAsfCommand(const tagCLI_OPTIONS& options, DWORD address)
{
    if (options.command == "asf-power")
    {
        const std::string op = options.arguments.empty() ? "" : options.arguments[0];
        if (op != "up" && op != "down" && op != "reset" && op != "cycle")
            return Fail("asf-power needs up, down, reset or cycle");
    }
    CRecordingMessageBoxes boxes; // a refusal becomes the reason line
    tagASF_SESSION_ENV env;
    env.primaryPort = options.asfPort;
    env.securePort = options.rspPort;
    env.timeoutMs = options.asfTimeoutMs;
    env.messageBox = &boxes;
    CASFSession session(address, env);
    if (options.command == "asf-ping" || options.command == "asf-caps")
    {
        if (!session.OpenSocket())
            return Fail(session.LastReason());
        return options.command == "asf-ping" ? Ping(session, options)
                                             : Capabilities(session, options);
    }
    tagASF_CREDENTIALS credentials;
    credentials.roleIndex = options.asfRole;
    credentials.userName = options.user;
    credentials.administratorKey = options.adminKey;
    credentials.operatorKey = options.operatorKey;
    credentials.generationKey = options.generationKey;
    if (!session.OpenSession(credentials))
        return Fail("cannot open an ASF secure session: " + session.LastReason());
    if (options.command == "asf-state")
        return State(session, options);
    return Power(session, options, boxes);
}
