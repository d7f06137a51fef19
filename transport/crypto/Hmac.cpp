#include "transport/crypto/Hmac.h"

#include "transport/crypto/Md5.h"
#include "transport/crypto/Secure.h"
#include "transport/crypto/Sha1.h"

#include <cstring>

namespace
{
// RFC 2104 section 2: B = 64 for both MD5 and SHA-1; ipad and opad are B copies of these.
constexpr std::size_t BLOCK = 64;
constexpr BYTE IPAD = 0x36;
constexpr BYTE OPAD = 0x5c;

// The two hashes behind one interface, so the HMAC construction is written once.
struct tagMD5_HASH
{
    using Context = tagMD5_CONTEXT;
    static constexpr std::size_t SIZE = 16;
    static void Init(Context* c) { Md5Init(c); }
    static void Update(Context* c, const BYTE* p, std::size_t n) { Md5Update(c, p, n); }
    static void Final(Context* c, BYTE* out) { Md5Final(out, c); }
};

struct tagSHA1_HASH
{
    using Context = tagSHA1_CONTEXT;
    static constexpr std::size_t SIZE = 20;
    static void Init(Context* c) { Sha1Init(c); }
    static void Update(Context* c, const BYTE* p, std::size_t n) { Sha1Update(c, p, n); }
    static void Final(Context* c, BYTE* out) { Sha1Final(c, out); }
};

// H(K XOR opad, H(K XOR ipad, text)), RFC 2104 section 2. out is written only at the end,
// so it may overlap the key or the data.
template <typename HASH>
void Hmac(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
          BYTE* out)
{
    typename HASH::Context context;
    // K padded with zeros to B bytes; a key longer than B is replaced by H(K) first.
    BYTE keyBlock[BLOCK] = {};
    if (keyLength > BLOCK)
    {
        HASH::Init(&context);
        HASH::Update(&context, key, keyLength);
        HASH::Final(&context, keyBlock);
    }
    else if (keyLength != 0)
    {
        std::memcpy(keyBlock, key, keyLength);
    }

    BYTE pad[BLOCK];
    for (std::size_t i = 0; i < BLOCK; ++i)
    {
        pad[i] = static_cast<BYTE>(keyBlock[i] ^ IPAD);
    }
    BYTE inner[HASH::SIZE];
    HASH::Init(&context);
    HASH::Update(&context, pad, BLOCK);
    HASH::Update(&context, data, dataLength);
    HASH::Final(&context, inner);

    for (std::size_t i = 0; i < BLOCK; ++i)
    {
        pad[i] = static_cast<BYTE>(keyBlock[i] ^ OPAD);
    }
    HASH::Init(&context);
    HASH::Update(&context, pad, BLOCK);
    HASH::Update(&context, inner, HASH::SIZE);
    HASH::Final(&context, out);

    SecureZero(keyBlock, sizeof keyBlock);
    SecureZero(pad, sizeof pad);
    SecureZero(inner, sizeof inner);
}
} // namespace

void HmacMd5(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
             BYTE out[16])
{
    Hmac<tagMD5_HASH>(data, dataLength, key, keyLength, out);
}

void HmacSha1(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
              BYTE out[20])
{
    Hmac<tagSHA1_HASH>(data, dataLength, key, keyLength, out);
}

void HmacSha1_96(const BYTE* data, std::size_t dataLength, const BYTE* key, std::size_t keyLength,
                 BYTE out[12])
{
    // RFC 2404 section 2: the leftmost 96 bits of the full HMAC-SHA1.
    BYTE full[20];
    HmacSha1(data, dataLength, key, keyLength, full);
    std::memcpy(out, full, 12);
    SecureZero(full, sizeof full);
}
