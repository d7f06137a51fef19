#pragma once
// Millisecond tick source and pause, injectable so that tests run retry and time-out paths
// without waiting. The system clock is process-wide and stateless; a test passes its own.
#include "platform/Types.h"

class IClock
{
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32 like the tick count it replaces.
    virtual DWORD GetTickCount() = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
};

class CSystemClock final : public IClock
{
public:
    DWORD GetTickCount() override;
    void Sleep(DWORD milliseconds) override;
};

// The process's clock; lives for the whole program.
IClock& SystemClock();
