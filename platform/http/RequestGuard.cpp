#include "platform/http/RequestGuard.h"

#include <algorithm>
#include <cctype>

namespace
{
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

BOOL IsLoopbackName(const std::string& host)
{
    return host == "localhost" || host.rfind("127.", 0) == 0 ? TRUE : FALSE;
}

// The value of one cookie from a Cookie header ("a=1; vexa_token=..."), or empty.
std::string CookieValue(const std::string& header, const std::string& name)
{
    std::size_t pos = 0;
    while (pos <= header.size())
    {
        std::size_t end = header.find(';', pos);
        if (end == std::string::npos)
            end = header.size();
        const std::string pair = Trim(header.substr(pos, end - pos));
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == name)
            return pair.substr(eq + 1);
        pos = end + 1;
    }
    return std::string();
}
} // namespace

CRequestGuard::CRequestGuard(const std::string& listenHost, int port, const std::string& token)
    : m_token(token)
{
    const std::string suffix = ":" + std::to_string(port);
    const std::string host = Lower(listenHost);
    if (host != "0.0.0.0")
        m_hosts.insert(host + suffix);
    if (IsLoopbackName(host) || host == "0.0.0.0")
    {
        m_hosts.insert("127.0.0.1" + suffix);
        m_hosts.insert("localhost" + suffix);
    }
}

BOOL CRequestGuard::Matches(const std::string& candidate) const
{
    // Constant-time in the token's length: a timing difference must not reveal a prefix.
    if (m_token.empty() || candidate.size() != m_token.size())
        return FALSE;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < m_token.size(); ++i)
        diff |= static_cast<unsigned char>(candidate[i] ^ m_token[i]);
    return diff == 0 ? TRUE : FALSE;
}

int CRequestGuard::CheckHost(const tagHTTP_REQUEST& request, std::string* reason) const
{
    if (request.HeaderCount("Host") != 1)
    {
        *reason = "exactly one Host header is required";
        return 403;
    }
    const std::string host = Lower(Trim(request.Header("Host")));
    if (m_hosts.count(host) == 0)
    {
        *reason = "Host '" + host + "' is not this console";
        return 403;
    }
    return 0;
}

int CRequestGuard::CheckOrigin(const tagHTTP_REQUEST& request, std::string* reason) const
{
    if (!IsStateChanging(request.method) || request.HeaderCount("Origin") == 0)
        return 0;
    const std::string origin = Lower(Trim(request.Header("Origin")));
    const std::string scheme = "http://";
    if (request.HeaderCount("Origin") == 1 && origin.rfind(scheme, 0) == 0 &&
        m_hosts.count(origin.substr(scheme.size())) != 0)
        return 0;
    *reason = "Origin '" + origin + "' may not change this console";
    return 403;
}

int CRequestGuard::CheckToken(const tagHTTP_REQUEST& request, std::string* reason) const
{
    if (HasValidToken(request))
        return 0;
    *reason = "a valid access token is required";
    return 401;
}

BOOL CRequestGuard::HasValidToken(const tagHTTP_REQUEST& request) const
{
    if (request.HeaderCount(VEXA_TOKEN_HEADER) != 0 && Matches(request.Header(VEXA_TOKEN_HEADER)))
        return TRUE;
    if (HasValidQueryToken(request))
        return TRUE;
    for (const auto& h : request.headers)
        if (h.first == "cookie" && Matches(CookieValue(h.second, VEXA_TOKEN_COOKIE)))
            return TRUE;
    return FALSE;
}

BOOL CRequestGuard::HasValidQueryToken(const tagHTTP_REQUEST& request) const
{
    return request.HasQuery(VEXA_TOKEN_QUERY) && Matches(request.Query(VEXA_TOKEN_QUERY)) ? TRUE
                                                                                          : FALSE;
}

std::string CRequestGuard::TokenCookie() const
{
    return std::string(VEXA_TOKEN_COOKIE) + "=" + m_token + "; Path=/; HttpOnly; SameSite=Strict";
}

BOOL CRequestGuard::IsStateChanging(const std::string& method)
{
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" ? TRUE
                                                                                          : FALSE;
}
