// Arbitrary datagrams into the ASF simulator's agent, several per input so that the session
// states are reached: each datagram is one byte (bit 0: secure port) and one length byte,
// then that many bytes. Nothing may crash or read out of bounds.
#include "tests/support/FixedRandom.h"
#include "tools/asf-sim/AsfAgent.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFixedRandom random;
    tagSIM_OPTIONS options;
    options.sendRakp4 = true;
    CAsfAgent agent(options, random);
    std::size_t pos = 0;
    while (pos + 2 <= size)
    {
        AsfChannel channel = (data[pos] & 1) ? AsfChannel::Secure : AsfChannel::Primary;
        std::size_t length = data[pos + 1];
        pos += 2;
        if (length > size - pos)
            length = size - pos;
        // An exact-size copy, so that a read past the end is caught.
        std::vector<BYTE> datagram(data + pos, data + pos + length);
        agent.HandleDatagram(channel, datagram.data(), datagram.size());
        pos += length;
    }
    return 0;
}
