// Runs a program of the build in the current folder (the device root) and counts what
// reached its progress bar: the progress messages, the repaints, and the UI thread's time
// on them, with the moments of the run. The counting is done by count_hook.dll (next to
// this program) on the program's UI thread; the program itself is the shipped one.
//   count_messages PROGRAM [SECONDS]
// Prints "name value" lines; exit code 0 when the program ended by itself with code 0
// and the hook watched the whole update.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/bar_counters.h"
#include "bench/clock.h"

namespace {

// The folder this program was started from, where its hook lies.
std::wstring OwnFolder() {
    std::vector<wchar_t> self(32768);
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
    std::wstring path(self.data(), n);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

// The time between two moments, or -1 when either was never reached.
double Between(LONGLONG tFrom, LONGLONG tTo) { return tFrom && tTo ? Millis(tTo - tFrom) : -1.0; }

void Print(const BAR_COUNTERS &c, DWORD dwExit) {
    std::printf("pbm_setpos %ld\n", c.nSetPos);
    std::printf("pbm_setrange %ld\n", c.nSetRange);
    std::printf("range_upper %ld\n", c.nRangeUpper);
    std::printf("last_pos %ld\n", c.nLastPos);
    std::printf("positions_past_upper %ld\n", c.nPastUpper);
    std::printf("paints %ld\n", c.nPaints);
    std::printf("empty_paints %ld\n", c.nEmptyPaints);
    std::printf("nested_paints %ld\n", c.nNestedPaints);
    std::printf("paint_pixels %lld\n", c.nPaintPixels);
    std::printf("setpos_ui_ms %.1f\n", Millis(c.qwSetPosTicks));
    std::printf("paint_ui_ms %.1f\n", Millis(c.qwPaintTicks));
    std::printf("phase_start_ms %.1f\n", Between(c.tCreated, c.tStartTimer));
    std::printf("phase_plan_ms %.1f\n", Between(c.tStartTimer, c.tRangeSet));
    std::printf("phase_work_ms %.1f\n", Between(c.tRangeSet, c.tDestroy));
    std::printf("phase_end_ms %.1f\n", Between(c.tDestroy, c.tEnded));
    std::printf("total_ms %.1f\n", Between(c.tCreated, c.tEnded));
    std::printf("exit_code %lu\n", dwExit);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: count_messages PROGRAM [SECONDS]\n");
        return 2;
    }
    const DWORD dwLimit = (argc > 2 ? DWORD(_wtoi(argv[2])) : 600) * 1000;

    HANDLE hMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(BAR_COUNTERS),
                                         kCountersMapping);
    auto *pCounters = hMapping ? static_cast<BAR_COUNTERS *>(MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    HANDLE hWatching = CreateEventW(nullptr, FALSE, FALSE, kWatchingEvent);
    if (!pCounters || !hWatching || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "count_messages: another count is running, or no shared record (error %lu)\n", GetLastError());
        return 1;
    }
    ZeroMemory(pCounters, sizeof *pCounters);

    HMODULE hHook = LoadLibraryW((OwnFolder() + L"count_hook.dll").c_str());
    auto pCallWnd = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(hHook, "CountCallWndProc")));
    auto pGetMessage = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(hHook, "CountGetMessage")));
    if (!hHook || !pCallWnd || !pGetMessage) {
        std::fprintf(stderr, "count_messages: the hook could not be loaded (error %lu)\n", GetLastError());
        return 1;
    }

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    pCounters->tCreated = Now();
    if (!CreateProcessW(argv[1], nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "count_messages: could not start %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    // The main thread is the one that will own the dialog.
    HHOOK hooks[] = {SetWindowsHookExW(WH_CALLWNDPROC, pCallWnd, hHook, pi.dwThreadId),
                     SetWindowsHookExW(WH_GETMESSAGE, pGetMessage, hHook, pi.dwThreadId)};
    ResumeThread(pi.hThread);

    const DWORD dwStart = GetTickCount();
    bool bEnded = false, bHooked = true;
    HANDLE waits[] = {pi.hProcess, hWatching};
    for (;;) {
        const DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= dwLimit) break;
        const DWORD r = WaitForMultipleObjects(bHooked ? 2 : 1, waits, FALSE, dwLimit - dwSpent);
        if (r == WAIT_OBJECT_0) {
            bEnded = true;
            break;
        }
        if (r != WAIT_OBJECT_0 + 1) break;
        // The subclasses count from now on; when they could not be set, the hooks go on.
        if (pCounters->bWatching) {
            for (HHOOK h : hooks)
                if (h) UnhookWindowsHookEx(h);
            bHooked = false;
        }
    }
    pCounters->tEnded = bEnded ? Now() : 0;
    if (bHooked)
        for (HHOOK h : hooks)
            if (h) UnhookWindowsHookEx(h);

    DWORD dwExit = STILL_ACTIVE;
    if (!bEnded) {
        std::fprintf(stderr, "count_messages: the program did not end by itself within %lu s; stopped it\n", dwLimit / 1000);
        TerminateProcess(pi.hProcess, 1);
    } else {
        GetExitCodeProcess(pi.hProcess, &dwExit);
    }
    Print(*pCounters, dwExit);
    const bool bWatched = pCounters->bWatching != 0;
    if (!bWatched) std::fprintf(stderr, "count_messages: the bar was never watched from within: counts are partial\n");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return bEnded && dwExit == 0 && bWatched ? 0 : 1;
}
