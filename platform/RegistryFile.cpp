#include "platform/RegistryFile.h"

#include "platform/RegistryTypes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <utility>

// Hive file, version 1. Integers are little-endian.
//
//   offset  size  field
//   0       8     magic "VXHIVE\r\n" (the CR LF shows up damage from text-mode copies)
//   8       4     format version, 1
//   12      4     key count, at least 1
//   16      4     payload length n
//   20      n     key records, the saved key first, every parent before its children
//   20+n    4     CRC-32 of bytes 0 .. 20+n-1
//
// Key record:
//   4   parent index (HIVE_NO_PARENT for the first record only)
//   2   name length, then the name (the first key's name is informational: a restore keeps
//       the name of the key it restores into)
//   4   value count, then per value:
//       2  name length, then the name ("" is the key's default value)
//       4  type
//       4  data length, then the data, stored exactly as it was written

namespace
{

constexpr BYTE HIVE_MAGIC[8] = {'V', 'X', 'H', 'I', 'V', 'E', '\r', '\n'};
constexpr std::size_t HEADER_SIZE = 20;
constexpr std::size_t TRAILER_SIZE = 4;

class CWriter
{
public:
    void Bytes(const void* data, std::size_t size)
    {
        const BYTE* p = static_cast<const BYTE*>(data);
        m_out.insert(m_out.end(), p, p + size);
    }
    void U16(DWORD v)
    {
        m_out.push_back(static_cast<BYTE>(v));
        m_out.push_back(static_cast<BYTE>(v >> 8));
    }
    void U32(DWORD v)
    {
        for (int shift = 0; shift < 32; shift += 8)
            m_out.push_back(static_cast<BYTE>(v >> shift));
    }
    void Name(const std::string& name)
    {
        U16(static_cast<DWORD>(name.size()));
        Bytes(name.data(), name.size());
    }
    std::vector<BYTE>& Out() { return m_out; }

private:
    std::vector<BYTE> m_out;
};

// Bounds-checked reader with a sticky failure flag.
class CReader
{
public:
    CReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    BOOL Ok() const { return m_ok; }
    BOOL AtEnd() const { return m_pos == m_size; }
    DWORD U16() { return Take(2) ? DWORD(m_data[m_pos - 2]) | DWORD(m_data[m_pos - 1]) << 8 : 0; }
    DWORD U32()
    {
        if (!Take(4))
            return 0;
        const BYTE* p = m_data + m_pos - 4;
        return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
    }
    BOOL Text(std::size_t size, std::string& out)
    {
        if (!Take(size))
            return FALSE;
        out.assign(reinterpret_cast<const char*>(m_data + m_pos - size), size);
        return TRUE;
    }
    BOOL Blob(std::size_t size, std::vector<BYTE>& out)
    {
        if (!Take(size))
            return FALSE;
        out.assign(m_data + m_pos - size, m_data + m_pos);
        return TRUE;
    }

private:
    BOOL Take(std::size_t size)
    {
        if (!m_ok || size > m_size - m_pos)
        {
            m_ok = FALSE;
            return FALSE;
        }
        m_pos += size;
        return TRUE;
    }

    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    BOOL m_ok = TRUE;
};

std::array<DWORD, 256> MakeCrcTable()
{
    std::array<DWORD, 256> table{};
    for (DWORD n = 0; n < 256; ++n)
    {
        DWORD c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

DWORD ReadU32(const BYTE* p)
{
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

std::string Folded(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

BOOL CheckKeyName(const std::string& name, BOOL first, std::string& reason)
{
    if (name.size() > REG_MAX_KEY_NAME)
        reason = "key name longer than 255 bytes";
    else if (!first && name.empty())
        reason = "empty key name";
    else if (name.find('\\') != std::string::npos)
        reason = "key name contains a backslash";
    else if (name.find('\0') != std::string::npos)
        reason = "key name contains a NUL byte";
    else
        return TRUE;
    return FALSE;
}

BOOL CheckValue(const tagHIVE_VALUE& value, std::string& reason)
{
    if (value.name.size() > REG_MAX_VALUE_NAME)
        reason = "value name too long";
    else if (value.name.find('\0') != std::string::npos)
        reason = "value name contains a NUL byte";
    else if (value.type == REG_DWORD && value.data.size() != 4)
        reason = "REG_DWORD value '" + value.name + "' is not 4 bytes";
    else if (value.type == REG_QWORD && value.data.size() != 8)
        reason = "REG_QWORD value '" + value.name + "' is not 8 bytes";
    else
        return TRUE;
    return FALSE;
}

BOOL DecodeKey(CReader& reader, DWORD index, tagHIVE_KEY& key, std::string& reason)
{
    key.parent = reader.U32();
    DWORD nameLength = reader.U16();
    if (!reader.Text(nameLength, key.name))
    {
        reason = "truncated key record";
        return FALSE;
    }
    if (index == 0 ? key.parent != HIVE_NO_PARENT : key.parent >= index)
    {
        reason = "key record " + std::to_string(index) + " has a bad parent index";
        return FALSE;
    }
    if (!CheckKeyName(key.name, index == 0, reason))
        return FALSE;
    DWORD valueCount = reader.U32();
    if (!reader.Ok())
    {
        reason = "truncated key record";
        return FALSE;
    }
    std::set<std::string> names;
    for (DWORD v = 0; v < valueCount; ++v)
    {
        tagHIVE_VALUE value;
        DWORD valueNameLength = reader.U16();
        reader.Text(valueNameLength, value.name);
        value.type = reader.U32();
        DWORD dataLength = reader.U32();
        if (!reader.Blob(dataLength, value.data))
        {
            reason = "truncated value record";
            return FALSE;
        }
        if (!CheckValue(value, reason))
            return FALSE;
        if (!names.insert(Folded(value.name)).second)
        {
            reason = "duplicate value name '" + value.name + "'";
            return FALSE;
        }
        key.values.push_back(std::move(value));
    }
    return TRUE;
}

} // namespace

DWORD Crc32(const BYTE* data, std::size_t size)
{
    static const std::array<DWORD, 256> table = MakeCrcTable();
    DWORD crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

BOOL NamesEqual(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && Folded(a) == Folded(b);
}

std::vector<BYTE> EncodeHiveFile(const tagHIVE_IMAGE& image)
{
    CWriter payload;
    for (const tagHIVE_KEY& key : image.keys)
    {
        payload.U32(key.parent);
        payload.Name(key.name);
        payload.U32(static_cast<DWORD>(key.values.size()));
        for (const tagHIVE_VALUE& value : key.values)
        {
            payload.Name(value.name);
            payload.U32(value.type);
            payload.U32(static_cast<DWORD>(value.data.size()));
            payload.Bytes(value.data.data(), value.data.size());
        }
    }
    CWriter file;
    file.Bytes(HIVE_MAGIC, sizeof HIVE_MAGIC);
    file.U32(HIVE_FILE_VERSION);
    file.U32(static_cast<DWORD>(image.keys.size()));
    file.U32(static_cast<DWORD>(payload.Out().size()));
    file.Bytes(payload.Out().data(), payload.Out().size());
    file.U32(Crc32(file.Out().data(), file.Out().size()));
    return std::move(file.Out());
}

BOOL DecodeHiveFile(const BYTE* data, std::size_t size, tagHIVE_IMAGE& image, std::string& reason)
{
    image.keys.clear();
    if (size < HEADER_SIZE + TRAILER_SIZE)
    {
        reason = "file too short to be a hive file";
        return FALSE;
    }
    if (std::memcmp(data, HIVE_MAGIC, sizeof HIVE_MAGIC) != 0)
    {
        reason = "not a hive file (bad magic)";
        return FALSE;
    }
    DWORD version = ReadU32(data + 8);
    if (version != HIVE_FILE_VERSION)
    {
        reason = "unsupported hive file version " + std::to_string(version);
        return FALSE;
    }
    DWORD keyCount = ReadU32(data + 12);
    DWORD payloadLength = ReadU32(data + 16);
    if (std::size_t(payloadLength) != size - HEADER_SIZE - TRAILER_SIZE)
    {
        reason = "hive file length does not match its header (truncated or extended)";
        return FALSE;
    }
    if (Crc32(data, size - TRAILER_SIZE) != ReadU32(data + size - TRAILER_SIZE))
    {
        reason = "hive file checksum mismatch";
        return FALSE;
    }
    // Each key record takes at least 10 bytes, which bounds the count before reserving.
    if (keyCount == 0 || keyCount > payloadLength / 10)
    {
        reason = "bad key count " + std::to_string(keyCount);
        return FALSE;
    }

    CReader reader(data + HEADER_SIZE, payloadLength);
    std::set<std::pair<DWORD, std::string>> siblings;
    image.keys.reserve(keyCount);
    for (DWORD index = 0; index < keyCount; ++index)
    {
        tagHIVE_KEY key;
        if (!DecodeKey(reader, index, key, reason))
        {
            image.keys.clear();
            return FALSE;
        }
        if (index > 0 && !siblings.emplace(key.parent, Folded(key.name)).second)
        {
            reason = "duplicate key name '" + key.name + "'";
            image.keys.clear();
            return FALSE;
        }
        image.keys.push_back(std::move(key));
    }
    if (!reader.Ok() || !reader.AtEnd())
    {
        reason = "bytes left over after the last key record";
        image.keys.clear();
        return FALSE;
    }
    return TRUE;
}

DWORD HiveImageDepth(const tagHIVE_IMAGE& image)
{
    std::vector<DWORD> depth(image.keys.size(), 0);
    DWORD deepest = 0;
    for (std::size_t i = 1; i < image.keys.size(); ++i)
    {
        depth[i] = depth[image.keys[i].parent] + 1;
        deepest = std::max(deepest, depth[i]);
    }
    return deepest;
}
