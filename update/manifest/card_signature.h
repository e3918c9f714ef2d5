// The maker's signature of a card: the file kSignatureName (update/storage/paths.h) beside the
// manifest, exactly as `openssl dgst -sha256 -sign maker.pem` makes it over the manifest
// file's bytes (RSASSA-PKCS1-v1_5, SHA-256, update/crypto/rsa_verify.h). A device built with its
// maker's public key holds the key's modulus as a resource of the program (made from the
// key at build time by tools/card_key.sh); the card maker's check takes one from a file.
#pragma once
#include <windows.h>
#include "update/manifest/manifest.h"
#include "update/storage/paths.h"
#include "update/crypto/rsa_verify.h"

// A maker's public key: its modulus. The exponent is 65537 in every key a build takes.
struct CardKey {
    const BYTE *pModulus = nullptr;   // big-endian
    size_t cbModulus = 0;
};

// Whether the program was built with its maker's key (res/card_key_build.cpp): decided when it
// is built, never by what it finds when it runs. A build without one applies cards unsigned.
bool IsKeyedBuild();
// The lowest sequence a keyed build takes (cmake -DTESSIVARD_CARD_MIN_SEQUENCE=N), 0 unless
// given: a device made after the maker's older cards refuses them before it took any card.
ULONGLONG LowestSequenceTaken();

// The key a keyed program holds: false when its resource cannot be found, and then no
// signature verifies. A key resource that is no maker's modulus is a key all the same, one
// that verifies no signature either.
bool BuiltInCardKey(CardKey &key);
// update/seams/seam_card_key.cpp: the key's resource in the program hModule, null when none.
HRSRC FindCardKey(HMODULE hModule);

// The signature's path in the card folder; false when it does not fit.
bool SignaturePathIn(LPCWSTR pszCard, WCHAR (&szPath)[kWidePath]);
// Whether the card folder holds a signature file (a folder of that name is none).
bool HasSignature(LPCWSTR pszCard);

// The verdict on the signature file for the manifest's bytes: the file must hold exactly as
// many bytes as the key's modulus (at most one more is read, whatever its size). The number
// of Montgomery products the check took goes to *pnProducts.
SignatureVerdict VerifySignatureFile(const CardKey &key, LPCWSTR pszSignature, const char *pText, size_t cbText,
                                     unsigned *pnProducts = nullptr);

// The check a manifest's bytes pass when read (update/manifest/manifest.h): signed by the key.
class CSignatureCheck : public IManifestCheck {
public:
    CSignatureCheck(const CardKey &key, LPCWSTR pszSignature) : m_key(key), m_pszSignature(pszSignature) {}
    bool Accepts(const char *pText, size_t cbText) override {
        m_verdict = VerifySignatureFile(m_key, m_pszSignature, pText, cbText);
        return m_verdict == SignatureVerdict::kGood;
    }
    SignatureVerdict Verdict() const { return m_verdict; }

private:
    CardKey m_key;                  // the maker's
    LPCWSTR m_pszSignature;         // the signature file, the caller's while the check lasts
    SignatureVerdict m_verdict = SignatureVerdict::kNoSignature;   // of the last bytes checked
};
