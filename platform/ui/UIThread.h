#pragma once
// The user-interface thread: one thread with one message queue that runs every window
// procedure of the windows registered with it. Any thread may post (FIFO order kept) or
// send (blocks until handled; on the UI thread itself the procedure is called at once).
// Timers deliver WM_TIMER with their id; every idle period all windows receive
// WM_IDLEUPDATECMDUI. A modal service pumps the same queue in a nested loop.
// The owner creates and stops it; m_lock guards the queues, timers and window table;
// window procedures always run with m_lock released.
#include "platform/ui/UITypes.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

class CUIThread;

// Base of every window. The owner keeps the object alive from CreateWindow until
// DestroyWindow has returned.
class CWindow
{
public:
    virtual ~CWindow() = default;

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND GetSafeHwnd() const { return m_hwnd; }
    CUIThread* GetUIThread() const { return m_thread; }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

private:
    friend class CUIThread;
    HWND m_hwnd = NULL_HWND;
    CUIThread* m_thread = nullptr;
};

class CUIThread
{
public:
    explicit CUIThread(DWORD idleUpdateMs = 1000);
    ~CUIThread();
    CUIThread(const CUIThread&) = delete;
    CUIThread& operator=(const CUIThread&) = delete;

    BOOL Start();
    // Ends the loop and joins the thread. Messages still queued are dropped and blocked
    // senders return 0. Called on the UI thread itself it only asks the loop to end.
    void Stop();
    BOOL IsRunning() const;
    BOOL IsUIThread() const;

    // Registers the window (any thread) and returns its handle.
    HWND CreateWindow(CWindow& window);
    // Unregisters the window and kills its timers; when it returns no procedure of the
    // window runs any more and none will.
    BOOL DestroyWindow(HWND hwnd);
    BOOL IsWindow(HWND hwnd) const;

    BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // As SendMessage, but gives up after timeoutMs if the UI thread has not started the
    // call yet (a call already running is always waited for: it may use the caller's data).
    BOOL SendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                            LRESULT* result);

    // Starts or restarts timer id of the window; returns id, or 0 when the window is unknown.
    UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs);
    BOOL KillTimer(HWND hwnd, UINT_PTR id);

    // UI thread only: dispatches messages until done() holds (TRUE) or the thread is
    // stopping (FALSE). Whoever makes done() true from another thread calls Wake().
    BOOL RunModalLoop(const std::function<bool()>& done);
    void Wake();

private:
    using Clock = std::chrono::steady_clock;

    struct tagPOSTED
    {
        HWND hwnd;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    struct tagSENT
    {
        std::function<LRESULT()> call;
        LRESULT result = 0;
        int state = 0; // 0 queued, 1 running, 2 done
    };
    struct tagTIMER
    {
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    void ThreadMain();
    // Waits for work (or for the wake sequence to move past seenWake) and runs a share of
    // it; returns FALSE when the thread is stopping.
    BOOL PumpOnce(unsigned long long seenWake);
    LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallOnUIThread(std::function<LRESULT()> call, BOOL* done, DWORD timeoutMs);
    void RemoveWindowLocked(HWND hwnd);

    const std::chrono::milliseconds m_idlePeriod;

    mutable std::mutex m_lock;
    std::condition_variable m_wakeUp;   // the UI thread waits for work on it
    std::condition_variable m_sentDone; // senders wait for their call on it
    std::deque<tagPOSTED> m_posted;
    std::deque<std::shared_ptr<tagSENT>> m_sent;
    std::map<std::pair<HWND, UINT_PTR>, tagTIMER> m_timers;
    std::map<HWND, CWindow*> m_windows;
    HWND m_nextHwnd = 0x100;
    Clock::time_point m_nextIdle;
    unsigned long long m_wakeSeq = 0;
    bool m_running = false;
    bool m_stopping = false;
    std::thread::id m_threadId;
    std::thread m_thread;
};
