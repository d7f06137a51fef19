#include "platform/Sync.h"

#include <algorithm>
#include <chrono>

// A thread waiting on several events registers one of these with each of them; Set wakes it
// and the thread then tries to take the events in order. Lock order: event, then waiter.
struct tagEVENT_WAITER
{
    std::mutex mutex;
    std::condition_variable changed;
    bool fired = false; // guarded by mutex
};

namespace
{
using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(DWORD timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}
} // namespace

CEvent::CEvent(BOOL manualReset, BOOL initialState)
    : m_manualReset(manualReset ? TRUE : FALSE), m_signalled(initialState ? TRUE : FALSE)
{
}

void CEvent::Set()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = TRUE;
    if (m_manualReset)
        m_changed.notify_all();
    else
        m_changed.notify_one();
    for (tagEVENT_WAITER* waiter : m_waiters)
    {
        std::lock_guard<std::mutex> waiterLock(waiter->mutex);
        waiter->fired = true;
        waiter->changed.notify_one();
    }
}

void CEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = FALSE;
}

BOOL CEvent::IsSet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signalled;
}

BOOL CEvent::TakeLocked()
{
    if (!m_signalled)
        return FALSE;
    if (!m_manualReset)
        m_signalled = FALSE;
    return TRUE;
}

DWORD CEvent::Wait(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto isSet = [this] { return m_signalled != FALSE; };
    if (timeoutMs == INFINITE)
        m_changed.wait(lock, isSet);
    else if (!m_changed.wait_until(lock, DeadlineAfter(timeoutMs), isSet))
        return WAIT_TIMEOUT;
    TakeLocked();
    return WAIT_OBJECT_0;
}

void CEvent::AddWaiter(tagEVENT_WAITER* waiter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiters.push_back(waiter);
}

void CEvent::RemoveWaiter(tagEVENT_WAITER* waiter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), waiter), m_waiters.end());
}

DWORD WaitForAnyEvent(std::span<CEvent* const> events, DWORD timeoutMs)
{
    if (events.empty() || std::find(events.begin(), events.end(), nullptr) != events.end())
        return WAIT_FAILED;

    const auto deadline = DeadlineAfter(timeoutMs == INFINITE ? 0 : timeoutMs);
    tagEVENT_WAITER waiter;
    for (CEvent* event : events)
        event->AddWaiter(&waiter);

    DWORD result = WAIT_TIMEOUT;
    for (;;)
    {
        // Clear the flag before looking, so a Set after the look is not missed.
        {
            std::lock_guard<std::mutex> lock(waiter.mutex);
            waiter.fired = false;
        }
        for (std::size_t i = 0; i < events.size() && result == WAIT_TIMEOUT; ++i)
        {
            std::lock_guard<std::mutex> lock(events[i]->m_mutex);
            if (events[i]->TakeLocked())
                result = WAIT_OBJECT_0 + static_cast<DWORD>(i);
        }
        if (result != WAIT_TIMEOUT)
            break;

        std::unique_lock<std::mutex> lock(waiter.mutex);
        auto fired = [&waiter] { return waiter.fired; };
        if (timeoutMs == INFINITE)
            waiter.changed.wait(lock, fired);
        else if (!waiter.changed.wait_until(lock, deadline, fired))
            break;
    }

    for (CEvent* event : events)
        event->RemoveWaiter(&waiter);
    return result;
}

DWORD WaitForAnyEvent(std::initializer_list<CEvent*> events, DWORD timeoutMs)
{
    return WaitForAnyEvent(std::span<CEvent* const>(events.begin(), events.size()), timeoutMs);
}

BOOL CTimedMutex::Lock(DWORD timeoutMs)
{
    if (timeoutMs == INFINITE)
    {
        m_mutex.lock();
        return TRUE;
    }
    return m_mutex.try_lock_for(std::chrono::milliseconds(timeoutMs)) ? TRUE : FALSE;
}

BOOL CRecursiveTimedMutex::Lock(DWORD timeoutMs)
{
    if (timeoutMs == INFINITE)
    {
        m_mutex.lock();
        return TRUE;
    }
    return m_mutex.try_lock_for(std::chrono::milliseconds(timeoutMs)) ? TRUE : FALSE;
}
