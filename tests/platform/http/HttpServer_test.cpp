#include "platform/http/HttpServer.h"

#include "platform/http/EventChannel.h"
#include "platform/http/EventStreamClient.h"
#include "platform/http/HttpJson.h"
#include "tests/platform/http/HttpTestClient.h"

#include <gtest/gtest.h>

#include <atomic>

namespace
{
const std::string TOKEN = "test-token-0123456789abcdef";

class HttpServerTest : public ::testing::Test
{
protected:
    void SetUp() override { StartServer(); }
    void TearDown() override
    {
        if (m_server)
            m_server->Stop();
    }

    void StartServer()
    {
        tagHTTP_CONFIG config;
        config.port = 0;
        config.token = TOKEN;
        m_server = std::make_unique<CHttpServer>(config);
        m_server->AddRoute(
            "GET", "/page",
            [](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
            { response.body = request.authenticated ? "page+token" : "page"; },
            TRUE);
        m_server->AddRoute("GET", "/api/count",
                           [this](const tagHTTP_REQUEST&, tagHTTP_RESPONSE& response) {
                               SetJson(response, 200, {{"n", m_count.load()}});
                           });
        m_server->AddRoute("POST", "/api/count",
                           [this](const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response)
                           {
                               nlohmann::json body;
                               std::string reason;
                               if (!ParseJsonBody(request, &body, &reason))
                                   return SetHttpError(response, 400, reason);
                               ++m_count;
                               m_channel.Notify();
                               SetJson(response, 200, {{"n", m_count.load()}});
                           });
        m_server->AddStream("/api/events", m_channel);
        std::string error;
        ASSERT_TRUE(m_server->Start(&error)) << error;
        m_port = m_server->Port();
        ASSERT_GT(m_port, 0);
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }

    std::atomic<int> m_count{0};
    CEventChannel m_channel{[this] { return DumpJson({{"n", m_count.load()}}); }};
    std::unique_ptr<CHttpServer> m_server;
    int m_port = 0;
};

using Headers = std::vector<std::pair<std::string, std::string>>;
} // namespace

TEST_F(HttpServerTest, EachSecurityRuleAcceptsTheGoodAndRefusesTheBad)
{
    const Headers token = {{"X-Vexa-Token", TOKEN}};
    const std::string wrong(TOKEN.size(), 'x');
    struct Case
    {
        const char* what;
        std::string method;
        std::string path;
        Headers headers;
        std::string body;
        int status;
    };
    const std::string origin = "http://" + Host();
    const std::string port = std::to_string(m_port);
    const Case cases[] = {
        {"token header", "GET", "/api/count", token, "", 200},
        {"token cookie", "GET", "/api/count", {{"Cookie", "a=b; vexa_token=" + TOKEN}}, "", 200},
        {"token query", "GET", "/api/count?token=" + TOKEN, {}, "", 200},
        {"no token", "GET", "/api/count", {}, "", 401},
        {"wrong token", "GET", "/api/count", {{"X-Vexa-Token", wrong}}, "", 401},
        {"token prefix", "GET", "/api/count", {{"X-Vexa-Token", TOKEN.substr(0, 8)}}, "", 401},
        {"token in another cookie", "GET", "/api/count", {{"Cookie", "other=" + TOKEN}}, "", 401},
        {"localhost Host",
         "GET",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Host", "localhost:" + port}},
         "",
         200},
        {"foreign Host",
         "GET",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Host", "evil.example:" + port}},
         "",
         403},
        {"other port in Host",
         "GET",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Host", "127.0.0.1:1"}},
         "",
         403},
        {"foreign Host on the page", "GET", "/page", {{"Host", "evil.example"}}, "", 403},
        {"page without token", "GET", "/page", {}, "", 200},
        {"same Origin POST",
         "POST",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Origin", origin}},
         "{}",
         200},
        {"POST without Origin", "POST", "/api/count", token, "{}", 200},
        {"foreign Origin POST",
         "POST",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Origin", "http://evil.example"}},
         "{}",
         403},
        {"null Origin POST",
         "POST",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Origin", "null"}},
         "{}",
         403},
        {"https Origin POST",
         "POST",
         "/api/count",
         {{"X-Vexa-Token", TOKEN}, {"Origin", "https://" + Host()}},
         "{}",
         403},
        {"POST without token", "POST", "/api/count", {}, "{}", 401},
        {"malformed JSON", "POST", "/api/count", token, "{\"id\": ", 400},
        {"JSON not an object", "POST", "/api/count", token, "[1]", 400},
        {"unknown route", "GET", "/api/nothing", token, "", 404},
        {"unknown route without token", "GET", "/api/nothing", {}, "", 401},
        {"wrong method", "DELETE", "/api/count", token, "", 405},
        {"wrong method on the page", "POST", "/page", token, "{}", 405},
    };
    int accepted = 0;
    for (const Case& c : cases)
    {
        const tagTEST_REPLY reply = SendRequest(m_port, c.method, c.path, c.headers, c.body);
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.body;
        if (c.status >= 400)
        {
            // One line of JSON with the reason.
            auto body = nlohmann::json::parse(reply.body, nullptr, false);
            EXPECT_TRUE(body.is_object() && body.contains("error")) << c.what << ": " << reply.body;
            EXPECT_EQ(reply.body.find('\n'), std::string::npos) << c.what;
        }
        if (c.method == "POST" && c.status == 200)
            ++accepted;
    }
    EXPECT_EQ(m_count, accepted) << "a refused request changed state";
}

TEST_F(HttpServerTest, QueryTokenSetsAStrictHttpOnlyCookie)
{
    const tagTEST_REPLY page = SendRequest(m_port, "GET", "/page?token=" + TOKEN);
    EXPECT_EQ(page.body, "page+token");
    const std::string cookie = page.Header("Set-Cookie");
    EXPECT_NE(cookie.find("vexa_token=" + TOKEN), std::string::npos);
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    EXPECT_EQ(SendRequest(m_port, "GET", "/page?token=nope").Header("Set-Cookie"), "");
    EXPECT_EQ(
        SendRequest(m_port, "DELETE", "/api/count", {{"X-Vexa-Token", TOKEN}}).Header("Allow"),
        "GET, POST");
}

TEST_F(HttpServerTest, EventStreamSendsStateThenTheLatestChange)
{
    CEventStreamClient refused("127.0.0.1", m_port, "/api/events", "wrong");
    ASSERT_TRUE(refused.Start());

    CEventStreamClient client("127.0.0.1", m_port, "/api/events", TOKEN);
    ASSERT_TRUE(client.Start());
    tagSSE_EVENT event;
    ASSERT_TRUE(client.WaitFor([](const tagSSE_EVENT&) { return true; }, 5000, &event));
    EXPECT_EQ(event.event, "state");
    EXPECT_EQ(event.data, "{\"n\":0}");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(SendRequest(m_port, "POST", "/api/count", {{"X-Vexa-Token", TOKEN}}, "{}").status,
                  200);
    EXPECT_TRUE(
        client.WaitFor([](const tagSSE_EVENT& e) { return e.data == "{\"n\":3}"; }, 5000, nullptr));

    refused.Stop();
    EXPECT_EQ(refused.Status(), 401);
    client.Stop();
}

TEST(HttpServer, RefusesStreamsBeyondTheLimitAndStopEndsOpenOnes)
{
    CEventChannel channel([] { return std::string("{}"); });
    tagHTTP_CONFIG config;
    config.port = 0;
    config.token = TOKEN;
    config.maxStreams = 1;
    CHttpServer server(config);
    server.AddStream("/api/events", channel);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;

    CEventStreamClient first("127.0.0.1", server.Port(), "/api/events", TOKEN);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitFor([](const tagSSE_EVENT&) { return true; }, 5000, nullptr));
    EXPECT_EQ(SendRequest(server.Port(), "GET", "/api/events", {{"X-Vexa-Token", TOKEN}}).status,
              503);
    // Stop returns with the stream still open on the client's side, and closes the channel.
    server.Stop();
    EXPECT_TRUE(channel.IsClosed());
    first.Stop();
    EXPECT_EQ(first.Status(), 200);
}
