#pragma once
// One worker thread with its own stop event. The owning object starts it, asks it to stop and
// joins it; the body receives the stop event and makes every wait of its own bounded or on that
// event, so a stop request ends it within one wait. The thread is never killed or detached: the
// destructor requests a stop and joins, so the owner's members outlive every use by the body.
// Start, Join and the destructor belong to the owner's thread; RequestStop, IsRunning and the
// result accessors may be called from any thread (m_mutex guards the recorded result).
#include "platform/Sync.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CWorkerThread
{
public:
    // The body's return value becomes the thread's exit code.
    using Body = std::function<DWORD(CEvent& stopEvent)>;

    // Exit code recorded when the body ended by an exception.
    static constexpr DWORD EXIT_EXCEPTION = 0xE0000001u;

    CWorkerThread() = default;
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the body on a new thread (name: up to 15 characters, shown by debuggers).
    // FALSE when a previous run is still going or the thread could not be created. A run that
    // has ended is joined first, and the stop event is cleared for the new run.
    BOOL Start(Body body, const char* name = nullptr);
    void RequestStop() { m_stop.Set(); }
    // Waits at most timeoutMs for the thread to end and joins it. TRUE when no thread is left
    // (also when none was started); FALSE when it is still running, or when called by the
    // worker itself.
    BOOL Join(DWORD timeoutMs);
    // RequestStop then Join.
    BOOL Stop(DWORD timeoutMs);

    BOOL IsRunning() const { return m_running.load() ? TRUE : FALSE; }
    CEvent& StopEvent() { return m_stop; }
    // The last run's result: its exit code, and whether it ended by an exception (with the
    // exception's text). Meaningful once the run has ended.
    DWORD ExitCode() const;
    BOOL Failed() const;
    std::string FailureText() const;

private:
    void Run(const Body& body, const std::string& name);

    CEvent m_stop{TRUE, FALSE};
    CEvent m_finished{TRUE, FALSE};
    std::atomic<bool> m_running{false};
    std::thread m_thread;

    mutable std::mutex m_mutex;
    DWORD m_exitCode = 0;      // guarded by m_mutex
    BOOL m_failed = FALSE;     // guarded by m_mutex
    std::string m_failureText; // guarded by m_mutex
};
