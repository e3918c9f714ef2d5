// What the device answers for the name conversion with a flag its page does not list, a
// program started with a startup record, and a thread's stack.
#include <cwchar>
#include "tools/probe/probe_report.h"

namespace {

void AskConversionFlag(CProbeReport &report) {
    WCHAR szAnswer[kProbeText], szFlagged[kProbeText], szPlain[kProbeText];
    char sz[8] = "";
    BOOL bDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"a", 1, sz, int(sizeof sz), nullptr, &bDefault);
    ShowResult(szFlagged, n > 0, GetLastError());
    n = WideCharToMultiByte(CP_ACP, 0, L"a", 1, sz, int(sizeof sz), nullptr, &bDefault);
    ShowResult(szPlain, n > 0, GetLastError());
    _snwprintf(szAnswer, kProbeText, L"WC_NO_BEST_FIT_CHARS: %ls; no flags: %ls; code page %u", szFlagged, szPlain, GetACP());
    szAnswer[kProbeText - 1] = L'\0';
    report.Line(L"conversion-flag", L"WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS / 0, \"a\")", szAnswer,
                L"none: the name conversion takes no flags and converts back to find a look-alike; "
                L"no flags FALSE would leave every card name unaddressable");
}

// CE's page asks for no startup record, which the desktop's call cannot do without: the
// program passes one, as the probe does here.
void AskStartupRecord(CProbeReport &report) {
    WCHAR szSelf[MAX_PATH], szAnswer[kProbeText];
    if (!GetModuleFileNameW(nullptr, szSelf, MAX_PATH)) return;
    WCHAR szCmdLine[32] = L"--probe-child";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi = {};
    const BOOL started = CreateProcessW(szSelf, szCmdLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    ShowResult(szAnswer, started, GetLastError());
    if (started) {
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    report.Line(L"startup-record", L"CreateProcessW(the probe, \"--probe-child\", ..., &si, &pi) as the follow-on's start",
                szAnswer, L"TRUE: the follow-on program starts as the program starts it, with a startup record");
}

// The thread's stack: its reservation below the thread's first frame, as the memory manager
// describes the region that holds it.
DWORD WINAPI MeasureStack(LPVOID pResult) {
    BYTE marker = 0;
    MEMORY_BASIC_INFORMATION mbi = {};
    DWORD cb = 0;
    if (VirtualQuery(&marker, &mbi, sizeof mbi)) cb = DWORD(&marker - static_cast<BYTE *>(mbi.AllocationBase));
    *static_cast<DWORD *>(pResult) = cb;
    return 0;
}

void AskStack(CProbeReport &report) {
    WCHAR szAnswer[kProbeText];
    DWORD cb = 0;
    const HANDLE hThread = CreateThread(nullptr, 0, MeasureStack, &cb, 0, nullptr);
    if (!hThread) {
        ShowResult(szAnswer, FALSE, GetLastError());
    } else {
        WaitForSingleObject(hThread, 10000);
        CloseHandle(hThread);
        _snwprintf(szAnswer, kProbeText, L"%lu KiB below the thread's first frame", cb / 1024);
        szAnswer[kProbeText - 1] = L'\0';
    }
    report.Line(L"thread-stack", L"CreateThread(default size), VirtualQuery in the thread", szAnswer,
                L"at least 60 KiB: every thread of the program runs in the 64 KiB the stack builds hold it to");
}

} // namespace

void AskSystemQuestions(CProbeReport &report, const ProbeFolders &) {
    AskConversionFlag(report);
    AskStartupRecord(report);
    AskStack(report);
}
