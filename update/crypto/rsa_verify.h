// The check of a maker's RSA signature (RSASSA-PKCS1-v1_5, SHA-256, public exponent 65537),
// in the program's own arithmetic: the device's CryptoAPI offers no SHA-256 signatures, so a
// keyed device verifies with this code, and so does the card maker. The numbers are 32-bit
// limbs multiplied by Montgomery's method, as the device's ARM processor multiplies best.
// Nothing of what the operation gives back is parsed: the result, k bytes, is compared whole
// with the one block a signature of that digest must be.
#pragma once
#include <windows.h>
#include <cstdint>
#include "update/crypto/sha256.h"

constexpr size_t kMinModulusBytes = 256;   // a 2048-bit key
constexpr size_t kMaxModulusBytes = 512;   // a 4096-bit key
constexpr size_t kMaxLimbs = kMaxModulusBytes / 4;

// Whether the cb bytes (big-endian) are a modulus a maker's key may have: 2048, 3072 or 4096
// bits long exactly (the top bit set), and odd.
bool IsCardKeyModulus(const BYTE *pModulus, size_t cb);

enum class SignatureVerdict {
    kGood,              // the signature of that digest by that key
    kWrongLength,       // not exactly as many bytes as the modulus
    kNotBelowModulus,   // as a number, the modulus or above
    kMismatch,          // s^65537 mod n is not the block of that digest
    kNoSignature,       // no signature file to read (missing, a folder, unreadable)
    kNoKey,             // the key is no modulus of a maker's key
};

// What one verification works in: the numbers of a 4096-bit key are 2.5 KiB, more than a
// stack frame of the device may hold, so they live here, allocated once by the caller
// (new (std::nothrow)).
struct RsaWorkspace {
    uint32_t n[kMaxLimbs];            // the modulus, least significant limb first
    uint32_t s[kMaxLimbs];            // the signature as a number
    uint32_t r2[kMaxLimbs];           // R^2 mod n, R = 2^(32 limbs): into Montgomery's form
    uint32_t x[kMaxLimbs];            // the power under way
    uint32_t t[kMaxLimbs + 2];        // one product before its reduction ends
    BYTE block[kMaxModulusBytes];     // s^65537 mod n, k bytes, big-endian
    BYTE expected[kMaxModulusBytes];  // 00 01 FF..FF 00, the DigestInfo of SHA-256, the digest
    unsigned nProducts;               // Montgomery products of the last verification
};

// The 32-bit multiplications of one Montgomery product of numbers of nLimbs limbs: a guide to
// the verification's cost on the device (nProducts of them).
constexpr unsigned long MultiplicationsPerProduct(size_t nLimbs) { return 2ul * nLimbs * nLimbs + nLimbs; }

// Whether the cbSignature bytes are the signature of the digest by the key whose modulus is
// the cbModulus bytes (both big-endian).
SignatureVerdict VerifyRsaSha256(const BYTE *pModulus, size_t cbModulus, const BYTE *pSignature, size_t cbSignature,
                                 const Digest &digest, RsaWorkspace &space);
