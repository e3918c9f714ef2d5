// Starts a program in the current folder (the device root), watches for its window and
// reports what a person at the device would have seen: where the window was, and whether
// the program ended by itself.
//   demo_watch PROGRAM [SECONDS]
#include <windows.h>
#include <cstdio>
#include <cwchar>

namespace {

struct Seen {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK FindWindowOf(HWND hwnd, LPARAM lParam) {
    Seen *seen = reinterpret_cast<Seen *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == seen->pid && IsWindowVisible(hwnd)) {
        seen->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: demo_watch PROGRAM [SECONDS]\n");
        return 2;
    }
    const DWORD limitMs = (argc > 2 ? DWORD(_wtoi(argv[2])) : 30) * 1000;

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(argv[1], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::wprintf(L"could not start %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }

    const DWORD start = GetTickCount();
    Seen seen = {pi.dwProcessId, nullptr};
    RECT rc = {};
    wchar_t cls[64] = L"";
    LONG_PTR exStyle = 0;
    while (WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT && GetTickCount() - start < limitMs) {
        if (!seen.hwnd) {
            EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&seen));
            if (seen.hwnd) {
                GetWindowRect(seen.hwnd, &rc);
                GetClassNameW(seen.hwnd, cls, 64);
                exStyle = GetWindowLongPtrW(seen.hwnd, GWL_EXSTYLE);
            }
        } else if (IsWindow(seen.hwnd)) {
            GetWindowRect(seen.hwnd, &rc);   // the last placement before the window went away
            exStyle = GetWindowLongPtrW(seen.hwnd, GWL_EXSTYLE);
        }
    }

    if (seen.hwnd)
        std::wprintf(L"  window: class %ls at (%ld, %ld), %ld x %ld pixels%ls\n", cls, rc.left, rc.top,
                     rc.right - rc.left, rc.bottom - rc.top, (exStyle & WS_EX_TOPMOST) ? L", topmost" : L"");
    else
        std::wprintf(L"  window: none was seen\n");

    DWORD code = 0;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        std::wprintf(L"  the program did NOT end by itself within %lu s; stopped it\n", limitMs / 1000);
        TerminateProcess(pi.hProcess, 1);
        return 1;
    }
    GetExitCodeProcess(pi.hProcess, &code);
    std::wprintf(L"  the program ended by itself after %.1f s with exit code %lu\n", (GetTickCount() - start) / 1000.0, code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code == 0 ? 0 : 1;
}
