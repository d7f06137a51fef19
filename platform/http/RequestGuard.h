#pragma once
// The web edge's security rules, applied in one place before any route runs:
//  - the Host header must name the listening address (host:port, with the 127.0.0.1 and
//    localhost spellings of a loopback address), which defeats DNS rebinding;
//  - state-changing requests with an Origin other than the page's own are refused;
//  - every request outside the page's own static files carries the per-launch access
//    token, as header X-Vexa-Token, query parameter token, or the cookie the page gets.
// Immutable after construction; any thread.
#include "platform/http/HttpTypes.h"

#include <set>
#include <string>

constexpr const char* VEXA_TOKEN_HEADER = "X-Vexa-Token";
constexpr const char* VEXA_TOKEN_QUERY = "token";
constexpr const char* VEXA_TOKEN_COOKIE = "vexa_token";

class CRequestGuard
{
public:
    CRequestGuard(const std::string& listenHost, int port, const std::string& token);

    // 0 when the Host header names this server, else 403 with a reason.
    int CheckHost(const tagHTTP_REQUEST& request, std::string* reason) const;
    // 0 unless a state-changing request comes with a foreign Origin (403).
    int CheckOrigin(const tagHTTP_REQUEST& request, std::string* reason) const;
    // 0 when the request carries the token, else 401.
    int CheckToken(const tagHTTP_REQUEST& request, std::string* reason) const;

    BOOL HasValidToken(const tagHTTP_REQUEST& request) const;
    BOOL HasValidQueryToken(const tagHTTP_REQUEST& request) const;
    // The Set-Cookie value that lets the page's later requests carry the token.
    std::string TokenCookie() const;

    static BOOL IsStateChanging(const std::string& method);

private:
    BOOL Matches(const std::string& candidate) const;

    std::string m_token;
    std::set<std::string> m_hosts; // lower-case host:port forms accepted
};
