// The address text the page sends with a new server (the add dialog's IP field and the page's
// IP property): parsing never crashes, and an address it accepts prints back as the same
// number.
#include "host/FrameRules.h"
#include "shell/Server.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    DWORD address = 0;
    if (!ParseDottedAddress(text, &address))
        return 0;
    DWORD again = 0;
    if (!ParseDottedAddress(FormatIpText(address), &again) || again != address)
        std::abort();
    IsAcceptableServerAddress(address);
    return 0;
}
