// The application's life: initialisation, the worker's start on the first tick, and every
// way the dialog can end. The update run is replaced here by a stand-in (below) that either
// ends like the real one or parks at a known point.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include "app/updater_dialog.h"
#include "probe_dialog.h"
#include "test_support.h"

namespace {

CWinApp theTestApp;

struct StandIn {
    std::atomic<int> runs{0};
    std::atomic<bool> pastFinalSend{false};
    std::atomic<DWORD> startTick{0};
    HANDLE self = nullptr;           // the worker thread, as the worker saw itself
    bool park = false;               // wait for ever instead of ending the run
    HANDLE parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    void Reset(bool parkAtStart) {
        runs = 0;
        pastFinalSend = false;
        if (self) CloseHandle(self);
        self = nullptr;
        park = parkAtStart;
        ResetEvent(parked);
    }
} standIn;

// What the initialisation left behind.
struct AtInit {
    RECT window = {}, bar = {};
    bool topmost = false;
    LRESULT low = -1, high = -1, pos = -1;
    DWORD tick = 0;
    void Record(ProbeDlg &d) {
        tick = GetTickCount();
        GetWindowRect(d.m_hWnd, &window);
        topmost = GetWindowLongPtrW(d.m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST;
        HWND hBar = GetDlgItem(d.m_hWnd, IDC_PROGRESS);
        ::GetWindowRect(hBar, &bar);
        MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT *>(&bar), 2);
        PBRANGE range = {};
        ::SendMessageW(hBar, PBM_GETRANGE, TRUE, LPARAM(&range));
        low = range.iLow;
        high = range.iHigh;
        pos = ::SendMessageW(hBar, PBM_GETPOS, 0, 0);
    }
};

bool EndedWithCodeZero(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    return WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code) && code == 0;
}

TEST(Lifecycle, InitialisationPlacesTheWindowAndAnEmptyBar) {
    standIn.Reset(false);
    ProbeDlg dlg;
    AtInit init;
    dlg.afterInit = [&](ProbeDlg &d) { init.Record(d); };
    dlg.Run();

    EXPECT_EQ(init.window.left, 0);
    EXPECT_EQ(init.window.top, 0);
    EXPECT_EQ(init.window.right, 800);
    EXPECT_EQ(init.window.bottom, 480);
    EXPECT_TRUE(init.topmost);
    EXPECT_EQ(init.bar.left, 50);
    EXPECT_EQ(init.bar.top, 350);
    EXPECT_EQ(init.bar.right - init.bar.left, 700);
    EXPECT_EQ(init.bar.bottom - init.bar.top, 20);
    EXPECT_EQ(init.low, 0);
    EXPECT_EQ(init.high, 0);
    EXPECT_EQ(init.pos, 0);
}

TEST(Lifecycle, TheFirstTickStartsOneWorkerWhoseDestroyEndsTheApplication) {
    standIn.Reset(false);
    ProbeDlg dlg;
    theTestApp.m_pMainWnd = &dlg;
    bool startedByOtherTimer = true;
    AtInit init;
    dlg.afterInit = [&](ProbeDlg &d) {
        init.Record(d);
        ::SendMessageW(d.m_hWnd, WM_TIMER, 7, 0);   // not the start timer: default handling only
        startedByOtherTimer = d.m_hThread != INVALID_HANDLE_VALUE;
    };
    dlg.DoModal();
    int quits = 0;
    RemoveQuitMessages(&quits);

    EXPECT_FALSE(startedByOtherTimer);
    EXPECT_EQ(standIn.runs, 1);
    EXPECT_GE(standIn.startTick - init.tick, 50u) << "the worker waits for the 100 ms tick";
    ASSERT_NE(standIn.self, nullptr);
    EXPECT_TRUE(EndedWithCodeZero(standIn.self));
    EXPECT_FALSE(standIn.pastFinalSend) << "the worker is ended inside its WM_DESTROY send";
    EXPECT_EQ(dlg.m_hThread, INVALID_HANDLE_VALUE);
    EXPECT_EQ(theTestApp.m_pMainWnd, nullptr);
    // The worker's WM_DESTROY, then the window's own destruction, which adds nothing.
    EXPECT_EQ(dlg.destroys, 2);
    EXPECT_EQ(quits, 1);
}

TEST(Lifecycle, ADestroyBeforeTheTickEndsTheApplicationWithoutAWorker) {
    standIn.Reset(false);
    ProbeDlg dlg;
    theTestApp.m_pMainWnd = &dlg;
    dlg.afterInit = [](ProbeDlg &d) { PostMessageW(d.m_hWnd, WM_DESTROY, 0, 0); };
    dlg.Run();
    Sleep(300);   // three periods of the start timer, had it survived

    EXPECT_EQ(standIn.runs, 0);
    EXPECT_EQ(dlg.m_hThread, INVALID_HANDLE_VALUE);
    EXPECT_EQ(theTestApp.m_pMainWnd, nullptr);
}

// OK, Cancel or a WM_DESTROY from elsewhere while the worker is parked mid-run. The worker
// may hold any lock there, so the process ends on the spot: this runs in a child process
// (this program, started with --interrupt-parked), which must be gone within seconds.
const struct {
    const wchar_t *name;
    UINT message;
    WPARAM wParam;
} kInterruptions[] = {{L"ok", WM_COMMAND, IDOK}, {L"cancel", WM_COMMAND, IDCANCEL}, {L"destroy", WM_DESTROY, 0}};

int InterruptParkedWorker(const wchar_t *name) {
    UINT message = 0;
    WPARAM wParam = 0;
    for (const auto &i : kInterruptions)
        if (!wcscmp(i.name, name)) message = i.message, wParam = i.wParam;
    standIn.Reset(true);
    ProbeDlg dlg;
    theTestApp.m_pMainWnd = &dlg;
    static HWND hwnd = nullptr;
    static UINT s_message;
    static WPARAM s_wParam;
    s_message = message;
    s_wParam = wParam;
    dlg.afterInit = [](ProbeDlg &d) { hwnd = d.m_hWnd; };
    CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            if (WaitForSingleObject(standIn.parked, 10000) == WAIT_OBJECT_0) SendMessageW(hwnd, s_message, s_wParam, 0);
            return 0;
        },
        nullptr, 0, nullptr);
    dlg.DoModal();
    return 3;   // the dialog ended normally: the interruption did not end the process
}

class Interrupted : public ::testing::TestWithParam<int> {};

TEST_P(Interrupted, AParkedWorkerEndsTheProcessAtOnce) {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const long code =
        RunToEnd(self, std::wstring(L"test_lifecycle.exe --interrupt-parked ") + kInterruptions[GetParam()].name, 5000);
    EXPECT_NE(code, -1) << "the process did not end within 5 s";
    EXPECT_EQ(code, 0);
}

INSTANTIATE_TEST_SUITE_P(OkCancelDestroy, Interrupted, ::testing::Values(0, 1, 2));

TEST(Program, EndsByItselfWithExitCodeZeroInAnEmptyDevice) {
    const long code = RunToEnd(BuildPath(L"Tessivard.exe"), L"", 20000);
    EXPECT_NE(code, -1) << "the program did not end by itself";
    EXPECT_EQ(code, 0);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc == 3 && !wcscmp(argv[1], L"--interrupt-parked")) return InterruptParkedWorker(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The stand-in for the update run: records, then ends as the real run does (hide, then a
// synchronous WM_DESTROY) or parks for ever.
int CUpdaterDlg::RunUpdate() {
    standIn.startTick = GetTickCount();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &standIn.self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    ++standIn.runs;
    if (standIn.park) {
        SetEvent(standIn.parked);
        WaitForSingleObject(standIn.never, INFINITE);
    }
    EndFromWorker();
    standIn.pastFinalSend = true;
    return 0;
}
