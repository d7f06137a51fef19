#pragma once
// Helpers for tests of the UI thread: a bounded wait on a condition and a window that
// records what it receives and runs per-message hooks.
#include "platform/ui/UIThread.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// Polls the condition every millisecond until it holds or the bound passes.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds bound = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct tagRECEIVED
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class CTestWindow : public CWindow
{
public:
    using Hook = std::function<LRESULT(WPARAM, LPARAM)>;

    void On(UINT message, Hook hook)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hooks[message] = std::move(hook);
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        Hook hook;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_received.push_back({message, wParam, lParam});
            auto it = m_hooks.find(message);
            if (it != m_hooks.end())
                hook = it->second;
        }
        return hook ? hook(wParam, lParam) : 0;
    }

    std::vector<tagRECEIVED> Received(UINT message) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<tagRECEIVED> out;
        for (const auto& r : m_received)
            if (r.message == message)
                out.push_back(r);
        return out;
    }

    std::size_t Count(UINT message) const { return Received(message).size(); }

private:
    mutable std::mutex m_lock;
    std::vector<tagRECEIVED> m_received;
    std::map<UINT, Hook> m_hooks;
};
