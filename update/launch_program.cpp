#include "update/launch_program.h"
#include <vector>
#include "platform/cstring.h"

BOOL LaunchProgram(LPCSTR pszPath, LPCSTR pszCmdLine) {
    CString strPath = pszPath;
    CString strCmdLine = pszCmdLine;   // null: the empty string
    strPath.MakeLower();
    strCmdLine.MakeLower();
    if (strPath.Find(L".exe") < 0) return 0;

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.wShowWindow = SW_SHOW;   // dwFlags stays 0
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);

    // CreateProcessW may write into its command line: hand it a copy, never a null pointer.
    std::vector<WCHAR> cmdLine(strCmdLine.GetString(), strCmdLine.GetString() + strCmdLine.GetLength() + 1);
    BOOL bStarted = CreateProcessW(strPath, cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (bStarted) {
        // The run never waits for the program: its handles are of no use here.
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return bStarted;
}
