#include "platform/http/RequestGuard.h"

#include <gtest/gtest.h>

namespace
{
tagHTTP_REQUEST Request(const std::string& method,
                        std::vector<std::pair<std::string, std::string>> headers)
{
    tagHTTP_REQUEST r;
    r.method = method;
    r.path = "/api/state";
    r.headers = std::move(headers);
    return r;
}
} // namespace

TEST(RequestGuard, HostMustNameTheListeningAddress)
{
    struct Case
    {
        std::string listen;
        std::vector<std::pair<std::string, std::string>> headers;
        int status;
    };
    const Case cases[] = {
        {"127.0.0.1", {{"host", "127.0.0.1:8623"}}, 0},
        {"127.0.0.1", {{"host", "LOCALHOST:8623"}}, 0},
        {"127.0.0.1", {{"host", "127.0.0.1"}}, 403},
        {"127.0.0.1", {{"host", "127.0.0.1:8623"}, {"host", "evil:8623"}}, 403},
        {"127.0.0.1", {}, 403},
        {"192.0.2.10", {{"host", "192.0.2.10:8623"}}, 0},
        {"192.0.2.10", {{"host", "localhost:8623"}}, 403},
        {"127.0.0.2", {{"host", "localhost:8623"}}, 0},
    };
    for (const Case& c : cases)
    {
        CRequestGuard guard(c.listen, 8623, "secret-token-1234");
        std::string reason;
        EXPECT_EQ(guard.CheckHost(Request("GET", c.headers), &reason), c.status)
            << c.listen << " " << (c.headers.empty() ? "" : c.headers[0].second);
    }
}

TEST(RequestGuard, TokenComesFromHeaderQueryOrItsOwnCookie)
{
    CRequestGuard guard("127.0.0.1", 8623, "secret-token-1234");
    std::string reason;
    struct Case
    {
        std::vector<std::pair<std::string, std::string>> headers;
        std::string query;
        int status;
    };
    const Case cases[] = {
        {{{"x-vexa-token", "secret-token-1234"}}, "", 0},
        {{{"x-vexa-token", "secret-token-123"}}, "", 401},
        {{}, "secret-token-1234", 0},
        {{{"cookie", "vexa_token=secret-token-1234"}}, "", 0},
        {{{"cookie", "x=1;vexa_token=secret-token-1234; y=2"}}, "", 0},
        {{{"cookie", "my_vexa_token=secret-token-1234"}}, "", 401},
        {{{"cookie", "vexa_token=secret-token-12345"}}, "", 401},
        {{}, "", 401},
    };
    for (const Case& c : cases)
    {
        tagHTTP_REQUEST r = Request("GET", c.headers);
        if (!c.query.empty())
            r.query.emplace("token", c.query);
        EXPECT_EQ(guard.CheckToken(r, &reason), c.status)
            << (c.headers.empty() ? c.query : c.headers[0].second);
    }
    CRequestGuard empty("127.0.0.1", 8623, "");
    EXPECT_EQ(empty.CheckToken(Request("GET", {{"x-vexa-token", ""}}), &reason), 401)
        << "an empty token never matches";
}
