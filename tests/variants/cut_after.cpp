// The cut build's cut point: the power goes, right after the k-th change the update makes,
// k being the environment variable TESSIVARD_CUT_AFTER (0 or unset: never). The changes of
// every thread count alike, in one count; the process ends on the spot with exit code 99,
// all its threads with it, and a thread that finished a change meanwhile ends it too:
// nothing after the cut reaches a file system. Linked in place of update/seams/seam_cut_point.cpp.
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

volatile LONG g_nOperations = 0;   // changes made so far, by every thread

} // namespace

void AfterFileOperation() {
    const long nCut = CutAfter();
    if (InterlockedIncrement(&g_nOperations) >= nCut && nCut > 0) TerminateProcess(GetCurrentProcess(), 99);
}
