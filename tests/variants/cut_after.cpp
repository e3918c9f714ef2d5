// The cut build's cut point: the power goes, right after the k-th change the update makes,
// k being the environment variable TESSIVARD_CUT_AFTER (0 or unset: never). The changes of
// every thread count alike, in one count; the process ends on the spot with exit code 99,
// all its threads with it, and a thread that finished a change meanwhile ends it too:
// nothing after the cut reaches a file system. Linked in place of update/seams/seam_cut_point.cpp.
// With TESSIVARD_CHANGES naming a file (outside both file systems), each change also adds a
// line to it, "K CALL PATH [NEW PATH]" (tab-separated) in UTF-8, for the power-loss harness
// to choose its cut points by kind (a file's flush names the file its handle holds, below
// its volume).
#include "update/seams/seams.h"
#include <windows.h>
#include <cwchar>

namespace {

// 0: never cut. Read once, before any thread of the update starts.
long CutAfter() {
    static const long nCutAfter = [] {
        WCHAR sz[32] = L"";
        return GetEnvironmentVariableW(L"TESSIVARD_CUT_AFTER", sz, 32) ? wcstol(sz, nullptr, 10) : 0L;
    }();
    return nCutAfter;
}

// One line of TESSIVARD_CHANGES's list, written whole by one call: the threads' lines never
// interleave.
void ListChange(long k, const FileChange &change) {
    static const HANDLE hList = [] {
        WCHAR sz[MAX_PATH] = L"";
        return GetEnvironmentVariableW(L"TESSIVARD_CHANGES", sz, MAX_PATH)
                   ? CreateFileW(sz, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr)
                   : INVALID_HANDLE_VALUE;
    }();
    if (hList == INVALID_HANDLE_VALUE) return;
    static const WCHAR *const kCalls[] = {L"mkdir", L"create", L"move", L"unlink", L"rmdir", L"fsync", L"volumeflush"};
    WCHAR szFlushed[1100] = L"?", szLine[2300];
    if (change.hFile) GetFinalPathNameByHandleW(change.hFile, szFlushed, 1100, VOLUME_NAME_NONE);
    const int cch = _snwprintf(szLine, 2300, L"%ld\t%ls\t%ls%ls%ls\n", k, kCalls[int(change.call)],
                               change.pszPath ? change.pszPath : szFlushed, change.pszTo ? L"\t" : L"",
                               change.pszTo ? change.pszTo : L"");
    char szUtf8[7000];
    DWORD cb = DWORD(WideCharToMultiByte(CP_UTF8, 0, szLine, cch, szUtf8, sizeof szUtf8, nullptr, nullptr));
    WriteFile(hList, szUtf8, cb, &cb, nullptr);
}

volatile LONG g_nOperations = 0;   // changes made so far, by every thread

} // namespace

void AfterFileOperation(const FileChange &change) {
    const long nCut = CutAfter();
    const long k = InterlockedIncrement(&g_nOperations);
    ListChange(k, change);
    if (k >= nCut && nCut > 0) TerminateProcess(GetCurrentProcess(), 99);
}
