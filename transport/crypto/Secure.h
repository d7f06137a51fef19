#pragma once
// Helpers for secret material: comparison in constant time and wiping that the optimiser
// keeps.
#include "platform/Types.h"

#include <cstddef>

// TRUE when both spans have the same length and bytes; the time taken depends only on the
// lengths, not on where the first difference lies.
BOOL ConstantTimeEqual(const BYTE* a, std::size_t aLength, const BYTE* b, std::size_t bLength);
void SecureZero(void* buffer, std::size_t length);
