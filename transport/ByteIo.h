#pragma once
// Bounds-checked writer and reader over caller-owned byte buffers. Every field of every
// framing goes through these; a write past the capacity or a read past the end sets a
// sticky failure flag instead of touching memory, so a builder or parser checks Ok() once.
#include "platform/Types.h"

#include <cstddef>
#include <cstring>

class CByteWriter
{
public:
    CByteWriter(BYTE* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    void Put8(BYTE value)
    {
        if (Reserve(1))
            m_buffer[m_size++] = value;
    }
    void PutLe16(WORD value)
    {
        Put8(static_cast<BYTE>(value));
        Put8(static_cast<BYTE>(value >> 8));
    }
    void PutLe32(DWORD value)
    {
        PutLe16(static_cast<WORD>(value));
        PutLe16(static_cast<WORD>(value >> 16));
    }
    void PutBytes(const BYTE* data, std::size_t length)
    {
        if (length && Reserve(length))
        {
            std::memcpy(m_buffer + m_size, data, length);
            m_size += length;
        }
    }
    void PutFill(BYTE value, std::size_t count)
    {
        if (count && Reserve(count))
        {
            std::memset(m_buffer + m_size, value, count);
            m_size += count;
        }
    }
    // Hands out the next count bytes for the caller to fill in place (a cipher writing its
    // output directly); nullptr, and the failure flag set, when they do not fit.
    BYTE* Claim(std::size_t count)
    {
        if (!Reserve(count))
            return nullptr;
        BYTE* place = m_buffer + m_size;
        m_size += count;
        return place;
    }
    // Overwrites a 16-bit little-endian field written earlier (a length known only later).
    void PatchLe16(std::size_t offset, WORD value)
    {
        if (offset + 2 > m_size)
        {
            m_ok = false;
            return;
        }
        m_buffer[offset] = static_cast<BYTE>(value);
        m_buffer[offset + 1] = static_cast<BYTE>(value >> 8);
    }

    std::size_t Size() const { return m_size; }
    bool Ok() const { return m_ok; }
    BYTE* Data() const { return m_buffer; }

private:
    bool Reserve(std::size_t count)
    {
        if (!m_ok || count > m_capacity - m_size)
        {
            m_ok = false;
            return false;
        }
        return true;
    }

    BYTE* m_buffer;
    std::size_t m_capacity;
    std::size_t m_size = 0;
    bool m_ok = true;
};

class CByteReader
{
public:
    CByteReader(const BYTE* data, std::size_t length) : m_data(data), m_length(length) {}

    BYTE Get8()
    {
        if (!Need(1))
            return 0;
        return m_data[m_pos++];
    }
    WORD GetLe16()
    {
        WORD low = Get8();
        WORD high = Get8();
        return static_cast<WORD>(low | high << 8);
    }
    DWORD GetLe32()
    {
        DWORD low = GetLe16();
        DWORD high = GetLe16();
        return low | high << 16;
    }
    void GetBytes(BYTE* out, std::size_t count)
    {
        if (!Need(count))
        {
            std::memset(out, 0, count);
            return;
        }
        std::memcpy(out, m_data + m_pos, count);
        m_pos += count;
    }
    void Skip(std::size_t count)
    {
        if (Need(count))
            m_pos += count;
    }
    // Pointer to the unread bytes (valid while the underlying buffer lives).
    const BYTE* Here() const { return m_data + m_pos; }
    std::size_t Remaining() const { return m_ok ? m_length - m_pos : 0; }
    std::size_t Position() const { return m_pos; }
    bool Ok() const { return m_ok; }
    bool FullyConsumed() const { return m_ok && m_pos == m_length; }

private:
    bool Need(std::size_t count)
    {
        if (!m_ok || count > m_length - m_pos)
        {
            m_ok = false;
            return false;
        }
        return true;
    }

    const BYTE* m_data;
    std::size_t m_length;
    std::size_t m_pos = 0;
    bool m_ok = true;
};
