// Arbitrary texts as the stored server list's "SvrMac" and "dwUIp" values: parsing never
// writes past the six address bytes, and every address it yields formats to a text that
// parses back to the same bytes.
#include "shell/ServerListStore.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const BYTE* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    BYTE mac[6];
    ParseMacText(text, mac);
    BYTE again[6];
    ParseMacText(FormatMacText(mac), again);
    if (std::memcmp(mac, again, 6) != 0)
        std::abort();
    DWORD address = ParseDecimalAddress(text);
    if (ParseDecimalAddress(std::to_string(address)) != address)
        std::abort();
    return 0;
}
