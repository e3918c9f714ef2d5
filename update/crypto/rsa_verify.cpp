#include "update/crypto/rsa_verify.h"
#include <cstring>

namespace {

// The DigestInfo that names SHA-256 in a PKCS #1 v1.5 signature, the digest's 32 bytes after it.
const BYTE kSha256DigestInfo[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                  0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

// Big-endian bytes into limbs, least significant first.
void ToLimbs(const BYTE *p, size_t cb, uint32_t *limbs) {
    for (size_t i = 0; i < cb / 4; ++i) {
        const BYTE *q = p + cb - 4 * (i + 1);
        limbs[i] = uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
    }
}

void ToBytes(const uint32_t *limbs, size_t nLimbs, BYTE *p) {
    for (size_t i = 0; i < nLimbs; ++i) {
        BYTE *q = p + 4 * (nLimbs - 1 - i);
        q[0] = BYTE(limbs[i] >> 24), q[1] = BYTE(limbs[i] >> 16), q[2] = BYTE(limbs[i] >> 8), q[3] = BYTE(limbs[i]);
    }
}

// a >= b, both of nLimbs limbs.
bool NotBelow(const uint32_t *a, const uint32_t *b, size_t nLimbs) {
    for (size_t i = nLimbs; i-- > 0;)
        if (a[i] != b[i]) return a[i] > b[i];
    return true;
}

// a -= b over nLimbs limbs; the borrow out.
uint32_t Subtract(uint32_t *a, const uint32_t *b, size_t nLimbs) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < nLimbs; ++i) {
        const uint64_t d = uint64_t(a[i]) - b[i] - borrow;
        a[i] = uint32_t(d);
        borrow = (d >> 32) & 1;
    }
    return uint32_t(borrow);
}

// -n^-1 mod 2^32 for odd n0, by Newton's steps: each doubles the bits that are right.
uint32_t NegativeInverse(uint32_t n0) {
    uint32_t x = n0;   // right in 3 bits: n0 * n0 = 1 mod 8
    for (int i = 0; i < 4; ++i) x *= 2 - n0 * x;
    return 0u - x;
}

// R^2 mod n, R = 2^(32 nLimbs), by doublings: R mod n is R - n (n has its top bit set), and
// each of 32 nLimbs doublings, reduced, multiplies it by 2. Additions only.
void MontgomerySquareOfR(RsaWorkspace &w, size_t nLimbs) {
    uint32_t *r = w.r2;
    for (size_t i = 0; i < nLimbs; ++i) r[i] = 0;
    Subtract(r, w.n, nLimbs);   // 0 - n = R - n
    for (size_t bit = 0; bit < 32 * nLimbs; ++bit) {
        uint32_t carry = 0;
        for (size_t i = 0; i < nLimbs; ++i) {
            const uint32_t top = r[i] >> 31;
            r[i] = r[i] << 1 | carry;
            carry = top;
        }
        if (carry || NotBelow(r, w.n, nLimbs)) Subtract(r, w.n, nLimbs);
    }
}

// out = a b R^-1 mod n (a, b < n), by Montgomery's product, coarsely integrated: each limb of
// b is multiplied in and one limb reduced away. out may be a or b.
void MontgomeryProduct(RsaWorkspace &w, uint32_t *out, const uint32_t *a, const uint32_t *b, size_t nLimbs,
                       uint32_t nInverse) {
    uint32_t *t = w.t;
    for (size_t j = 0; j < nLimbs + 2; ++j) t[j] = 0;
    for (size_t i = 0; i < nLimbs; ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < nLimbs; ++j) {
            const uint64_t sum = uint64_t(a[j]) * b[i] + t[j] + carry;
            t[j] = uint32_t(sum);
            carry = sum >> 32;
        }
        uint64_t sum = uint64_t(t[nLimbs]) + carry;
        t[nLimbs] = uint32_t(sum);
        t[nLimbs + 1] = uint32_t(sum >> 32);

        const uint32_t m = t[0] * nInverse;   // makes the lowest limb 0
        carry = (uint64_t(m) * w.n[0] + t[0]) >> 32;
        for (size_t j = 1; j < nLimbs; ++j) {
            sum = uint64_t(m) * w.n[j] + t[j] + carry;
            t[j - 1] = uint32_t(sum);
            carry = sum >> 32;
        }
        sum = uint64_t(t[nLimbs]) + carry;
        t[nLimbs - 1] = uint32_t(sum);
        t[nLimbs] = t[nLimbs + 1] + uint32_t(sum >> 32);
    }
    // t < 2n: one subtraction at most.
    if (t[nLimbs] || NotBelow(t, w.n, nLimbs)) Subtract(t, w.n, nLimbs);
    for (size_t j = 0; j < nLimbs; ++j) out[j] = t[j];
    ++w.nProducts;
}

// The block a SHA-256 signature of the digest must give back, k bytes.
void ExpectedBlock(const Digest &digest, size_t k, BYTE *p) {
    const size_t cbPadding = k - 3 - sizeof kSha256DigestInfo - kDigestBytes;
    p[0] = 0x00, p[1] = 0x01;
    memset(p + 2, 0xFF, cbPadding);
    p[2 + cbPadding] = 0x00;
    memcpy(p + 3 + cbPadding, kSha256DigestInfo, sizeof kSha256DigestInfo);
    memcpy(p + 3 + cbPadding + sizeof kSha256DigestInfo, digest.b, kDigestBytes);
}

} // namespace

bool IsCardKeyModulus(const BYTE *pModulus, size_t cb) {
    return (cb == 256 || cb == 384 || cb == 512) && (pModulus[0] & 0x80) && (pModulus[cb - 1] & 1);
}

SignatureVerdict VerifyRsaSha256(const BYTE *pModulus, size_t cbModulus, const BYTE *pSignature, size_t cbSignature,
                                 const Digest &digest, RsaWorkspace &space) {
    space.nProducts = 0;
    if (!IsCardKeyModulus(pModulus, cbModulus)) return SignatureVerdict::kNoKey;
    if (cbSignature != cbModulus) return SignatureVerdict::kWrongLength;
    // Of equal length, big-endian: compared as numbers.
    if (memcmp(pSignature, pModulus, cbModulus) >= 0) return SignatureVerdict::kNotBelowModulus;

    const size_t nLimbs = cbModulus / 4;
    ToLimbs(pModulus, cbModulus, space.n);
    ToLimbs(pSignature, cbSignature, space.s);
    const uint32_t nInverse = NegativeInverse(space.n[0]);
    MontgomerySquareOfR(space, nLimbs);

    // x = s R, squared 16 times: s^65536 R; times s without R: s^65537, out of the form.
    MontgomeryProduct(space, space.x, space.s, space.r2, nLimbs, nInverse);
    for (int i = 0; i < 16; ++i) MontgomeryProduct(space, space.x, space.x, space.x, nLimbs, nInverse);
    MontgomeryProduct(space, space.x, space.x, space.s, nLimbs, nInverse);

    ToBytes(space.x, nLimbs, space.block);
    ExpectedBlock(digest, cbModulus, space.expected);
    BYTE difference = 0;   // every byte compared, whatever an early one showed
    for (size_t i = 0; i < cbModulus; ++i) difference |= BYTE(space.block[i] ^ space.expected[i]);
    return difference == 0 ? SignatureVerdict::kGood : SignatureVerdict::kMismatch;
}
