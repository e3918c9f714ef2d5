// Tessivard.exe as the device runs it: a process in the test's device root that updates
// the flash store, starts the follow-on program and ends by itself.
#include <windows.h>
#include <gtest/gtest.h>
#include "device_files.h"
#include "test_support.h"
#include "update/run/launch_program.h"

namespace {

// Runs the program to its end; its exit code, or -1 when it did not end by itself.
long RunProgram() { return RunToEnd(BuildPath(L"Tessivard.exe"), L"", 30000); }

std::string Line(const std::string &record, const std::string &key) {
    size_t at = record.find(key + ": ");
    if (at == std::string::npos) return "<missing>";
    size_t end = record.find('\n', at);
    return record.substr(at + key.size() + 2, end - at - key.size() - 2);
}

void PutFollowOn(const std::wstring &path) {
    PutFolder(path.substr(0, path.find_last_of(L'/')));
    ASSERT_TRUE(CopyFileW(BuildPath(L"follow_on.exe").c_str(), path.c_str(), FALSE));
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        PutFolder(L"/SDMMC");
        PutFolder(L"/ResidentFlash");
    }
};

TEST_F(Program, UpdatesTheFlashStoreThenStartsTheFollowOnProgramLowerCased) {
    PutFollowOn(L"/ResidentFlash/qormane/Lindvaret.exe");
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    PutFile(L"/SDMMC/ResidentFlash/update", "");
    PutFile(L"/SDMMC/nk.rom", "kernel");
    PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");

    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Content(L"/ResidentFlash/maps/seoul.map"), "seoul 2026");
    EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty());
    EXPECT_FALSE(Exists(L"/SDMMC/nk.rom"));
    EXPECT_FALSE(Exists(L"/ResidentFlash/update"));

    // The platform puts the image path, as it was given, on the command line; nothing follows.
    std::string record = WaitForRecord(L"/ResidentFlash/qormane/started.txt");
    EXPECT_EQ(Line(record, "command line"), "\"/residentflash/qormane/lindvaret.exe\"");
    EXPECT_EQ(Line(record, "arguments"), "");
}

TEST_F(Program, EndsByItselfWhenTheFollowOnProgramIsMissing) {
    PutFile(L"/SDMMC/ResidentFlash/data.bin", "data");
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Content(L"/ResidentFlash/data.bin"), "data");
}

// A dialog the device cannot make (DoModal's -1): no run starts, so the card and the flash
// store's content stay as they were, and the follow-on program starts all the same.
TEST_F(Program, ADialogThatCannotBeMadeChangesNothingAndStartsTheFollowOnProgram) {
    PutFollowOn(L"/ResidentFlash/qormane/Lindvaret.exe");
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    PutFile(L"/SDMMC/ResidentFlash/update", "");
    PutFile(L"/SDMMC/ResidentFlash/delete_maps", "");
    PutFile(L"/SDMMC/nk.rom", "kernel");
    PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
    const auto card = Tree(L"/SDMMC"), flash = Tree(L"/ResidentFlash");

    EXPECT_EQ(RunToEnd(BuildPath(L"tests\\Tessivard_nodialog.exe"), L"", 30000), 0);
    EXPECT_NE(WaitForRecord(L"/ResidentFlash/qormane/started.txt"), "<none>") << "the follow-on program started";
    EXPECT_EQ(Tree(L"/SDMMC"), card);
    auto after = Tree(L"/ResidentFlash");
    after.erase(L"qormane\\started.txt");   // the follow-on program's own record
    EXPECT_EQ(after, flash);
}

TEST_F(Program, LaunchProgramStartsOnlyPathsHoldingExeInAnyLetterCase) {
    PutFollowOn(L"/Tools/PROG.EXE");
    PutFollowOn(L"/Tools/runner");
    EXPECT_EQ(LaunchProgram("/Tools/runner", nullptr), 0);
    EXPECT_NE(LaunchProgram("/Tools/PROG.EXE", nullptr), 0);
    EXPECT_EQ(Line(WaitForRecord(L"/Tools/started.txt"), "command line"), "\"/tools/prog.exe\"");
    Sleep(300);
    EXPECT_EQ(Tree(L"/Tools").size(), 3u) << "the path without .exe started nothing";
}

} // namespace
