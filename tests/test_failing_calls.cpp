// The platform failing the program: a volume that does not describe itself, a bitmap file
// that does not load, a worker thread that does not start. Each call fails here through its
// seam (tests/variants/failing_calls.h); what the device shows is still a run that ends,
// with the card and the flash store as they should be.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <thread>
#include <functional>
#include "device_files.h"
#include "probe_dialog.h"
#include "test_support.h"
#include "platform/device_calls.h"
#include "tests/variants/failing_calls.h"
#include "update/seams/seams.h"
#include "update/storage/room_budget.h"

namespace {

CWinApp theTestApp;
using Files = std::map<std::wstring, std::string>;

int VolumeInfoCalls() {
    const std::lock_guard<std::mutex> hold(g_failing.lock);
    return g_failing.volumeInfoCalls;
}
std::wstring LastVolumeRoot() {
    const std::lock_guard<std::mutex> hold(g_failing.lock);
    return g_failing.lastVolumeRoot;
}

// The follow-on program's record of its start, once it has written it; "<none>" after 10 s.
std::string FollowOnRecord() { return WaitForRecord(L"/ResidentFlash/qormane/started.txt"); }

// A device with an update on its card, and the follow-on program in the flash store.
class Failing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
    }
    void SetUp() override {
        ClearDevice();
        PutFile(L"/SDMMC/ResidentFlash/maps/seoul.map", "seoul 2026");
        PutFile(L"/SDMMC/ResidentFlash/update", "");
        PutFile(L"/SDMMC/nk.rom", "kernel");
        PutFile(L"/ResidentFlash/maps/seoul.map", "seoul 2025");
        PutFolder(L"/ResidentFlash/qormane");
        // The follow-on program an earlier test started may still be ending, its file in use.
        const std::wstring followOn = BuildPath(L"follow_on.exe");
        bool put = false;
        for (int i = 0; i < 50 && !put; ++i)
            if (!(put = CopyFileW(followOn.c_str(), L"/ResidentFlash/qormane/Lindvaret.exe", FALSE))) Sleep(100);
        ASSERT_TRUE(put);
        g_failing.workerStartFailures = 0;
        g_failing.workerStarts.clear();
    }
    void ExpectUpdateIn() {
        EXPECT_EQ(Content(L"/ResidentFlash/maps/seoul.map"), "seoul 2026");
        EXPECT_TRUE(Tree(L"/SDMMC/ResidentFlash").empty());
        EXPECT_FALSE(Exists(L"/SDMMC/nk.rom"));
    }

    // Runs the update dialog as the program does; a dialog still up after 10 s is ended
    // by Cancel, and *pStuck tells so.
    void Run(bool *pStuck) {
        static HWND s_hwnd;
        static bool s_stuck;
        s_hwnd = nullptr;
        s_stuck = false;
        run.afterInit = [](ProbeDlg &d) { s_hwnd = d.m_hWnd; };
        const UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR, DWORD) {
            s_stuck = true;
            PostMessageW(s_hwnd, WM_COMMAND, IDCANCEL, 0);
        });
        run.Run();
        KillTimer(nullptr, watchdog);
        *pStuck = s_stuck;
    }
    ProbeDlg run;
};

// --- the volume's description -------------------------------------------------------------

TEST_F(Failing, AVolumeThatDoesNotDescribeItselfLeavesTheRoomUnreadAndTheTemporaryBeside) {
    Room room;
    room.cbFree = 7;
    int before = VolumeInfoCalls();
    EXPECT_FALSE(ReadRoom(L"/ResidentFlash/maps/seoul.map", room));
    EXPECT_EQ(VolumeInfoCalls(), before + 1);
    EXPECT_EQ(LastVolumeRoot(), L"\\ResidentFlash") << "the volume is named by the folder it is mounted at";
    EXPECT_FALSE(ReadRoom(L"/top.txt", room));
    EXPECT_EQ(LastVolumeRoot(), L"\\") << "a file of the root is on the root's volume";

    // The budget lets the temporary go beside, reserving nothing, however large.
    CRoomBudget budget;
    ULONGLONG cbReserved = 1;
    EXPECT_TRUE(budget.Reserve(L"/ResidentFlash/maps/seoul.map", 1ull << 40, cbReserved));
    EXPECT_EQ(cbReserved, 0u);

    // A whole update goes in all the same.
    before = VolumeInfoCalls();
    bool stuck = false;
    Run(&stuck);
    EXPECT_FALSE(stuck);
    EXPECT_GT(VolumeInfoCalls(), before) << "the copy asked for the room";
    ExpectUpdateIn();
    EXPECT_TRUE(FillsTheBarOnce(run));
    EXPECT_NE(FollowOnRecord(), "<none>");
}

// --- the volume's flush ------------------------------------------------------------------

// A driver without the flush's control code: the names are committed by a flush of an empty
// file of the program's own at each volume's root, the flash store's before the card loses
// anything and the card's before its content goes; the update goes in as anywhere.
TEST_F(Failing, AVolumeWithoutItsFlushHasItsNamesCommittedByAFileFlushedAtItsRoot) {
    int before = 0;
    {
        const std::lock_guard<std::mutex> hold(g_failing.lock);
        before = g_failing.volumeFlushCalls;
    }
    bool stuck = false;
    Run(&stuck);
    EXPECT_FALSE(stuck);
    ExpectUpdateIn();
    EXPECT_NE(FollowOnRecord(), "<none>");
    {
        const std::lock_guard<std::mutex> hold(g_failing.lock);
        EXPECT_GT(g_failing.volumeFlushCalls, before);
    }
    EXPECT_TRUE(Exists(L"/ResidentFlash/~tessivard-flush")) << "the flash store's names went by its own file";
    EXPECT_TRUE(Exists(L"/SDMMC/~tessivard-flush")) << "the card's names went by its own file";
    EXPECT_EQ(Content(L"/ResidentFlash/~tessivard-flush"), "");
}

// A driver whose flush fails with another error: a transaction-safe volume is committed by its
// file all the same; on plain FAT nothing commits a replacement's steps, so the file holds one
// of its versions, whole, and the card is kept for the next start. The follow-on starts on both.
TEST_F(Failing, AVolumeFlushFailingOtherwiseIsCommittedByAFileOnlyOnATransactionSafeVolume) {
    for (const DWORD flags : {DWORD(CE_VOLUME_TRANSACTION_SAFE), DWORD(0)}) {
        SCOPED_TRACE(flags ? "transaction-safe" : "plain FAT");
        SetUp();
        {
            const std::lock_guard<std::mutex> hold(g_failing.lock);
            g_failing.flushError = ERROR_GEN_FAILURE;
            g_failing.describedFlags = flags;
        }
        bool stuck = false;
        Run(&stuck);
        EXPECT_FALSE(stuck);
        if (flags) {
            ExpectUpdateIn();
        } else {
            const std::string held = Content(L"/ResidentFlash/maps/seoul.map");
            EXPECT_TRUE(held == "seoul 2025" || held == "seoul 2026") << held;
            EXPECT_EQ(Content(L"/SDMMC/ResidentFlash/maps/seoul.map"), "seoul 2026");
        }
        EXPECT_NE(FollowOnRecord(), "<none>");
    }
    const std::lock_guard<std::mutex> hold(g_failing.lock);
    g_failing.flushError = ERROR_NOT_SUPPORTED;
    g_failing.describedFlags = MAXDWORD;
}

// Two I/O threads committing at once on a volume without the flush's control code: each opens
// the volume's flush file while the other may hold it, and neither fails.
TEST_F(Failing, TwoThreadsCommittingAtOnceBothFlushTheVolumeByItsFile) {
    std::atomic<int> failed{0};
    const auto commit = [&failed] {
        for (int i = 0; i < 200; ++i)
            if (!FsFlushVolume(L"/ResidentFlash")) ++failed;
    };
    std::thread first(commit), second(commit);
    first.join();
    second.join();
    EXPECT_EQ(failed, 0);
}

// --- the bitmap file --------------------------------------------------------------------

// The skinned dialog's own: its bitmap, and the colour its window shows at a point.
class SkinProbe : public CSkinDialog {
public:
    SkinProbe() : CSkinDialog(IDD_UPDATER_DIALOG, nullptr, nullptr, IDB_BACKGROUND) {}
    using CSkinDialog::m_bHasBitmap, CSkinDialog::m_bOwnBitmap, CSkinDialog::m_pBitmap;
    std::function<void(SkinProbe &)> atInit;
    COLORREF ScreenAt(int x, int y) {
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        HDC dc = ::GetDC(m_hWnd);
        const COLORREF c = GetPixel(dc, x, y);
        ::ReleaseDC(m_hWnd, dc);
        return c;
    }

protected:
    BOOL OnInitDialog() override {
        CSkinDialog::OnInitDialog();
        ::ShowWindow(GetDlgItem(m_hWnd, IDC_PROGRESS), SW_HIDE);
        SetWindowPos(HWND_TOP, 0, 0, 200, 100, SWP_SHOWWINDOW);
        atInit(*this);
        EndDialog(IDOK);
        return TRUE;
    }
};

TEST_F(Failing, ABitmapFileThatDoesNotLoadLeavesTheDialogWithoutABitmap) {
    // A good file: only the device's loader fails.
    BYTE file[54 + 4] = {};
    const BITMAPFILEHEADER fh = {0x4D42, sizeof file, 0, 0, 54};
    const BITMAPINFOHEADER ih = {sizeof ih, 1, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(file, &fh, sizeof fh);
    std::memcpy(file + 14, &ih, sizeof ih);
    PutFile(L"/skin.bmp", std::string(reinterpret_cast<const char *>(file), sizeof file));

    SkinProbe dlg;
    bool ran = false;
    dlg.atInit = [&](SkinProbe &d) {
        ran = true;
        ASSERT_TRUE(d.m_bHasBitmap);
        const HBITMAP hPrevious = HBITMAP(*d.m_pBitmap);
        const int before = g_failing.dibitmapCalls;
        EXPECT_FALSE(d.LoadBitmapByName(nullptr, L"/skin.bmp"));
        EXPECT_EQ(g_failing.dibitmapCalls, before + 1);
        EXPECT_FALSE(d.m_bHasBitmap);
        EXPECT_FALSE(d.m_bOwnBitmap);
        EXPECT_EQ(GetObjectType(hPrevious), 0u) << "the previous bitmap was not deleted";
        EXPECT_EQ(d.ScreenAt(50, 50), GetSysColor(COLOR_BTNFACE)) << "the dialog's own background";
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(ran);
}

// --- the worker's start -----------------------------------------------------------------

TEST_F(Failing, AWorkerThatDoesNotStartIsTriedOnceMoreAtTheNextTick) {
    g_failing.workerStartFailures = 1;
    bool stuck = false;
    Run(&stuck);

    EXPECT_FALSE(stuck);
    ASSERT_EQ(g_failing.workerStarts.size(), 2u);
    EXPECT_GE(g_failing.workerStarts[1] - g_failing.workerStarts[0], 50u) << "the second try waits for the next tick";
    ExpectUpdateIn();
    EXPECT_TRUE(FillsTheBarOnce(run));
    EXPECT_NE(FollowOnRecord(), "<none>");
    EXPECT_EQ(run.m_hThread, INVALID_HANDLE_VALUE);
}

TEST_F(Failing, AWorkerThatNeverStartsEndsTheRunWithNothingChangedAndTheFollowOnStarted) {
    g_failing.workerStartFailures = -1;
    const Files card = Tree(L"/SDMMC"), flash = Tree(L"/ResidentFlash");
    bool stuck = false;
    Run(&stuck);

    EXPECT_FALSE(stuck) << "the dialog stayed up";
    EXPECT_EQ(g_failing.workerStarts.size(), 2u) << "one try, and one more";
    EXPECT_EQ(theTestApp.m_pMainWnd, nullptr) << "the application ends with the dialog";
    EXPECT_EQ(run.m_hThread, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run.destroys, 2) << "the run's WM_DESTROY, then the window's own";
    EXPECT_EQ(run.m_nTotal, 0) << "no plan was made";

    // The follow-on program started, and the card and the flash store hold what they held
    // (beside the follow-on program's record of its start).
    EXPECT_NE(FollowOnRecord(), "<none>");
    Files flashAfter = Tree(L"/ResidentFlash");
    flashAfter.erase(L"qormane\\started.txt");
    EXPECT_EQ(flashAfter, flash);
    EXPECT_EQ(Tree(L"/SDMMC"), card);
}

} // namespace
