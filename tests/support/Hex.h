#pragma once
// Hex text <-> bytes for golden packets and captured records. Spaces, newlines and
// '#'-comments to the end of a line are ignored when parsing.
#include "platform/Types.h"

#include <string>
#include <string_view>
#include <vector>

std::vector<BYTE> FromHex(std::string_view text);
std::string ToHex(const BYTE* data, std::size_t length);
inline std::string ToHex(const std::vector<BYTE>& bytes)
{
    return ToHex(bytes.data(), bytes.size());
}
