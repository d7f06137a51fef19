#include "platform/ui/UIThread.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace
{
constexpr UINT WM_TEST = WM_USER + 1;
constexpr UINT WM_TEST2 = WM_USER + 2;

class UIThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_ui.Start());
        m_hwnd = m_ui.CreateWindow(m_window);
        ASSERT_NE(m_hwnd, NULL_HWND);
    }
    void TearDown() override
    {
        m_ui.Stop();
        m_ui.DestroyWindow(m_hwnd);
    }

    CUIThread m_ui{60000};
    CTestWindow m_window;
    HWND m_hwnd = NULL_HWND;
};
} // namespace

TEST_F(UIThreadTest, PostedMessagesKeepOrderPerSender)
{
    constexpr int SENDERS = 4;
    constexpr int EACH = 400;
    std::vector<std::thread> senders;
    for (int s = 0; s < SENDERS; ++s)
        senders.emplace_back(
            [this, s]
            {
                for (int i = 0; i < EACH; ++i)
                    EXPECT_TRUE(m_ui.PostMessage(m_hwnd, WM_TEST, s, i));
            });
    for (auto& t : senders)
        t.join();
    ASSERT_TRUE(WaitUntil([this] { return m_window.Count(WM_TEST) == SENDERS * EACH; }));

    std::vector<LPARAM> last(SENDERS, -1);
    for (const auto& r : m_window.Received(WM_TEST))
    {
        EXPECT_EQ(r.lParam, last[r.wParam] + 1) << "sender " << r.wParam;
        last[r.wParam] = r.lParam;
    }
}

TEST_F(UIThreadTest, SendRunsOnUIThreadAndReentersDirectly)
{
    std::thread::id handledOn;
    m_window.On(WM_TEST2, [](WPARAM w, LPARAM) { return static_cast<LRESULT>(w * 2); });
    m_window.On(WM_TEST,
                [&](WPARAM w, LPARAM)
                {
                    handledOn = std::this_thread::get_id();
                    // A send to a window of our own thread is a direct call.
                    return m_ui.SendMessage(m_hwnd, WM_TEST2, w, 0) + 1;
                });
    EXPECT_EQ(m_ui.SendMessage(m_hwnd, WM_TEST, 20, 0), 41);
    EXPECT_NE(handledOn, std::this_thread::get_id());
    EXPECT_EQ(m_window.Count(WM_TEST2), 1u);
    EXPECT_EQ(m_ui.SendMessage(m_hwnd + 1000, WM_TEST, 1, 0), 0) << "unknown window";
}

TEST_F(UIThreadTest, TimerFiresAtItsPeriodUntilKilled)
{
    constexpr UINT PERIOD_MS = 20;
    constexpr UINT_PTR TIMER = 7;
    constexpr UINT_PTR WITNESS = 8;
    std::atomic<int> ticks{0};
    std::atomic<int> ticksAtWitness{-1};
    std::chrono::steady_clock::time_point fifth;
    m_window.On(WM_TIMER,
                [&](WPARAM id, LPARAM)
                {
                    if (id == TIMER && ++ticks == 5)
                    {
                        fifth = std::chrono::steady_clock::now();
                        m_ui.KillTimer(m_hwnd, TIMER);
                        // Fires after three more periods of the killed timer.
                        m_ui.SetTimer(m_hwnd, WITNESS, PERIOD_MS * 3);
                    }
                    else if (id == WITNESS)
                    {
                        ticksAtWitness = ticks.load();
                        m_ui.KillTimer(m_hwnd, WITNESS);
                    }
                    return LRESULT(0);
                });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(m_ui.SetTimer(m_hwnd, TIMER, PERIOD_MS), TIMER);
    ASSERT_TRUE(WaitUntil([&] { return ticksAtWitness >= 0; }));
    EXPECT_GE(fifth - start, std::chrono::milliseconds(5 * PERIOD_MS - 2));
    EXPECT_EQ(ticksAtWitness, 5) << "a killed timer fired";
    EXPECT_EQ(m_ui.SetTimer(m_hwnd + 1000, 1, 10), 0u) << "timer on an unknown window";
}

TEST_F(UIThreadTest, NestedLoopKeepsTimersAndPostsFlowing)
{
    std::atomic<bool> release{false};
    std::atomic<bool> loopEnded{false};
    m_window.On(WM_TEST,
                [&](WPARAM, LPARAM)
                {
                    m_ui.SetTimer(m_hwnd, 1, 10);
                    BOOL done = m_ui.RunModalLoop([&] { return release.load(); });
                    loopEnded = done != FALSE;
                    return LRESULT(0);
                });
    ASSERT_TRUE(m_ui.PostMessage(m_hwnd, WM_TEST, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return m_window.Count(WM_TIMER) >= 3; }));
    ASSERT_TRUE(m_ui.PostMessage(m_hwnd, WM_TEST2, 5, 0));
    ASSERT_TRUE(WaitUntil([&] { return m_window.Count(WM_TEST2) == 1; }));
    EXPECT_FALSE(loopEnded);
    release = true;
    m_ui.Wake();
    ASSERT_TRUE(WaitUntil([&] { return loopEnded.load(); }));
}

TEST_F(UIThreadTest, SendTimeoutWithdrawsACallNotStarted)
{
    std::atomic<bool> release{false};
    m_window.On(WM_TEST,
                [&](WPARAM, LPARAM)
                {
                    WaitUntil([&] { return release.load(); });
                    return LRESULT(0);
                });
    ASSERT_TRUE(m_ui.PostMessage(m_hwnd, WM_TEST, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return m_window.Count(WM_TEST) == 1; }));
    LRESULT result = 99;
    EXPECT_FALSE(m_ui.SendMessageTimeout(m_hwnd, WM_TEST2, 0, 0, 30, &result));
    EXPECT_EQ(result, 0);
    release = true;
    // A later send goes through and proves the loop moved on without the withdrawn one.
    EXPECT_TRUE(m_ui.SendMessageTimeout(m_hwnd, WM_USER + 3, 0, 0, 5000, &result));
    EXPECT_EQ(m_window.Count(WM_TEST2), 0u);
}

TEST_F(UIThreadTest, IdleUpdateReachesEveryWindow)
{
    CUIThread ui(15);
    CTestWindow a;
    CTestWindow b;
    HWND ha = ui.CreateWindow(a);
    HWND hb = ui.CreateWindow(b);
    ASSERT_TRUE(ui.Start());
    EXPECT_TRUE(WaitUntil(
        [&] { return a.Count(WM_IDLEUPDATECMDUI) >= 2 && b.Count(WM_IDLEUPDATECMDUI) >= 2; }));
    ui.Stop();
    ui.DestroyWindow(ha);
    ui.DestroyWindow(hb);
}

TEST_F(UIThreadTest, DestroyedWindowGetsNothingMore)
{
    std::atomic<bool> release{false};
    CTestWindow other;
    HWND hother = m_ui.CreateWindow(other);
    m_ui.SetTimer(hother, 1, 1);
    // Hold the loop so that messages queue up behind the destroy.
    m_window.On(WM_TEST,
                [&](WPARAM, LPARAM)
                {
                    WaitUntil([&] { return release.load(); });
                    return LRESULT(0);
                });
    ASSERT_TRUE(m_ui.PostMessage(m_hwnd, WM_TEST, 0, 0));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(m_ui.PostMessage(hother, WM_TEST2, i, 0));
    std::thread destroyer([&] { EXPECT_TRUE(m_ui.DestroyWindow(hother)); });
    ASSERT_TRUE(WaitUntil([&] { return m_window.Count(WM_TEST) == 1; }));
    release = true;
    destroyer.join();
    const std::size_t timersBefore = other.Count(WM_TIMER);
    const std::size_t postsBefore = other.Count(WM_TEST2);
    EXPECT_FALSE(m_ui.IsWindow(hother));
    EXPECT_FALSE(m_ui.PostMessage(hother, WM_TEST2, 0, 0));
    // Any message still queued for the window is dropped once it is gone.
    EXPECT_TRUE(m_ui.SendMessageTimeout(m_hwnd, WM_USER + 3, 0, 0, 5000, nullptr));
    EXPECT_TRUE(m_ui.SendMessageTimeout(m_hwnd, WM_USER + 3, 0, 0, 5000, nullptr));
    EXPECT_EQ(other.Count(WM_TEST2), postsBefore);
    EXPECT_EQ(postsBefore, 0u) << "sent calls (the destroy) run ahead of posted messages";
    EXPECT_EQ(other.Count(WM_TIMER), timersBefore);
}

TEST(UIThread, StoppedThreadRefusesAndReleasesSenders)
{
    CUIThread ui(60000);
    CTestWindow window;
    HWND hwnd = ui.CreateWindow(window);
    EXPECT_FALSE(ui.PostMessage(hwnd, WM_TEST, 0, 0)) << "not started";
    ASSERT_TRUE(ui.Start());
    std::atomic<bool> inHandler{false};
    window.On(WM_TEST,
              [&](WPARAM, LPARAM)
              {
                  inHandler = true;
                  // Stop from inside a procedure only asks the loop to end.
                  ui.Stop();
                  return LRESULT(0);
              });
    std::atomic<int> released{0};
    std::vector<std::thread> senders;
    ASSERT_TRUE(ui.PostMessage(hwnd, WM_TEST, 0, 0));
    for (int i = 0; i < 3; ++i)
        senders.emplace_back(
            [&]
            {
                ui.SendMessage(hwnd, WM_TEST2, 0, 0);
                ++released;
            });
    for (auto& t : senders)
        t.join();
    EXPECT_EQ(released, 3);
    ui.Stop();
    EXPECT_TRUE(inHandler);
    EXPECT_FALSE(ui.IsRunning());
    EXPECT_FALSE(ui.PostMessage(hwnd, WM_TEST, 0, 0));
    EXPECT_EQ(ui.SendMessage(hwnd, WM_TEST, 0, 0), 0);
    EXPECT_TRUE(ui.DestroyWindow(hwnd));
}
