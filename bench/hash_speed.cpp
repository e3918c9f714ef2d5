// The speed of the program's SHA-256 (update/crypto/sha256.h) against the platform's CNG SHA-256
// (bcrypt.dll: the desktop's and Wine's, which the device lacks; called here only to
// compare). Both hash the same MIB MiB of pseudo-random data in 64 KiB parts, as a copy
// hashes its chunks, ROUNDS times in turn; each one's fastest round counts.
//   hash_speed [MIB] [ROUNDS]       (default 64 MiB, 5 rounds)
// Prints "name value" lines (MB: 10^6 bytes); exit code 0 when both give the same digest.
#include <windows.h>
#include <bcrypt.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "update/crypto/sha256.h"
#include "bench/clock.h"

namespace {

constexpr DWORD kPart = 64 * 1024;

void OwnHash(const std::vector<BYTE> &data, Digest &digest) {
    CSha256 hash;
    for (size_t at = 0; at < data.size(); at += kPart)
        hash.Add(data.data() + at, DWORD(data.size() - at < kPart ? data.size() - at : kPart));
    hash.Finish(digest);
}

bool CngHash(BCRYPT_ALG_HANDLE hAlgorithm, const std::vector<BYTE> &data, Digest &digest) {
    BCRYPT_HASH_HANDLE hHash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(hAlgorithm, &hHash, nullptr, 0, nullptr, 0, 0))) return false;
    bool ok = true;
    for (size_t at = 0; ok && at < data.size(); at += kPart) {
        const ULONG cb = ULONG(data.size() - at < kPart ? data.size() - at : kPart);
        ok = BCRYPT_SUCCESS(BCryptHashData(hHash, const_cast<PUCHAR>(data.data() + at), cb, 0));
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hHash, digest.b, kDigestBytes, 0));
    BCryptDestroyHash(hHash);
    return ok;
}

double MegabytesPerSecond(size_t cb, double ms) { return ms > 0 ? double(cb) / 1e6 / (ms / 1000.0) : 0; }

} // namespace

int wmain(int argc, wchar_t **argv) {
    const int mib = argc >= 2 ? _wtoi(argv[1]) : 64, rounds = argc >= 3 ? _wtoi(argv[2]) : 5;
    if (mib <= 0 || mib > 1024 || rounds <= 0) {
        std::fprintf(stderr, "usage: hash_speed [MIB 1-1024] [ROUNDS]\n");
        return 2;
    }
    std::vector<BYTE> data(size_t(mib) << 20);
    unsigned state = 12345;
    for (BYTE &b : data) b = BYTE((state = state * 1103515245u + 12345u) >> 24);

    BCRYPT_ALG_HANDLE hAlgorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&hAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        std::fprintf(stderr, "hash_speed: the platform has no CNG SHA-256\n");
        return 1;
    }
    double ownMs = 1e300, cngMs = 1e300;
    Digest own = {}, cng = {};
    bool cngOk = true;
    for (int r = 0; r < rounds && cngOk; ++r) {
        LONGLONG t = Now();
        OwnHash(data, own);
        ownMs = std::min(ownMs, Millis(Now() - t));
        t = Now();
        cngOk = CngHash(hAlgorithm, data, cng);
        cngMs = std::min(cngMs, Millis(Now() - t));
    }
    BCryptCloseAlgorithmProvider(hAlgorithm, 0);
    char szOwn[kDigestHex + 1], szCng[kDigestHex + 1];
    DigestToHex(own, szOwn);
    DigestToHex(cng, szCng);
    std::printf("bytes %zu\n", data.size());
    std::printf("rounds %d\n", rounds);
    std::printf("own_mb_s %.1f\n", MegabytesPerSecond(data.size(), ownMs));
    std::printf("cng_mb_s %.1f\n", cngOk ? MegabytesPerSecond(data.size(), cngMs) : 0.0);
    std::printf("own_digest %s\n", szOwn);
    std::printf("cng_digest %s\n", cngOk ? szCng : "-");
    std::printf("same_digest %d\n", cngOk && SameDigest(own, cng) ? 1 : 0);
    return cngOk && SameDigest(own, cng) ? 0 : 1;
}
