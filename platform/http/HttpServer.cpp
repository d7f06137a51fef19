#include "platform/http/HttpServer.h"

#include "platform/http/EventChannel.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>

namespace
{
constexpr DWORD STREAM_WAIT_MS = 250;
constexpr auto START_BOUND = std::chrono::seconds(5);

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void SetSecurityHeaders(tagHTTP_RESPONSE& response)
{
    response.SetHeader("X-Content-Type-Options", "nosniff");
    response.SetHeader("X-Frame-Options", "DENY");
    response.SetHeader("Referrer-Policy", "no-referrer");
    response.SetHeader("Content-Security-Policy",
                       "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
                       "form-action 'none'; object-src 'none'");
}

tagHTTP_REQUEST FromLibrary(const httplib::Request& in)
{
    tagHTTP_REQUEST out;
    out.method = in.method;
    out.path = in.path;
    for (const auto& h : in.headers)
        out.headers.emplace_back(Lower(h.first), h.second);
    for (const auto& p : in.params)
        out.query.emplace(p.first, p.second);
    out.body = in.body;
    out.remoteAddr = in.remote_addr;
    return out;
}

void ToLibrary(const tagHTTP_RESPONSE& in, httplib::Response& out)
{
    out.status = in.status;
    for (const auto& h : in.headers)
        out.set_header(h.first, h.second);
    out.set_content(in.body, in.contentType);
}

// One event-stream frame; every line of the data gets its own "data:" field.
std::string EventFrame(const std::string& data, bool first)
{
    std::string frame = first ? "retry: 2000\n" : "";
    frame += "event: state\n";
    std::size_t pos = 0;
    for (;;)
    {
        std::size_t end = data.find('\n', pos);
        frame += "data: " + data.substr(pos, end == std::string::npos ? end : end - pos) + "\n";
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return frame + "\n";
}
} // namespace

struct CHttpServer::tagIMPL
{
    httplib::Server server;
};

CHttpServer::CHttpServer(tagHTTP_CONFIG config)
    : m_config(std::move(config)),
      m_guard(std::make_unique<CRequestGuard>(m_config.host, m_config.port, m_config.token)),
      m_impl(std::make_unique<tagIMPL>())
{
    m_port = m_config.port;
}

CHttpServer::~CHttpServer()
{
    Stop();
}

void CHttpServer::AddRoute(const std::string& method, const std::string& path, HttpHandler handler,
                           BOOL isPublic)
{
    m_router.Add({method, path, std::move(handler), isPublic, nullptr});
}

void CHttpServer::AddStream(const std::string& path, CEventChannel& channel)
{
    m_router.Add({"GET", path, nullptr, FALSE, &channel});
    m_channels.push_back(&channel);
}

int CHttpServer::Port() const
{
    return m_port;
}

CEventChannel* CHttpServer::Handle(tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response) const
{
    SetSecurityHeaders(response);
    std::string reason;
    if (int status = m_guard->CheckHost(request, &reason))
    {
        SetHttpError(response, status, reason);
        return nullptr;
    }
    const tagROUTE* route = nullptr;
    std::string allow;
    const int found = m_router.Find(request.method, request.path, &route, &allow);
    const BOOL queryToken = m_guard->HasValidQueryToken(request);
    if (found == 0 && route->isPublic)
    {
        request.authenticated = m_guard->HasValidToken(request);
        if (queryToken)
            response.SetHeader("Set-Cookie", m_guard->TokenCookie());
        route->handler(request, response);
        return nullptr;
    }
    response.SetHeader("Cache-Control", "no-store");
    int status = m_guard->CheckOrigin(request, &reason);
    if (status == 0)
        status = m_guard->CheckToken(request, &reason);
    if (status != 0)
    {
        SetHttpError(response, status, reason);
        return nullptr;
    }
    request.authenticated = TRUE;
    if (queryToken)
        response.SetHeader("Set-Cookie", m_guard->TokenCookie());
    if (found == 404)
    {
        SetHttpError(response, 404, "no route " + request.path);
        return nullptr;
    }
    if (found == 405)
    {
        response.SetHeader("Allow", allow);
        SetHttpError(response, 405, request.method + " is not allowed on " + request.path);
        return nullptr;
    }
    if (route->stream != nullptr)
        return route->stream;
    try
    {
        route->handler(request, response);
    }
    catch (const std::exception& e)
    {
        SetHttpError(response, 500, std::string("internal error: ") + e.what());
    }
    catch (...)
    {
        SetHttpError(response, 500, "internal error");
    }
    return nullptr;
}

BOOL CHttpServer::Start(std::string* error)
{
    httplib::Server& server = m_impl->server;
    if (m_listener.joinable() || m_stopping)
    {
        *error = "the server was already started";
        return FALSE;
    }
    const unsigned threads = std::max(m_config.threads, m_config.maxStreams + 4);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_address_family(AF_INET);
    server.set_tcp_nodelay(true);
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_payload_max_length(m_config.maxBody);
    server.set_error_handler(
        [](const httplib::Request&, httplib::Response& res)
        {
            if (res.body.empty())
            {
                tagHTTP_RESPONSE body;
                SetHttpError(body, res.status, "request refused by the HTTP layer");
                res.set_content(body.body, body.contentType);
            }
        });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr)
        {
            tagHTTP_RESPONSE body;
            SetHttpError(body, 500, "internal error");
            res.status = 500;
            res.set_content(body.body, body.contentType);
        });

    auto adapter = [this](const httplib::Request& in, httplib::Response& out)
    {
        tagHTTP_REQUEST request = FromLibrary(in);
        tagHTTP_RESPONSE response;
        CEventChannel* channel = Handle(request, response);
        if (channel == nullptr)
        {
            ToLibrary(response, out);
            return;
        }
        if (m_streams.fetch_add(1) >= m_config.maxStreams)
        {
            --m_streams;
            SetHttpError(response, 503, "too many event streams open");
            ToLibrary(response, out);
            return;
        }
        for (const auto& h : response.headers)
            out.set_header(h.first, h.second);
        out.status = 200;
        struct tagSTREAM
        {
            unsigned long long seen = 0;
            bool first = true;
            std::chrono::steady_clock::time_point lastWrite = std::chrono::steady_clock::now();
        };
        auto stream = std::make_shared<tagSTREAM>();
        const auto ping = std::chrono::milliseconds(m_config.streamPingMs);
        out.set_chunked_content_provider(
            "text/event-stream",
            [this, channel, stream, ping](size_t, httplib::DataSink& sink)
            {
                if (m_stopping)
                    return false;
                std::string data;
                const int next = channel->WaitNext(&stream->seen, STREAM_WAIT_MS, &data);
                if (next < 0)
                    return false;
                const auto now = std::chrono::steady_clock::now();
                std::string frame;
                if (next > 0)
                {
                    frame = EventFrame(data, stream->first);
                    stream->first = false;
                }
                else if (now - stream->lastWrite >= ping)
                    frame = ": keep-alive\n\n";
                if (frame.empty())
                    return true;
                // The one write in flight: it returns once the bytes are handed to the
                // socket (or the write time-out ends the stream).
                if (!sink.write(frame.data(), frame.size()))
                    return false;
                stream->lastWrite = now;
                return true;
            },
            [this](bool) { --m_streams; });
    };
    server.Get(".*", adapter);
    server.Post(".*", adapter);
    server.Put(".*", adapter);
    server.Patch(".*", adapter);
    server.Delete(".*", adapter);
    server.Options(".*", adapter);

    int port = m_config.port;
    if (port == 0)
        port = server.bind_to_any_port(m_config.host);
    else if (!server.bind_to_port(m_config.host, port))
        port = -1;
    if (port <= 0)
    {
        *error = "cannot listen on " + m_config.host + ":" + std::to_string(m_config.port);
        return FALSE;
    }
    m_port = port;
    m_guard = std::make_unique<CRequestGuard>(m_config.host, port, m_config.token);
    try
    {
        m_listener = std::thread([this] { m_impl->server.listen_after_bind(); });
    }
    catch (...)
    {
        *error = "cannot start the listening thread";
        return FALSE;
    }
    // stop() only takes effect once the loop runs, so wait for it (bounded).
    const auto deadline = std::chrono::steady_clock::now() + START_BOUND;
    while (!server.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server.is_running())
    {
        *error = "the listening thread did not start";
        return FALSE;
    }
    return TRUE;
}

void CHttpServer::Stop()
{
    m_stopping = true;
    for (CEventChannel* channel : m_channels)
        channel->Close();
    if (!m_listener.joinable())
        return;
    // Start returned only once the loop ran, so this stop cannot be lost. Joining waits
    // for the library's pool, whose idle keep-alive connections end within 2 s.
    m_impl->server.stop();
    m_listener.join();
}
