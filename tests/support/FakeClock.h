#pragma once
// A clock that moves only when told or when slept on; Sleep returns at once.
#include "platform/Clock.h"

#include <atomic>
#include <vector>
#include <mutex>

class CFakeClock final : public IClock
{
public:
    DWORD GetTickCount() override { return m_now.load(); }
    void Sleep(DWORD milliseconds) override
    {
        m_now += milliseconds;
        std::lock_guard<std::mutex> guard(m_lock);
        m_sleeps.push_back(milliseconds);
    }
    void Advance(DWORD milliseconds) { m_now += milliseconds; }
    std::vector<DWORD> Sleeps()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sleeps;
    }

private:
    std::atomic<DWORD> m_now{1000};
    std::mutex m_lock;
    std::vector<DWORD> m_sleeps;
};
