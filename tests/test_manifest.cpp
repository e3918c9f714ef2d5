// The card's manifest: the escaped paths, what a manifest must be to be read at all, and
// the card compared with it. SHA-256 itself: tests/test_sha256.cpp.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "device_files.h"
#include "update/manifest/manifest.h"
#include "update/manifest/whole_card.h"

namespace {

std::string Hex(const Digest &digest) {
    char sz[kDigestHex + 1];
    DigestToHex(digest, sz);
    return sz;
}

std::string HashOf(const std::string &bytes) {
    CSha256 hash;
    hash.Add(bytes.data(), DWORD(bytes.size()));
    Digest digest;
    hash.Finish(digest);
    return Hex(digest);
}

// A manifest of the given lines, sealed as the card maker seals it.
std::string Sealed(const std::string &lines) {
    std::string text;
    BeginManifest(text);
    text += lines;
    SealManifest(text);
    return text;
}

std::string FileLine(const std::string &path, const std::string &content) {
    return "file " + std::to_string(content.size()) + " " + HashOf(content) + " " + path + "\n";
}

ManifestFault FaultOf(const std::string &text) {
    CManifest manifest;
    manifest.Parse(text.data(), text.size());
    return manifest.Fault();
}

std::string PathText(const std::wstring &path) {
    char sz[kMaxManifestLine];
    return ManifestPathText(path.c_str(), sz, sizeof sz) ? sz : "<does not fit>";
}

std::wstring PathBack(const std::string &text) {
    WCHAR sz[kWidePath];
    return ReadManifestPath(text.data(), text.size(), sz, kWidePath) ? sz : L"<refused>";
}

TEST(ManifestPaths, EveryNameTheDeviceCanHoldComesBackExactly) {
    const std::wstring names[] = {
        L"maps/seoul.map", L"지도/서울/중구.map", L"100% sure.txt", L"a  b", L"tab\there",
        L"emoji \U0001F5FA.bin", std::wstring(L"lone \xD800 high"), std::wstring(L"lone \xDC00 low"),
        std::wstring(L"end \xDBFF"), L"crème brûlée", L"~odd#name!",
    };
    for (const std::wstring &name : names) EXPECT_EQ(PathBack(PathText(name)), [&] {
            std::wstring back = name;
            for (wchar_t &c : back)
                if (c == L'/') c = L'\\';
            return back;
        }()) << PathText(name);
    EXPECT_EQ(PathText(L"100%.txt"), "100%0025.txt");
    EXPECT_EQ(PathText(std::wstring(L"a\xD800")), "a%D800");
    EXPECT_EQ(PathText(L"a\\b"), "a%005Cb") << "a '\\' inside a name is written as a character";
    EXPECT_EQ(PathText(L"지"), "\xEC\xA7\x80");
}

TEST(ManifestPaths, TextTheWriterNeverMakesIsRefused) {
    for (const std::string &text : std::vector<std::string>{"a%002Fb", "a%005Cb", "%0000", "%00", "%zz41", "%0041", "a\rb", "a\x01", "\xC0\xAF",
                                   "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80", ""})
        EXPECT_EQ(PathBack(text), L"<refused>") << text;
    WCHAR sz[4];
    EXPECT_FALSE(ReadManifestPath("abcd", 4, sz, 4)) << "a path longer than its buffer";
    EXPECT_STREQ(sz, L"");
}

const std::string kSeoul = "seoul 2026";
// The format, written out: what the card maker writes for a folder, a file and a marker.
const std::string kLiteral =
    "tessivard-manifest 1\n"
    "folder - - maps\n"
    "file 10 74a117af523e3fedc05376e7b4da45bf78e88b678ad58748730ead16af88b4c0 maps/seoul.map\n"
    "file 0 e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 update\n"
    "seal 6d8de17ad373c3ff7507ee8e7a5f02d9498f5fa2946b15c0d4fc949415d0599d\n";

TEST(ManifestReading, AnIntactManifestListsEveryEntryFoundByTheNameRule) {
    EXPECT_EQ(Sealed("folder - - maps\n" + FileLine("maps/seoul.map", kSeoul) + FileLine("update", "")), kLiteral);
    CManifest manifest;
    ASSERT_TRUE(manifest.Parse(kLiteral.data(), kLiteral.size()));
    ASSERT_EQ(manifest.Count(), 3u);
    const size_t i = manifest.Find(L"MAPS\\Seoul.MAP");
    ASSERT_LT(i, manifest.Count());
    EXPECT_FALSE(manifest.Entry(i).bFolder);
    EXPECT_EQ(manifest.Entry(i).cbSize, 10u);
    EXPECT_EQ(Hex(manifest.Entry(i).digest), HashOf(kSeoul));
    EXPECT_TRUE(manifest.Entry(manifest.Find(L"maps")).bFolder);
    EXPECT_EQ(manifest.Find(L"maps/seoul.map"), manifest.Count()) << "paths below the card hold the walks' separator";
    EXPECT_EQ(manifest.Find(L"voice.wav"), manifest.Count());
}

TEST(ManifestReading, AManifestCutShortOrChangedIsRefused) {
    const std::string good = kLiteral;
    EXPECT_EQ(FaultOf(good.substr(0, good.size() - 1)), ManifestFault::kNotSealed) << "the seal's newline cut";
    EXPECT_EQ(FaultOf(good.substr(0, good.find("seal"))), ManifestFault::kNotSealed) << "no seal";
    EXPECT_EQ(FaultOf(good.substr(0, good.find("file 0"))), ManifestFault::kNotSealed) << "the last lines cut";
    for (size_t at : {good.find("10 "), good.find("seoul"), good.find("74a1"), good.find("seal ") + 6}) {
        std::string changed = good;
        changed[at] ^= 0x01;
        EXPECT_EQ(FaultOf(changed), ManifestFault::kNotSealed) << "a bit flipped at " << at;
    }
    EXPECT_EQ(FaultOf(good + "file 0 x extra\n"), ManifestFault::kNotSealed) << "a line after the seal";
    EXPECT_EQ(FaultOf("tessivard-manifest 2\n" + good.substr(good.find('\n') + 1)), ManifestFault::kFormat);
    EXPECT_EQ(FaultOf(""), ManifestFault::kFormat);
}

TEST(ManifestReading, FormatTwoNumbersTheCardAndFormatOneReadsAsNumberZero) {
    CManifest manifest;
    ASSERT_TRUE(manifest.Parse(kLiteral.data(), kLiteral.size()));
    EXPECT_EQ(manifest.Sequence(), 0u);
    const std::string body = "folder - - maps\n" + FileLine("maps/seoul.map", kSeoul);
    auto sealed = [&](const std::string &head, const std::string &lines) {
        std::string text = head + lines;
        SealManifest(text);
        return text;
    };
    std::string head;
    BeginSequencedManifest(head, 18446744073709551615ull);
    EXPECT_EQ(head, "tessivard-manifest 2\nsequence 18446744073709551615\n");
    std::string text = sealed(head, body);
    ASSERT_TRUE(manifest.Parse(text.data(), text.size()));
    EXPECT_EQ(manifest.Sequence(), 18446744073709551615ull);
    EXPECT_EQ(manifest.Count(), 2u);
    text = sealed("tessivard-manifest 2\nsequence 7\n", body + "broken\n");
    EXPECT_FALSE(manifest.Parse(text.data(), text.size()));
    EXPECT_EQ(manifest.FaultLine(), 5u) << "the sequence line counts";
    EXPECT_EQ(manifest.Sequence(), 0u) << "a refused manifest numbers nothing";
    for (const char *bad : {"sequence 07\n", "sequence -7\n", "sequence \n", "sequence 7 \n", "Sequence 7\n",
                                   "sequence 18446744073709551616\n", ""})
        EXPECT_EQ(FaultOf(sealed(std::string("tessivard-manifest 2\n") + bad, body)), ManifestFault::kFormat) << bad;
    EXPECT_EQ(FaultOf(sealed("tessivard-manifest 3\nsequence 7\n", body)), ManifestFault::kFormat);
    EXPECT_EQ(FaultOf(sealed("tessivard-manifest 1\nsequence 7\n", body)), ManifestFault::kBadLine)
        << "format 1 has no sequence";
}

TEST(ManifestReading, APathTheCopyWouldNotTakeAsListedRefusesTheWholeManifest) {
    const std::string digest = HashOf("x");
    auto file = [&](const std::string &path) { return "file 1 " + digest + " " + path + "\n"; };
    EXPECT_EQ(FaultOf(Sealed(file("maps/../../ResidentFlash/x"))), ManifestFault::kBadPath);
    EXPECT_EQ(FaultOf(Sealed(file("maps/./x"))), ManifestFault::kBadPath);
    EXPECT_EQ(FaultOf(Sealed(file("maps//x"))), ManifestFault::kBadPath);
    EXPECT_EQ(FaultOf(Sealed(file("/x"))), ManifestFault::kBadPath);
    EXPECT_EQ(FaultOf(Sealed(file("maps/"))), ManifestFault::kBadPath);
    EXPECT_EQ(FaultOf(Sealed(file("a%005Cb"))), ManifestFault::kBadPath) << "a separator inside a name";
    EXPECT_EQ(FaultOf(Sealed(file("maps/.git/x"))), ManifestFault::kSkippedName) << "a folder the walks pass over";
    EXPECT_EQ(FaultOf(Sealed(file("maps/~Tessivard-Partial.tmp"))), ManifestFault::kSkippedName);
    EXPECT_EQ(FaultOf(Sealed(file("~tessivard-manifest"))), ManifestFault::kSkippedName);
    EXPECT_EQ(FaultOf(Sealed(file("maps/~TESSIVARD-MANIFEST"))), ManifestFault::kSkippedName);
    EXPECT_EQ(FaultOf(Sealed(file("maps/~Tessivard-Sequence"))), ManifestFault::kSkippedName) << "a keyed device's record";
    EXPECT_EQ(FaultOf(Sealed(file("~tessivard-signature"))), ManifestFault::kSkippedName);
    EXPECT_EQ(FaultOf(Sealed(file("maps/dot."))), ManifestFault::kSkippedName) << "a trailing dot names a sibling";
    EXPECT_EQ(FaultOf(Sealed(file("CON"))), ManifestFault::kSkippedName) << "a device name";
    EXPECT_EQ(FaultOf(Sealed(file("a*b"))), ManifestFault::kSkippedName) << "a character the device's file system refuses";
    EXPECT_EQ(FaultOf(Sealed(file("maps/a:b"))), ManifestFault::kSkippedName) << "':', where a device's path ends";
    EXPECT_EQ(FaultOf(Sealed(file("Maps/Seoul.map") + file("maps/seoul.MAP"))), ManifestFault::kSameName);
    EXPECT_EQ(FaultOf(Sealed(file("maps") + "folder - - MAPS\n")), ManifestFault::kSameName);
    EXPECT_EQ(FaultOf(Sealed(file(std::string(1100, 'n')))), ManifestFault::kBadPath) << "longer than the walks' paths";
}

TEST(ManifestReading, LinesAreBoundedAndExactlyOfTheirForm) {
    const std::string digest = HashOf("x");
    for (const std::string &line : std::vector<std::string>{"file 01 " + digest + " a\n", "file -1 " + digest + " a\n", "file 1 " + digest + "\n",
                                   "file 18446744073709551616 " + digest + " a\n", "file 1 " + digest.substr(1) + " a\n",
                                   std::string("folder 0 - a\n"), "folder - " + digest + " a\n", "File 1 " + digest + " a\n", "\n"})
        EXPECT_EQ(FaultOf(Sealed(line)), ManifestFault::kBadLine) << line;
    EXPECT_EQ(FaultOf(Sealed("file 18446744073709551615 " + digest + " a\n")), ManifestFault::kNone);
    EXPECT_EQ(FaultOf(Sealed("file 1 " + digest + " " + std::string(kMaxManifestLine, '%') + "\n")), ManifestFault::kTooLarge);
    CManifest manifest;
    const std::string text = Sealed("folder - - a\nfile 1 " + digest + " a/b c\nbroken\n");
    EXPECT_FALSE(manifest.Parse(text.data(), text.size()));
    EXPECT_EQ(manifest.FaultLine(), 4u) << "the line that was refused";
    EXPECT_EQ(manifest.Count(), 0u) << "a refused manifest lists nothing";
}

// The card against its manifest, on this test's device.
class WholeCard : public ::testing::Test {
protected:
    struct Recorder : ICardFindings {
        std::vector<std::pair<CardFinding, std::wstring>> found;
        void Found(CardFinding finding, LPCWSTR pszPath, const ManifestEntry *, ULONGLONG) override {
            found.push_back({finding, pszPath});
        }
    };
    void SetUp() override {
        ClearDevice();
        PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", kSeoul);
        PutFile(L"/SDMMC/ResidentFlash/update", "");
        PutFile(L"/SDMMC/ResidentFlash/delete_maps", "");
        PutFile(L"/SDMMC/ResidentFlash/notes.txt", "notes");
        PutFile(L"/SDMMC/ResidentFlash/~tessivard-manifest", "the manifest itself is no entry");
        const std::string text = Sealed("folder - - maps\n" + FileLine("maps/seoul.map", kSeoul) + FileLine("update", "") +
                                        FileLine("delete_maps", "") + FileLine("notes.txt", "notes"));
        ASSERT_TRUE(manifest.Parse(text.data(), text.size()));
    }
    std::vector<std::pair<CardFinding, std::wstring>> Compare(BOOL bKeepSource = FALSE, bool bHash = true) {
        Recorder recorder;
        const int n = CompareCard(manifest, L"/SDMMC/ResidentFlash", bKeepSource, bHash, &recorder);
        EXPECT_EQ(size_t(n), recorder.found.size());
        std::sort(recorder.found.begin(), recorder.found.end());   // the card lists in any order
        return recorder.found;
    }
    using Found = std::vector<std::pair<CardFinding, std::wstring>>;
    CManifest manifest;
};

TEST_F(WholeCard, ACardAsMadeIsWhole) { EXPECT_EQ(Compare(), Found{}); }

TEST_F(WholeCard, WhatIsMissingExtraShortLongOrChangedIsFound) {
    DeleteFileW(L"/SDMMC/ResidentFlash/notes.txt");
    PutFile(L"/SDMMC/ResidentFlash/maps/busan.map", "extra");
    PutFolder(L"/SDMMC/ResidentFlash/maps/regions");
    EXPECT_EQ(Compare(), (Found{{CardFinding::kMissing, L"notes.txt"},
                                {CardFinding::kExtra, L"maps\\busan.map"},
                                {CardFinding::kExtra, L"maps\\regions"}}));
    SetUp();
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul");
    PutFile(L"/SDMMC/ResidentFlash/notes.txt", "notes, longer");
    EXPECT_EQ(Compare(), (Found{{CardFinding::kShort, L"maps\\seoul.map"}, {CardFinding::kLong, L"notes.txt"}}));
    SetUp();
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2025");
    EXPECT_EQ(Compare(), (Found{{CardFinding::kChanged, L"maps\\seoul.map"}}));
    EXPECT_EQ(Compare(FALSE, false), Found{}) << "without hashing, a file of its size passes";
    SetUp();
    RemoveTree(L"/SDMMC/ResidentFlash/maps");
    PutFile(L"/SDMMC/ResidentFlash/maps", "a file where a folder is listed");
    EXPECT_EQ(Compare(), (Found{{CardFinding::kMissing, L"maps\\seoul.map"}, {CardFinding::kKind, L"maps"}}));
}

TEST_F(WholeCard, MarkersAnEarlierRunConsumedMayBeMissingButNotInKeepSourceMode) {
    DeleteFileW(L"/SDMMC/ResidentFlash/update");
    DeleteFileW(L"/SDMMC/ResidentFlash/delete_maps");
    EXPECT_EQ(Compare(), Found{});
    EXPECT_EQ(Compare(TRUE), (Found{{CardFinding::kMissing, L"delete_maps"}, {CardFinding::kMissing, L"update"}}));
}

TEST_F(WholeCard, TheManifestIsFoundInAnyLetterCase) {
    EXPECT_TRUE(HasManifest(L"/SDMMC/ResidentFlash"));
    DeleteFileW(L"/SDMMC/ResidentFlash/~tessivard-manifest");
    PutFile(L"/SDMMC/ResidentFlash/~Tessivard-Manifest", "in another letter case");
    EXPECT_TRUE(HasManifest(L"/SDMMC/ResidentFlash"));
    EXPECT_EQ(Compare(), Found{}) << "and is never an extra entry";
    DeleteFileW(L"/SDMMC/ResidentFlash/~Tessivard-Manifest");
    EXPECT_FALSE(HasManifest(L"/SDMMC/ResidentFlash"));
}

TEST_F(WholeCard, AManifestFileIsReadWithinItsBounds) {
    const std::string text = Sealed(FileLine("notes.txt", "notes"));
    PutFile(L"/SDMMC/ResidentFlash/~tessivard-manifest", text);
    CManifest read;
    EXPECT_TRUE(read.Read(L"/SDMMC/ResidentFlash/~tessivard-manifest"));
    EXPECT_EQ(read.Count(), 1u);
    PutFile(L"/SDMMC/ResidentFlash/~tessivard-manifest", std::string(kMaxManifestBytes + 1, 'x'));
    EXPECT_FALSE(read.Read(L"/SDMMC/ResidentFlash/~tessivard-manifest"));
    EXPECT_EQ(read.Fault(), ManifestFault::kTooLarge);
    EXPECT_FALSE(read.Read(L"/SDMMC/ResidentFlash/maps"));
    EXPECT_EQ(read.Fault(), ManifestFault::kUnreadable);
}

} // namespace
