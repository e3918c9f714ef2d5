// The time the program's check of a maker's signature takes (update/crypto/rsa_verify.h), for each
// key size the device takes, on the good signatures the build made with openssl
// (build/tests/signatures, tests/signature_reference.sh): ROUNDS checks of each, the
// fastest and the median; and the work of one check, in Montgomery products and in 32-bit
// multiplications, a guide to its cost on the device's ARM processor.
//   signature_speed [ROUNDS]       (default 200)
// Prints one line a key size; exit code 0 when every check found its signature good.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>
#include "bench/clock.h"
#include "platform/file_handle.h"
#include "update/crypto/rsa_verify.h"

namespace {

// The build's reference folder, beside this program's folder (build/bench).
std::wstring Reference(const wchar_t *pszName) {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\'));
    path.resize(path.find_last_of(L'\\') + 1);
    return path + L"tests\\signatures\\" + pszName;
}

std::vector<BYTE> Bytes(const std::wstring &path) {
    std::vector<BYTE> bytes;
    CFileHandle file(OpenToRead(path.c_str()));
    BYTE chunk[4096];
    DWORD got = 0;
    while (file.IsOpen() && ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got) bytes.insert(bytes.end(), chunk, chunk + got);
    return bytes;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    const int rounds = argc >= 2 ? _wtoi(argv[1]) : 200;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: signature_speed [ROUNDS]\n");
        return 2;
    }
    std::unique_ptr<RsaWorkspace> space(new (std::nothrow) RsaWorkspace);
    if (!space) return 1;
    bool allGood = true;
    for (const wchar_t *pszKey : {L"maker", L"k3072", L"k4096"}) {
        const std::wstring key = pszKey;
        const std::vector<BYTE> modulus = Bytes(Reference((key + L"\\card_key.bin").c_str()));
        const std::vector<BYTE> signature = Bytes(Reference((key + L".sig").c_str()));
        const std::vector<BYTE> manifest = Bytes(Reference((key + L".m").c_str()));
        if (modulus.empty() || signature.empty() || manifest.empty()) {
            std::fprintf(stderr, "signature_speed: no reference for %ls: build the tests first\n", pszKey);
            return 1;
        }
        Digest digest;
        CSha256 hash;
        hash.Add(manifest.data(), DWORD(manifest.size()));
        hash.Finish(digest);
        std::vector<double> ms;
        for (int r = 0; r < rounds; ++r) {
            const LONGLONG t = Now();
            allGood = VerifyRsaSha256(modulus.data(), modulus.size(), signature.data(), signature.size(), digest, *space) ==
                          SignatureVerdict::kGood && allGood;
            ms.push_back(Millis(Now() - t));
        }
        std::sort(ms.begin(), ms.end());
        const size_t nLimbs = modulus.size() / 4;
        std::printf("rsa_%zu fastest_ms %.3f median_ms %.3f products %u multiplications_32bit %lu\n", modulus.size() * 8,
                    ms.front(), ms[ms.size() / 2], space->nProducts, space->nProducts * MultiplicationsPerProduct(nLimbs));
    }
    return allGood ? 0 : 1;
}
