// SHA-256 by the platform's own cryptography (the CNG hash calls of bcrypt.dll). The library
// is loaded the first time a hash is needed, so that the program starts and applies a card
// without a manifest where the library is missing; there, every hash fails, and a card with
// a manifest is not applied (update/whole_card.h). Safe to use from several threads at once.
#pragma once
#include <windows.h>

constexpr size_t kDigestBytes = 32;
constexpr size_t kDigestHex = 2 * kDigestBytes;   // its lower-case hexadecimal form

struct Digest {
    BYTE b[kDigestBytes];   // the hash, first byte first
};

inline bool SameDigest(const Digest &a, const Digest &b) { return memcmp(a.b, b.b, kDigestBytes) == 0; }

// One hash over bytes given in parts.
class CSha256 {
public:
    CSha256();   // begins; Failed() at once when the platform cannot hash
    ~CSha256();
    CSha256(const CSha256 &) = delete;
    CSha256 &operator=(const CSha256 &) = delete;

    void Add(const void *pData, DWORD cbData);
    // The digest of everything added; false when any part could not be hashed. Once.
    bool Finish(Digest &digest);
    bool Failed() const { return m_bFailed; }

private:
    void *m_hHash = nullptr;   // the platform's hash object
    bool m_bFailed = false;    // a call failed: no digest
};

// The digest of what the open file holds from its current position to its end, read through
// the buffer; false when it cannot be read or hashed.
bool HashRest(HANDLE hFile, BYTE *pChunk, DWORD cbChunk, Digest &digest);

// Lower-case hexadecimal, NUL-terminated; and back (exactly kDigestHex hex digits, either case).
void DigestToHex(const Digest &digest, char (&szHex)[kDigestHex + 1]);
bool DigestFromHex(const char *pszHex, size_t cch, Digest &digest);
