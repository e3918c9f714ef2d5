// Signed cards. The program's verdicts on signatures that openssl made and judged when the
// build ran (tests/signature_reference.sh): keys of each size, bits flipped, a forger's
// manifest, another key, numbers and files no signature is. And whole
// runs in-process by a build holding the reference's maker key: a signed card goes in, an
// older one or one not the maker's changes nothing, and the bar stays where it started.
#include <windows.h>
#include <gtest/gtest.h>
#include <iostream>
#include <set>
#include <sstream>
#include "device_files.h"
#include "probe_dialog.h"
#include "test_support.h"
#include "update/manifest/card_signature.h"
#include "update/storage/paths.h"
#include "update/crypto/sha256.h"

extern bool g_bCardKeyMissing;   // tests/variants/card_key_missing.cpp

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;
using V = SignatureVerdict;
const std::wstring kCard = L"/SDMMC/ResidentFlash", kRecord = L"/ResidentFlash/~tessivard-sequence";

std::wstring Reference(const std::string &rel) {
    std::wstring path = BuildPath(L"tests\\signatures\\") + std::wstring(rel.begin(), rel.end());
    for (wchar_t &c : path) c = c == L'/' ? L'\\' : c;
    return path;
}

const char *Name(V verdict) {
    const char *names[] = {"good", "wrong length", "not below the modulus", "mismatch", "no signature", "no key"};
    return names[int(verdict)];
}

// What the program must say of each case openssl judged; openssl's `dgst -verify` reads no
// more of a signature file than the key's length, so it passes the last two.
const std::map<std::string, V> kExpected = {
    {"good-maker", V::kGood}, {"good-k3072", V::kGood}, {"good-k4096", V::kGood}, {"leading-zero", V::kGood},
    {"signature-bit-maker", V::kMismatch}, {"signature-bit-k3072", V::kMismatch}, {"signature-bit-k4096", V::kMismatch},
    {"manifest-bit-maker", V::kMismatch}, {"manifest-bit-k3072", V::kMismatch}, {"manifest-bit-k4096", V::kMismatch},
    {"forged", V::kMismatch}, {"other-key", V::kMismatch}, {"sha1", V::kMismatch}, {"pss", V::kMismatch},
    {"zeros", V::kMismatch}, {"stripped-zero", V::kWrongLength}, {"plus-modulus", V::kNotBelowModulus},
    {"ones", V::kNotBelowModulus}, {"modulus", V::kNotBelowModulus}, {"folder", V::kNoSignature},
    {"missing", V::kNoSignature}, {"one-more-byte", V::kWrongLength}, {"huge", V::kWrongLength},
};

TEST(SignatureVerdicts, EachCaseAsExpectedBesideOpenssl) {
    std::istringstream cases(Content(Reference("cases.txt")));
    ASSERT_NE(cases.str(), "<none>") << "no tests/signatures/cases.txt: the build's tests/signature_reference.sh did not run";
    std::set<std::string> seen;
    for (std::string line; std::getline(cases, line);) {
        std::istringstream fields(line);
        std::string name, key, signature, manifest, openssl;
        fields >> name >> key >> signature >> manifest >> openssl;
        const auto expected = kExpected.find(name);
        ASSERT_NE(expected, kExpected.end()) << "a case this test does not know: " << name;
        seen.insert(name);
        const std::string modulus = Content(Reference(key + "/card_key.bin")), text = Content(Reference(manifest));
        const CardKey cardKey{reinterpret_cast<const BYTE *>(modulus.data()), modulus.size()};
        const V verdict = VerifySignatureFile(cardKey, Reference(signature).c_str(), text.data(), text.size());
        EXPECT_EQ(Name(verdict), std::string(Name(expected->second))) << name;
        if (name != "one-more-byte" && name != "huge") {
            EXPECT_EQ(verdict == V::kGood, openssl == "good") << name;
        }
        std::cout << "  " << name << ": program " << Name(verdict) << ", openssl " << openssl << "\n";
    }
    EXPECT_EQ(seen.size(), kExpected.size()) << "cases.txt lacks some of the cases";
}

TEST(SignatureVerdicts, AKeyThatIsNoMakersVerifiesNothing) {
    const std::string modulus = Content(Reference("maker/card_key.bin")), text = Content(Reference("m5"));
    ASSERT_EQ(modulus.size(), 256u);
    for (const std::string &bad : {modulus.substr(1), modulus + '\0', std::string(1, '\x01') + modulus.substr(1)}) {
        const CardKey key{reinterpret_cast<const BYTE *>(bad.data()), bad.size()};
        EXPECT_EQ(VerifySignatureFile(key, Reference("m5.sig").c_str(), text.data(), text.size()), V::kNoKey);
    }
}

// Whole runs of the build with the maker's key, on the reference's card and a flash store
// that holds the map's older version.
class SignedRuns : public ::testing::Test {
protected:
    void Lay(int sequence, const std::string &signature = "") {
        ClearDevice();
        PutFolder(L"/SDMMC");
        PutFile(L"/SDMMC/nk.rom", "kernel");
        PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
        PutFile(L"/ResidentFlash/update", "");
        if (!record.empty()) PutFile(kRecord, record);
        CopyTree(Reference("card"), kCard);
        if (sequence) PutFile(kCard + L"/~tessivard-manifest", Content(Reference("m" + std::to_string(sequence))));
        const std::string sig = signature.empty() ? "m" + std::to_string(sequence) + ".sig" : signature;
        if (sig != "-") PutFile(kCard + L"/~tessivard-signature", Content(Reference(sig)));
    }
    // The record's card line for the reference's manifest of that sequence: its SHA-256.
    static std::string CardLine(int sequence, const char *state) {
        const std::string text = Content(Reference("m" + std::to_string(sequence)));
        CSha256 hash;
        hash.Add(text.data(), DWORD(text.size()));
        Digest digest;
        hash.Finish(digest);
        char szHex[kDigestHex + 1];
        DigestToHex(digest, szHex);
        return std::to_string(sequence) + "\ncard " + szHex + " " + state + "\n";
    }
    // The run goes in: the new map, the card emptied, the record at the card's sequence.
    void ExpectTaken(int sequence) {
        ProbeDlg run;
        run.Run();
        EXPECT_EQ(Content(L"/ResidentFlash/maps/seoul.map"), "seoul 2026");
        EXPECT_TRUE(Tree(kCard).empty() && !Exists(L"/SDMMC/nk.rom"));
        EXPECT_EQ(Content(kRecord), CardLine(sequence, "finished"));
        for (const std::wstring &name : Names(L"/ResidentFlash")) EXPECT_FALSE(IsTemporaryName(name.c_str())) << "the record's temporary is gone";
        EXPECT_TRUE(FillsTheBarOnce(run));
        EXPECT_EQ(g_steps.removedBesideManifest, 0) << "the manifest and its signature go before the card's content";
        record = Content(kRecord);
    }
    // Nothing changes on either side, the bar never moves, and the run ends as every run does.
    void ExpectRefused(const char *what) {
        SCOPED_TRACE(what);
        const Files card = Tree(L"/SDMMC"), flash = Tree(L"/ResidentFlash");
        ProbeDlg run;
        run.Run();
        EXPECT_EQ(Tree(L"/SDMMC"), card);
        Files flashAfter = flash;
        flashAfter.erase(L"update");   // the marker copy goes at every run's end
        EXPECT_EQ(Tree(L"/ResidentFlash"), flashAfter);
        EXPECT_TRUE(g_steps.positions.empty()) << "the bar moved";
        EXPECT_EQ(run.m_nTotal, 0) << "a refused card was walked for the bar's count";
        EXPECT_GE(run.destroys, 1);
    }
    std::string record;   // the flash store's record before a run: none
};

TEST_F(SignedRuns, ASignedCardGoesInAndAnOlderOneNever) {
    Lay(5), ExpectTaken(5);
    Lay(4), ExpectRefused("a lower sequence");
    Lay(5), ExpectRefused("the card that went in, put back");
    EXPECT_NE(Content(L"/ResidentFlash/~tessivard-result").find("\noutcome nothing\nreason the card went in before"), std::string::npos)
        << Content(L"/ResidentFlash/~tessivard-result");
    Lay(6), ExpectTaken(6);
    Lay(5), ExpectRefused("a lower sequence after a higher one");
}

// A card of the record's sequence goes in again only to finish its own interrupted update,
// and lacks only the markers that update consumed.
TEST_F(SignedRuns, TheRecordsOwnCardOnlyResumes) {
    const std::string open = CardLine(5, "open"), other = CardLine(4, "open").substr(2);
    for (const auto &[text, bTaken, bUpdate, what] : std::vector<std::tuple<std::string, bool, bool, const char *>>{
             {open, true, true, "its update under way"},
             {open + "scanned\n", true, false, "under way, the scan's marker consumed"},
             {open, false, false, "a trimmed card: a marker its update never consumed"},
             {open + "consumed 1\n", false, false, "a trimmed card: another marker consumed"},
             {"5\n", false, true, "a record of an older program: the card went in"},
             {"5\n" + other, false, true, "another card of the same sequence under way"},
             {open.substr(0, open.size() - 5) + "done\n", false, true, "a record that does not read as one"},
             {open + "consumed x\n", false, true, "a record that does not read as one"}}) {
        record = text;
        Lay(5);
        if (!bUpdate) DeleteFileW((kCard + L"/update").c_str());
        if (bTaken) ExpectTaken(5);
        else ExpectRefused(what);
    }
}

TEST_F(SignedRuns, ACardNotTheMakersChangesNothing) {
    Lay(5, "other.sig"), ExpectRefused("signed by another key");
    Lay(5, "m4.sig"), ExpectRefused("the maker's signature of another manifest");
    Lay(5, "-"), ExpectRefused("no signature");
    Lay(0, "m5.sig"), ExpectRefused("no manifest");
    Lay(5, "-"), PutFolder(kCard + L"/~tessivard-signature"), ExpectRefused("a folder of the signature's name");
    for (const char *text : {"x\n", "05\n", "5"}) {
        record = text;
        Lay(5), ExpectRefused("a record that does not read as one");
    }
}

// Built with a key that it cannot find: neither the maker's card nor an unsigned one goes in.
TEST_F(SignedRuns, AKeyedBuildWithoutItsKeyTakesNoCard) {
    g_bCardKeyMissing = true;
    Lay(5), ExpectRefused("the maker's signed card");
    Lay(0, "-"), ExpectRefused("a card without manifest or signature");
    g_bCardKeyMissing = false;
}

} // namespace
