// SHA-256 (FIPS 180-4), computed by the program's own code: the device's platform has no
// hash calls to lend, and the card maker links the same code, so a card is hashed alike on
// both sides. A hash is a small object on its caller's stack and shares nothing with
// another: threads hash side by side.
#pragma once
#include <windows.h>
#include <cstdint>

constexpr size_t kDigestBytes = 32;
constexpr size_t kDigestHex = 2 * kDigestBytes;   // its lower-case hexadecimal form

struct Digest {
    BYTE b[kDigestBytes];   // the hash, first byte first
};

inline bool SameDigest(const Digest &a, const Digest &b) { return memcmp(a.b, b.b, kDigestBytes) == 0; }

// One hash over bytes given in parts of any size.
class CSha256 {
public:
    CSha256();

    void Add(const void *pData, DWORD cbData);
    // The digest of everything added. Once: the hash is spent afterwards.
    void Finish(Digest &digest);

private:
    static constexpr size_t kBlock = 64;   // bytes the compression takes at a time

    void Compress(const BYTE *pBlock);

    uint32_t m_state[8];         // the hash of the whole blocks so far
    BYTE m_block[kBlock];        // the start of the next block, not yet full
    size_t m_cbBlock = 0;        // how much of it is filled
    uint64_t m_cbTotal = 0;      // every byte added: the length the padding ends with
};
// The device's threads have 64 KiB stacks, and the copy keeps a hash on each.
static_assert(sizeof(CSha256) <= 128);

// Lower-case hexadecimal, NUL-terminated; and back (exactly kDigestHex hex digits, either case).
void DigestToHex(const Digest &digest, char (&szHex)[kDigestHex + 1]);
bool DigestFromHex(const char *pszHex, size_t cch, Digest &digest);
