// Names a card written on another system can carry, made on the Linux side by
// with_card_names.sh: the update never turns one into a path that names something else.
#include <windows.h>
#include <gtest/gtest.h>
#include "device_files.h"
#include "probe_dialog.h"

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;

TEST(CardNames, AFolderNamedWithSeparatorsNeverLeadsTheRunIntoTheFlashStore) {
    ASSERT_TRUE(Exists(L"/SDMMC/ResidentFlash/normal.txt")) << "run through with_card_names.sh";
    const std::wstring odd = L"a\\..\\..\\..\\ResidentFlash";
    ProbeDlg run;
    run.Run();

    EXPECT_EQ(Content(L"/ResidentFlash/precious.dat"), "precious\n");
    EXPECT_EQ(Content(L"/ResidentFlash/Maps/keep.map"), "map\n");
    EXPECT_EQ(Content(L"/ResidentFlash/normal.txt"), "plain\n");
    EXPECT_EQ(Names(L"/ResidentFlash"), (std::vector<std::wstring>{L"Maps", L"normal.txt", L"precious.dat"}));
    // The odd folder could not be copied, so the card folder stays, whole, for another try.
    EXPECT_EQ(Names(L"/SDMMC/ResidentFlash"), (std::vector<std::wstring>{odd, L"normal.txt"}));
    EXPECT_EQ(run.m_nCount, 2 + 3) << "the skipped folder still takes its step";
    EXPECT_EQ(g_steps.positions, (std::vector<int>{1, 2, 3, 4, 5})) << "a failed copy ends the bar short of full";
}

TEST(CardNames, NamesThePlatformWouldChangeAreNotCopiedAndKeepTheirSource) {
    CUpdaterDlg dlg;
    CopyOutcome outcome;
    dlg.CopyFolder(L"/cards/trailing", L"/copied", outcome);
    EXPECT_TRUE(outcome.bFailed);
    EXPECT_EQ(Tree(L"/copied"), (Files{{L"file", "the plain one\n"}}))
        << "\"file \" is not copied over \"file\", and \"dir. \" is not entered as \"dir\"";

    dlg.DeleteFolder(L"/cards/trailing");
    EXPECT_EQ(Tree(L"/cards/trailing").size(), 2u) << "what could not be addressed stays";
    EXPECT_FALSE(Exists(L"/cards/trailing/file"));
}

TEST(CardNames, ANameHoldingASeparatorIsNeverTakenForTheEntryItSpells) {
    ASSERT_EQ(Names(L"/cards/separator").size(), 2u);
    CUpdaterDlg dlg;
    CopyOutcome outcome;
    dlg.CopyFolder(L"/cards/separator", L"/copied-separator", outcome);
    EXPECT_TRUE(outcome.bFailed) << "\"a\\b\" does not reach the flash store: the card is kept";
    EXPECT_EQ(Tree(L"/copied-separator"), (Files{{L"a\\b", "the real one\n"}}));
}

TEST(CardNames, DeleteMarkersThatWouldNameAnotherFolderPlanNothing) {
    CUpdaterDlg dlg;
    g_bUndelete = 0;
    EXPECT_EQ(dlg.CollectMarkerJobs("/cards/markers", "/ResidentFlash"), 1);
    ASSERT_EQ(dlg.m_jobs.size(), 1u);
    EXPECT_STREQ(dlg.m_jobs[0].szTarget, "/ResidentFlash/Fine");
    // Rejected markers are consumed; the ones the platform cannot name exactly are left, and
    // so is the valid one, until the deletion it plans has run.
    Files left = Tree(L"/cards/markers");
    EXPECT_TRUE(left.count(L"delete_Fine"));
    EXPECT_FALSE(left.count(L"delete_a\\b") && Exists(L"/cards/markers/delete_a"));
    EXPECT_TRUE(IsFolder(L"/ResidentFlash/Maps"));
}

// Runs last: it swaps in the second device.
TEST(CardNames, TwoMarkersOfOneFolderAndANameTheDeletionSkipsStillFillTheBarOnce) {
    // The first device holds names Win32 cannot remove: it is moved aside whole.
    ASSERT_TRUE(MoveFileW(L"/SDMMC", L"/cards/first-SDMMC"));
    ASSERT_TRUE(MoveFileW(L"/ResidentFlash", L"/cards/first-ResidentFlash"));
    ASSERT_TRUE(MoveFileW(L"/cards/twocase/SDMMC", L"/SDMMC"));
    ASSERT_TRUE(MoveFileW(L"/cards/twocase/ResidentFlash", L"/ResidentFlash"));
    ASSERT_EQ(Names(L"/SDMMC/ResidentFlash").size(), 4u);
    ProbeDlg run;
    run.Run();

    EXPECT_EQ(Names(L"/ResidentFlash"), (std::vector<std::wstring>{L"new.txt", L"poi"}));
    EXPECT_EQ(Names(L"/ResidentFlash/poi"), (std::vector<std::wstring>{L"odd "}));
    // maps (old.map, sub, sub's old.map) once, poi (a.poi and the odd name), new.txt copied
    // and deleted, the three image files.
    EXPECT_EQ(run.m_nTotal, 3 + 2 + 1 + 1 + 3);
    EXPECT_TRUE(FillsTheBarOnce(run));
}

} // namespace
