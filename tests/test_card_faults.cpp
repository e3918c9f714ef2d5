// A card that fails in the middle of a run: a listing that breaks off with an error, and a
// listing that delivers fewer entries than the plan counted (the platform drops what it can
// no longer read). Either way part of the update never reached the flash store: the card
// keeps all of it for another try, and the run still ends as every run does.
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include "device_files.h"
#include "probe_dialog.h"

void ResetListingBreak(int nAfter);   // tests/variants/listing_breaks.cpp

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
    void TearDown() override { ResetListingBreak(0); }

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

} // namespace
