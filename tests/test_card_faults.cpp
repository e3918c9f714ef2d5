// A card that fails in the middle of a run: a listing that breaks off with an error, and a
// listing that delivers fewer entries than the plan counted (the platform drops what it can
// no longer read). Either way part of the update never reached the flash store: the card
// keeps all of it for another try, and the run still ends as every run does.
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include "device_files.h"
#include "probe_dialog.h"
#include "update/manifest/manifest.h"

void ResetListingBreak(int nAfter);   // tests/variants/listing_breaks.cpp
extern bool g_bReadsFlip;             // tests/variants/read_flips.cpp

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;

// The run's dialog; once the plan is counted (the bar's range set), the card fails as told.
class FailingCardDlg : public ProbeDlg {
public:
    std::function<void()> onPlanned;
    void SetupProgress(int nLower, int nUpper) override {
        ProbeDlg::SetupProgress(nLower, nUpper);
        if (nUpper > 0 && onPlanned) onPlanned();
    }
    std::function<void(int)> onStep;
    void ShowStep(int nPos) override {
        ProbeDlg::ShowStep(nPos);
        if (onStep) onStep(nPos);
    }
};

class CardFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ResetListingBreak(0);
        ClearDevice();
        PutFile(L"/SDMMC/ResidentFlash/a.txt", "a new");
        PutFile(L"/SDMMC/ResidentFlash/b.txt", "b new");
        PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
        PutFile(L"/SDMMC/ResidentFlash/maps/busan.map", "busan 2026");
        PutFile(L"/SDMMC/ResidentFlash/z.txt", "z new");
        PutFile(L"/SDMMC/nk.rom", "kernel");
        PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
        card = Tree(L"/SDMMC/ResidentFlash");
    }
    void TearDown() override {
        ResetListingBreak(0);
        g_bReadsFlip = false;
    }

    // Whatever reached the flash store is the card's version, whole; nothing else changed.
    void ExpectOnlyWholeCardFiles() {
        for (const auto &[rel, content] : Tree(L"/ResidentFlash")) {
            const auto it = card.find(rel);
            if (rel == L"maps\\seoul.map" && content == "seoul 2025") continue;
            EXPECT_TRUE(it != card.end() && it->second == content) << "flash file " << std::string(rel.begin(), rel.end());
        }
    }

    Files card;
    FailingCardDlg run;
};

// Broken off at the card folder's top, inside maps, and after its last entry but one.
TEST_F(CardFaults, AListingThatBreaksOffKeepsTheWholeCard) {
    for (int nAfter : {1, 2, 3, 5}) {
        SetUp();
        FailingCardDlg dlg;
        dlg.onPlanned = [nAfter] { ResetListingBreak(nAfter); };
        dlg.Run();
        ResetListingBreak(0);
        EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), card) << "broken off after " << nAfter << " entries";
        ExpectOnlyWholeCardFiles();
        EXPECT_LT(int(g_steps.positions.size()), dlg.m_nTotal) << "the bar does not end full";
        EXPECT_GE(dlg.destroys, 1) << "the run ends as every run does";
    }
}

TEST_F(CardFaults, AListingThatDeliversFewerEntriesThanPlannedKeepsTheCard) {
    run.onPlanned = [] { DeleteFileW(L"/SDMMC/ResidentFlash/maps/busan.map"); };
    run.Run();
    card.erase(L"maps\\busan.map");
    EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), card) << "what the card still holds stays on it";
    EXPECT_EQ(Tree(L"/ResidentFlash"), card) << "and all of it is in the flash store";
    EXPECT_FALSE(Exists(L"/SDMMC/nk.rom")) << "the rest of the run is as always";
}

TEST_F(CardFaults, AWholeListingStillEmptiesTheCard) {
    run.onPlanned = [] { ResetListingBreak(1000); };
    run.Run();
    EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty());
    EXPECT_EQ(Tree(L"/ResidentFlash"), card);
    EXPECT_TRUE(FillsTheBarOnce(run));
}

// A card with a manifest, found whole, that reads back a flipped byte while it is copied (its
// five files passed their check first): no copy takes its target's name, the old versions stay,
// and the card is kept.
TEST_F(CardFaults, ACopyThatReadsOtherBytesThanListedLeavesTheOldVersionAndKeepsTheCard) {
    std::string text;
    BeginManifest(text);
    ASSERT_TRUE(AppendManifestFolder(text, L"maps"));
    for (const auto &[rel, content] : card) {
        CSha256 hash;
        hash.Add(content.data(), DWORD(content.size()));
        Digest digest;
        hash.Finish(digest);
        std::wstring path = rel;
        for (wchar_t &c : path)
            if (c == L'\\') c = L'/';
        ASSERT_TRUE(AppendManifestFile(text, path.c_str(), content.size(), digest));
    }
    SealManifest(text);
    PutFile(L"/SDMMC/ResidentFlash/~tessivard-manifest", text);
    const Files before = Tree(L"/SDMMC/ResidentFlash");
    run.onStep = [](int nPos) { g_bReadsFlip = nPos >= 5; };
    run.Run();
    g_bReadsFlip = false;
    EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), before) << "the card and its manifest kept for another try";
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2025"}})) << "no temporary, no flipped copy";
    EXPECT_FALSE(Exists(L"/SDMMC/nk.rom")) << "the rest of the run is as always";
    EXPECT_LT(int(g_steps.positions.size()), run.m_nTotal);
}

} // namespace
