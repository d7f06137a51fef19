#include "transport/crypto/Secure.h"

#include <atomic>

BOOL ConstantTimeEqual(const BYTE* a, std::size_t aLength, const BYTE* b, std::size_t bLength)
{
    // Lengths of authentication codes are public (fixed by the negotiated algorithm), so
    // refusing early on a length mismatch reveals nothing the peer does not already know.
    if (aLength != bLength)
    {
        return FALSE;
    }
    // Every byte is read and folded into one accumulator; the volatile reads keep the
    // compiler from turning the loop into an early-exit comparison.
    const volatile BYTE* pa = a;
    const volatile BYTE* pb = b;
    unsigned int difference = 0;
    for (std::size_t i = 0; i < aLength; ++i)
    {
        difference |= static_cast<unsigned int>(pa[i] ^ pb[i]);
    }
    // 0 -> 1, 1..255 -> 0, without a data-dependent branch.
    return static_cast<BOOL>(1U & ((difference - 1U) >> 8));
}

void SecureZero(void* buffer, std::size_t length)
{
    // Stores through a volatile pointer are observable behaviour, so a buffer that is about
    // to die is still cleared; the fence stops later code being moved above the stores.
    volatile BYTE* p = static_cast<volatile BYTE*>(buffer);
    for (std::size_t i = 0; i < length; ++i)
    {
        p[i] = 0;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
}
