// bench-ui-latency: the time from a PostMessage on a worker thread to an event-stream
// client's receipt of the change it causes. A console host runs in-process on a free
// loopback port; the worker posts the frame's set-message-string message with a numbered
// text, and a small SSE client waits for the pushed state that carries it.
#include "host/ConsoleHost.h"
#include "platform/http/EventStreamClient.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifndef VEXA_WEB_DIR
#define VEXA_WEB_DIR "web"
#endif

int main(int argc, char** argv)
{
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    CConsoleHost host;
    tagHOST_OPTIONS options;
    options.port = 0;
    options.webDir = VEXA_WEB_DIR;
    char dataDir[] = "/tmp/vexa-bench-ui-XXXXXX"; // never the operator's own data folder
    if (mkdtemp(dataDir) == nullptr)
        return 1;
    options.dataDir = dataDir;
    std::string error;
    if (!host.Start(options, &error))
    {
        std::fprintf(stderr, "bench-ui-latency: %s\n", error.c_str());
        return 1;
    }
    CEventStreamClient client("127.0.0.1", host.Port(), "/api/events", host.Token());
    client.Start();
    if (!client.WaitFor([](const tagSSE_EVENT&) { return true; }, 5000, nullptr))
    {
        std::fprintf(stderr, "bench-ui-latency: no initial state on the event stream\n");
        return 1;
    }

    // Each post hands the frame its own copy of the text, which the frame frees.
    std::vector<std::string> texts;
    for (int i = 0; i < samples; ++i)
        texts.push_back("bench sample " + std::to_string(i) + ".");
    std::vector<double> latencies;
    int lost = 0;
    for (int i = 0; i < samples; ++i)
    {
        const std::string needle = "\"message\":\"" + texts[i] + "\"";
        std::chrono::steady_clock::time_point posted;
        std::thread worker(
            [&]
            {
                posted = std::chrono::steady_clock::now();
                const LPARAM text = MakeMessageText(texts[i]);
                if (!host.Frame().PostMessage(WM_SETMESSAGESTRING, 0, text))
                    TakeMessageText(text);
            });
        worker.join();
        const BOOL seen = client.WaitFor([&](const tagSSE_EVENT& e)
                                         { return e.data.find(needle) != std::string::npos; },
                                         2000, nullptr);
        const auto received = std::chrono::steady_clock::now();
        if (!seen)
        {
            ++lost;
            continue;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(received - posted).count());
    }
    client.Stop();
    host.Stop();

    if (latencies.empty())
    {
        std::printf("bench-ui-latency: no sample arrived\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q)
    {
        const std::size_t index =
            static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1));
        return latencies[index];
    };
    std::printf(
        "bench-ui-latency: %zu samples, %d lost; PostMessage to SSE receipt: median %.3f ms, "
        "p99 %.3f ms, max %.3f ms (target < 20 ms)\n",
        latencies.size(), lost, at(0.5), at(0.99), latencies.back());
    host.Stop();
    std::filesystem::remove_all(dataDir);
    return 0;
}
