// Whole runs in-process on cards that carry a manifest: a whole card goes in exactly as the
// same card without one; a card that is not whole, or whose replaced folder holds a file
// other than it was made, changes nothing at all, and the run still ends as every run does.
#include <windows.h>
#include <gtest/gtest.h>
#include "device_files.h"
#include "probe_dialog.h"
#include "update/manifest/manifest.h"

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;
const std::wstring kCard = L"/SDMMC/ResidentFlash";

void Sha(const std::string &bytes, Digest &digest) {
    CSha256 hash;
    hash.Add(bytes.data(), DWORD(bytes.size()));
    hash.Finish(digest);
}

class ManifestRuns : public ::testing::Test {
protected:
    // The card: these files (below the card folder, "/" between names), their folders, and
    // the image files; the flash store as before the update.
    void SetUp() override { Lay(); }
    void Lay() {
        ClearDevice();
        PutFolder(L"/SDMMC");
        PutFile(L"/SDMMC/nk.rom", "kernel");
        PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
        PutFile(L"/ResidentFlash/maps/jeju.map", "jeju 2024");
        PutFile(L"/ResidentFlash/update", "");
        for (const auto &[rel, content] : card) PutFile(kCard + L"/" + rel, content);
    }
    // The manifest of the card as it now lies.
    void WriteManifest() {
        std::string text;
        BeginManifest(text);
        std::vector<std::wstring> folders;
        for (const auto &[rel, content] : card) {
            for (size_t at = rel.find(L'/'); at != std::wstring::npos; at = rel.find(L'/', at + 1))
                if (std::find(folders.begin(), folders.end(), rel.substr(0, at)) == folders.end())
                    folders.push_back(rel.substr(0, at));
            Digest digest;
            Sha(content, digest);
            ASSERT_TRUE(AppendManifestFile(text, rel.c_str(), content.size(), digest));
        }
        for (const std::wstring &folder : folders) ASSERT_TRUE(AppendManifestFolder(text, folder.c_str()));
        SealManifest(text);
        PutFile(kCard + L"/~tessivard-manifest", text);
    }
    void ExpectNothingChanged(const ProbeDlg &dlg, const Files &cardBefore, const Files &flashBefore) {
        EXPECT_EQ(Tree(kCard), cardBefore) << "the card, its manifest included, as it was";
        Files flash = flashBefore;
        flash.erase(L"update");
        EXPECT_EQ(Tree(L"/ResidentFlash"), flash) << "only the marker copies went";
        EXPECT_TRUE(Exists(L"/SDMMC/nk.rom")) << "the image files stay";
        EXPECT_GE(dlg.destroys, 1) << "the run ends as every run does";
    }

    std::map<std::wstring, std::string> card = {
        {L"maps/seoul.map", "seoul 2026"}, {L"maps/regions/north.map", "north 2026"},
        {L"voice.wav", "voice"}, {L"update", ""},
    };
    ProbeDlg run;
};

TEST_F(ManifestRuns, AWholeCardGoesInExactlyAsWithoutAManifest) {
    run.Run();
    const Files flashWithout = Tree(L"/ResidentFlash");
    const int nTotalWithout = run.m_nTotal;
    ASSERT_TRUE(FillsTheBarOnce(run));

    Lay();
    WriteManifest();
    ProbeDlg dlg;
    dlg.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash"), flashWithout) << "the manifest never reaches the flash store";
    EXPECT_TRUE(IsFolder(kCard) && Tree(kCard).empty());
    EXPECT_FALSE(Exists(L"/SDMMC/nk.rom"));
    EXPECT_EQ(dlg.m_nTotal, nTotalWithout + 2 + 3) << "the manifest passed over and removed; its three files read first";
    EXPECT_TRUE(FillsTheBarOnce(dlg));
    EXPECT_EQ(g_steps.removedBesideManifest, 0) << "the manifest goes before anything else of the card";
}

TEST_F(ManifestRuns, ACardThatIsNotWholeChangesNothing) {
    const std::vector<std::pair<const char *, std::function<void()>>> faults = {
        {"a file cut short", [] { PutFile(kCard + L"/voice.wav", "voi"); }},
        {"a file missing", [] { DeleteFileW((kCard + L"/maps/regions/north.map").c_str()); }},
        {"a file extra", [] { PutFile(kCard + L"/maps/busan.map", "busan"); }},
        {"a folder missing", [] { RemoveTree(kCard + L"/maps/regions"); }},
        {"the manifest cut short", [] {
             const std::string text = Content(kCard + L"/~tessivard-manifest");
             PutFile(kCard + L"/~tessivard-manifest", text.substr(0, text.size() - 20));
         }},
        {"a manifest that is a folder", [] {
             DeleteFileW((kCard + L"/~tessivard-manifest").c_str());
             PutFolder(kCard + L"/~tessivard-manifest");
         }},
    };
    for (const auto &[what, fault] : faults) {
        Lay();
        WriteManifest();
        fault();
        const Files cardBefore = Tree(kCard), flashBefore = Tree(L"/ResidentFlash");
        ProbeDlg dlg;
        dlg.Run();
        SCOPED_TRACE(what);
        ExpectNothingChanged(dlg, cardBefore, flashBefore);
        EXPECT_TRUE(g_steps.positions.empty()) << "the bar never moved";
    }
}

TEST_F(ManifestRuns, AReplacedFolderIsReadWholeBeforeItsMarkerGoes) {
    card = {{L"maps/seoul.map", "seoul 2026"}, {L"maps/busan.map", "busan 2026"}, {L"maps/sub/a.map", "a"},
            {L"voice.wav", "voice"}, {L"update", ""}, {L"delete_maps", ""}};
    Lay();
    WriteManifest();
    run.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2026"}, {L"maps\\busan.map", "busan 2026"},
                                              {L"maps\\sub\\a.map", "a"}, {L"voice.wav", "voice"}}))
        << "jeju.map went with its folder";
    EXPECT_EQ(g_steps.verified.size(), 4u) << "every listed file, the consumed markers aside";
    EXPECT_TRUE(FillsTheBarOnce(run)) << "each read a step of the plan";

    // The same card with a byte flipped in the replaced folder, or outside it: nothing changes.
    for (const auto &[file, flipped] : {std::pair{L"/maps/sub/a.map", "b"}, {L"/voice.wav", "voicE"}}) {
        Lay();
        WriteManifest();
        PutFile(kCard + file, flipped);
        const Files cardBefore = Tree(kCard), flashBefore = Tree(L"/ResidentFlash");
        ProbeDlg dlg;
        dlg.Run();
        ExpectNothingChanged(dlg, cardBefore, flashBefore);
        EXPECT_EQ(Content(L"/ResidentFlash/maps/jeju.map"), "jeju 2024") << "the folder its marker names is kept";
        EXPECT_LT(int(g_steps.positions.size()), dlg.m_nTotal) << "the bar stops where the check stopped";
    }
}

TEST_F(ManifestRuns, ACardWhoseMarkersAnEarlierRunConsumedStillGoesIn) {
    card[L"delete_maps"] = "";
    Lay();
    WriteManifest();
    DeleteFileW((kCard + L"/update").c_str());
    run.Run();
    EXPECT_EQ(Content(L"/ResidentFlash/maps/regions/north.map"), "north 2026");
    EXPECT_EQ(Content(L"/ResidentFlash/maps/jeju.map"), "<none>") << "the marker left still replaces its folder";
    EXPECT_TRUE(Tree(kCard).empty());
    EXPECT_TRUE(FillsTheBarOnce(run));
}

TEST_F(ManifestRuns, KeepSourceModeKeepsTheCardAndItsManifest) {
    card[L"undelete"] = "";
    Lay();
    WriteManifest();
    const Files cardBefore = Tree(kCard);
    run.Run();
    EXPECT_EQ(Tree(kCard), cardBefore);
    EXPECT_EQ(Content(L"/ResidentFlash/voice.wav"), "voice");
    EXPECT_FALSE(Exists(L"/ResidentFlash/~tessivard-manifest"));
    EXPECT_TRUE(FillsTheBarOnce(run));
}

} // namespace
