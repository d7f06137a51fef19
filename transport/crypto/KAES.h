#pragma once
// The AES block cipher, FIPS-197, for 128-, 192- and 256-bit keys. One block at a time;
// input and output may be the same buffer. Chaining, IVs and padding are the caller's.
// Owned by its user (the RMCP+ session holds one per open session). No lock: the owner's
// thread calls it, and a block keeps no state in the object beyond the key schedule, which
// the destructor wipes.
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
    int m_nk; // key words: 4, 6 or 8; 0 when the key length was invalid
    int m_nr; // rounds: 10, 12 or 14; 0 when the key length was invalid
    DWORD m_schedule[Nb * (14 + 1)];
};
