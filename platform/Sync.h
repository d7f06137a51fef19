#pragma once
// Events, critical sections and timed mutexes with the wait results the console's threads
// are written against. Every object is owned by the object whose state it guards and may be
// used from any thread of the process; each keeps its own internal lock. Waits take a limit in
// milliseconds; INFINITE (no limit) is meant only for the few waits documented as unbounded,
// every other caller passes a limit so that no thread can hang past its owner's lifetime.
// An event must outlive every thread that waits on it.
#include "platform/Types.h"

#include <condition_variable>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <span>
#include <vector>

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

struct tagEVENT_WAITER;

class CEvent
{
public:
    // An auto-reset event releases one waiter per Set and resets itself; a manual-reset
    // event releases every waiter and stays set until Reset.
    explicit CEvent(BOOL manualReset = FALSE, BOOL initialState = FALSE);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // WAIT_OBJECT_0 when the event was (or became) set within the limit, else WAIT_TIMEOUT.
    // A zero limit only tests (and, for auto-reset, takes) the current state.
    DWORD Wait(DWORD timeoutMs);
    // The current state, without taking it.
    BOOL IsSet() const;
    BOOL IsManualReset() const { return m_manualReset; }

private:
    friend DWORD WaitForAnyEvent(std::span<CEvent* const> events, DWORD timeoutMs);

    // With m_mutex held: TRUE and, for auto-reset, the state cleared when the event is set.
    BOOL TakeLocked();
    void AddWaiter(tagEVENT_WAITER* waiter);
    void RemoveWaiter(tagEVENT_WAITER* waiter);

    const BOOL m_manualReset;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;       // single-event waiters; guarded by m_mutex
    BOOL m_signalled;                        // guarded by m_mutex
    std::vector<tagEVENT_WAITER*> m_waiters; // multi-event waiters; guarded by m_mutex
};

// Waits until any of the events is set: WAIT_OBJECT_0 + i for the lowest-numbered set event
// (taken, if it is auto-reset), WAIT_TIMEOUT after the limit, WAIT_FAILED for an empty list or a
// null entry. Only the returned event is taken.
DWORD WaitForAnyEvent(std::span<CEvent* const> events, DWORD timeoutMs);
DWORD WaitForAnyEvent(std::initializer_list<CEvent*> events, DWORD timeoutMs);

// A lock that the owning thread may take again while it holds it, as a Win32 critical section.
class CCriticalSection
{
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { m_mutex.lock(); }
    BOOL TryEnter() { return m_mutex.try_lock() ? TRUE : FALSE; }
    void Leave() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a critical section for the lifetime of the guard.
class CCriticalSectionLock
{
public:
    explicit CCriticalSectionLock(CCriticalSection& section) : m_section(section)
    {
        m_section.Enter();
    }
    ~CCriticalSectionLock() { m_section.Leave(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& m_section;
};

// A mutex taken with a limit: Lock returns FALSE when another thread still holds it after
// timeoutMs. Not re-entrant: the holder locking again waits out its own limit and fails.
class CTimedMutex
{
public:
    CTimedMutex() = default;
    CTimedMutex(const CTimedMutex&) = delete;
    CTimedMutex& operator=(const CTimedMutex&) = delete;

    BOOL Lock(DWORD timeoutMs);
    void Unlock() { m_mutex.unlock(); }

private:
    std::timed_mutex m_mutex;
};

// As CTimedMutex, but the holder may lock again; each Lock needs its Unlock.
class CRecursiveTimedMutex
{
public:
    CRecursiveTimedMutex() = default;
    CRecursiveTimedMutex(const CRecursiveTimedMutex&) = delete;
    CRecursiveTimedMutex& operator=(const CRecursiveTimedMutex&) = delete;

    BOOL Lock(DWORD timeoutMs);
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_timed_mutex m_mutex;
};

// Takes a timed mutex for a scope if it can within the limit; check IsLocked before use.
template <typename TMutex> class CTimedLock
{
public:
    CTimedLock(TMutex& mutex, DWORD timeoutMs) : m_mutex(mutex), m_locked(mutex.Lock(timeoutMs)) {}
    ~CTimedLock()
    {
        if (m_locked)
            m_mutex.Unlock();
    }
    CTimedLock(const CTimedLock&) = delete;
    CTimedLock& operator=(const CTimedLock&) = delete;

    BOOL IsLocked() const { return m_locked; }

private:
    TMutex& m_mutex;
    BOOL m_locked;
};
