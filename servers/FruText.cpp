// Type/length-encoded FRU fields (IPMI Platform Management FRU Information Storage
// Definition v1.0, "Type/Length Byte Format"):
//
//   bits 7:6  type   00b binary or unspecified
//                    01b BCD plus: two characters a byte, high nibble first; 0h-9h digits,
//                        Ah space, Bh dash, Ch period, Dh-Fh reserved
//                    10b 6-bit ASCII packed: characters 20h-5Fh as codes 00h-3Fh, packed
//                        least significant bits first, four characters in three bytes
//                    11b 8-bit ASCII plus Latin-1 when the area's language is English,
//                        otherwise 2-byte Unicode, least significant byte first
//   bits 5:0  number of data bytes that follow
//
// C1h (type 11b, length 1) marks the end of an area's fields.
#include "servers/FruRecord.h"

namespace
{

constexpr BYTE FRU_END_OF_FIELDS = 0xC1;
constexpr BYTE FRU_LANGUAGE_ENGLISH = 0;
constexpr BYTE FRU_LANGUAGE_ENGLISH_EN = 25; // "en" in the FRU language code table

// Collects the decoded characters of one field as UTF-8, stopping at FRU_TEXT_LIMIT.
class CTextSink
{
public:
    explicit CTextSink(std::string& text) : m_text(text) { m_text.clear(); }

    // Appends one character; FALSE once the limit stops the text.
    bool Add(DWORD codePoint)
    {
        if (m_count == FRU_TEXT_LIMIT)
        {
            m_clipped = true;
            return false;
        }
        AppendUtf8(Printable(codePoint));
        ++m_count;
        return true;
    }
    // Appends several characters only when all fit (hex pairs stay whole).
    bool AddGroup(const char* chars, std::size_t count)
    {
        if (m_count + count > FRU_TEXT_LIMIT)
        {
            m_clipped = true;
            return false;
        }
        for (std::size_t i = 0; i < count; ++i)
            Add(static_cast<BYTE>(chars[i]));
        return true;
    }
    bool Clipped() const { return m_clipped; }

private:
    // Control characters would break the list rows and the command-line output.
    static DWORD Printable(DWORD codePoint)
    {
        if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F))
            return '?';
        return codePoint;
    }
    void AppendUtf8(DWORD c)
    {
        if (c < 0x80)
        {
            m_text.push_back(static_cast<char>(c));
        }
        else if (c < 0x800)
        {
            m_text.push_back(static_cast<char>(0xC0 | c >> 6));
            m_text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        else if (c < 0x10000)
        {
            m_text.push_back(static_cast<char>(0xE0 | c >> 12));
            m_text.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            m_text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        else
        {
            m_text.push_back(static_cast<char>(0xF0 | c >> 18));
            m_text.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            m_text.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            m_text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    std::string& m_text;
    std::size_t m_count = 0;
    bool m_clipped = false;
};

void DecodeBinary(const BYTE* data, std::size_t length, CTextSink& sink)
{
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < length; ++i)
    {
        const char pair[2] = {digits[data[i] >> 4], digits[data[i] & 0x0F]};
        if (!sink.AddGroup(pair, 2))
            return;
    }
}

void DecodeBcdPlus(const BYTE* data, std::size_t length, CTextSink& sink)
{
    static const char symbols[] = "0123456789 -.???";
    for (std::size_t i = 0; i < length; ++i)
    {
        if (!sink.Add(static_cast<BYTE>(symbols[data[i] >> 4])) ||
            !sink.Add(static_cast<BYTE>(symbols[data[i] & 0x0F])))
            return;
    }
}

// Only whole 6-bit characters are taken; leftover bits of the last byte are padding.
void DecodeSixBit(const BYTE* data, std::size_t length, CTextSink& sink)
{
    DWORD bits = 0;
    unsigned held = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        bits |= static_cast<DWORD>(data[i]) << held;
        held += 8;
        while (held >= 6)
        {
            if (!sink.Add(0x20 + (bits & 0x3F)))
                return;
            bits >>= 6;
            held -= 6;
        }
    }
}

// A NUL ends the text, as it would in a terminated string.
void DecodeLatin1(const BYTE* data, std::size_t length, CTextSink& sink)
{
    for (std::size_t i = 0; i < length && data[i] != 0; ++i)
    {
        if (!sink.Add(data[i]))
            return;
    }
}

void DecodeUnicode(const BYTE* data, std::size_t length, CTextSink& sink)
{
    std::size_t i = 0;
    while (i + 1 < length)
    {
        DWORD unit = static_cast<DWORD>(data[i] | data[i + 1] << 8);
        i += 2;
        if (unit == 0)
            return;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length)
        {
            const DWORD low = static_cast<DWORD>(data[i] | data[i + 1] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = 0xFFFD; // an unpaired surrogate
        if (!sink.Add(unit))
            return;
    }
}

} // namespace

std::size_t DecodeFruField(const BYTE* data, std::size_t available, BYTE languageCode,
                           tagFRU_TEXT_FIELD& field)
{
    field = tagFRU_TEXT_FIELD();
    if (available == 0 || data[0] == FRU_END_OF_FIELDS)
        return 0;

    field.typeLength = data[0];
    const std::size_t declared = data[0] & 0x3F;
    const std::size_t present = declared < available - 1 ? declared : available - 1;
    const BYTE* bytes = data + 1;

    CTextSink sink(field.text);
    switch (data[0] >> 6)
    {
    case 0:
        DecodeBinary(bytes, present, sink);
        break;
    case 1:
        DecodeBcdPlus(bytes, present, sink);
        break;
    case 2:
        DecodeSixBit(bytes, present, sink);
        break;
    default:
        if (languageCode == FRU_LANGUAGE_ENGLISH || languageCode == FRU_LANGUAGE_ENGLISH_EN)
            DecodeLatin1(bytes, present, sink);
        else
            DecodeUnicode(bytes, present, sink);
        break;
    }

    if (present < declared)
        field.state = FruFieldState::Truncated;
    else if (sink.Clipped())
        field.state = FruFieldState::Clipped;
    else
        field.state = FruFieldState::Present;
    return 1 + declared;
}

std::string FruFieldValue(const tagFRU_TEXT_FIELD& field)
{
    switch (field.state)
    {
    case FruFieldState::Absent:
        return FRU_VALUE_MISSING;
    case FruFieldState::Truncated:
        return field.text + FRU_VALUE_TRUNCATED_SUFFIX;
    default:
        return field.text;
    }
}
