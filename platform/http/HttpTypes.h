#pragma once
// The web edge's own view of one request and its response, independent of the HTTP library
// underneath, so that the security checks, the router and the route handlers can be tested
// without a socket. Header names are kept in lower case.
#include "platform/Types.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct tagHTTP_REQUEST
{
    std::string method;
    std::string path; // decoded, without the query
    std::vector<std::pair<std::string, std::string>> headers;
    std::multimap<std::string, std::string> query;
    std::string body;
    std::string remoteAddr;
    BOOL authenticated = FALSE; // set by the server before a handler runs

    // The first value of the header (name in any case), or empty.
    std::string Header(const std::string& name) const;
    std::size_t HeaderCount(const std::string& name) const;
    // The first value of the query parameter, or empty.
    std::string Query(const std::string& name) const;
    BOOL HasQuery(const std::string& name) const;
};

struct tagHTTP_RESPONSE
{
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    void SetHeader(const std::string& name, const std::string& value);
};

using HttpHandler = std::function<void(const tagHTTP_REQUEST&, tagHTTP_RESPONSE&)>;

// A JSON error body: {"error": "<one-line reason>"}.
void SetHttpError(tagHTTP_RESPONSE& response, int status, const std::string& reason);
