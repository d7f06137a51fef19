#pragma once
// The AES block cipher, FIPS-197, for 128-, 192- and 256-bit keys. One block at a time;
// input and output may be the same buffer. Chaining, IVs and padding are the caller's.
// Owned by its user (the RMCP+ session holds one per open session).
#include "platform/Types.h"

class KAES
{
public:
    // keyLength in bytes: 16, 24 or 32.
    KAES(int keyLength, const BYTE* key);
    virtual ~KAES();
    KAES(const KAES&) = delete;
    KAES& operator=(const KAES&) = delete;

    void Encrypt(const BYTE in[16], BYTE out[16]);
    void Decrypt(const BYTE in[16], BYTE out[16]);

private:
    static constexpr int Nb = 4;
    BYTE m_state[16];
    int m_nk;
    int m_nr;
    BYTE m_key[32];
    DWORD m_schedule[Nb * (14 + 1)];
};
