#pragma once
// Windows that other processes of the same user can find by title and post messages to.
// Each window is a Unix datagram socket in the run directory, <run>/win-<id>.sock, with its
// owner's PID and title beside it in <run>/win-<id>.title; the handle is the 64-bit id, so it
// means the same window in every process and can travel in a message parameter.
// A CNamedWindow is owned by one object; its receive thread hands each message to the receiver
// callback (on that thread) or to the window's queue, which any thread may read (m_mutex guards
// the queue). CWindowDirectory holds no state beyond its path and may be used from any thread.
// A window whose owner has gone is found as gone, and its leftover files are removed.
#include "platform/Sync.h"
#include "platform/WorkerThread.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

using HNAMEDWND = std::uint64_t;
constexpr HNAMEDWND NULL_NAMEDWND = 0;

struct tagWINDOW_MESSAGE
{
    UINT message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};

class CNamedWindow
{
public:
    using Receiver = std::function<void(const tagWINDOW_MESSAGE&)>;

    // Messages held for GetMessage before senders are made to wait (and then fail).
    static constexpr std::size_t QUEUE_LIMIT = 4096;

    CNamedWindow() = default;
    ~CNamedWindow();
    CNamedWindow(const CNamedWindow&) = delete;
    CNamedWindow& operator=(const CNamedWindow&) = delete;

    // Registers the window under title in runDirectory (created, mode 0700, when missing).
    // With a receiver, each message is passed to it on the window's receive thread; without one
    // messages queue for GetMessage. FALSE with LastError() set on failure.
    BOOL Create(const std::string& runDirectory, const std::string& title, Receiver receiver = {});
    // Unregisters the window: from here on it is found as gone and posts to it fail. Messages
    // not yet taken are dropped. Also done by the destructor. From the receiver callback it only
    // unpublishes the window; the owner's later Destroy or the destructor finishes the job.
    void Destroy();

    BOOL IsCreated() const { return m_handle != NULL_NAMEDWND; }
    HNAMEDWND Handle() const { return m_handle; }
    std::string Title() const;
    BOOL SetTitle(const std::string& title);

    // Takes the oldest queued message, waiting at most timeoutMs for one.
    BOOL GetMessage(tagWINDOW_MESSAGE& message, DWORD timeoutMs);
    // Set while the queue holds a message; for waiting on it together with other events.
    CEvent& MessageAvailable() { return m_available; }
    // Messages dropped because they were not of our format.
    std::uint64_t RejectedCount() const;

    std::string LastError() const;

private:
    DWORD ReceiveLoop(CEvent& stopEvent);
    // FALSE when the stop event was set while waiting for room in the queue.
    BOOL Deliver(const tagWINDOW_MESSAGE& message, CEvent& stopEvent);
    BOOL WriteTitleFile(const std::string& title);
    void Fail(const std::string& text);

    std::string m_runDirectory;
    std::string m_socketPath;
    std::string m_titlePath;
    HNAMEDWND m_handle = NULL_NAMEDWND;
    int m_socket = -1;
    int m_wake = -1; // eventfd written by Destroy to end the receive thread's wait
    Receiver m_receiver;
    CWorkerThread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_queueChanged; // guarded by m_mutex
    std::deque<tagWINDOW_MESSAGE> m_queue;  // guarded by m_mutex
    std::string m_title;                    // guarded by m_mutex
    std::string m_lastError;                // guarded by m_mutex
    std::uint64_t m_rejected = 0;           // guarded by m_mutex
    CEvent m_available{TRUE, FALSE};
};

class CWindowDirectory
{
public:
    explicit CWindowDirectory(std::string runDirectory) : m_runDirectory(std::move(runDirectory)) {}

    // A live window with this title (ASCII letters compared without case), NULL_NAMEDWND when
    // there is none. Where several match, the one with the lowest handle.
    HNAMEDWND FindWindow(const std::string& title) const;
    // The window's title; FALSE when the window has gone.
    BOOL GetWindowText(HNAMEDWND window, std::string& title) const;
    BOOL IsWindow(HNAMEDWND window) const;
    // The PID of the process that owns a live window, or -1.
    int GetWindowProcessId(HNAMEDWND window) const;
    // Delivers the message to the window's owner without waiting for it to be handled. FALSE
    // when the window has gone, or its owner's queue stays full for a second.
    BOOL PostMessage(HNAMEDWND window, UINT message, std::uint64_t wParam,
                     std::int64_t lParam) const;
    // Removes the files of windows whose owners have gone.
    void RemoveStale() const;

    const std::string& RunDirectory() const { return m_runDirectory; }

private:
    std::string m_runDirectory;
};
