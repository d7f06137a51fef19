#include "platform/ui/UIThread.h"

#include <cstdio>
#include <exception>
#include <vector>

namespace
{
constexpr DWORD NO_TIMEOUT = 0xFFFFFFFF;
// Senders re-check the thread's state at least this often while they wait.
constexpr std::chrono::milliseconds SENDER_SLICE(100);

enum : int
{
    SENT_QUEUED = 0,
    SENT_RUNNING = 1,
    SENT_DONE = 2,
    SENT_CANCELLED = 3,
};

LRESULT GuardedCall(const std::function<LRESULT()>& call)
{
    try
    {
        return call();
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "ui: exception in a window procedure: %s\n", e.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "ui: unknown exception in a window procedure\n");
    }
    return 0;
}
} // namespace

BOOL CWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_thread != nullptr ? m_thread->PostMessage(m_hwnd, message, wParam, lParam) : FALSE;
}

LRESULT CWindow::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_thread != nullptr ? m_thread->SendMessage(m_hwnd, message, wParam, lParam) : 0;
}

CUIThread::CUIThread(DWORD idleUpdateMs) : m_idlePeriod(idleUpdateMs == 0 ? 1 : idleUpdateMs) {}

CUIThread::~CUIThread()
{
    Stop();
    if (m_thread.joinable() && !IsUIThread())
        m_thread.join();
}

BOOL CUIThread::Start()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_running || m_stopping || m_thread.joinable())
        return FALSE;
    m_running = true;
    m_nextIdle = Clock::now() + m_idlePeriod;
    try
    {
        m_thread = std::thread([this] { ThreadMain(); });
    }
    catch (...)
    {
        m_running = false;
        return FALSE;
    }
    m_threadId = m_thread.get_id();
    return TRUE;
}

void CUIThread::Stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_thread.joinable())
            return;
        m_stopping = true;
        m_wakeUp.notify_all();
        if (m_threadId == std::this_thread::get_id())
            return;
    }
    m_thread.join();
}

BOOL CUIThread::IsRunning() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_running && !m_stopping;
}

BOOL CUIThread::IsUIThread() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_threadId == std::this_thread::get_id();
}

HWND CUIThread::CreateWindow(CWindow& window)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (window.m_hwnd != NULL_HWND)
        return NULL_HWND;
    HWND hwnd = m_nextHwnd++;
    window.m_hwnd = hwnd;
    window.m_thread = this;
    m_windows[hwnd] = &window;
    return hwnd;
}

void CUIThread::RemoveWindowLocked(HWND hwnd)
{
    auto it = m_windows.find(hwnd);
    if (it == m_windows.end())
        return;
    it->second->m_hwnd = NULL_HWND;
    it->second->m_thread = nullptr;
    m_windows.erase(it);
    for (auto t = m_timers.begin(); t != m_timers.end();)
        t = t->first.first == hwnd ? m_timers.erase(t) : std::next(t);
}

BOOL CUIThread::DestroyWindow(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return FALSE;
    BOOL done = FALSE;
    CallOnUIThread(
        [this, hwnd]() -> LRESULT
        {
            std::lock_guard<std::mutex> guard(m_lock);
            RemoveWindowLocked(hwnd);
            return 1;
        },
        &done, NO_TIMEOUT);
    if (done)
        return TRUE;
    // The loop is not running (never started, or stopping): once it has ended no
    // procedure can be running, so the window may go directly.
    std::unique_lock<std::mutex> lock(m_lock);
    m_sentDone.wait(lock, [this] { return !m_running; });
    RemoveWindowLocked(hwnd);
    return TRUE;
}

BOOL CUIThread::IsWindow(HWND hwnd) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_windows.count(hwnd) != 0;
}

BOOL CUIThread::PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_running || m_stopping || m_windows.count(hwnd) == 0)
        return FALSE;
    m_posted.push_back({hwnd, message, wParam, lParam});
    m_wakeUp.notify_one();
    return TRUE;
}

LRESULT CUIThread::SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    SendMessageTimeout(hwnd, message, wParam, lParam, NO_TIMEOUT, &result);
    return result;
}

BOOL CUIThread::SendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   DWORD timeoutMs, LRESULT* result)
{
    if (IsUIThread())
    {
        LRESULT r = Dispatch(hwnd, message, wParam, lParam);
        if (result != nullptr)
            *result = r;
        return TRUE;
    }
    BOOL done = FALSE;
    LRESULT r = CallOnUIThread([this, hwnd, message, wParam, lParam]
                               { return Dispatch(hwnd, message, wParam, lParam); },
                               &done, timeoutMs);
    if (result != nullptr)
        *result = done ? r : 0;
    return done;
}

LRESULT CUIThread::CallOnUIThread(std::function<LRESULT()> call, BOOL* done, DWORD timeoutMs)
{
    *done = FALSE;
    if (IsUIThread())
    {
        *done = TRUE;
        return GuardedCall(call);
    }
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_running || m_stopping)
        return 0;
    auto sent = std::make_shared<tagSENT>();
    sent->call = std::move(call);
    m_sent.push_back(sent);
    m_wakeUp.notify_one();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (sent->state == SENT_QUEUED || sent->state == SENT_RUNNING)
    {
        m_sentDone.wait_for(lock, SENDER_SLICE);
        if (sent->state == SENT_QUEUED && timeoutMs != NO_TIMEOUT && Clock::now() >= deadline)
        {
            for (auto it = m_sent.begin(); it != m_sent.end(); ++it)
            {
                if (*it == sent)
                {
                    m_sent.erase(it);
                    break;
                }
            }
            return 0;
        }
    }
    if (sent->state != SENT_DONE)
        return 0;
    *done = TRUE;
    return sent->result;
}

UINT_PTR CUIThread::SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (id == 0 || m_windows.count(hwnd) == 0)
        return 0;
    std::chrono::milliseconds period(elapseMs == 0 ? 1 : elapseMs);
    m_timers[{hwnd, id}] = {period, Clock::now() + period};
    m_wakeUp.notify_one();
    return id;
}

BOOL CUIThread::KillTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_timers.erase({hwnd, id}) != 0 ? TRUE : FALSE;
}

BOOL CUIThread::RunModalLoop(const std::function<bool()>& done)
{
    if (!IsUIThread())
        return FALSE;
    for (;;)
    {
        unsigned long long seen;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            seen = m_wakeSeq;
        }
        if (done())
            return TRUE;
        if (!PumpOnce(seen))
            return FALSE;
    }
}

void CUIThread::Wake()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_wakeSeq;
    m_wakeUp.notify_all();
}

LRESULT CUIThread::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindow* window = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end())
            return 0;
        window = it->second;
    }
    // Only the UI thread removes windows while the loop runs, so the pointer stays valid.
    return GuardedCall([&] { return window->WindowProc(message, wParam, lParam); });
}

BOOL CUIThread::PumpOnce(unsigned long long seenWake)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        if (m_stopping)
            return FALSE;
        if (!m_sent.empty() || !m_posted.empty())
            break;
        if (m_wakeSeq != seenWake)
            return TRUE;
        Clock::time_point next = m_nextIdle;
        for (const auto& t : m_timers)
            next = std::min(next, t.second.due);
        if (next <= Clock::now())
            break;
        m_wakeUp.wait_until(lock, next);
    }

    // Sent calls first, as the desktop system delivers them ahead of posted messages.
    while (!m_sent.empty())
    {
        std::shared_ptr<tagSENT> sent = m_sent.front();
        m_sent.pop_front();
        sent->state = SENT_RUNNING;
        lock.unlock();
        LRESULT result = GuardedCall(sent->call);
        lock.lock();
        sent->result = result;
        sent->state = SENT_DONE;
        m_sentDone.notify_all();
        if (m_stopping)
            return FALSE;
    }

    if (!m_posted.empty())
    {
        tagPOSTED posted = m_posted.front();
        m_posted.pop_front();
        lock.unlock();
        Dispatch(posted.hwnd, posted.message, posted.wParam, posted.lParam);
        lock.lock();
        if (m_stopping)
            return FALSE;
    }

    // Timers and the idle update: each due one fires once; a late timer is not repeated
    // to catch up, it is rescheduled a full period from now.
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<HWND, UINT_PTR>> due;
    for (auto& t : m_timers)
    {
        if (t.second.due > now)
            continue;
        due.push_back(t.first);
        t.second.due += t.second.period;
        if (t.second.due <= now)
            t.second.due = now + t.second.period;
    }
    std::vector<HWND> idle;
    if (m_nextIdle <= now)
    {
        m_nextIdle = now + m_idlePeriod;
        for (const auto& w : m_windows)
            idle.push_back(w.first);
    }
    lock.unlock();
    for (const auto& timer : due)
    {
        // A timer killed by an earlier handler in this pass does not fire.
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_stopping)
                return FALSE;
            if (m_timers.count(timer) == 0)
                continue;
        }
        Dispatch(timer.first, WM_TIMER, timer.second, 0);
    }
    for (HWND hwnd : idle)
        Dispatch(hwnd, WM_IDLEUPDATECMDUI, TRUE, 0);
    lock.lock();
    return m_stopping ? FALSE : TRUE;
}

void CUIThread::ThreadMain()
{
    for (;;)
    {
        unsigned long long seen;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            seen = m_wakeSeq;
        }
        if (!PumpOnce(seen))
            break;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& sent : m_sent)
        sent->state = SENT_CANCELLED;
    m_sent.clear();
    m_posted.clear();
    m_running = false;
    m_sentDone.notify_all();
}
