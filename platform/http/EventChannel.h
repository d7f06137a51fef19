#pragma once
// The push channel behind a Server-Sent Events route: a change counter and the function that
// renders the current state. Every stream sends the state when it starts and then whenever
// the counter has moved since its last send went out, so one write is in flight per stream
// and a slow page skips to the newest state instead of piling up changes. Notify is called
// from any thread; streams wait on their own connection threads. m_lock guards the counter
// and the closed flag; the renderer runs with no lock held.
#include "platform/Types.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

class CEventChannel
{
public:
    explicit CEventChannel(std::function<std::string()> render);

    void Notify();
    // Ends every stream's wait for good.
    void Close();
    BOOL IsClosed() const;
    unsigned long long Version() const;

    // Waits until the counter differs from *seen (then renders into *data, moves *seen and
    // returns 1), timeoutMs passes (0), or the channel closes (-1).
    int WaitNext(unsigned long long* seen, DWORD timeoutMs, std::string* data);

private:
    std::function<std::string()> m_render;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    unsigned long long m_version = 1;
    bool m_closed = false;
};
