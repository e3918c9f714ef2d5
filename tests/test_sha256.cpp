// SHA-256 against digests it did not compute: NIST's examples, and the Linux machine's own
// sha256sum over pseudo-random data (tests/sha256_reference.sh, run by the build). Every
// message is also given in parts of odd sizes, as a copy's chunks and a file's reads give it.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>
#include "device_files.h"
#include "test_support.h"
#include "update/crypto/sha256.h"
#include "update/storage/file_reading.h"

namespace {

std::string Hex(const Digest &digest) {
    char sz[kDigestHex + 1];
    DigestToHex(digest, sz);
    return sz;
}

// The digest of the bytes given in parts of these sizes, in turn and over again (none: all
// at once).
std::string HashInParts(const char *p, size_t cb, const std::vector<size_t> &parts = {}) {
    CSha256 hash;
    for (size_t at = 0, i = 0; at < cb; ++i) {
        const size_t part = parts.empty() ? cb : std::min(parts[i % parts.size()], cb - at);
        hash.Add(p + at, DWORD(part));
        at += part;
    }
    Digest digest;
    hash.Finish(digest);
    return Hex(digest);
}

std::string HashOf(const std::string &bytes, const std::vector<size_t> &parts = {}) {
    return HashInParts(bytes.data(), bytes.size(), parts);
}

// Sizes that fall on every side of a block's 64 bytes, an empty part among them.
const std::vector<size_t> kOddParts = {3, 61, 0, 5, 67, 127, 1, 64, 63};

TEST(Sha256, NistExamples) {
    EXPECT_EQ(HashOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HashOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HashOf("abc", {1}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string m448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string m896 = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
                             "nopqrsmnopqrstnopqrstu";
    ASSERT_EQ(m448.size() * 8, 448u);
    ASSERT_EQ(m896.size() * 8, 896u);
    for (const std::vector<size_t> &parts : {std::vector<size_t>{}, std::vector<size_t>{1}, kOddParts}) {
        EXPECT_EQ(HashOf(m448, parts), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        EXPECT_EQ(HashOf(m896, parts), "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    }
    const std::string million(1000000, 'a');
    for (const std::vector<size_t> &parts : {std::vector<size_t>{}, std::vector<size_t>{1000}, kOddParts})
        EXPECT_EQ(HashOf(million, parts), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, DigestsInHexadecimalAndBack) {
    Digest digest = {}, back;
    for (size_t i = 0; i < kDigestBytes; ++i) digest.b[i] = BYTE(i * 37 + 11);
    const std::string hex = Hex(digest);
    EXPECT_EQ(hex.substr(0, 8), "0b30557a");
    ASSERT_TRUE(DigestFromHex(hex.c_str(), kDigestHex, back));
    EXPECT_TRUE(SameDigest(digest, back));
    std::string upper = hex;
    for (char &c : upper) c = char(toupper(c));
    ASSERT_TRUE(DigestFromHex(upper.c_str(), kDigestHex, back)) << "either case";
    EXPECT_TRUE(SameDigest(digest, back));
    back.b[31] ^= 1;
    EXPECT_FALSE(SameDigest(digest, back));
    EXPECT_FALSE(DigestFromHex("ba78", 4, back));
    EXPECT_FALSE(DigestFromHex(hex.c_str(), kDigestHex - 1, back));
    std::string bad = hex;
    bad[40] = 'g';
    EXPECT_FALSE(DigestFromHex(bad.c_str(), kDigestHex, back));
}

// A piece of the reference data and sha256sum's digest of it.
struct Piece {
    size_t offset = 0, length = 0;
    std::string digest;
};

class AgainstSha256sum : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        data = Content(BuildPath(L"tests\\sha256\\data.bin"));
        std::istringstream lines(Content(BuildPath(L"tests\\sha256\\digests.txt")));
        for (Piece piece; lines >> piece.offset >> piece.length >> piece.digest;) pieces.push_back(piece);
    }
    void SetUp() override {
        ASSERT_FALSE(pieces.empty()) << "no reference: build the target sha256_reference";
        for (const Piece &piece : pieces) ASSERT_LE(piece.offset + piece.length, data.size());
    }
    static const char *At(const Piece &piece) { return data.data() + piece.offset; }

    static inline std::string data;            // tests/sha256/data.bin
    static inline std::vector<Piece> pieces;   // tests/sha256/digests.txt
};

TEST_F(AgainstSha256sum, EveryLengthUpTo300Bytes) {
    std::vector<bool> seen(301);
    for (const Piece &piece : pieces) {
        if (piece.length > 300) continue;
        seen[piece.length] = true;
        SCOPED_TRACE(testing::Message() << piece.length << " bytes");
        EXPECT_EQ(HashInParts(At(piece), piece.length), piece.digest) << "at once";
        EXPECT_EQ(HashInParts(At(piece), piece.length, {1}), piece.digest) << "byte by byte";
        EXPECT_EQ(HashInParts(At(piece), piece.length, kOddParts), piece.digest);
        // In two parts, split at every byte.
        for (size_t split = 1; split < piece.length; ++split) {
            CSha256 hash;
            hash.Add(At(piece), DWORD(split));
            hash.Add(At(piece) + split, DWORD(piece.length - split));
            Digest digest;
            hash.Finish(digest);
            if (Hex(digest) != piece.digest) {
                ADD_FAILURE() << "split after " << split << " bytes";
                break;
            }
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 301) << "the reference lists every length";
}

TEST_F(AgainstSha256sum, MegabytesInOddParts) {
    int nLarge = 0;
    for (const Piece &piece : pieces) {
        if (piece.length < 1000000) continue;
        ++nLarge;
        SCOPED_TRACE(testing::Message() << piece.length << " bytes from " << piece.offset);
        EXPECT_EQ(HashInParts(At(piece), piece.length), piece.digest) << "at once";
        EXPECT_EQ(HashInParts(At(piece), piece.length, kOddParts), piece.digest);
        EXPECT_EQ(HashInParts(At(piece), piece.length, {65537, 4093, 1}), piece.digest);
        EXPECT_EQ(HashInParts(At(piece), piece.length, {64 * 1024}), piece.digest) << "a copy's chunks";
    }
    EXPECT_GE(nLarge, 3);
}

TEST_F(AgainstSha256sum, AFileFromItsPositionToItsEnd) {
    const auto rest = std::find_if(pieces.begin(), pieces.end(), [](const Piece &piece) {
        return piece.offset > 0 && piece.offset + piece.length == data.size();
    });
    ASSERT_NE(rest, pieces.end()) << "the reference lists a file's rest";
    HANDLE hFile = CreateFileW(BuildPath(L"tests\\sha256\\data.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    ASSERT_EQ(SetFilePointer(hFile, LONG(rest->offset), nullptr, FILE_BEGIN), DWORD(rest->offset));
    BYTE chunk[4099];   // reads that end inside a block
    Digest digest;
    EXPECT_TRUE(HashRest(hFile, chunk, sizeof chunk, digest));
    CloseHandle(hFile);
    EXPECT_EQ(Hex(digest), rest->digest);
    EXPECT_FALSE(HashRest(INVALID_HANDLE_VALUE, chunk, sizeof chunk, digest)) << "a file that cannot be read";
}

} // namespace
