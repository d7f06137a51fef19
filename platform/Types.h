#pragma once
// The plain integer types and the success convention the console's code is written in:
// operations return non-zero (TRUE) on success and zero (FALSE) on failure.
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
