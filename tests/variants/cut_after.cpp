// The cut build's cut point: stops the update dead, as a power cut would, right after the
// k-th change it makes, k being the environment variable TESSIVARD_CUT_AFTER (0 or unset:
// never). The worker signals the event named by TESSIVARD_CUT_EVENT and makes no further
// change, and the test ends the process from outside; without an event the process ends
// itself. Linked in place of update/cut_point.cpp.
#include "update/cut_point.h"
#include <windows.h>
#include <cwchar>

namespace {
long g_nOperations = 0;   // changes made so far (worker thread only)
long g_nCutAfter = -1;    // -1: not read yet; 0: never cut
}

void AfterFileOperation() {
    if (g_nCutAfter < 0) {
        WCHAR sz[32] = L"";
        g_nCutAfter = GetEnvironmentVariableW(L"TESSIVARD_CUT_AFTER", sz, 32) ? wcstol(sz, nullptr, 10) : 0;
    }
    if (++g_nOperations != g_nCutAfter) return;
    WCHAR szEvent[64] = L"";
    HANDLE hCut = GetEnvironmentVariableW(L"TESSIVARD_CUT_EVENT", szEvent, 64)
                      ? OpenEventW(EVENT_MODIFY_STATE, FALSE, szEvent)
                      : nullptr;
    if (!hCut) TerminateProcess(GetCurrentProcess(), 99);
    SetEvent(hCut);
    for (;;) Sleep(INFINITE);
}
