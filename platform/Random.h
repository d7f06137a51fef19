#pragma once
// Random bytes for security material (console random numbers, session IDs, IVs).
// The system source reads the kernel's cryptographic generator (getrandom); tests inject
// a fixed source so that session packets become byte-exact.
#include "platform/Types.h"

#include <cstddef>

class IRandom
{
public:
    virtual ~IRandom() = default;
    // Fills the buffer; returns FALSE only if the source failed.
    virtual BOOL Fill(BYTE* buffer, std::size_t length) = 0;
};

class CSystemRandom final : public IRandom
{
public:
    BOOL Fill(BYTE* buffer, std::size_t length) override;
};

IRandom& SystemRandom();
