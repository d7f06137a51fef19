#pragma once
// The hive file: a key with its subtree as a self-contained, versioned file with a checksum,
// written by RegSaveKey and read by RegRestoreKey. Encoding and decoding are pure functions
// over bytes; the decoder accepts only a file that is whole and well formed, so a restore
// never starts on damaged input. The layout is in docs/registry.md and RegistryFile.cpp.
#include "platform/Types.h"

#include <cstddef>
#include <string>
#include <vector>

constexpr DWORD HIVE_FILE_VERSION = 1;
constexpr DWORD HIVE_NO_PARENT = 0xFFFFFFFF;
// Refuse to read larger files: the console's keys are a few kilobytes.
constexpr std::size_t HIVE_FILE_MAX_SIZE = 64u * 1024u * 1024u;

struct tagHIVE_VALUE
{
    std::string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct tagHIVE_KEY
{
    std::string name;
    // Index of the parent in tagHIVE_IMAGE::keys, always lower than the key's own;
    // HIVE_NO_PARENT for the first key, the saved key itself.
    DWORD parent = HIVE_NO_PARENT;
    std::vector<tagHIVE_VALUE> values;
};

struct tagHIVE_IMAGE
{
    std::vector<tagHIVE_KEY> keys;
};

std::vector<BYTE> EncodeHiveFile(const tagHIVE_IMAGE& image);
// Checks the frame (magic, version, length, checksum), then every record: parents before
// children, names valid and unique among siblings (ASCII case folded), REG_DWORD and
// REG_QWORD of their size, and no bytes left over. On failure the reason says what was wrong.
BOOL DecodeHiveFile(const BYTE* data, std::size_t size, tagHIVE_IMAGE& image, std::string& reason);
// Levels below the first key (0 for a key without subkeys).
DWORD HiveImageDepth(const tagHIVE_IMAGE& image);

// CRC-32 as in ISO/IEC 3309 and IEEE 802.3 (reflected polynomial 0xEDB88320); also the
// checksum of the secrets file.
DWORD Crc32(const BYTE* data, std::size_t size);

// ASCII case-folded comparison, the registry's rule for key and value names.
BOOL NamesEqual(const std::string& a, const std::string& b);
