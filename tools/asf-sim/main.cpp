// asf-sim: an ASF 2.0 alerting network adapter on loopback, for testing the console's ASF
// side. Prints "asf-sim ready ADDRESS rmcp PORT rsp PORT" once both ports are bound, then
// answers on them until SIGTERM or SIGINT (or "quit" on stdin). Control lines on stdin
// (see AsfAgent.h and README.md) change the simulated machine and report counters; each
// gets one reply line on stdout. End of stdin only ends the control channel.
#include "tools/asf-sim/AsfAgent.h"
#include "tools/asf-sim/AsfListener.h"
#include "tools/asf-sim/SimOptions.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace
{
// Runs control lines from stdin until a signal arrives or "quit" is read.
void RunControl(CAsfAgent& agent, int signalFd)
{
    std::string pending;
    bool stdinOpen = true;
    for (;;)
    {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int ready = ::poll(fds, stdinOpen ? 2 : 1, -1);
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN)
            return;
        if (!stdinOpen || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char chunk[512];
        ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0)
        {
            if (got < 0 && errno == EINTR)
                continue;
            stdinOpen = false;
            continue;
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;)
        {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line == "quit")
                return;
            if (line.find_first_not_of(" \t") == std::string::npos)
                continue;
            std::printf("%s\n", agent.Control(line).c_str());
            std::fflush(stdout);
        }
        if (pending.size() > 4096)
            pending.clear(); // no control line is that long
    }
}
} // namespace

int main(int argc, char** argv)
{
    tagSIM_OPTIONS options;
    bool help = false;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, help, error))
    {
        std::fprintf(stderr, "asf-sim: %s\n%s", error.c_str(), SimUsage());
        return 2;
    }
    if (help)
    {
        std::fputs(SimUsage(), stdout);
        return 0;
    }

    // Signals are taken through a descriptor, so they are blocked in every thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0)
    {
        std::perror("asf-sim: signalfd");
        return 1;
    }

    CAsfAgent agent(options);
    CAsfListener listener(agent);
    if (!listener.Start(options.address, options.portRmcp, options.portRsp, error))
    {
        std::fprintf(stderr, "asf-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("asf-sim ready %s rmcp %u rsp %u\n", options.address.c_str(),
                unsigned{listener.RmcpPort()}, unsigned{listener.RspPort()});
    std::fflush(stdout);

    RunControl(agent, signalFd);
    listener.Stop();
    ::close(signalFd);
    return 0;
}
