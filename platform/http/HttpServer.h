#pragma once
// The web edge: an HTTP server on the cpp-httplib library (which does all HTTP parsing),
// with this console's security rules (CRequestGuard) applied in one place before any route,
// a router table, and Server-Sent Events streams fed by event channels. Requests run on the
// library's pool threads, so handlers must be thread-safe. Routes are added before Start;
// Stop ends every stream, closes the channels for good and joins every thread. The owner
// keeps channels alive until Stop.
#include "platform/http/HttpTypes.h"
#include "platform/http/RequestGuard.h"
#include "platform/http/Router.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class CEventChannel;

struct tagHTTP_CONFIG
{
    std::string host = "127.0.0.1";
    int port = 8623; // 0 picks a free port
    std::string token;
    unsigned threads = 16;   // connection threads; every open stream holds one
    unsigned maxStreams = 8; // event streams open at once; more are refused with 503
    std::size_t maxBody = 64 * 1024;
    DWORD streamPingMs = 15000; // a comment line on an idle stream finds dead pages
};

class CHttpServer
{
public:
    explicit CHttpServer(tagHTTP_CONFIG config);
    ~CHttpServer();
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    void AddRoute(const std::string& method, const std::string& path, HttpHandler handler,
                  BOOL isPublic = FALSE);
    // A GET route that opens an event stream on the channel (token required).
    void AddStream(const std::string& path, CEventChannel& channel);

    BOOL Start(std::string* error);
    void Stop();
    int Port() const;

    // The checks and routing of one request without a socket. Returns the channel when the
    // request opens an event stream (all checks passed); otherwise the response is complete.
    CEventChannel* Handle(tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response) const;

private:
    struct tagIMPL;

    tagHTTP_CONFIG m_config;
    std::unique_ptr<CRequestGuard> m_guard;
    CRouter m_router;
    std::vector<CEventChannel*> m_channels;
    std::unique_ptr<tagIMPL> m_impl;
    std::thread m_listener;
    std::atomic<int> m_port{0};
    std::atomic<unsigned> m_streams{0};
    std::atomic<bool> m_stopping{false};
};
