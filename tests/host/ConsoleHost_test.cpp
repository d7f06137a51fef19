#include "host/ConsoleHost.h"

#include "platform/http/EventStreamClient.h"
#include "shell/FrameMenus.h"
#include "tests/platform/http/HttpTestClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace
{
using json = nlohmann::json;
using Headers = std::vector<std::pair<std::string, std::string>>;

std::string WebDir()
{
    const char* source = std::getenv("VEXA_SOURCE_DIR");
    return std::string(source != nullptr ? source : VEXA_SOURCE_DIR_DEFAULT) + "/web";
}

class ConsoleHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tagHOST_OPTIONS options;
        options.port = 0;
        options.webDir = WebDir();
        options.dataDir = (std::filesystem::temp_directory_path() /
                           ("vexa-host-test-" + std::to_string(::getpid())))
                              .string();
        std::string error;
        ASSERT_TRUE(m_host.Start(options, &error)) << error;
        m_port = m_host.Port();
        m_events = std::make_unique<CEventStreamClient>("127.0.0.1", m_port, "/api/events",
                                                        m_host.Token());
        ASSERT_TRUE(m_events->Start());
    }
    void TearDown() override
    {
        if (m_events)
            m_events->Stop();
        m_host.Stop();
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                        ("vexa-host-test-" + std::to_string(::getpid())),
                                    ec);
    }

    Headers Auth() const { return {{"X-Vexa-Token", m_host.Token()}}; }

    tagTEST_REPLY Post(const std::string& path, const std::string& body)
    {
        return SendRequest(m_port, "POST", path, Auth(), body);
    }

    json State()
    {
        const tagTEST_REPLY reply = SendRequest(m_port, "GET", "/api/state", Auth());
        EXPECT_EQ(reply.status, 200);
        return json::parse(reply.body, nullptr, false);
    }

    // The first pushed state that satisfies the condition.
    json WaitForState(const std::function<bool(const json&)>& condition)
    {
        tagSSE_EVENT event;
        const BOOL found = m_events->WaitFor(
            [&](const tagSSE_EVENT& e)
            {
                json state = json::parse(e.data, nullptr, false);
                return !state.is_discarded() && condition(state);
            },
            5000, &event);
        EXPECT_TRUE(found) << "no such state was pushed";
        return found ? json::parse(event.data) : json();
    }

    CConsoleHost m_host;
    int m_port = 0;
    std::unique_ptr<CEventStreamClient> m_events;
};
} // namespace

TEST_F(ConsoleHostTest, StateShowsTheFrameMenusAndStatusPanes)
{
    const json state = State();
    EXPECT_EQ(state["title"], "Vexa Remote Console");
    EXPECT_TRUE(state["modal"].is_null());
    EXPECT_EQ(state["status"]["101"], "No Server Selected!");
    EXPECT_EQ(state["status"]["102"], "00:00:00");
    EXPECT_EQ(state["status"]["message"], "Ready");

    std::size_t count = 0;
    const tagFRAME_MENU* menus = FrameMenus(&count);
    ASSERT_EQ(state["menus"].size(), count);
    for (std::size_t m = 0; m < count; ++m)
    {
        const json& menu = state["menus"][m];
        EXPECT_EQ(menu["text"], menus[m].text);
        ASSERT_EQ(menu["items"].size(), menus[m].count);
        for (std::size_t i = 0; i < menus[m].count; ++i)
        {
            EXPECT_EQ(menu["items"][i]["id"], menus[m].items[i].id);
            EXPECT_EQ(menu["items"][i]["text"], menus[m].items[i].text);
        }
    }
    // With no server in the list, commands that need one are disabled.
    for (const json& menu : state["menus"])
        for (const json& item : menu["items"])
            if (item["id"] == ID_CONNECT || item["id"] == ID_POWER_DOWN)
            {
                EXPECT_FALSE(item["enabled"].get<bool>()) << item["text"];
            }
            else if (item["id"] == ID_ADD_SERVER || item["id"] == ID_VIEW_STATUS_BAR)
            {
                EXPECT_TRUE(item["enabled"].get<bool>()) << item["text"];
            }
}

TEST_F(ConsoleHostTest, DiagnosticBoxRoundTripWhileCommandsKeepFlowing)
{
    ASSERT_EQ(Post("/api/command", "{\"id\": 40001}").status, 200);
    json state = WaitForState([](const json& s) { return !s["modal"].is_null(); });
    const json modal = state["modal"];
    EXPECT_EQ(modal["kind"], "messagebox");
    EXPECT_EQ(modal["caption"], "Diagnostics");
    EXPECT_EQ(modal["buttons"], json({"OK", "Cancel"}));
    EXPECT_EQ(modal["icon"], "information");

    // The box's nested loop still runs commands: hide the status bar.
    ASSERT_EQ(Post("/api/command", "{\"id\": 32802}").status, 200);
    WaitForState([](const json& s) { return s["status"]["visible"] == false; });

    const std::string id = std::to_string(modal["id"].get<unsigned>());
    EXPECT_EQ(Post("/api/answer", "{\"id\": " + id + ", \"button\": \"Yes\"}").status, 400);
    EXPECT_EQ(Post("/api/answer", "{\"id\": " + id + ", \"button\": \"Cancel\"}").status, 200);
    EXPECT_EQ(Post("/api/answer", "{\"id\": " + id + ", \"button\": \"OK\"}").status, 409)
        << "the first answer wins";
    state = WaitForState([](const json& s) { return s["diagnostics"]["boxes"] == 1; });
    EXPECT_EQ(state["diagnostics"]["boxAnswer"], "Cancel");
    EXPECT_TRUE(state["modal"].is_null());
}

TEST_F(ConsoleHostTest, DiagnosticDialogTakesCheckedValues)
{
    ASSERT_EQ(Post("/api/command", "{\"id\": 40002}").status, 200);
    const json modal = WaitForState([](const json& s) { return !s["modal"].is_null(); })["modal"];
    EXPECT_EQ(modal["kind"], "dialog");
    ASSERT_FALSE(modal["controls"].empty());
    const std::string id = std::to_string(modal["id"].get<unsigned>());
    auto answer = [&](const std::string& rest)
    { return Post("/api/answer", "{\"id\": " + id + ", \"button\": \"OK\"" + rest + "}").status; };

    EXPECT_EQ(answer(", \"values\": {\"6\": 301}"), 400) << "outside the spin range";
    EXPECT_EQ(answer(", \"values\": {\"3\": \"SHA-256\"}"), 400) << "not an option";
    EXPECT_EQ(answer(", \"values\": [1]"), 400);
    EXPECT_EQ(answer(", \"values\": {\"1\": 1.5}"), 400);
    EXPECT_EQ(answer(", \"values\": {\"99\": \"x\"}"), 400);
    EXPECT_FALSE(State()["modal"].is_null()) << "refused answers keep the dialog open";
    EXPECT_EQ(answer(", \"values\": {\"1\": \"root\", \"Algorithm\": \"HMAC-MD5\", \"4\": true, "
                     "\"6\": 300}"),
              200);
    const json state = WaitForState([](const json& s) { return s["diagnostics"]["dialogs"] == 1; });
    const json values = state["diagnostics"]["dialogValues"];
    EXPECT_EQ(state["diagnostics"]["dialogAnswer"], "OK");
    EXPECT_EQ(values["1"], "root");
    EXPECT_EQ(values["3"], "HMAC-MD5");
    EXPECT_EQ(values["4"], "1");
    EXPECT_EQ(values["6"], "300");
    EXPECT_EQ(values["5"], "BIOS") << "untouched controls keep their values";
}

TEST_F(ConsoleHostTest, CommandRequestsAreValidated)
{
    struct Case
    {
        std::string body;
        int status;
    };
    const Case cases[] = {
        {"{\"id\": 32801}", 200},
        {"{\"id\": \"32801\"}", 400},
        {"{\"id\": 0}", 400},
        {"{\"id\": 65536}", 400},
        {"{}", 400},
        {"{\"id\": 328", 400},
        {"", 400},
        {"{\"id\": 32781}", 409}, // Connect, disabled with no server
    };
    for (const Case& c : cases)
        EXPECT_EQ(Post("/api/command", c.body).status, c.status) << c.body;
    EXPECT_EQ(SendRequest(m_port, "GET", "/api/command", Auth()).status, 405);
    EXPECT_EQ(SendRequest(m_port, "GET", "/api/nothing", Auth()).status, 404);
    EXPECT_EQ(Post("/api/answer", "{\"id\": 12345, \"button\": \"OK\"}").status, 409);
    EXPECT_EQ(Post("/api/answer", "{\"button\": \"OK\"}").status, 400);
}

TEST_F(ConsoleHostTest, PagePropertiesComeOnlyWithTheToken)
{
    const std::string query = "Name=Rack%201&IP=192.0.2.9&Type=IPMI&Connect=1";
    const tagTEST_REPLY anonymous = SendRequest(m_port, "GET", "/?" + query);
    EXPECT_EQ(anonymous.status, 200);
    EXPECT_NE(anonymous.body.find("<title>Vexa Remote Console</title>"), std::string::npos);
    EXPECT_EQ(State()["properties"]["Name"], "");

    const tagTEST_REPLY page =
        SendRequest(m_port, "GET", "/?token=" + m_host.Token() + "&" + query);
    EXPECT_EQ(page.status, 200);
    const json props = State()["properties"];
    EXPECT_EQ(props["Name"], "Rack 1");
    EXPECT_EQ(props["IP"], "192.0.2.9");
    EXPECT_EQ(props["Type"], "IPMI");
    EXPECT_EQ(props["Connect"], "1");
    EXPECT_EQ(SendRequest(m_port, "GET", "/js/main.js").status, 200) << "static files are public";
}

TEST_F(ConsoleHostTest, PresetServerJoinsTheListAndTreeAndSelectionMakesItCurrent)
{
    ASSERT_EQ(SendRequest(m_port, "GET",
                          "/?token=" + m_host.Token() + "&Name=Desk&IP=192.0.2.9&Type=ipmi")
                  .status,
              200);
    // "ipmi" is not "IPMI": an ASF server, added without probing, selected as the first node.
    json state = WaitForState([](const json& s) { return s["servers"].size() == 1; });
    const json server = state["servers"][0];
    EXPECT_EQ(server["name"], "Desk");
    EXPECT_EQ(server["ip"], "192.0.2.9");
    EXPECT_EQ(server["type"], "ASF");
    EXPECT_EQ(server["connected"], false);
    const json root = state["tree"];
    EXPECT_EQ(root["value"], 0xFF01);
    ASSERT_EQ(root["children"].size(), 1u);
    const unsigned node = root["children"][0]["value"];
    EXPECT_EQ(node, (server["tag"].get<unsigned>() << 8) | 3u);
    EXPECT_TRUE(root["children"][0]["children"].empty());
    WaitForState([](const json& s) { return s["status"]["101"] == "192.0.2.9    Disconnected"; });

    EXPECT_EQ(Post("/api/select", R"({"value": 65281})").status, 200);
    WaitForState([](const json& s) { return s["status"]["101"] == "No Server Selected!"; });
    EXPECT_EQ(Post("/api/select", json({{"value", node}}).dump()).status, 200);
    state = WaitForState([](const json& s)
                         { return s["status"]["101"] == "192.0.2.9    Disconnected"; });
    EXPECT_TRUE(state["tree"]["children"][0]["selected"]);

    EXPECT_EQ(Post("/api/select", R"({"value": 1234})").status, 409);
    EXPECT_EQ(Post("/api/select", R"({"value": -1})").status, 400);
    EXPECT_EQ(Post("/api/select", R"({"value": "2"})").status, 400);
    EXPECT_EQ(SendRequest(m_port, "POST", "/api/select", {}, R"({"value": 65281})").status, 401);
}

TEST_F(ConsoleHostTest, FolderListingServesTheChooser)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vexa-host-folders-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "beta");
    std::filesystem::create_directories(dir / "alpha");
    std::filesystem::create_directories(dir / ".hidden");
    {
        std::ofstream(dir / "file.txt") << "x";
    }
    auto get = [&](const std::string& query)
    { return SendRequest(m_port, "GET", "/api/folders" + query, Auth()); };
    const tagTEST_REPLY reply = get("?path=" + (dir / "." / "").string());
    ASSERT_EQ(reply.status, 200) << reply.body;
    const json listing = json::parse(reply.body);
    EXPECT_EQ(listing["path"], dir.string());
    EXPECT_EQ(listing["parent"], dir.parent_path().string());
    EXPECT_EQ(listing["folders"], json({"alpha", "beta"}));
    EXPECT_EQ(get("?path=relative/dir").status, 400);
    EXPECT_EQ(get("?path=" + (dir / "missing").string()).status, 404);
    EXPECT_EQ(SendRequest(m_port, "GET", "/api/folders?path=/").status, 401);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

TEST_F(ConsoleHostTest, ContentViewListsServersAndRefusesActionsItDoesNotShow)
{
    for (const char* server : {"Beta&IP=192.0.2.9", "Alpha&IP=192.0.2.10"})
    {
        const std::size_t before = State()["servers"].size();
        ASSERT_EQ(SendRequest(m_port, "GET",
                              "/?token=" + m_host.Token() + "&Name=" + server + "&Type=ASF")
                      .status,
                  200);
        WaitForState([&](const json& s) { return s["servers"].size() == before + 1; });
    }
    ASSERT_EQ(Post("/api/select", R"({"value": 65281})").status, 200);
    json state = WaitForState(
        [](const json& s) { return s["view"]["node"] == 0xFF01 && s["view"]["rows"].size() == 2; });
    const json view = state["view"];
    EXPECT_EQ(view["mode"], "list");
    EXPECT_EQ(view["columns"][0]["title"], "Server Name");
    EXPECT_EQ(view["rows"][0]["cells"][3], "Disconnected");
    EXPECT_EQ(view["rows"][0]["image"], "asf-disconnected");
    EXPECT_FALSE(state["contextMenus"]["ASF Server"].empty());

    ASSERT_EQ(Post("/api/view/sort", R"({"column": 0, "node": 65281})").status, 200);
    state = WaitForState([](const json& s) { return s["view"]["sort"]["column"] == 0; });
    EXPECT_EQ(state["view"]["rows"][0]["cells"][0], "Alpha");
    EXPECT_EQ(state["view"]["sort"]["marks"][0], "ascending");

    const struct
    {
        const char* path;
        const char* body;
        int status;
    } cases[] = {
        {"/api/view/sort", R"({"column": 9})", 409},
        {"/api/view/sort", R"({"column": "0"})", 400},
        {"/api/view/sort", R"({"column": 0, "node": 4})", 409},
        {"/api/view/open", R"({"row": 2})", 409},
        {"/api/view/open", R"({"row": -1})", 400},
        {"/api/view/edit", R"({"row": 4, "text": "1"})", 409},
        {"/api/view/edit", R"({"row": 3, "text": "1"})", 400},
        {"/api/view/edit-end", R"({"row": 4})", 400},
        {"/api/view/more", "{}", 409},
        {"/api/view/sheet", R"({"button": "OK"})", 409},
        {"/api/view/sheet", R"({"button": "Apply"})", 400},
        {"/api/view/sheet", R"({"spin": {"index": 6, "position": 1}})", 400},
        {"/api/view/sheet", "[]", 400},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Post(c.path, c.body).status, c.status) << c.path << " " << c.body;
    // A double-click on a server row selects its node.
    const unsigned alpha = state["view"]["rows"][0]["data"];
    ASSERT_EQ(Post("/api/view/open", R"({"row": 0, "node": 65281})").status, 200);
    WaitForState([&](const json& s) { return s["view"]["node"] == alpha; });
}
