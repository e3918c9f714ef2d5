// What every test program needs to find its way around the build and its device root.
#pragma once
#include <windows.h>
#include <cstdio>
#include <string>

// A path inside the build tree, as the test programs see it (a drive mapped to the build).
// Test programs live in the build's tests folder.
inline std::wstring BuildPath(const std::wstring &relative) {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\'));      // ...\tests
    path.resize(path.find_last_of(L'\\') + 1);  // the build tree
    return path + relative;
}

// Starts a program with this command line (may be empty) in the test's device root and
// waits for its end: its exit code, or -1 when it did not end within ms and was stopped;
// -2 when it could not be started, with the platform's reason on stderr.
inline long RunToEnd(const std::wstring &exe, std::wstring cmdLine, DWORD ms) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), cmdLine.empty() ? nullptr : cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        fwprintf(stderr, L"cannot start %ls: error %lu\n", exe.c_str(), GetLastError());
        return -2;
    }
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return long(code);
}

// Removes the quit messages a modal loop posts again as it ends, so that the next dialog of
// the test program does not end at once; their number, in pCount.
inline void RemoveQuitMessages(int *pCount = nullptr) {
    MSG msg;
    int n = 0;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) ++n;
    if (pCount) *pCount = n;
}
