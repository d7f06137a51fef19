#include "platform/http/EventChannel.h"

#include <chrono>

CEventChannel::CEventChannel(std::function<std::string()> render) : m_render(std::move(render)) {}

void CEventChannel::Notify()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_version;
    m_changed.notify_all();
}

void CEventChannel::Close()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    m_changed.notify_all();
}

BOOL CEventChannel::IsClosed() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_closed ? TRUE : FALSE;
}

unsigned long long CEventChannel::Version() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_version;
}

int CEventChannel::WaitNext(unsigned long long* seen, DWORD timeoutMs, std::string* data)
{
    unsigned long long version;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return m_closed || m_version != *seen; });
        if (m_closed)
            return -1;
        if (m_version == *seen)
            return 0;
        version = m_version;
    }
    // Rendered after reading the counter, so what is sent is at least that new.
    *data = m_render();
    *seen = version;
    return 1;
}
