#pragma once
// A small Server-Sent Events client over loopback for benchmarks, tests and tools: one
// connection on its own thread, the library doing the HTTP, this class splitting the stream
// into events. Events are queued for WaitFor and, when set, passed to the event handler on
// the client's thread as they arrive. m_lock guards the queue, the status and the buffer.
#include "platform/Types.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct tagSSE_EVENT
{
    std::string event; // "message" when the stream named none
    std::string data;
};

class CEventStreamClient
{
public:
    CEventStreamClient(std::string host, int port, std::string path, std::string token);
    ~CEventStreamClient();
    CEventStreamClient(const CEventStreamClient&) = delete;
    CEventStreamClient& operator=(const CEventStreamClient&) = delete;

    // Set before Start; runs on the client's thread for every event.
    void SetEventHandler(std::function<void(const tagSSE_EVENT&)> handler);
    BOOL Start();
    void Stop();

    // Takes queued events until one matches (TRUE, *event set) or timeoutMs passes.
    BOOL WaitFor(const std::function<bool(const tagSSE_EVENT&)>& match, DWORD timeoutMs,
                 tagSSE_EVENT* event);
    // The response status once headers arrived (0 before, -1 when the connection failed).
    int Status() const;

private:
    struct tagIMPL;

    void Run();
    void Feed(const char* data, std::size_t length);

    std::string m_host;
    int m_port;
    std::string m_path;
    std::string m_token;
    std::function<void(const tagSSE_EVENT&)> m_handler;
    std::unique_ptr<tagIMPL> m_impl;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<tagSSE_EVENT> m_events;
    std::string m_buffer;
    int m_status = 0;
};
