#include "transport/crypto/Md5.h"

#include "transport/crypto/Secure.h"

#include <cstdint>
#include <cstring>

namespace
{
// T[i] = floor(2^32 * abs(sin(i + 1))), RFC 1321 section 3.4, two lines per round.
// clang-format off
constexpr DWORD T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    // round 2
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    // round 3
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    // round 4
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
// clang-format on

// Left-rotation amounts, RFC 1321 section 3.4: each round cycles through its four values.
constexpr int SHIFT[4][4] = {
    {7, 12, 17, 22}, // round 1 (F)
    {5, 9, 14, 20},  // round 2 (G)
    {4, 11, 16, 23}, // round 3 (H)
    {6, 10, 15, 21}, // round 4 (I)
};

// Padding: one 1 bit, then zeros (RFC 1321 section 3.1).
constexpr BYTE PADDING[64] = {0x80};

DWORD RotateLeft(DWORD x, int n)
{
    return (x << n) | (x >> (32 - n));
}

DWORD LoadLittleEndian(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

void StoreLittleEndian(DWORD value, BYTE* p)
{
    for (int i = 0; i < 4; ++i)
    {
        p[i] = static_cast<BYTE>(value >> (8 * i));
    }
}

// One 64-byte block, RFC 1321 section 3.4. The four rounds differ in their boolean function
// and in the order the sixteen message words are taken.
void Transform(DWORD state[4], const BYTE block[64])
{
    DWORD x[16];
    for (int i = 0; i < 16; ++i)
    {
        x[i] = LoadLittleEndian(block + 4 * i);
    }
    DWORD a = state[0];
    DWORD b = state[1];
    DWORD c = state[2];
    DWORD d = state[3];
    for (int i = 0; i < 64; ++i)
    {
        DWORD f;
        int k;
        switch (i / 16)
        {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            k = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
            break;
        }
        const DWORD rotated = RotateLeft(a + f + T[i] + x[k], SHIFT[i / 16][i % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}
} // namespace

void Md5Init(tagMD5_CONTEXT* context)
{
    // RFC 1321 section 3.3, words A, B, C, D.
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    context->count[0] = 0;
    context->count[1] = 0;
}

void Md5Update(tagMD5_CONTEXT* context, const BYTE* data, std::size_t length)
{
    if (length == 0)
    {
        return;
    }
    std::size_t used = (context->count[0] >> 3) & 63U;
    // The bit count is kept modulo 2^64 (RFC 1321 section 3.2).
    std::uint64_t bits = static_cast<std::uint64_t>(context->count[1]) << 32 | context->count[0];
    bits += static_cast<std::uint64_t>(length) << 3;
    context->count[0] = static_cast<DWORD>(bits);
    context->count[1] = static_cast<DWORD>(bits >> 32);

    if (used != 0)
    {
        const std::size_t take = length < 64 - used ? length : 64 - used;
        std::memcpy(context->buffer + used, data, take);
        data += take;
        length -= take;
        if (used + take < 64)
        {
            return;
        }
        Transform(context->state, context->buffer);
    }
    for (; length >= 64; data += 64, length -= 64)
    {
        Transform(context->state, data);
    }
    if (length != 0)
    {
        std::memcpy(context->buffer, data, length);
    }
}

void Md5Final(BYTE digest[16], tagMD5_CONTEXT* context)
{
    // The length goes last, low word first (RFC 1321 section 3.2); take it before padding.
    BYTE length[8];
    StoreLittleEndian(context->count[0], length);
    StoreLittleEndian(context->count[1], length + 4);
    const std::size_t used = (context->count[0] >> 3) & 63U;
    Md5Update(context, PADDING, used < 56 ? 56 - used : 120 - used);
    Md5Update(context, length, sizeof length);
    for (int i = 0; i < 4; ++i)
    {
        StoreLittleEndian(context->state[i], digest + 4 * i);
    }
    // The context may hold key-derived state (HMAC), so it does not outlive its use.
    SecureZero(context, sizeof *context);
}
