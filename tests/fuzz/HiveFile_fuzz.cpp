// Arbitrary bytes as a hive file: the decoder must refuse or accept without reading out of
// bounds, and whatever it accepts must encode back to the same bytes. Each input is tried
// as it is and with its length and checksum fields repaired, so that mutations reach the
// record parser behind the checksum.
#include "platform/RegistryFile.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

void PutU32(BYTE* p, std::size_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(v >> (8 * i));
}

void Check(const BYTE* data, std::size_t size)
{
    tagHIVE_IMAGE image;
    std::string reason;
    if (!DecodeHiveFile(data, size, image, reason))
        return;
    std::vector<BYTE> again = EncodeHiveFile(image);
    if (again.size() != size || std::memcmp(again.data(), data, size) != 0)
        std::abort();
    HiveImageDepth(image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const BYTE* data, std::size_t size)
{
    Check(data, size);
    if (size < 24)
        return 0;
    std::vector<BYTE> repaired(data, data + size);
    PutU32(repaired.data() + 16, size - 24);
    PutU32(repaired.data() + size - 4, Crc32(repaired.data(), size - 4));
    Check(repaired.data(), repaired.size());
    return 0;
}
