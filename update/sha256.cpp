#include "update/sha256.h"
#include <bcrypt.h>
#include "update/seams.h"

namespace {

// The calls the hashes need, found once in the library, and the one SHA-256 provider every
// hash of the process shares (the platform lets threads share it).
struct HashLibrary {
    decltype(&BCryptCreateHash) pCreate = nullptr;
    decltype(&BCryptHashData) pHashData = nullptr;
    decltype(&BCryptFinishHash) pFinish = nullptr;
    decltype(&BCryptDestroyHash) pDestroy = nullptr;
    BCRYPT_ALG_HANDLE hAlgorithm = nullptr;   // null: no hashing on this platform
};

HashLibrary g_library;
INIT_ONCE g_loaded = INIT_ONCE_STATIC_INIT;

template <typename F>
bool Resolve(HMODULE hModule, const char *pszName, F &pFunction) {
    pFunction = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszName)));
    return pFunction != nullptr;
}

BOOL CALLBACK LoadOnce(PINIT_ONCE, PVOID, PVOID *) {
    const HMODULE hModule = LoadHashLibrary();
    if (!hModule) return TRUE;
    decltype(&BCryptOpenAlgorithmProvider) pOpen = nullptr;
    HashLibrary library;
    if (Resolve(hModule, "BCryptOpenAlgorithmProvider", pOpen) && Resolve(hModule, "BCryptCreateHash", library.pCreate) &&
        Resolve(hModule, "BCryptHashData", library.pHashData) && Resolve(hModule, "BCryptFinishHash", library.pFinish) &&
        Resolve(hModule, "BCryptDestroyHash", library.pDestroy) &&
        BCRYPT_SUCCESS(pOpen(&library.hAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        g_library = library;
    return TRUE;
}

const HashLibrary &Library() {
    InitOnceExecuteOnce(&g_loaded, LoadOnce, nullptr, nullptr);
    return g_library;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

CSha256::CSha256() {
    const HashLibrary &library = Library();
    BCRYPT_HASH_HANDLE hHash = nullptr;
    m_bFailed = !library.hAlgorithm || !BCRYPT_SUCCESS(library.pCreate(library.hAlgorithm, &hHash, nullptr, 0, nullptr, 0, 0));
    m_hHash = m_bFailed ? nullptr : hHash;
}

CSha256::~CSha256() {
    if (m_hHash) Library().pDestroy(m_hHash);
}

void CSha256::Add(const void *pData, DWORD cbData) {
    if (m_bFailed || cbData == 0) return;
    PUCHAR pBytes = static_cast<PUCHAR>(const_cast<void *>(pData));
    if (!BCRYPT_SUCCESS(Library().pHashData(m_hHash, pBytes, cbData, 0))) m_bFailed = true;
}

bool CSha256::Finish(Digest &digest) {
    memset(digest.b, 0, kDigestBytes);
    if (m_bFailed || !BCRYPT_SUCCESS(Library().pFinish(m_hHash, digest.b, kDigestBytes, 0))) m_bFailed = true;
    if (m_bFailed) memset(digest.b, 0, kDigestBytes);
    return !m_bFailed;
}

bool HashRest(HANDLE hFile, BYTE *pChunk, DWORD cbChunk, Digest &digest) {
    CSha256 hash;
    for (;;) {
        DWORD got = 0;
        if (!FsRead(hFile, pChunk, cbChunk, &got)) return false;
        if (got == 0) break;
        hash.Add(pChunk, got);
    }
    return hash.Finish(digest);
}

void DigestToHex(const Digest &digest, char (&szHex)[kDigestHex + 1]) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < kDigestBytes; ++i) {
        szHex[2 * i] = kDigits[digest.b[i] >> 4];
        szHex[2 * i + 1] = kDigits[digest.b[i] & 15];
    }
    szHex[kDigestHex] = '\0';
}

bool DigestFromHex(const char *pszHex, size_t cch, Digest &digest) {
    if (cch != kDigestHex) return false;
    for (size_t i = 0; i < kDigestBytes; ++i) {
        const int high = HexValue(pszHex[2 * i]), low = HexValue(pszHex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest.b[i] = BYTE(high << 4 | low);
    }
    return true;
}
