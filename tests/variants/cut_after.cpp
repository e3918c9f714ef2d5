// The cut build's cut point: the power goes, right after the k-th change the update makes,
// k being the environment variable TESSIVARD_CUT_AFTER (0 or unset: never). The process
// ends on the spot with exit code 99: nothing after the cut reaches a file system. Linked
// in place of update/cut_point.cpp.
#include "update/cut_point.h"
#include <windows.h>
#include <cwchar>

namespace {
long g_nOperations = 0;   // changes made so far
long g_nCutAfter = -1;    // -1: not read yet; 0: never cut
}

void AfterFileOperation() {
    if (g_nCutAfter < 0) {
        WCHAR sz[32] = L"";
        g_nCutAfter = GetEnvironmentVariableW(L"TESSIVARD_CUT_AFTER", sz, 32) ? wcstol(sz, nullptr, 10) : 0;
    }
    if (++g_nOperations == g_nCutAfter) TerminateProcess(GetCurrentProcess(), 99);
}
