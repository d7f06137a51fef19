#include "platform/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace
{
using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The shape every worker body has: wait on the stop event with the interval, work, repeat.
DWORD PollUntilStopped(CEvent& stop, std::atomic<int>& passes, CEvent& firstPass)
{
    for (;;)
    {
        ++passes;
        firstPass.Set();
        if (stop.Wait(10000) == WAIT_OBJECT_0)
            return 7;
    }
}
} // namespace

TEST(WorkerThread, StopsPromptlyOnItsStopEvent)
{
    std::atomic<int> passes{0};
    CEvent firstPass(TRUE, FALSE);
    CWorkerThread worker;
    ASSERT_TRUE(worker.Start(
        [&](CEvent& stop) { return PollUntilStopped(stop, passes, firstPass); }, "test-poller"));
    ASSERT_EQ(firstPass.Wait(5000), WAIT_OBJECT_0);
    EXPECT_TRUE(worker.IsRunning());

    const auto start = Clock::now();
    EXPECT_TRUE(worker.Stop(5000));
    EXPECT_LT(MillisecondsSince(start), 2000); // far below the body's 10 s interval
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.ExitCode(), 7u);
    EXPECT_FALSE(worker.Failed());
    EXPECT_EQ(passes.load(), 1);
}

TEST(WorkerThread, DestructorStopsAndJoins)
{
    std::atomic<bool> bodyReturned{false};
    CEvent started(TRUE, FALSE);
    const auto start = Clock::now();
    {
        CWorkerThread worker;
        ASSERT_TRUE(worker.Start(
            [&](CEvent& stop)
            {
                started.Set();
                stop.Wait(10000);
                bodyReturned = true;
                return DWORD{0};
            }));
        ASSERT_EQ(started.Wait(5000), WAIT_OBJECT_0);
    }
    EXPECT_TRUE(bodyReturned.load());
    EXPECT_LT(MillisecondsSince(start), 5000);
}

TEST(WorkerThread, JoinIsBoundedAndASecondStartIsRefusedWhileRunning)
{
    CEvent gate(TRUE, FALSE);
    CWorkerThread worker;
    // This body ignores its stop event on purpose, waiting for the gate instead.
    ASSERT_TRUE(worker.Start([&](CEvent&) { return gate.Wait(10000) == WAIT_OBJECT_0 ? 1u : 2u; }));
    worker.RequestStop();
    EXPECT_FALSE(worker.Join(50));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start([](CEvent&) { return DWORD{0}; }));

    gate.Set();
    EXPECT_TRUE(worker.Join(5000));
    EXPECT_EQ(worker.ExitCode(), 1u);
    EXPECT_TRUE(worker.Join(0)); // nothing left to join
}

TEST(WorkerThread, ExceptionEndsTheThreadCleanlyAndIsRecorded)
{
    struct tagCASE
    {
        const char* name;
        CWorkerThread::Body body;
        const char* text;
    };
    const tagCASE cases[] = {
        {"standard exception", [](CEvent&) -> DWORD { throw std::runtime_error("boom"); }, "boom"},
        {"anything else", [](CEvent&) -> DWORD { throw 42; }, "unknown exception"},
    };
    CWorkerThread worker; // reused: a failed run must not spoil the next one
    for (const tagCASE& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(worker.Start(c.body));
        ASSERT_TRUE(worker.Join(5000));
        EXPECT_TRUE(worker.Failed());
        EXPECT_EQ(worker.FailureText(), c.text);
        EXPECT_EQ(worker.ExitCode(), CWorkerThread::EXIT_EXCEPTION);
    }
    ASSERT_TRUE(worker.Start([](CEvent&) { return DWORD{3}; }));
    ASSERT_TRUE(worker.Join(5000));
    EXPECT_FALSE(worker.Failed());
    EXPECT_EQ(worker.FailureText(), "");
    EXPECT_EQ(worker.ExitCode(), 3u);
}

TEST(WorkerThread, RestartClearsTheStopRequest)
{
    CWorkerThread worker;
    ASSERT_TRUE(worker.Start([](CEvent& stop) { return stop.Wait(10000); }));
    ASSERT_TRUE(worker.Stop(5000));
    // A fresh run must not see the old stop: its zero-limit look times out.
    ASSERT_TRUE(worker.Start([](CEvent& stop) { return stop.Wait(0); }));
    ASSERT_TRUE(worker.Join(5000));
    EXPECT_EQ(worker.ExitCode(), WAIT_TIMEOUT);
}

TEST(WorkerThread, JoinFromTheWorkerItselfFailsInsteadOfDeadlocking)
{
    CWorkerThread worker;
    std::atomic<BOOL> joinedSelf{TRUE};
    CEvent ready(TRUE, FALSE);
    ASSERT_TRUE(worker.Start(
        [&](CEvent&)
        {
            ready.Wait(5000); // until Start has stored the thread
            joinedSelf = worker.Join(0);
            return DWORD{0};
        }));
    ready.Set();
    ASSERT_TRUE(worker.Join(5000));
    EXPECT_FALSE(joinedSelf.load());
}
