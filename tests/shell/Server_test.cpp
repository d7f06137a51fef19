// CServer and the window sink: server messages delivered to a window of a real user-interface
// thread, texts owned by the receiver (or by the poster when nobody takes them), and a
// Disconnect run on the user-interface thread while the sensor poller sends it readings.
#include "shell/Server.h"

#include "platform/ui/UIThread.h"
#include "servers/IPMIServer.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/servers/ScriptedBmc.h"

#include <gtest/gtest.h>

#include <atomic>

namespace
{
constexpr DWORD kBound = 5000;

// A window that keeps the texts it is handed, as the frame does.
class CFrameWindow final : public CWindow
{
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (IsTextMessage(message, wParam))
            texts.push_back(*TakeMessageText(lParam));
        else
            messages.push_back(message);
        auto hook = hooks.find(message);
        if (hook != hooks.end())
            hook->second();
        return 0;
    }
    std::size_t Count(UINT message)
    {
        std::lock_guard<std::mutex> guard(lock);
        std::size_t n = 0;
        for (UINT m : messages)
            n += m == message ? 1 : 0;
        return n;
    }

    std::mutex lock;
    std::vector<UINT> messages;
    std::vector<std::string> texts;
    std::map<UINT, std::function<void()>> hooks; // set before the window is created
};

// Forwards to the window sink and tells when the second Send has started.
class CCountingSink final : public IMessageSink
{
public:
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return inner->Post(message, wParam, lParam);
    }
    SinkResult Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    LRESULT* result) override
    {
        if (++sends == 2)
            secondSend.Set();
        return inner->Send(message, wParam, lParam, timeoutMs, result);
    }

    IMessageSink* inner = nullptr;
    std::atomic<int> sends{0};
    CEvent secondSend{TRUE, FALSE};
};

class WindowSinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ui.Start());
        hwnd = ui.CreateWindow(frame);
        frameSink = std::make_unique<CWindowMessageSink>(ui, hwnd);
        counting.inner = frameSink.get();
        auto scripted = std::make_unique<CScriptedConnection>();
        connection = scripted.get();
        bmc = std::make_unique<CScriptedBmc>(*connection);
        {
            std::lock_guard<std::mutex> guard(bmc->lock);
            bmc->sdr = {WithRecordId(LoadHex("sdr/temp_unsigned_ascii"), 0)};
            bmc->batch[0x00] = {0xFF, 0x31, 0x40};
            bmc->sel = {WithRecordId(LoadHex("sel/threshold_uc_high"), 1)};
        }
        tagIPMI_SERVER_ENV env;
        env.connection = std::move(scripted);
        env.sink = &counting;
        env.intervalsFromRegistry = FALSE;
        env.sensorIntervalSeconds = 1;
        server = std::make_unique<CIPMIServer>(TestServerRecord(), std::move(env));
    }
    void TearDown() override
    {
        server.reset();
        ui.DestroyWindow(hwnd);
        ui.Stop();
    }

    CUIThread ui;
    CFrameWindow frame;
    HWND hwnd = NULL_HWND;
    std::unique_ptr<CWindowMessageSink> frameSink;
    CCountingSink counting;
    CScriptedConnection* connection = nullptr;
    std::unique_ptr<CScriptedBmc> bmc;
    std::unique_ptr<CIPMIServer> server;
};
} // namespace

TEST(Server, RecordTextsAreCutToTheirFields)
{
    tagSERVER_RECORD record = TestServerRecord();
    record.ipAddress = 0xC0A80A01;
    CIPMIServer server(record,
                       []
                       {
                           tagIPMI_SERVER_ENV env;
                           env.connection = std::make_unique<CScriptedConnection>();
                           env.intervalsFromRegistry = FALSE;
                           return env;
                       }());
    EXPECT_STREQ(server.GetIpText(), "192.168.10.1");
    EXPECT_EQ(server.GetGuidText(), "Unknown GUID");
    server.SetName(std::string(40, 'n'));
    EXPECT_EQ(server.GetName(), std::string(24, 'n'));
    EXPECT_EQ(std::string(server.GetRecord().name), std::string(24, 'n'));
}

TEST_F(WindowSinkTest, TextsReachTheWindowOrStayWithThePoster)
{
    ASSERT_TRUE(server->LoadSdr(frameSink.get()));
    ASSERT_TRUE(WaitUntil([&] { return frame.Count(WM_VEXA_SDR_LOADED) == 1; }));
    {
        std::lock_guard<std::mutex> guard(frame.lock);
        EXPECT_EQ(frame.texts, (std::vector<std::string>{"Get SDR from the server....",
                                                         "Get SDR successfully fininshed!\n"}));
    }

    // With the window gone nothing is queued; the poster frees the texts (the sanitizer
    // build would report a leak otherwise) and a Send finds no receiver.
    ui.DestroyWindow(hwnd);
    EXPECT_FALSE(frameSink->Post(WM_VEXA_SEL_FETCHED, 1, 7));
    LRESULT result = 0;
    EXPECT_EQ(frameSink->Send(WM_VEXA_READINGS_UPDATED, 0, 0, 100, &result),
              SinkResult::NoReceiver);
    ASSERT_TRUE(server->FetchSel(frameSink.get()));
    ASSERT_TRUE(connection->WaitForRequests(ROW_GET_SEL_ENTRY, 1, kBound));
    EXPECT_TRUE(server->Disconnect());
}

TEST_F(WindowSinkTest, DisconnectOnTheUserInterfaceThreadWhileThePollerSends)
{
    // The second reading update is sent while the UI thread is busy with a message whose
    // handler then stops the poller: the poller must not wait for the UI thread meanwhile.
    CEvent disconnected(TRUE, FALSE);
    std::atomic<BOOL> result{FALSE};
    frame.hooks[WM_USER] = [&]
    {
        counting.secondSend.Wait(kBound);
        result = server->Disconnect();
        disconnected.Set();
    };
    std::atomic<bool> posted{false};
    frame.hooks[WM_VEXA_READINGS_UPDATED] = [&]
    {
        if (!posted.exchange(true))
            ui.PostMessage(hwnd, WM_USER, 0, 0);
    };
    tagLAN_CONNECT_PARAM param;
    MakeConnectParam(param, "adm", "", RAKP_HMAC_SHA1, FALSE, PRIVILEGE_ADMINISTRATOR);
    ASSERT_TRUE(server->Connect(param));
    ASSERT_TRUE(server->LoadSdr(frameSink.get()));
    ASSERT_TRUE(WaitUntil([&] { return frame.Count(WM_VEXA_SDR_LOADED) == 1; }));
    server->StartPolling(TRUE, FALSE);

    ASSERT_EQ(disconnected.Wait(kBound), WAIT_OBJECT_0) << "the UI thread and the poller hang";
    EXPECT_TRUE(result.load());
    EXPECT_FALSE(server->IsConnected());
}
