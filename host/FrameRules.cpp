#include "host/FrameRules.h"

#include <cstdio>

BOOL IsAcceptableServerAddress(DWORD address)
{
    if (address == 0 || address == 0xFFFFFFFFu || address == 0x7F000001u)
        return FALSE;
    if (address > 0xE0000001u && address < 0xEFFFFFFFu)
        return FALSE;
    if (address > 0xA9FE0001u && address < 0xA9FEFFFFu)
        return FALSE;
    return TRUE;
}

std::string FormatConnectionTime(const std::tm& now, const std::tm& start)
{
    int seconds = now.tm_sec - start.tm_sec;
    int minutes = now.tm_min - start.tm_min;
    int hours = now.tm_hour - start.tm_hour;
    if (seconds < 0)
    {
        seconds += 60;
        --minutes;
    }
    if (minutes < 0)
    {
        minutes += 60;
        --hours;
    }
    if (hours > 24)
        hours -= 24;
    if (hours < 0)
        hours += 24;
    char text[40];
    std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d", hours, minutes, seconds);
    return text;
}

std::array<BYTE, MAGIC_PACKET_SIZE> BuildMagicPacket(const BYTE mac[6])
{
    std::array<BYTE, MAGIC_PACKET_SIZE> packet{};
    for (std::size_t i = 0; i < 6; ++i)
        packet[i] = 0xFF;
    for (std::size_t copy = 0; copy < 16; ++copy)
        for (std::size_t i = 0; i < 6; ++i)
            packet[6 + copy * 6 + i] = mac[i];
    return packet;
}

BOOL ParseDottedAddress(const std::string& text, DWORD* address)
{
    DWORD value = 0;
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part)
    {
        if (part > 0)
        {
            if (pos >= text.size() || text[pos] != '.')
                return FALSE;
            ++pos;
        }
        std::size_t digits = 0;
        DWORD octet = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3)
        {
            octet = octet * 10 + static_cast<DWORD>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || octet > 255)
            return FALSE;
        value = (value << 8) | octet;
    }
    if (pos != text.size())
        return FALSE;
    *address = value;
    return TRUE;
}
