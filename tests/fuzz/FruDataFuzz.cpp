// Arbitrary FRU inventory data through the decoder: the record with every area's labelled
// fields, and the input read as one type/length field under an English and a non-English
// language code. Nothing may crash or read out of bounds.
#include "servers/FruRecord.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size copy, so that a read past the end is caught.
    const std::vector<BYTE> bytes(data, data + size);
    const CFruRecord record(bytes.data(), bytes.size());
    for (FruArea area : {FruArea::Chassis, FruArea::Board, FruArea::Product})
        record.GetFieldLines(area);

    for (BYTE language : {BYTE{0}, BYTE{2}})
    {
        tagFRU_TEXT_FIELD field;
        DecodeFruField(bytes.data(), bytes.size(), language, field);
        FruFieldValue(field);
    }
    return 0;
}
