#include "platform/WorkerThread.h"

#include <exception>
#include <pthread.h>
#include <system_error>

CWorkerThread::~CWorkerThread()
{
    RequestStop();
    // No limit here: the body's waits are bounded or end on the stop event, and freeing the
    // members under a running body would be worse than waiting for it.
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

BOOL CWorkerThread::Start(Body body, const char* name)
{
    if (!body || m_running.load())
        return FALSE;
    if (m_thread.joinable())
    {
        if (m_thread.get_id() == std::this_thread::get_id())
            return FALSE;
        m_thread.join();
    }

    m_stop.Reset();
    m_finished.Reset();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exitCode = 0;
        m_failed = FALSE;
        m_failureText.clear();
    }
    m_running.store(true);
    try
    {
        m_thread =
            std::thread([this, body = std::move(body), threadName = std::string(name ? name : "")]
                        { Run(body, threadName); });
    }
    catch (const std::system_error&)
    {
        m_running.store(false);
        m_finished.Set();
        return FALSE;
    }
    return TRUE;
}

void CWorkerThread::Run(const Body& body, const std::string& name)
{
    if (!name.empty())
        ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());

    DWORD exitCode = EXIT_EXCEPTION;
    BOOL failed = TRUE;
    std::string failureText;
    try
    {
        exitCode = body(m_stop);
        failed = FALSE;
    }
    catch (const std::exception& e)
    {
        failureText = e.what();
    }
    catch (...)
    {
        failureText = "unknown exception";
    }

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exitCode = exitCode;
        m_failed = failed;
        m_failureText = std::move(failureText);
    }
    m_running.store(false);
    m_finished.Set();
}

BOOL CWorkerThread::Join(DWORD timeoutMs)
{
    if (!m_thread.joinable())
        return TRUE;
    if (m_thread.get_id() == std::this_thread::get_id())
        return FALSE;
    if (m_finished.Wait(timeoutMs) != WAIT_OBJECT_0)
        return FALSE;
    // The body has returned; the thread is only unwinding its entry, so this join is short.
    m_thread.join();
    return TRUE;
}

BOOL CWorkerThread::Stop(DWORD timeoutMs)
{
    RequestStop();
    return Join(timeoutMs);
}

DWORD CWorkerThread::ExitCode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitCode;
}

BOOL CWorkerThread::Failed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

std::string CWorkerThread::FailureText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failureText;
}
