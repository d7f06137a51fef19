// tarn-console: serves the console's page on loopback and runs the console behind it until
// SIGINT or SIGTERM, then shuts down with every thread joined.
#include "host/ConsoleHost.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h"))
    {
        std::printf("%s\n", HostUsage());
        return 0;
    }
    tagHOST_OPTIONS options;
    std::string error;
    if (!ParseHostOptions(args, &options, &error))
    {
        std::fprintf(stderr, "tarn-console: %s\n%s\n", error.c_str(), HostUsage());
        return 2;
    }

    // Block the stop signals before any thread starts, so that every thread inherits the
    // mask and only sigwait below receives them.
    // A shell starting us in the background may have left SIGINT ignored; an ignored
    // signal never reaches sigwait, so take the default disposition back first.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A page that goes away mid-write must not end the process.
    signal(SIGPIPE, SIG_IGN);

    CConsoleHost host;
    if (!host.Start(options, &error))
    {
        std::fprintf(stderr, "tarn-console: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", host.Url().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    host.Stop();
    return 0;
}
