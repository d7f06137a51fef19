#include "transport/crypto/Sha1.h"

#include "transport/crypto/Secure.h"

#include <cstdint>
#include <cstring>

namespace
{
// Additive constants K(t), FIPS 180-1 section 5, one for each group of twenty steps.
constexpr DWORD K[4] = {
    0x5a827999, // t = 0..19
    0x6ed9eba1, // t = 20..39
    0x8f1bbcdc, // t = 40..59
    0xca62c1d6, // t = 60..79
};

// Initial H0..H4, FIPS 180-1 section 7.
constexpr DWORD INITIAL[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

// Padding: one 1 bit, then zeros (FIPS 180-1 section 4).
constexpr BYTE PADDING[64] = {0x80};

DWORD RotateLeft(DWORD x, int n)
{
    return (x << n) | (x >> (32 - n));
}

DWORD LoadBigEndian(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) << 24 | static_cast<DWORD>(p[1]) << 16 |
           static_cast<DWORD>(p[2]) << 8 | static_cast<DWORD>(p[3]);
}

void StoreBigEndian(DWORD value, BYTE* p)
{
    for (int i = 0; i < 4; ++i)
    {
        p[i] = static_cast<BYTE>(value >> (24 - 8 * i));
    }
}

// One 64-byte block, FIPS 180-1 section 7 (method 1, the full 80-word schedule).
void Transform(DWORD state[5], const BYTE block[64])
{
    DWORD w[80];
    for (int t = 0; t < 16; ++t)
    {
        w[t] = LoadBigEndian(block + 4 * t);
    }
    for (int t = 16; t < 80; ++t)
    {
        w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    }
    DWORD a = state[0];
    DWORD b = state[1];
    DWORD c = state[2];
    DWORD d = state[3];
    DWORD e = state[4];
    // One step, FIPS 180-1 section 7 (d): f(t) and K(t) change every twenty steps, so each
    // group gets its own loop rather than a branch per step.
    const auto step = [&](DWORD f, int t)
    {
        const DWORD temp = RotateLeft(a, 5) + f + e + w[t] + K[t / 20];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = temp;
    };
    for (int t = 0; t < 20; ++t)
    {
        step((b & c) | (~b & d), t);
    }
    for (int t = 20; t < 40; ++t)
    {
        step(b ^ c ^ d, t);
    }
    for (int t = 40; t < 60; ++t)
    {
        step((b & c) | (b & d) | (c & d), t);
    }
    for (int t = 60; t < 80; ++t)
    {
        step(b ^ c ^ d, t);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}
} // namespace

void Sha1Init(tagSHA1_CONTEXT* context)
{
    std::memcpy(context->state, INITIAL, sizeof INITIAL);
    context->count[0] = 0;
    context->count[1] = 0;
    context->buffered = 0;
}

void Sha1Update(tagSHA1_CONTEXT* context, const BYTE* data, std::size_t length)
{
    if (length == 0)
    {
        return;
    }
    // The bit count wraps modulo 2^64; FIPS 180-1 limits messages to less than 2^64 bits.
    std::uint64_t bits = static_cast<std::uint64_t>(context->count[1]) << 32 | context->count[0];
    bits += static_cast<std::uint64_t>(length) << 3;
    context->count[0] = static_cast<DWORD>(bits);
    context->count[1] = static_cast<DWORD>(bits >> 32);

    if (context->buffered != 0)
    {
        const std::size_t room = 64U - context->buffered;
        const std::size_t take = length < room ? length : room;
        std::memcpy(context->buffer + context->buffered, data, take);
        data += take;
        length -= take;
        context->buffered += static_cast<DWORD>(take);
        if (context->buffered < 64)
        {
            return;
        }
        Transform(context->state, context->buffer);
        context->buffered = 0;
    }
    for (; length >= 64; data += 64, length -= 64)
    {
        Transform(context->state, data);
    }
    if (length != 0)
    {
        std::memcpy(context->buffer, data, length);
        context->buffered = static_cast<DWORD>(length);
    }
}

void Sha1Final(tagSHA1_CONTEXT* context, BYTE digest[20])
{
    // The 64-bit length goes last, most significant word first (FIPS 180-1 section 4).
    BYTE length[8];
    StoreBigEndian(context->count[1], length);
    StoreBigEndian(context->count[0], length + 4);
    const std::size_t used = context->buffered;
    Sha1Update(context, PADDING, used < 56 ? 56 - used : 120 - used);
    Sha1Update(context, length, sizeof length);
    for (int i = 0; i < 5; ++i)
    {
        StoreBigEndian(context->state[i], digest + 4 * i);
    }
    // The context may hold key-derived state (HMAC), so it does not outlive its use.
    SecureZero(context, sizeof *context);
}
