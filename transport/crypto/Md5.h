#pragma once
// MD5 message digest, RFC 1321. No allocation, no global state: one context per caller.
#include "platform/Types.h"

#include <cstddef>

struct tagMD5_CONTEXT
{
    DWORD state[4];
    DWORD count[2]; // bit count, low word first
    BYTE buffer[64];
};

void Md5Init(tagMD5_CONTEXT* context);
void Md5Update(tagMD5_CONTEXT* context, const BYTE* data, std::size_t length);
void Md5Final(BYTE digest[16], tagMD5_CONTEXT* context);
