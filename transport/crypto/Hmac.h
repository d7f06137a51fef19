#pragma once
// Keyed hashes, RFC 2104 with a 64-byte block. Keys longer than the block are first hashed,
// as RFC 2104 section 3 says. No allocation: key blocks live on the caller's stack.
#include "platform/Types.h"

#include <cstddef>

void HmacMd5(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
             BYTE out[16]);
void HmacSha1(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
              BYTE out[20]);
// The first 12 bytes of HmacSha1 (RFC 2404's HMAC-SHA1-96).
void HmacSha1_96(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
                 BYTE out[12]);
