#pragma once
// A random source that repeats a fixed byte pattern (start, start+1, ...), so that session
// packets come out byte for byte the same in every run.
#include "platform/Random.h"

class CFixedRandom final : public IRandom
{
public:
    explicit CFixedRandom(BYTE start = 0x10) : m_next(start) {}
    BOOL Fill(BYTE* buffer, std::size_t length) override
    {
        for (std::size_t i = 0; i < length; ++i)
            buffer[i] = m_next++;
        return TRUE;
    }

private:
    BYTE m_next;
};
