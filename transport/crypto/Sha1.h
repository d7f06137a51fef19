#pragma once
// SHA-1 message digest, FIPS 180-1. No allocation, no global state: one context per caller.
#include "platform/Types.h"

#include <cstddef>

struct tagSHA1_CONTEXT
{
    DWORD count[2]; // bit count, low word first
    DWORD state[5];
    DWORD buffered; // bytes waiting in buffer
    BYTE buffer[64];
};

void Sha1Init(tagSHA1_CONTEXT* context);
void Sha1Update(tagSHA1_CONTEXT* context, const BYTE* data, std::size_t length);
void Sha1Final(tagSHA1_CONTEXT* context, BYTE digest[20]);
