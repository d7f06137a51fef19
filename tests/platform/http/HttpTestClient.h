#pragma once
// One HTTP request to a server on 127.0.0.1 through the library's client, for tests.
#include <httplib.h>

#include <string>
#include <utility>
#include <vector>

struct tagTEST_REPLY
{
    int status = 0;
    std::string body;
    httplib::Headers headers;

    std::string Header(const std::string& name) const
    {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

inline tagTEST_REPLY
SendRequest(int port, const std::string& method, const std::string& path,
            const std::vector<std::pair<std::string, std::string>>& headers = {},
            const std::string& body = "")
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(5, 0);
    httplib::Request request;
    request.method = method;
    request.path = path;
    for (const auto& h : headers)
        request.headers.emplace(h.first, h.second);
    if (!body.empty() || method == "POST")
    {
        request.body = body;
        if (!request.has_header("Content-Type"))
            request.headers.emplace("Content-Type", "application/json");
    }
    tagTEST_REPLY reply;
    auto result = client.send(request);
    if (!result)
        return reply;
    reply.status = result->status;
    reply.body = result->body;
    reply.headers = result->headers;
    return reply;
}
