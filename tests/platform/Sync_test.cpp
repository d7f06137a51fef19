#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Runs count threads that each wait once on the event with the limit; returns how many were
// released (the rest timed out). Every thread ends by its own limit.
int ReleasedWaiters(CEvent& event, int count, DWORD limitMs, bool setAfterStart)
{
    std::atomic<int> released{0};
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(
            [&]
            {
                ++started;
                if (event.Wait(limitMs) == WAIT_OBJECT_0)
                    ++released;
            });
    if (setAfterStart)
    {
        const auto start = Clock::now();
        while (started.load() < count && MillisecondsSince(start) < 5000)
            std::this_thread::yield();
        event.Set();
    }
    for (auto& t : threads)
        t.join();
    return released.load();
}
} // namespace

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet)
{
    CEvent event(FALSE, FALSE);
    EXPECT_EQ(ReleasedWaiters(event, 4, 600, true), 1);
    EXPECT_FALSE(event.IsSet());

    // A set before anyone waits is kept for exactly one later waiter.
    CEvent early(FALSE, TRUE);
    EXPECT_EQ(ReleasedWaiters(early, 4, 200, false), 1);
    EXPECT_FALSE(early.IsSet());
}

TEST(Event, ManualResetReleasesAllWaitersAndStaysSet)
{
    CEvent event(TRUE, FALSE);
    const auto start = Clock::now();
    EXPECT_EQ(ReleasedWaiters(event, 4, 5000, true), 4);
    EXPECT_LT(MillisecondsSince(start), 4000);
    EXPECT_TRUE(event.IsSet());
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    event.Reset();
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST(Event, TimedWaitsEndWithinTheirLimit)
{
    for (DWORD limit : {0u, 30u, 120u})
    {
        SCOPED_TRACE(limit);
        CEvent manual(TRUE, FALSE);
        CEvent automatic(FALSE, FALSE);
        auto start = Clock::now();
        EXPECT_EQ(manual.Wait(limit), WAIT_TIMEOUT);
        EXPECT_GE(MillisecondsSince(start), static_cast<long long>(limit));
        EXPECT_LT(MillisecondsSince(start), static_cast<long long>(limit) + 1000);

        start = Clock::now();
        EXPECT_EQ(WaitForAnyEvent({&manual, &automatic}, limit), WAIT_TIMEOUT);
        EXPECT_GE(MillisecondsSince(start), static_cast<long long>(limit));
        EXPECT_LT(MillisecondsSince(start), static_cast<long long>(limit) + 1000);
    }
}

TEST(Event, WaitForAnyTakesOnlyTheLowestSetEvent)
{
    CEvent a(FALSE, FALSE), b(FALSE, FALSE), c(TRUE, FALSE);
    b.Set();
    c.Set();
    EXPECT_EQ(WaitForAnyEvent({&a, &b, &c}, 0), WAIT_OBJECT_0 + 1);
    EXPECT_FALSE(b.IsSet());
    EXPECT_TRUE(c.IsSet());
    EXPECT_EQ(WaitForAnyEvent({&a, &b, &c}, 0), WAIT_OBJECT_0 + 2);
    EXPECT_TRUE(c.IsSet()); // manual reset: waiting does not take it

    EXPECT_EQ(WaitForAnyEvent(std::span<CEvent* const>(), 0), WAIT_FAILED);
    EXPECT_EQ(WaitForAnyEvent({&a, nullptr}, 0), WAIT_FAILED);
}

TEST(Event, WaitForAnyWakesWhenAnotherThreadSets)
{
    CEvent stop(TRUE, FALSE), work(FALSE, FALSE);
    DWORD result = WAIT_FAILED;
    const auto start = Clock::now();
    std::thread waiter([&] { result = WaitForAnyEvent({&stop, &work}, 5000); });
    work.Set();
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
    EXPECT_LT(MillisecondsSince(start), 4000);
}

TEST(Event, OneSetGoesToOneWaiterAcrossSingleAndMultipleWaits)
{
    for (int round = 0; round < 8; ++round)
    {
        CEvent event(FALSE, FALSE), other(FALSE, FALSE);
        std::atomic<int> released{0};
        std::thread single(
            [&]
            {
                if (event.Wait(100) == WAIT_OBJECT_0)
                    ++released;
            });
        std::thread multiple(
            [&]
            {
                if (WaitForAnyEvent({&other, &event}, 100) == WAIT_OBJECT_0 + 1)
                    ++released;
            });
        event.Set();
        single.join();
        multiple.join();
        ASSERT_EQ(released.load(), 1) << "round " << round;
    }
}

// A lost wake-up stalls one side until its limit, which fails the round.
TEST(Event, PingPongLosesNoWakeUps)
{
    CEvent ping(FALSE, FALSE), pong(FALSE, FALSE), stop(TRUE, FALSE);
    constexpr int ROUNDS = 2000;
    std::atomic<int> answered{0};
    std::thread partner(
        [&]
        {
            for (;;)
            {
                DWORD r = WaitForAnyEvent({&stop, &ping}, 5000);
                if (r != WAIT_OBJECT_0 + 1)
                    return;
                ++answered;
                pong.Set();
            }
        });
    int completed = 0;
    for (; completed < ROUNDS; ++completed)
    {
        ping.Set();
        if (pong.Wait(5000) != WAIT_OBJECT_0)
            break;
    }
    stop.Set();
    partner.join();
    EXPECT_EQ(completed, ROUNDS);
    EXPECT_EQ(answered.load(), ROUNDS);
}

namespace
{
// Holds the mutex on another thread (taken `depth` times) until released; the limits keep a
// failing test from hanging.
template <typename TMutex> class CHolder
{
public:
    CHolder(TMutex& mutex, int depth)
        : m_thread(
              [this, &mutex, depth]
              {
                  int taken = 0;
                  while (taken < depth && mutex.Lock(5000))
                      ++taken;
                  m_held.Set();
                  for (int i = 0; i < taken; ++i)
                  {
                      m_release.Wait(5000);
                      mutex.Unlock();
                      m_released.Set();
                  }
              })
    {
        m_held.Wait(5000);
    }
    ~CHolder() { m_thread.join(); }
    // Lets the holder drop one level and waits until it has.
    void ReleaseOne()
    {
        m_release.Set();
        m_released.Wait(5000);
    }

private:
    CEvent m_held{TRUE, FALSE}, m_release{FALSE, FALSE}, m_released{FALSE, FALSE};
    std::thread m_thread;
};

template <typename TMutex> void ExpectRefusedWhileHeld(int depth)
{
    TMutex mutex;
    CHolder<TMutex> holder(mutex, depth);
    for (int level = depth; level > 0; --level)
    {
        const auto start = Clock::now();
        EXPECT_FALSE(mutex.Lock(60)) << "level " << level;
        EXPECT_GE(MillisecondsSince(start), 60);
        EXPECT_LT(MillisecondsSince(start), 1060);
        holder.ReleaseOne();
    }
    CTimedLock<TMutex> lock(mutex, 1000);
    EXPECT_TRUE(lock.IsLocked());
}
} // namespace

TEST(TimedMutex, RefusesAfterItsLimitWhileAnotherThreadHoldsIt)
{
    ExpectRefusedWhileHeld<CTimedMutex>(1);
    ExpectRefusedWhileHeld<CRecursiveTimedMutex>(1);
    // Re-entered twice by the holder: still refused after the first unlock.
    ExpectRefusedWhileHeld<CRecursiveTimedMutex>(2);
}

TEST(TimedMutex, OnlyTheRecursiveKindLetsItsHolderIn)
{
    CRecursiveTimedMutex recursive;
    ASSERT_TRUE(recursive.Lock(0));
    EXPECT_TRUE(recursive.Lock(0));
    {
        CTimedLock<CRecursiveTimedMutex> again(recursive, 0);
        EXPECT_TRUE(again.IsLocked());
    }
    recursive.Unlock();
    recursive.Unlock();

    CTimedMutex plain;
    ASSERT_TRUE(plain.Lock(0));
    EXPECT_FALSE(plain.Lock(20));
    plain.Unlock();
    {
        CTimedLock<CTimedMutex> scoped(plain, 0);
        EXPECT_TRUE(scoped.IsLocked());
    }
    // The scoped lock released it.
    EXPECT_TRUE(plain.Lock(0));
    plain.Unlock();
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads)
{
    CCriticalSection section;
    auto otherThreadGetsIn = [&section]
    {
        BOOL entered = FALSE;
        std::thread t(
            [&]
            {
                entered = section.TryEnter();
                if (entered)
                    section.Leave();
            });
        t.join();
        return entered;
    };
    {
        CCriticalSectionLock outer(section);
        {
            CCriticalSectionLock inner(section);
            EXPECT_FALSE(otherThreadGetsIn());
        }
        EXPECT_FALSE(otherThreadGetsIn());
    }
    EXPECT_TRUE(otherThreadGetsIn());
}
