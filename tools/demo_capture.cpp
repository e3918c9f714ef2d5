// Starts a program in the current folder (the device root) and takes pictures of the
// screen while it runs: at the start of the run, at half of the total and at the total.
// Its hook (demo_capture_hook.dll, next to this program) holds the program's UI thread at
// each moment until the picture is taken; the program itself is the shipped one.
//   demo_capture PROGRAM FOLDER [SECONDS]
// Pictures: FOLDER\start.bmp, FOLDER\half.bmp, FOLDER\total.bmp, the whole screen in 24
// bits per pixel. Exit code 0 when the program ended by itself.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>
#include "demo_capture_names.h"

namespace {

// The whole screen as a bottom-up 24-bit BMP file.
bool SaveScreen(const std::wstring &path) {
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof bih;
    bih.biWidth = cx;
    bih.biHeight = cy;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    const DWORD cbRow = DWORD((cx * 3 + 3) & ~3), cbBits = cbRow * DWORD(cy);

    void *pBits = nullptr;
    HDC hScreen = GetDC(nullptr);
    HBITMAP hBitmap = CreateDIBSection(hScreen, reinterpret_cast<BITMAPINFO *>(&bih), DIB_RGB_COLORS, &pBits, nullptr, 0);
    HDC hMem = CreateCompatibleDC(hScreen);
    bool bOk = hBitmap && hMem;
    if (bOk) {
        HGDIOBJ hPrev = SelectObject(hMem, hBitmap);
        bOk = BitBlt(hMem, 0, 0, cx, cy, hScreen, 0, 0, SRCCOPY);
        SelectObject(hMem, hPrev);
        GdiFlush();
    }
    if (bOk) {
        BITMAPFILEHEADER bfh = {};
        bfh.bfType = 0x4D42;   // "BM"
        bfh.bfOffBits = sizeof bfh + sizeof bih;
        bfh.bfSize = bfh.bfOffBits + cbBits;
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD cb = 0;
        bOk = hFile != INVALID_HANDLE_VALUE && WriteFile(hFile, &bfh, sizeof bfh, &cb, nullptr) &&
              WriteFile(hFile, &bih, sizeof bih, &cb, nullptr) && WriteFile(hFile, pBits, cbBits, &cb, nullptr);
        if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    }
    if (hMem) DeleteDC(hMem);
    if (hBitmap) DeleteObject(hBitmap);
    ReleaseDC(nullptr, hScreen);
    return bOk;
}

struct Moment {
    const wchar_t *pszEvent;
    const wchar_t *pszName;
    HANDLE hReady;
    bool bTaken;
};

// The folder this program was started from, where its hook lies.
std::wstring OwnFolder() {
    std::vector<wchar_t> self(32768);
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
    std::wstring path(self.data(), n);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: demo_capture PROGRAM FOLDER [SECONDS]\n");
        return 2;
    }
    const std::wstring folder = std::wstring(argv[2]) + L"\\";
    const DWORD dwLimit = (argc > 3 ? DWORD(_wtoi(argv[3])) : 60) * 1000;

    Moment moments[] = {{kStartEvent, L"start", nullptr, false},
                        {kHalfEvent, L"half", nullptr, false},
                        {kTotalEvent, L"total", nullptr, false}};
    for (Moment &m : moments) m.hReady = CreateEventW(nullptr, FALSE, FALSE, m.pszEvent);
    HANDLE hDone = CreateEventW(nullptr, FALSE, FALSE, kDoneEvent);

    HMODULE hHook = LoadLibraryW((OwnFolder() + L"demo_capture_hook.dll").c_str());
    auto pGetMessage = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(hHook, "CaptureGetMessageHook")));
    auto pCallWndRet = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(hHook, "CaptureCallWndRetHook")));
    if (!hHook || !pGetMessage || !pCallWndRet) {
        std::wprintf(L"  the capture hook could not be loaded (error %lu)\n", GetLastError());
        return 1;
    }

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(argv[1], nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
        std::wprintf(L"  could not start %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    // The main thread is the one that will own the dialog.
    HHOOK hGetMessage = SetWindowsHookExW(WH_GETMESSAGE, pGetMessage, hHook, pi.dwThreadId);
    HHOOK hCallWndRet = SetWindowsHookExW(WH_CALLWNDPROCRET, pCallWndRet, hHook, pi.dwThreadId);
    if (!hGetMessage || !hCallWndRet) std::wprintf(L"  the capture hooks could not be set (error %lu)\n", GetLastError());
    ResumeThread(pi.hThread);

    const DWORD dwStart = GetTickCount();
    HANDLE waits[] = {pi.hProcess, moments[0].hReady, moments[1].hReady, moments[2].hReady};
    bool bEnded = false;
    for (;;) {
        const DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= dwLimit) break;
        const DWORD r = WaitForMultipleObjects(4, waits, FALSE, dwLimit - dwSpent);
        if (r == WAIT_OBJECT_0) {
            bEnded = true;
            break;
        }
        if (r < WAIT_OBJECT_0 + 1 || r > WAIT_OBJECT_0 + 3) break;
        Moment &m = moments[r - WAIT_OBJECT_0 - 1];
        const std::wstring path = folder + m.pszName + L".bmp";
        m.bTaken = SaveScreen(path);
        std::wprintf(m.bTaken ? L"  picture at the %ls: %ls\n" : L"  the picture at the %ls could not be saved (%ls)\n",
                     m.pszName, path.c_str());
        std::fflush(stdout);
        SetEvent(hDone);
    }

    UnhookWindowsHookEx(hGetMessage);
    UnhookWindowsHookEx(hCallWndRet);
    for (const Moment &m : moments)
        if (!m.bTaken) std::wprintf(L"  no picture at the %ls: the program never got there\n", m.pszName);
    if (!bEnded) {
        std::wprintf(L"  the program did NOT end by itself within %lu s; stopped it\n", dwLimit / 1000);
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return bEnded ? 0 : 1;
}
