// A platform without its cryptography library: the program still starts and applies a card
// without a manifest as always, but a card with a manifest, which it cannot check, is not
// applied at all.
#include <windows.h>
#include <gtest/gtest.h>
#include "device_files.h"
#include "probe_dialog.h"
#include "update/sha256.h"

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;

// A manifest of maps/seoul.map ("seoul 2026") and the update marker, written out, since
// this build cannot seal one.
const char kManifest[] =
    "tessivard-manifest 1\n"
    "folder - - maps\n"
    "file 10 74a117af523e3fedc05376e7b4da45bf78e88b678ad58748730ead16af88b4c0 maps/seoul.map\n"
    "file 0 e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 update\n"
    "seal 6d8de17ad373c3ff7507ee8e7a5f02d9498f5fa2946b15c0d4fc949415d0599d\n";

class NoHashing : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
        PutFile(L"/SDMMC/ResidentFlash/update", "");
        PutFile(L"/SDMMC/nk.rom", "kernel");
        PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
    }
    ProbeDlg run;
};

TEST_F(NoHashing, NoDigestIsMade) {
    CSha256 hash;
    EXPECT_TRUE(hash.Failed());
    hash.Add("abc", 3);
    Digest digest;
    EXPECT_FALSE(hash.Finish(digest));
}

TEST_F(NoHashing, ACardWithAManifestIsNotApplied) {
    PutFile(L"/SDMMC/ResidentFlash/~tessivard-manifest", kManifest);
    PutFile(L"/ResidentFlash/update", "");
    const Files card = Tree(L"/SDMMC/ResidentFlash");
    run.Run();
    EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), card);
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2025"}})) << "only the marker copy went";
    EXPECT_TRUE(Exists(L"/SDMMC/nk.rom"));
    EXPECT_GE(run.destroys, 1);
}

TEST_F(NoHashing, ACardWithoutAManifestGoesInAsAlways) {
    run.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2026"}}));
    EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty());
    EXPECT_FALSE(Exists(L"/SDMMC/nk.rom"));
    EXPECT_TRUE(FillsTheBarOnce(run));
}

} // namespace
