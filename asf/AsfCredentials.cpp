#include "asf/AsfCredentials.h"

#include "asf/AsfSessionMessages.h"

#include <cstdio>
#include <cstring>

namespace
{
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendField(std::string& out, const std::string& field, std::size_t limit)
{
    std::string cut = field.substr(0, limit);
    char length[4];
    std::snprintf(length, sizeof length, "%.2d", static_cast<int>(cut.size()));
    out += length;
    out += cut;
}

bool TakeField(const std::string& record, std::size_t& pos, std::string& field)
{
    if (record.size() - pos < 2)
        return false;
    const char tens = record[pos];
    const char ones = record[pos + 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
        return false;
    const std::size_t length = static_cast<std::size_t>((tens - '0') * 10 + (ones - '0'));
    pos += 2;
    if (record.size() - pos < length)
        return false;
    field = record.substr(pos, length);
    pos += length;
    return true;
}
} // namespace

void ParseAsfKey(const std::string& text, BYTE key[ASF_KEY_SIZE])
{
    std::memset(key, 0, ASF_KEY_SIZE);
    const std::size_t used = text.size() < ASF_KEY_TEXT_MAX ? text.size() : ASF_KEY_TEXT_MAX;
    for (std::size_t i = 0; i < used; i += 2)
    {
        int value = 0;
        for (std::size_t j = i; j < i + 2 && j < used; ++j)
        {
            const int digit = HexDigit(text[j]);
            if (digit < 0)
                break;
            value = value * 16 + digit;
        }
        key[i / 2] = static_cast<BYTE>(value);
    }
}

std::string FormatAsfCredential(const tagASF_CREDENTIALS& credentials)
{
    std::string out = credentials.roleIndex == ASF_ROLE_INDEX_ADMINISTRATOR ? "0" : "1";
    AppendField(out, credentials.administratorKey, ASF_KEY_TEXT_MAX);
    AppendField(out, credentials.operatorKey, ASF_KEY_TEXT_MAX);
    AppendField(out, credentials.generationKey, ASF_KEY_TEXT_MAX);
    AppendField(out, credentials.userName, ASF_USER_NAME_MAX);
    return out;
}

BOOL ParseAsfCredential(const std::string& record, tagASF_CREDENTIALS& credentials)
{
    if (record.empty())
        return FALSE;
    tagASF_CREDENTIALS parsed;
    parsed.roleIndex = record[0] == '0' ? ASF_ROLE_INDEX_ADMINISTRATOR : ASF_ROLE_INDEX_OPERATOR;
    std::size_t pos = 1;
    if (!TakeField(record, pos, parsed.administratorKey) ||
        !TakeField(record, pos, parsed.operatorKey) ||
        !TakeField(record, pos, parsed.generationKey) || !TakeField(record, pos, parsed.userName))
        return FALSE;
    credentials = parsed;
    return TRUE;
}
