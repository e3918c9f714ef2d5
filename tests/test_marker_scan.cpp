// The marker scan: which files of the card folder are consumed, and which flash folders
// their names plan to delete.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "device_files.h"
#include "probe_dialog.h"

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;
using Names_ = std::vector<std::wstring>;

class Markers : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        g_bUndelete = 0;
    }
    // The scan of "/card" for the flash store "/ResidentFlash": the planned targets.
    std::vector<std::string> Scan() {
        dlg.m_jobs.clear();
        int n = dlg.CollectMarkerJobs("/card", "/ResidentFlash");
        std::vector<std::string> targets;
        for (const UPDATE_JOB &job : dlg.m_jobs) {
            EXPECT_EQ(job.bFolder, 1);
            EXPECT_EQ(job.bDelete, 1);
            EXPECT_EQ(_strnicmp(job.szSource, "/card/delete_", 13), 0) << "the job keeps its marker: " << job.szSource;
            targets.push_back(job.szTarget);
        }
        EXPECT_EQ(n, int(targets.size()));
        return targets;
    }
    CUpdaterDlg dlg;
};

TEST_F(Markers, TheUpdateMarkerIsConsumedAndADeleteMarkerPlansItsFolder) {
    PutFile(L"/card/update");
    PutFile(L"/card/delete_maps");
    PutFile(L"/card/readme.txt", "read me");
    EXPECT_EQ(Scan(), std::vector<std::string>{"/ResidentFlash/maps"});
    // The delete marker stays until the deletion it plans has run.
    EXPECT_EQ(Names(L"/card"), (Names_{L"delete_maps", L"readme.txt"}));

    const UPDATE_JOB &job = dlg.m_jobs[0];
    EXPECT_STREQ(job.szSource, "/card/delete_maps");
    for (size_t i = strlen(job.szTarget); i < sizeof job.szTarget; ++i)
        ASSERT_EQ(job.szTarget[i], 0) << "the job record is zero-filled behind its paths";
    for (size_t i = strlen(job.szSource); i < sizeof job.szSource; ++i) ASSERT_EQ(job.szSource[i], 0);
}

TEST_F(Markers, ThePrefixMatchesInAnyCaseAndTheNameKeepsItsOwn) {
    PutFile(L"/card/DELETE_Maps");
    PutFile(L"/card/Delete_Voice Guide");
    std::vector<std::string> targets = Scan();
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets, (std::vector<std::string>{"/ResidentFlash/Maps", "/ResidentFlash/Voice Guide"}));
}

TEST_F(Markers, TheUpdateMarkerIsTheWholeNameInAnyCase) {
    for (const wchar_t *name : {L"update", L"Update", L"UPDATE"}) {
        RemoveTree(L"/card");
        PutFile(std::wstring(L"/card/") + name);
        PutFile(L"/card/update.txt");
        PutFile(L"/card/my_update");
        EXPECT_TRUE(Scan().empty());
        EXPECT_EQ(Names(L"/card"), (Names_{L"my_update", L"update.txt"})) << name;
    }
}

TEST_F(Markers, MarkersWithoutAnAcceptableNameAreConsumedAndPlanNothing) {
    for (const wchar_t *name : {L"delete_", L"delete_a.b", L"delete_a&b", L"delete_a;b", L"delete_..", L"DELETE_."})
        PutFile(std::wstring(L"/card/") + name);
    EXPECT_TRUE(Scan().empty());
    EXPECT_TRUE(Names(L"/card").empty());
}

TEST_F(Markers, FoldersAndTheKeepSourceMarkerAreNeverMarkers) {
    PutFolder(L"/card/delete_x");
    PutFolder(L"/card/update");
    PutFile(L"/card/undelete");
    EXPECT_TRUE(Scan().empty());
    EXPECT_EQ(Names(L"/card"), (Names_{L"delete_x", L"undelete", L"update"}));
}

TEST_F(Markers, KeepSourceModeDeletesNothingButStillPlans) {
    PutFile(L"/card/update");
    PutFile(L"/card/delete_maps");
    g_bUndelete = 1;
    EXPECT_EQ(Scan(), std::vector<std::string>{"/ResidentFlash/maps"});
    EXPECT_EQ(Names(L"/card"), (Names_{L"delete_maps", L"update"}));
}

TEST_F(Markers, JobsFollowTheOrderOfTheListing) {
    for (const wchar_t *name : {L"delete_b", L"delete_c", L"delete_a", L"delete_e", L"delete_d"})
        PutFile(std::wstring(L"/card/") + name);
    // The order the platform lists them in, whatever it is.
    std::vector<std::string> listed;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(L"/card/*.*", &fd);
    do {
        if (wcsncmp(fd.cFileName, L"delete_", 7) == 0) listed.push_back("/ResidentFlash/" + std::string(1, char(fd.cFileName[7])));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_EQ(Scan(), listed);
}

TEST_F(Markers, AMissingCardFolderPlansNothing) { EXPECT_TRUE(Scan().empty()); }

TEST_F(Markers, NamesLongerThanThePathBuffersAreLeftAlone) {
    // With the run's card folder, "/SDMMC/ResidentFlash/" and the name must fit 255 bytes:
    // 234 characters do, 235 do not.
    const std::wstring fits = L"delete_" + std::wstring(234 - 7, L'f');
    const std::wstring tooLong = L"delete_" + std::wstring(235 - 7, L'l');
    PutFile(L"/SDMMC/ResidentFlash/" + fits);
    PutFile(L"/SDMMC/ResidentFlash/" + tooLong);
    EXPECT_EQ(dlg.CollectMarkerJobs("/SDMMC/ResidentFlash", "/ResidentFlash"), 1);
    ASSERT_EQ(dlg.m_jobs.size(), 1u);
    EXPECT_EQ(std::string(dlg.m_jobs[0].szTarget), "/ResidentFlash/" + std::string(234 - 7, 'f'));
    EXPECT_EQ(Names(L"/SDMMC/ResidentFlash"), (Names_{fits, tooLong}));
    EXPECT_EQ(std::string(dlg.m_jobs[0].szSource), "/SDMMC/ResidentFlash/" + std::string(fits.begin(), fits.end()))
        << "the long one is never consumed, never cut into another name";
}

// The name in the ANSI code page, or "" when the code page cannot hold it exactly.
std::string InCodePage(const wchar_t *name) {
    char ansi[64] = {};
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, ansi, sizeof ansi, nullptr, &lossy);
    return lossy ? "" : ansi;
}

TEST_F(Markers, NamesOutsideTheCodePageAreLeftAloneAndOthersKeepTheirLetters) {
    // e acute is in code page 1252, Hangul in 949; each code page holds only one of them.
    const wchar_t *rests[] = {L"caf\u00E9", L"\uC9C0\uB3C4"};
    std::vector<std::string> expected;
    Names_ left;
    for (const wchar_t *rest : rests) {
        const std::wstring name = std::wstring(L"delete_") + rest;
        PutFile(L"/card/" + name);
        if (InCodePage(rest).empty()) left.push_back(name);
        else expected.push_back("/ResidentFlash/" + InCodePage(rest));
    }
    ASSERT_EQ(expected.size(), 1u) << "code page " << GetACP();
    EXPECT_EQ(Scan(), expected);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(Exists(L"/card/" + left[0])) << "a name outside the code page is left alone";
}

TEST_F(Markers, MarkersNamingADeviceInsteadOfAFolderPlanNothing) {
    for (const wchar_t *name : {L"delete_CON", L"delete_nul", L"delete_COM1", L"delete_AUX", L"delete_LPT1", L"delete_PRN"})
        PutFile(std::wstring(L"/card/") + name);
    PutFile(L"/card/delete_CONTENT");
    EXPECT_EQ(Scan(), std::vector<std::string>{"/ResidentFlash/CONTENT"});
}

// --- whole runs -------------------------------------------------------------------------

class MarkerRun : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        PutFolder(L"/SDMMC");
    }
    ProbeDlg run;
};

TEST_F(MarkerRun, TheMarkedFolderIsDeletedBeforeTheCopyBringsItBackFresh) {
    PutFile(L"/ResidentFlash/maps/old.map", "old");
    PutFile(L"/ResidentFlash/poi/fuel.poi", "fuel");
    PutFile(L"/ResidentFlash/voice/keep.wav", "voice");
    PutFile(L"/ResidentFlash/caf\u00E9/menu.txt", "menu");
    PutFile(L"/SDMMC/ResidentFlash/delete_caf\u00E9");
    PutFile(L"/SDMMC/ResidentFlash/update");
    PutFile(L"/SDMMC/ResidentFlash/delete_maps");
    PutFile(L"/SDMMC/ResidentFlash/delete_poi");
    PutFile(L"/SDMMC/ResidentFlash/maps/new.map", "new");
    PutFile(L"/SDMMC/ResidentFlash/readme.txt", "read me");
    run.Run();

    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\new.map", "new"},
                                              {L"readme.txt", "read me"},
                                              {L"voice\\keep.wav", "voice"}}));
    EXPECT_TRUE(Names(L"/SDMMC/ResidentFlash").empty());
    // The three marked folders' entries, the card's three (maps, new.map, readme.txt) once
    // for the copy and once for the deletion, and the three image files.
    EXPECT_EQ(run.m_nTotal, 1 + 1 + 1 + 3 + 3 + 3);
    EXPECT_TRUE(FillsTheBarOnce(run));
}

TEST_F(MarkerRun, InKeepSourceModeTheMarkedFolderStaysAndTheMarkersAreCopied) {
    PutFile(L"/ResidentFlash/maps/old.map", "old");
    PutFile(L"/SDMMC/ResidentFlash/undelete");
    PutFile(L"/SDMMC/ResidentFlash/update");
    PutFile(L"/SDMMC/ResidentFlash/delete_maps");
    run.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\old.map", "old"}, {L"delete_maps", ""}}));
    EXPECT_EQ(Names(L"/SDMMC/ResidentFlash"), (Names_{L"delete_maps", L"undelete", L"update"}));
    EXPECT_EQ(run.m_nTotal, 3 + 3) << "the markers are copied; nothing is deleted";
    EXPECT_TRUE(FillsTheBarOnce(run));
}

} // namespace
