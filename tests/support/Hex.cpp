#include "tests/support/Hex.h"

#include <stdexcept>

namespace
{
int Nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::vector<BYTE> FromHex(std::string_view text)
{
    std::vector<BYTE> out;
    int high = -1;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '#')
        {
            while (i < text.size() && text[i] != '\n')
                ++i;
            continue;
        }
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == ':')
            continue;
        int n = Nibble(c);
        if (n < 0)
            throw std::invalid_argument("bad hex digit in test data");
        if (high < 0)
            high = n;
        else
        {
            out.push_back(static_cast<BYTE>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits in test data");
    return out;
}

std::string ToHex(const BYTE* data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < length; ++i)
    {
        if (i)
            out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}
