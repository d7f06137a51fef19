#include "platform/http/EventStreamClient.h"

#include "platform/http/RequestGuard.h"

#include <httplib.h>

#include <chrono>

struct CEventStreamClient::tagIMPL
{
    explicit tagIMPL(const std::string& host, int port) : client(host, port) {}
    httplib::Client client;
};

CEventStreamClient::CEventStreamClient(std::string host, int port, std::string path,
                                       std::string token)
    : m_host(std::move(host)), m_port(port), m_path(std::move(path)), m_token(std::move(token)),
      m_impl(std::make_unique<tagIMPL>(m_host, m_port))
{
}

CEventStreamClient::~CEventStreamClient()
{
    Stop();
}

void CEventStreamClient::SetEventHandler(std::function<void(const tagSSE_EVENT&)> handler)
{
    m_handler = std::move(handler);
}

BOOL CEventStreamClient::Start()
{
    if (m_thread.joinable())
        return FALSE;
    m_impl->client.set_connection_timeout(2, 0);
    // Longer than the server's keep-alive comments, so an idle stream is not taken as dead.
    m_impl->client.set_read_timeout(30, 0);
    m_impl->client.set_tcp_nodelay(true);
    m_thread = std::thread([this] { Run(); });
    return TRUE;
}

void CEventStreamClient::Stop()
{
    m_stop = true;
    if (!m_thread.joinable())
        return;
    // Shuts the socket down under the blocked read, which then returns.
    m_impl->client.stop();
    m_thread.join();
}

void CEventStreamClient::Run()
{
    httplib::Headers headers = {{VEXA_TOKEN_HEADER, m_token}, {"Accept", "text/event-stream"}};
    auto result = m_impl->client.Get(
        m_path, headers,
        [this](const httplib::Response& response)
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_status = response.status;
            m_arrived.notify_all();
            return response.status == 200 && !m_stop;
        },
        [this](const char* data, size_t length)
        {
            Feed(data, length);
            return !m_stop;
        });
    std::lock_guard<std::mutex> guard(m_lock);
    if (!result && m_status == 0)
        m_status = -1;
    m_arrived.notify_all();
}

void CEventStreamClient::Feed(const char* data, std::size_t length)
{
    std::deque<tagSSE_EVENT> complete;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_buffer.append(data, length);
        std::size_t end;
        while ((end = m_buffer.find("\n\n")) != std::string::npos)
        {
            const std::string block = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 2);
            tagSSE_EVENT event{"message", ""};
            bool any = false;
            std::size_t pos = 0;
            while (pos <= block.size())
            {
                std::size_t eol = block.find('\n', pos);
                if (eol == std::string::npos)
                    eol = block.size();
                const std::string line = block.substr(pos, eol - pos);
                pos = eol + 1;
                if (line.empty() || line[0] == ':')
                    continue;
                const std::size_t colon = line.find(':');
                const std::string field = line.substr(0, colon);
                std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
                if (!value.empty() && value[0] == ' ')
                    value.erase(0, 1);
                if (field == "event")
                    event.event = value;
                else if (field == "data")
                {
                    event.data += (any ? "\n" : "") + value;
                    any = true;
                }
            }
            if (any)
                complete.push_back(event);
        }
    }
    for (const auto& event : complete)
        if (m_handler)
            m_handler(event);
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& event : complete)
        m_events.push_back(std::move(event));
    m_arrived.notify_all();
}

BOOL CEventStreamClient::WaitFor(const std::function<bool(const tagSSE_EVENT&)>& match,
                                 DWORD timeoutMs, tagSSE_EVENT* event)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        while (!m_events.empty())
        {
            tagSSE_EVENT next = std::move(m_events.front());
            m_events.pop_front();
            if (match(next))
            {
                if (event != nullptr)
                    *event = std::move(next);
                return TRUE;
            }
        }
        if (m_arrived.wait_until(lock, deadline) == std::cv_status::timeout && m_events.empty())
            return FALSE;
    }
}

int CEventStreamClient::Status() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_status;
}
