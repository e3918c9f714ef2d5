// Loaded into the measured program by count_messages' hooks on its UI thread. It counts
// what reaches the progress bar (PBM_SETPOS, PBM_SETRANGE, WM_PAINT), the UI thread's
// time on them, and the moments of the run, into the shared BAR_COUNTERS record.
//
// The launcher's hooks cost a wineserver round trip for every message they see, so they
// only carry the start of the run: at the start timer's tick, before the worker exists,
// the hook subclasses the bar and the dialog, tells the launcher, which removes the hooks,
// and from then on the subclasses alone count, at the cost of a function call. The
// program itself is not changed in any way.
#include <windows.h>
#include <commctrl.h>
#include "bench/bar_counters.h"

namespace {

const UINT_PTR kStartTimer = 1000;   // the dialog's timer that starts the worker
const int kBarId = 1000;             // the progress bar in the dialog
const UINT_PTR kSubclassId = 0x7E55; // our subclasses, beside the program's own

BAR_COUNTERS *g_pCounters = nullptr;
int g_nInSetPos = 0;   // depth of PBM_SETPOS handling on the UI thread

BAR_COUNTERS *Counters() {
    if (!g_pCounters) {
        HANDLE hMapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kCountersMapping);
        if (hMapping) g_pCounters = static_cast<BAR_COUNTERS *>(MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, sizeof(BAR_COUNTERS)));
    }
    return g_pCounters;
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

bool IsBar(HWND hWnd) {
    wchar_t szClass[32] = L"";
    GetClassNameW(hWnd, szClass, 32);
    return GetDlgCtrlID(hWnd) == kBarId && !lstrcmpiW(szClass, PROGRESS_CLASSW);
}

// The bar: every message the program sends it, and every paint, passes here first.
LRESULT CALLBACK BarProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    BAR_COUNTERS *p = Counters();
    switch (message) {
    case PBM_SETPOS: {
        const LONGLONG t = Now();
        ++g_nInSetPos;
        const LRESULT r = DefSubclassProc(hWnd, message, wParam, lParam);
        --g_nInSetPos;
        ++p->nSetPos;
        p->nLastPos = LONG(wParam);
        if (LONG(wParam) > p->nRangeUpper) ++p->nPastUpper;
        p->qwSetPosTicks += Now() - t;
        return r;
    }
    case PBM_SETRANGE:
        ++p->nSetRange;
        p->nRangeUpper = HIWORD(lParam);
        if (InSendMessage() && !p->tRangeSet) p->tRangeSet = Now();
        break;
    case WM_PAINT: {
        RECT rc = {};
        if (GetUpdateRect(hWnd, &rc, FALSE))
            p->nPaintPixels += LONGLONG(rc.right - rc.left) * (rc.bottom - rc.top);
        else
            ++p->nEmptyPaints;
        if (g_nInSetPos) ++p->nNestedPaints;
        const LONGLONG t = Now();
        const LRESULT r = DefSubclassProc(hWnd, message, wParam, lParam);
        ++p->nPaints;
        p->qwPaintTicks += Now() - t;
        return r;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hWnd, BarProc, kSubclassId);
        break;
    }
    return DefSubclassProc(hWnd, message, wParam, lParam);
}

// The dialog: only the worker's WM_DESTROY, the end of the update, is noted.
LRESULT CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_DESTROY && InSendMessage() && !Counters()->tDestroy) Counters()->tDestroy = Now();
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hWnd, DialogProc, kSubclassId);
    return DefSubclassProc(hWnd, message, wParam, lParam);
}

// From here on the subclasses call into this DLL: it must stay loaded when the hooks go.
void Watch(HWND hDialog, HWND hBar) {
    HMODULE hSelf = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&g_pCounters), &hSelf);
    if (SetWindowSubclass(hBar, BarProc, kSubclassId, 0) && SetWindowSubclass(hDialog, DialogProc, kSubclassId, 0))
        Counters()->bWatching = 1;
    if (HANDLE hEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, kWatchingEvent)) {
        SetEvent(hEvent);
        CloseHandle(hEvent);
    }
}

} // namespace

// Before the worker starts: the bar's set-up by the dialog, and the dialog's start.
extern "C" __declspec(dllexport) LRESULT CALLBACK CountCallWndProc(int nCode, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT *pMsg = reinterpret_cast<const CWPSTRUCT *>(lParam);
    BAR_COUNTERS *p = Counters();
    if (nCode == HC_ACTION && p && !p->bWatching) {
        if (pMsg->message == WM_INITDIALOG && !p->tInitDialog) p->tInitDialog = Now();
        if ((pMsg->message == PBM_SETPOS || pMsg->message == PBM_SETRANGE) && IsBar(pMsg->hwnd))
            ++(pMsg->message == PBM_SETPOS ? p->nSetPos : p->nSetRange);
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

// The start timer's tick, taken from the queue before the dialog handles it.
extern "C" __declspec(dllexport) LRESULT CALLBACK CountGetMessage(int nCode, WPARAM wParam, LPARAM lParam) {
    const MSG *pMsg = reinterpret_cast<const MSG *>(lParam);
    BAR_COUNTERS *p = Counters();
    if (nCode == HC_ACTION && wParam == PM_REMOVE && p && !p->tStartTimer && pMsg->message == WM_TIMER &&
        pMsg->wParam == kStartTimer) {
        HWND hBar = GetDlgItem(pMsg->hwnd, kBarId);
        if (hBar && IsBar(hBar)) {
            p->tStartTimer = Now();
            Watch(pMsg->hwnd, hBar);
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
