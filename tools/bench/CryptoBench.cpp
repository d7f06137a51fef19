// Throughput of the crypto primitives over a fixed amount of data, one line per primitive:
// MD5 and SHA-1 over 64 KiB updates, HMAC-SHA1 over 64-byte messages (the size of an RMCP+
// authentication input), and AES-128 one block at a time.
#include "transport/crypto/Hmac.h"
#include "transport/crypto/KAES.h"
#include "transport/crypto/Md5.h"
#include "transport/crypto/Sha1.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace
{
constexpr std::size_t TOTAL = 64U * 1024U * 1024U; // bytes processed per primitive
constexpr std::size_t CHUNK = 64U * 1024U;         // bytes per digest update

// Every result is stored here so the work cannot be optimised away.
volatile BYTE g_sink = 0;

template <typename WORK> void Measure(const char* name, WORK work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%s: %.1f MB/s\n", name, static_cast<double>(TOTAL) / 1e6 / seconds.count());
}
} // namespace

int main()
{
    std::vector<BYTE> data(CHUNK);
    for (std::size_t i = 0; i < data.size(); ++i)
    {
        data[i] = static_cast<BYTE>(i * 131U + 7U);
    }

    Measure("md5",
            [&]
            {
                tagMD5_CONTEXT context;
                Md5Init(&context);
                for (std::size_t done = 0; done < TOTAL; done += CHUNK)
                {
                    Md5Update(&context, data.data(), CHUNK);
                }
                BYTE digest[16];
                Md5Final(digest, &context);
                g_sink = digest[0];
            });

    Measure("sha1",
            [&]
            {
                tagSHA1_CONTEXT context;
                Sha1Init(&context);
                for (std::size_t done = 0; done < TOTAL; done += CHUNK)
                {
                    Sha1Update(&context, data.data(), CHUNK);
                }
                BYTE digest[20];
                Sha1Final(&context, digest);
                g_sink = digest[0];
            });

    Measure("hmac-sha1",
            [&]
            {
                const BYTE key[20] = {0x0b, 0x0b, 0x0b, 0x0b};
                BYTE out[20] = {};
                for (std::size_t done = 0; done < TOTAL; done += 64)
                {
                    // Each message takes a byte of the previous code, so the calls form a chain.
                    BYTE* message = data.data() + done % CHUNK;
                    message[0] = out[0];
                    HmacSha1(message, 64, key, sizeof key, out);
                }
                g_sink = out[0];
            });

    Measure("aes-128",
            [&]
            {
                const BYTE key[16] = {0x2b, 0x7e, 0x15, 0x16};
                KAES aes(16, key);
                BYTE block[16] = {};
                for (std::size_t done = 0; done < TOTAL; done += 16)
                {
                    aes.Encrypt(block, block);
                }
                g_sink = block[0];
            });

    return 0;
}
