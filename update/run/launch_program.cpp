#include "update/run/launch_program.h"
#include <cwchar>
#include "platform/ansi_text.h"
#include "update/storage/paths.h"

BOOL LaunchProgram(LPCSTR pszPath, LPCSTR pszCmdLine) {
    // Fixed buffers: the follow-on program starts even when the heap has nothing left.
    // CreateProcessW may write into its command line: it gets this copy, never a null pointer.
    WCHAR szPath[kAnsiPath], szCmdLine[kAnsiPath];
    if (!AnsiToWide(szPath, kAnsiPath, pszPath) || !AnsiToWide(szCmdLine, kAnsiPath, pszCmdLine)) return 0;
    CharLowerBuffW(szPath, DWORD(wcslen(szPath)));
    CharLowerBuffW(szCmdLine, DWORD(wcslen(szCmdLine)));
    if (!wcsstr(szPath, L".exe")) return 0;

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.wShowWindow = SW_SHOW;   // dwFlags stays 0
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);

    BOOL bStarted = CreateProcessW(szPath, szCmdLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (bStarted) {
        // The run never waits for the program: its handles are of no use here.
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return bStarted;
}
