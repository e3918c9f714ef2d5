#include "update/manifest/card_signature.h"
#include <memory>
#include <new>
#include "update/storage/file_reading.h"

namespace {

// The signature file's bytes, at most one more than the longest modulus, and the numbers of
// its check: off the stack, as the device's thread stacks are small.
struct SignatureSpace {
    BYTE signature[kMaxModulusBytes + 1];
    RsaWorkspace rsa;
};

} // namespace

bool BuiltInCardKey(CardKey &key) {
    key = CardKey();
    const HMODULE hModule = GetModuleHandleW(nullptr);
    const HRSRC hResource = FindCardKey(hModule);
    if (!hResource) return false;
    const HGLOBAL hData = LoadResource(hModule, hResource);
    key.pModulus = hData ? static_cast<const BYTE *>(LockResource(hData)) : nullptr;
    key.cbModulus = key.pModulus ? SizeofResource(hModule, hResource) : 0;
    return true;
}

bool SignaturePathIn(LPCWSTR pszCard, WCHAR (&szPath)[kWidePath]) { return JoinPath(szPath, kWidePath, pszCard, kSignatureName); }

bool HasSignature(LPCWSTR pszCard) {
    WCHAR szPath[kWidePath];
    if (!SignaturePathIn(pszCard, szPath)) return false;
    return WhatIsAt(szPath) == PathHolds::kFile;
}

SignatureVerdict VerifySignatureFile(const CardKey &key, LPCWSTR pszSignature, const char *pText, size_t cbText,
                                     unsigned *pnProducts) {
    if (pnProducts) *pnProducts = 0;
    if (!key.pModulus || !IsCardKeyModulus(key.pModulus, key.cbModulus)) return SignatureVerdict::kNoKey;
    std::unique_ptr<SignatureSpace> space(new (std::nothrow) SignatureSpace);
    if (!space) return SignatureVerdict::kNoSignature;   // no memory to check it with: not taken
    size_t cbSignature = 0;
    if (!ReadFileStart(pszSignature, space->signature, key.cbModulus + 1, cbSignature)) return SignatureVerdict::kNoSignature;
    Digest digest;
    CSha256 hash;
    hash.Add(pText, DWORD(cbText));   // a manifest is at most kMaxManifestBytes
    hash.Finish(digest);
    const SignatureVerdict verdict =
        VerifyRsaSha256(key.pModulus, key.cbModulus, space->signature, cbSignature, digest, space->rsa);
    if (pnProducts) *pnProducts = space->rsa.nProducts;
    return verdict;
}
