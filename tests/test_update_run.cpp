// Whole update runs in-process, in the test's own device root: what ends up on the card
// and in the flash store, and where the bar stood at the end.
#include <windows.h>
#include <gtest/gtest.h>
#include <memory>
#include "device_files.h"
#include "platform/desktop/idle_timer.h"
#include "platform/keep_awake.h"
#include "probe_dialog.h"
#include "step_record.h"
#include "update/walks/tree_walks.h"
#include "ui/progress/gradient_bands.h"

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;

class UpdateRun : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        PutFolder(L"/SDMMC");
        PutFolder(L"/ResidentFlash");
    }
    void PutImageFiles() {
        PutFile(L"/SDMMC/Data.fai", "data");
        PutFile(L"/SDMMC/nk.rom", "kernel");
        PutFile(L"/SDMMC/tcBoot.rom", "boot");
    }
    bool ImageFilesGone() { return !Exists(L"/SDMMC/Data.fai") && !Exists(L"/SDMMC/nk.rom") && !Exists(L"/SDMMC/tcBoot.rom"); }
    ProbeDlg run;
};

TEST_F(UpdateRun, WithoutACardFolderOnlyTheImageFilesAreDeleted) {
    PutImageFiles();
    PutFile(L"/ResidentFlash/kept.dat", "flash");
    run.Run();

    EXPECT_EQ(run.m_nTotal, 3);
    EXPECT_TRUE(FillsTheBarOnce(run));
    EXPECT_EQ(run.barLow, 0);
    EXPECT_EQ(run.barHigh, 3);
    EXPECT_EQ(run.barPos, 3);
    EXPECT_TRUE(ImageFilesGone());
    EXPECT_TRUE(IsFolder(L"/SDMMC/ResidentFlash"));
    EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty());
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"kept.dat", "flash"}}));
    EXPECT_TRUE(run.m_jobs.empty());
    EXPECT_EQ(Outcome(L"/ResidentFlash/~tessivard-result"), "nothing");
    EXPECT_FALSE(Exists(L"/SDMMC/tessivard-result.txt")) << "no card folder, no copy on the card";

    // The next start without a card finds the record saying so: it writes nothing (a clock
    // set apart here would be replaced). A record of a newer format is replaced, not read.
    std::string record = Content(L"/ResidentFlash/~tessivard-result");
    record.replace(record.find("clock-start ") + 12, 4, "1999");
    PutFile(L"/ResidentFlash/~tessivard-result", record);
    ProbeDlg again;
    again.Run();
    EXPECT_EQ(Content(L"/ResidentFlash/~tessivard-result"), record);
    PutFile(L"/ResidentFlash/~tessivard-result", "tessivard-result 2\noutcome nothing\n");
    ProbeDlg newer;
    newer.Run();
    EXPECT_EQ(Content(L"/ResidentFlash/~tessivard-result").rfind("tessivard-result 1\noutcome nothing\n", 0), 0u);
}

TEST_F(UpdateRun, AFullUpdateOverlaysTheFlashStoreAndEmptiesTheCard) {
    PutImageFiles();
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    PutFile(L"/SDMMC/ResidentFlash/maps/regions/north.map", "north 2026");
    PutFile(L"/SDMMC/ResidentFlash/voice.wav", "voice");
    PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
    PutFile(L"/ResidentFlash/maps/jeju.map", "jeju 2024");
    PutFile(L"/ResidentFlash/update", "");
    PutFile(L"/ResidentFlash/undelete", "");
    run.Run();

    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2026"},
                                              {L"maps\\regions\\north.map", "north 2026"},
                                              {L"maps\\jeju.map", "jeju 2024"},
                                              {L"voice.wav", "voice"}}))
        << "the marker copies are removed from the flash store";
    EXPECT_TRUE(IsFolder(L"/SDMMC/ResidentFlash"));
    EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty());
    EXPECT_FALSE(Exists(L"/SDMMC/ResidentFlash/maps"));
    EXPECT_TRUE(ImageFilesGone());

    // Five entries (maps, seoul.map, regions, north.map, voice.wav) copied and deleted,
    // and three image files: the bar ends full, every band shown.
    EXPECT_EQ(run.m_nTotal, 5 + 5 + 3);
    EXPECT_TRUE(FillsTheBarOnce(run));
    EXPECT_EQ(run.barHigh, run.m_nTotal);
    EXPECT_EQ(run.barPos, run.barHigh);
    EXPECT_EQ(g_steps.crEndOfBar, BandColour(RGB(255, 0, 0), RGB(0, 0, 255), 255, 254));
    const std::string record = Content(L"/ResidentFlash/~tessivard-result");
    EXPECT_EQ(Outcome(L"/ResidentFlash/~tessivard-result"), "applied");
    EXPECT_NE(record.find("\nfiles-written 3\n"), std::string::npos) << record;
    EXPECT_EQ(Content(L"/SDMMC/tessivard-result.txt"), record) << "the card's copy, beside the card folder";
}

// A device on battery suspends after its idle time without input: a run resets the idle
// timer as it starts, and while it works no more often than every few seconds (the tick
// count wraps).
TEST_F(UpdateRun, ARunKeepsTheDeviceAwake) {
    const LONG before = DesktopIdleTimerResets();
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    run.Run();
    EXPECT_GT(DesktopIdleTimerResets(), before);
    EXPECT_FALSE(IdleResetDue(4999, 0));
    EXPECT_TRUE(IdleResetDue(5000, 0));
    EXPECT_FALSE(IdleResetDue(0x100, 0xFFFFF000));
    EXPECT_TRUE(IdleResetDue(0x1000, 0xFFFFF000));
}

TEST_F(UpdateRun, KeepSourceModeCopiesButDeletesNothingOnTheCard) {
    PutImageFiles();
    PutFile(L"/SDMMC/ResidentFlash/undelete", "");
    PutFile(L"/SDMMC/ResidentFlash/update", "");
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    const Files card = Tree(L"/SDMMC/ResidentFlash");
    run.Run();

    EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), card);
    EXPECT_FALSE(ImageFilesGone());
    EXPECT_TRUE(Exists(L"/SDMMC/Data.fai") && Exists(L"/SDMMC/nk.rom") && Exists(L"/SDMMC/tcBoot.rom"));
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2026"}}))
        << "copied, markers included, and the two marker copies removed again";
    EXPECT_EQ(run.m_nTotal, 4 + 3) << "the card folder's deletion takes no step in this mode";
    EXPECT_TRUE(FillsTheBarOnce(run));
    EXPECT_EQ(run.barPos, run.m_nTotal);
    EXPECT_EQ(Outcome(L"/ResidentFlash/~tessivard-result"), "applied");

    // The card applied again: the flash file that holds its new version already is the same
    // file (not written again), with the card file's time of last change; the bar ends full.
    const auto identity = [](const wchar_t *path, FILETIME &written, bool bAge) {
        BY_HANDLE_FILE_INFORMATION info = {};
        const HANDLE h = CreateFileW(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        const FILETIME y2001 = {0x5B3C4000, 0x01C07385};
        if (bAge) {
            EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &y2001));
        }
        GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        written = info.ftLastWriteTime;
        return (ULONGLONG(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    };
    FILETIME flashTime, cardTime;
    const ULONGLONG file = identity(L"/ResidentFlash/maps/seoul.map", flashTime, true);
    identity(L"/SDMMC/ResidentFlash/maps/seoul.map", cardTime, false);
    ASSERT_NE(CompareFileTime(&flashTime, &cardTime), 0);
    ProbeDlg again;
    again.Run();
    EXPECT_EQ(identity(L"/ResidentFlash/maps/seoul.map", flashTime, false), file);
    EXPECT_EQ(CompareFileTime(&flashTime, &cardTime), 0);
    EXPECT_TRUE(FillsTheBarOnce(again));
    const std::string record = Content(L"/ResidentFlash/~tessivard-result");
    EXPECT_NE(record.find("\noutcome nothing\nreason the card went in before"), std::string::npos) << record;
    PutFile(L"/SDMMC/ResidentFlash/maps/busan.map", "busan 2026");
    ProbeDlg third;
    third.Run();
    EXPECT_NE(Content(L"/ResidentFlash/~tessivard-result").find("\nfiles-written 1\nfiles-unchanged 1\n"), std::string::npos)
        << "the marker copies are no content: " << Content(L"/ResidentFlash/~tessivard-result");
}

TEST_F(UpdateRun, ACopyThatFailsKeepsTheCardFolderForAnotherTry) {
    PutImageFiles();
    PutFile(L"/SDMMC/ResidentFlash/a.txt", "a new");
    PutFile(L"/SDMMC/ResidentFlash/blocked.dat", "can't land");
    PutFile(L"/SDMMC/ResidentFlash/z.txt", "z new");
    PutFolder(L"/ResidentFlash/blocked.dat");   // a folder where the card has a file
    const Files card = Tree(L"/SDMMC/ResidentFlash");
    run.Run();

    EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), card) << "nothing of the update is lost";
    EXPECT_EQ(Content(L"/ResidentFlash/a.txt"), "a new");
    EXPECT_EQ(Content(L"/ResidentFlash/z.txt"), "z new");
    EXPECT_TRUE(IsFolder(L"/ResidentFlash/blocked.dat"));
    EXPECT_TRUE(ImageFilesGone()) << "the rest of the run is as always";
    EXPECT_EQ(run.m_nTotal, 3 + 3 + 3);
    EXPECT_EQ(g_steps.positions, (std::vector<int>{1, 2, 3, 4, 5, 6}))
        << "the card folder's deletion takes no step: the bar ends short of full";
    EXPECT_EQ(Outcome(L"/SDMMC/tessivard-result.txt"), "incomplete");
    EXPECT_NE(Content(L"/ResidentFlash/~tessivard-result").find("\nreason a file could not be written into the flash store: "
                                                                 "/ResidentFlash\\blocked.dat (error "),
              std::string::npos);
}

TEST_F(UpdateRun, EveryStepShowsItsOwnPictureAndTheBarEndsWhereTheRunStopped) {
    // 600 files: about two steps to a band of the bar, most of which keep its picture. The
    // copy of one more fails, so the card stays and the run stops short of its plan, at a
    // position whose picture the step before it showed already.
    PutImageFiles();
    for (int i = 0; i < 600; ++i)
        PutFile(L"/SDMMC/ResidentFlash/d" + std::to_wstring(i / 100) + L"/f" + std::to_wstring(i) + L".dat", "x");
    PutFile(L"/SDMMC/ResidentFlash/zz.dat", "can't land");
    PutFolder(L"/ResidentFlash/zz.dat");
    run.readPictures = true;
    run.Run();

    const int nCopySteps = 6 + 600 + 1;
    EXPECT_EQ(run.m_nTotal, 2 * nCopySteps + 3);
    ASSERT_EQ(g_steps.positions.size(), size_t(nCopySteps + 3));
    EXPECT_TRUE(g_steps.wrongPictures.empty()) << g_steps.wrongPictures.front();
    EXPECT_EQ(run.barPos, nCopySteps + 3) << "the control holds the last position the run reached";
    EXPECT_EQ(g_steps.positions.back(), nCopySteps + 3);
}

TEST_F(UpdateRun, FoldersDotFoldersAndATreeDeeperThanAnAnsiPathAreStepsOfThePlan) {
    PutImageFiles();
    PutFile(L"/SDMMC/ResidentFlash/.cache/1", "not copied");
    PutFile(L"/SDMMC/ResidentFlash/.cache/2", "not copied");
    PutFile(L"/SDMMC/ResidentFlash/.profile", "copied");
    PutFolder(L"/SDMMC/ResidentFlash/empty");
    // 112 levels: the deepest file's path, 258 characters, passes the 255-byte paths of the
    // file count, within the device's 259.
    std::wstring deep = L"/SDMMC/ResidentFlash/deep";
    for (int i = 0; i < 112; ++i) deep += L"/a";
    PutFile(deep + L"/last.txt", "deepest");
    run.Run();

    EXPECT_EQ(Content(L"/ResidentFlash/deep" + deep.substr(25) + L"/last.txt"), "deepest");
    EXPECT_FALSE(Exists(L"/ResidentFlash/.cache"));
    // .cache, .profile, empty, deep, 112 levels and the last file: copied, then deleted.
    EXPECT_EQ(run.m_nTotal, 2 * (3 + 1 + 112 + 1) + 3);
    EXPECT_TRUE(FillsTheBarOnce(run));
}

// Every writer's temporary name is reserved, and every one an interrupted run left goes.
TEST_F(UpdateRun, CardFilesBearingATemporarysNameAreSkippedAndKeepTheCard) {
    PutFile(L"/SDMMC/ResidentFlash/maps/~Tessivard-Partial.tmp", "not an update");
    PutFile(L"/SDMMC/ResidentFlash/maps/~TESSIVARD-partial-0a1B2c3D-1.tmp", "not an update either");
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    PutFile(L"/ResidentFlash/maps/~Tessivard-Partial-FEEDF00D-1.TMP", "left by a cut of an earlier update");
    PutFile(L"/ResidentFlash/~tessivard-partial.tmp", "left by a cut");
    run.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2026"}}));
    EXPECT_TRUE(Exists(L"/SDMMC/ResidentFlash/maps/~Tessivard-Partial.tmp"));
    EXPECT_TRUE(Exists(L"/SDMMC/ResidentFlash/maps/~TESSIVARD-partial-0a1B2c3D-1.tmp"));
    EXPECT_EQ(g_steps.positions.size(), 4u + 3u) << "each still takes its step";
}

// A keyed device's sequence record: no card writes it or removes it, whatever build reads it.
TEST_F(UpdateRun, NoCardWritesOrRemovesTheSequenceRecord) {
    PutFile(L"/ResidentFlash/~tessivard-sequence", "3\n");
    PutFile(L"/SDMMC/ResidentFlash/~Tessivard-Sequence", "9\n");
    PutFile(L"/SDMMC/ResidentFlash/maps/~tessivard-sequence", "9\n");
    PutFile(L"/SDMMC/ResidentFlash/delete_~tessivard-sequence", "");
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    PutFile(L"/SDMMC/ResidentFlash/maps/~Tessivard-RESULT", "tessivard-result 1\noutcome applied\n");   // nor the result record
    PutFile(L"/SDMMC/ResidentFlash/delete_~tessivard-result", "");
    run.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"~tessivard-sequence", "3\n"}, {L"maps\\seoul.map", "seoul 2026"}}));
    EXPECT_EQ(Content(L"/SDMMC/ResidentFlash/~Tessivard-Sequence"), "9\n") << "the card is kept, as a copy that failed keeps it";
    EXPECT_EQ(Outcome(L"/ResidentFlash/~tessivard-result"), "incomplete");
    EXPECT_FALSE(Exists(L"/ResidentFlash/maps/~tessivard-result"));
}

// A cut leaves a temporary in a folder the walk reaches late; on a nearly full store the
// copy's first files need its room. The plan clears every folder the copy will write into
// before anything is written, and counts the deletions without them.
TEST_F(UpdateRun, TemporariesAnInterruptedRunLeftGoBeforeAnythingIsWritten) {
    PutFile(L"/SDMMC/ResidentFlash/a.map", "a 2026");
    PutFile(L"/SDMMC/ResidentFlash/maps/deep/seoul.map", "seoul 2026");
    PutFile(L"/SDMMC/ResidentFlash/delete_voice", "");
    PutFile(L"/SDMMC/ResidentFlash/voice/new.ogg", "new voice");
    PutFile(L"/ResidentFlash/maps/deep/~TESSIVARD-PARTIAL-5EED0001-0.TMP", "left by a cut of an earlier update");
    PutFile(L"/ResidentFlash/voice/~tessivard-partial-1.tmp", "left by a cut");
    PutFile(L"/ResidentFlash/voice/old.ogg", "old voice");
    PutFile(L"/ResidentFlash/poi/~tessivard-partial.tmp", "in a folder the card does not have");

    const auto space = std::make_unique<CWalkSpace>();
    const int nCount = CountStepsClearingTemporaries(*space, Walk::kCopy, L"/SDMMC/ResidentFlash", L"/ResidentFlash");
    EXPECT_EQ(nCount, 7) << "a.map, maps, deep, seoul.map, delete_voice, voice, new.ogg";
    EXPECT_FALSE(Exists(L"/ResidentFlash/maps/deep/~TESSIVARD-PARTIAL-5EED0001-0.TMP"));
    EXPECT_FALSE(Exists(L"/ResidentFlash/voice/~tessivard-partial-1.tmp"));
    EXPECT_TRUE(Exists(L"/ResidentFlash/poi/~tessivard-partial.tmp")) << "the copy writes nothing there";
    EXPECT_EQ(Content(L"/ResidentFlash/voice/old.ogg"), "old voice");

    PutFile(L"/ResidentFlash/voice/~tessivard-partial-1.tmp", "left by a cut");
    run.Run();
    EXPECT_TRUE(FillsTheBarOnce(run)) << "the marker's deletion was counted without the temporary";
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"a.map", "a 2026"},
                                              {L"maps\\deep\\seoul.map", "seoul 2026"},
                                              {L"voice\\new.ogg", "new voice"},
                                              {L"poi\\~tessivard-partial.tmp", "in a folder the card does not have"}}));
}

// A cut in a marker's deletion, once its files were gone and before its folder went, left
// the folder empty: the next run's deletion lists nothing in it, and removes it all the same.
TEST_F(UpdateRun, AMarkersFolderThatAnInterruptedDeletionLeftEmptyGoes) {
    PutFile(L"/SDMMC/ResidentFlash/delete_lang", "");
    PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
    PutFolder(L"/ResidentFlash/lang");
    PutFolder(L"/ResidentFlash/voice");
    run.Run();
    EXPECT_TRUE(FillsTheBarOnce(run));
    EXPECT_FALSE(Exists(L"/ResidentFlash/lang"));
    EXPECT_TRUE(IsFolder(L"/ResidentFlash/voice")) << "an empty folder no marker names stays";
    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\seoul.map", "seoul 2026"}}));
}

// --- a delete marker's folder that its deletion does not take whole ---------------------

// The device refuses to remove a read-only file; the deletions clear the attribute first.
TEST_F(UpdateRun, ReadOnlyFilesOfAMarkersFolderAndOfTheCardGoAndTheMarkerIsConsumed) {
    PutFile(L"/probe.dat", "read-only");
    ASSERT_TRUE(SetFileAttributesW(L"/probe.dat", FILE_ATTRIBUTE_READONLY));
    ASSERT_FALSE(DeleteFileW(L"/probe.dat")) << "this platform removes read-only files: the case proves nothing";
    RemoveTree(L"/probe.dat");

    PutFile(L"/ResidentFlash/maps/old.map", "old");
    PutFile(L"/ResidentFlash/maps/regions/north.map", "north 2025");
    PutFile(L"/SDMMC/ResidentFlash/delete_maps", "");
    PutFile(L"/SDMMC/ResidentFlash/maps/new.map", "new");
    PutFile(L"/SDMMC/ResidentFlash/readme.txt", "read me");
    for (const wchar_t *path : {L"/ResidentFlash/maps/old.map", L"/ResidentFlash/maps/regions/north.map",
                                L"/SDMMC/ResidentFlash/readme.txt"})
        ASSERT_TRUE(SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    run.Run();

    EXPECT_EQ(Tree(L"/ResidentFlash"), (Files{{L"maps\\new.map", "new"}, {L"readme.txt", "read me"}}));
    EXPECT_TRUE(IsFolder(L"/SDMMC/ResidentFlash"));
    EXPECT_TRUE(Names(L"/SDMMC/ResidentFlash").empty()) << "the marker is consumed, the card's read-only file gone";
    EXPECT_TRUE(FillsTheBarOnce(run));
}

// A file the platform will not remove (another program holds it open, sharing no deletion)
// leaves its folder in place: its marker and the whole card stay for the next run, and the
// rest of the run goes on. Each marker is judged on its own.
TEST_F(UpdateRun, AFileHeldOpenKeepsItsMarkerAndTheCardAndTheNextRunFinishes) {
    PutFolder(L"/ResidentFlash/qormane");
    ASSERT_TRUE(CopyFileW(BuildPath(L"follow_on.exe").c_str(), L"/ResidentFlash/qormane/Lindvaret.exe", FALSE));
    PutImageFiles();
    PutFile(L"/ResidentFlash/maps/old.map", "old");
    PutFile(L"/ResidentFlash/maps/held/in use.map", "in use");
    PutFile(L"/ResidentFlash/poi/fuel.poi", "fuel");
    PutFile(L"/ResidentFlash/poi/closed.poi", "closed");
    PutFile(L"/SDMMC/ResidentFlash/delete_maps", "");   // listed before delete_poi
    PutFile(L"/SDMMC/ResidentFlash/delete_poi", "");
    PutFile(L"/SDMMC/ResidentFlash/maps/new.map", "new");
    PutFile(L"/SDMMC/ResidentFlash/poi/fuel.poi", "fuel 2026");
    PutFile(L"/SDMMC/ResidentFlash/readme.txt", "read me");
    Files card = Tree(L"/SDMMC/ResidentFlash");
    card.erase(L"delete_poi");
    HANDLE hHeld = CreateFileW(L"/ResidentFlash/maps/held/in use.map", GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    run.Run();
    CloseHandle(hHeld);

    EXPECT_EQ(Tree(L"/SDMMC/ResidentFlash"), card) << "the marker of the folder left behind, and the whole card, stay";
    EXPECT_EQ(Tree(L"/ResidentFlash/maps"), (Files{{L"held\\in use.map", "in use"}, {L"new.map", "new"}}))
        << "the rest of the folder goes, and the copy still brings the card's files";
    EXPECT_EQ(Tree(L"/ResidentFlash/poi"), (Files{{L"fuel.poi", "fuel 2026"}}));
    EXPECT_EQ(Content(L"/ResidentFlash/readme.txt"), "read me");
    EXPECT_FALSE(Exists(L"/ResidentFlash/delete_maps")) << "the kept marker's copy is no content of the flash store";
    EXPECT_TRUE(ImageFilesGone()) << "the rest of the run is as always";
    EXPECT_LE(run.barPos, run.barHigh) << "a step the plan did not count never takes the bar past its end";
    EXPECT_NE(WaitForRecord(L"/ResidentFlash/qormane/started.txt"), "<none>")
        << "the run ends by starting the follow-on program";
    EXPECT_EQ(Outcome(L"/ResidentFlash/~tessivard-result"), "incomplete");

    // Once the file is free, the next run deletes the folder, consumes the marker and
    // applies the card whole.
    DeleteFileW(L"/ResidentFlash/qormane/started.txt");
    ProbeDlg next;
    next.Run();
    EXPECT_TRUE(Names(L"/SDMMC/ResidentFlash").empty());
    EXPECT_EQ(Tree(L"/ResidentFlash/maps"), (Files{{L"new.map", "new"}}));
    EXPECT_FALSE(Exists(L"/ResidentFlash/delete_maps"));
    EXPECT_TRUE(FillsTheBarOnce(next));
    EXPECT_NE(WaitForRecord(L"/ResidentFlash/qormane/started.txt"), "<none>");
    EXPECT_EQ(Outcome(L"/ResidentFlash/~tessivard-result"), "applied") << "the first run's was incomplete";
}

// What the deletion passes by its rules stays whatever a later run does: a marked folder
// that keeps only that consumes its marker, and the card goes.
TEST_F(UpdateRun, AMarkersFolderThatKeepsOnlyADotFolderConsumesItsMarker) {
    PutFile(L"/ResidentFlash/maps/old.map", "old");
    PutFile(L"/ResidentFlash/maps/.index/tiles", "index");
    PutFile(L"/SDMMC/ResidentFlash/delete_maps", "");
    PutFile(L"/SDMMC/ResidentFlash/maps/new.map", "new");
    run.Run();
    EXPECT_EQ(Tree(L"/ResidentFlash/maps"), (Files{{L".index\\tiles", "index"}, {L"new.map", "new"}}));
    EXPECT_TRUE(Names(L"/SDMMC/ResidentFlash").empty());
    EXPECT_TRUE(FillsTheBarOnce(run));
}

TEST_F(UpdateRun, AFolderThatCannotBeMadeInTheFlashStoreAlsoKeepsTheCard) {
    PutFile(L"/SDMMC/ResidentFlash/maps/empty-on-card/.keep", "");
    PutFile(L"/ResidentFlash/maps", "a file where the card has a folder");
    run.Run();
    EXPECT_TRUE(Exists(L"/SDMMC/ResidentFlash/maps/empty-on-card/.keep"));
    EXPECT_EQ(Content(L"/ResidentFlash/maps"), "a file where the card has a folder");
}

} // namespace

// Hundreds of new folders, some of long paths: each writer's move to another folder puts
// that folder on the recovery record (and, on plain FAT, flushes the volume first), and the
// card still goes in whole, with no record left behind. (No count of folders is a bound of
// the record's: each folder's turn replaces the one before.)
TEST_F(UpdateRun, HundredsOfFoldersEachOnTheRecordStillGoInWhole) {
    Files expected;
    for (int i = 0; i < 300; ++i) {
        const std::wstring name = L"s" + std::to_wstring(i);
        PutFile(L"/SDMMC/ResidentFlash/short/" + name + L"/f", "s");
        expected[L"short\\" + name + L"\\f"] = "s";
    }
    const std::wstring longName(60, L'n');
    for (int i = 0; i < 200; ++i) {
        const std::wstring name = longName + std::to_wstring(i);
        PutFile(L"/SDMMC/ResidentFlash/long/" + name + L"/f", "l");
        expected[L"long\\" + name + L"\\f"] = "l";
    }
    run.Run();

    EXPECT_EQ(run.barPos, run.m_nTotal);
    EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty()) << "the card stays only when a flush failed";
    EXPECT_EQ(Tree(L"/ResidentFlash"), expected);
}
