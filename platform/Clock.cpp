#include "platform/Clock.h"

#include <chrono>
#include <thread>

DWORD CSystemClock::GetTickCount()
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(ms);
}

void CSystemClock::Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

IClock& SystemClock()
{
    static CSystemClock clock;
    return clock;
}
