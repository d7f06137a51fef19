// The agent's control channel: the lines that change the simulated machine and the faults
// while it runs, and the counters it reports.
#include "tools/asf-sim/AsfAgent.h"

#include <algorithm>
#include <sstream>

namespace
{
bool ParseFlag(const std::string& text, bool& value)
{
    if (text != "0" && text != "1")
        return false;
    value = text == "1";
    return true;
}

bool ParseCount(const std::string& text, unsigned long maximum, unsigned long& value)
{
    if (text.empty() || text.size() > 7 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoul(text);
    return value <= maximum;
}
} // namespace

std::string CAsfAgent::Control(const std::string& line)
{
    std::istringstream words(line);
    std::string command, argument, extra;
    words >> command >> argument >> extra;
    if (command.empty())
        return "error: empty line";
    if (!extra.empty())
        return "error: too many words";
    std::lock_guard<std::mutex> guard(m_lock);
    return ControlLocked(command, argument);
}

std::string CAsfAgent::ControlLocked(const std::string& command, const std::string& argument)
{
    struct tagFLAG_COMMAND
    {
        const char* name;
        bool tagSIM_OPTIONS::*member;
    };
    static const tagFLAG_COMMAND flags[] = {
        {"watchdog", &tagSIM_OPTIONS::watchdog},
        {"ipmi", &tagSIM_OPTIONS::ipmi},
        {"rsp", &tagSIM_OPTIONS::rsp},
        {"silent", &tagSIM_OPTIONS::silent},
        {"bad-auth-code", &tagSIM_OPTIONS::badAuthCode},
        {"bad-integrity", &tagSIM_OPTIONS::badIntegrity},
        {"big-reply", &tagSIM_OPTIONS::bigReply},
        {"send-rakp4", &tagSIM_OPTIONS::sendRakp4},
    };
    struct tagCOUNT_COMMAND
    {
        const char* name;
        unsigned tagSIM_OPTIONS::*member;
    };
    static const tagCOUNT_COMMAND counts[] = {
        {"drop-every", &tagSIM_OPTIONS::dropEvery},
        {"drop-ack", &tagSIM_OPTIONS::dropAck},
        {"drop-reply", &tagSIM_OPTIONS::dropReply},
    };

    if (command == "stats")
    {
        if (!argument.empty())
            return "error: stats takes no argument";
        tagSIM_STATS stats = m_stats;
        stats.state = m_options.state;
        stats.watchdog = m_options.watchdog;
        return FormatStats(stats);
    }
    for (const tagFLAG_COMMAND& flag : flags)
    {
        if (command == flag.name)
            return ParseFlag(argument, m_options.*flag.member) ? "ok" : "error: expected 0 or 1";
    }
    unsigned long number = 0;
    for (const tagCOUNT_COMMAND& count : counts)
    {
        if (command == count.name)
        {
            if (!ParseCount(argument, 1000000, number))
                return "error: expected a count";
            m_options.*count.member = static_cast<unsigned>(number);
            return "ok";
        }
    }
    if (command == "state")
    {
        if (!ParseCount(argument, 255, number))
            return "error: expected a state code 0..255";
        m_options.state = static_cast<BYTE>(number);
        return "ok";
    }
    if (command == "capabilities")
        return ParseHexBytes(argument, &m_options.capabilities, 1)
                   ? "ok"
                   : "error: expected two hex digits";
    return "error: unknown command " + command;
}

tagSIM_STATS CAsfAgent::Stats() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    tagSIM_STATS stats = m_stats;
    stats.state = m_options.state;
    stats.watchdog = m_options.watchdog;
    return stats;
}

std::string CAsfAgent::FormatStats(const tagSIM_STATS& s)
{
    auto hex = [](BYTE value)
    {
        const char* digits = "0123456789ABCDEF";
        return std::string{digits[value >> 4], digits[value & 0x0F]};
    };
    std::ostringstream out;
    out << "stats received=" << s.received << " dropped=" << s.dropped << " rejected=" << s.rejected
        << " duplicates=" << s.duplicates << " pings=" << s.pings
        << " capabilities=" << s.capabilities << " state-requests=" << s.stateRequests
        << " acks-sent=" << s.acksSent << " acks-received=" << s.acksReceived
        << " replies-sent=" << s.repliesSent << " sends-dropped=" << s.sendsDropped
        << " sessions=" << s.sessionsOpened << " auth-failures=" << s.authFailures
        << " closes=" << s.closes << " power-ops=" << s.powerOps
        << " last-power=" << (s.lastPowerOp ? hex(s.lastPowerOp) : std::string("none"))
        << " state=" << unsigned{s.state} << " watchdog=" << (s.watchdog ? 1 : 0)
        << " established=" << (s.established ? "yes" : "no")
        << " role=" << (s.lastRole == 0xFF ? std::string("none") : hex(s.lastRole))
        << " last-reject=" << (s.lastReject.empty() ? std::string("none") : s.lastReject)
        << " user=" << s.lastUser;
    return out.str();
}
