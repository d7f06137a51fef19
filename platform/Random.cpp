#include "platform/Random.h"

#include <cerrno>
#include <sys/random.h>

BOOL CSystemRandom::Fill(BYTE* buffer, std::size_t length)
{
    std::size_t done = 0;
    while (done < length)
    {
        ssize_t got = getrandom(buffer + done, length - done, 0);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return FALSE;
        }
        done += static_cast<std::size_t>(got);
    }
    return TRUE;
}

IRandom& SystemRandom()
{
    static CSystemRandom random;
    return random;
}
