// Loaded into the program under demonstration by demo_capture's hooks on its UI thread.
// At three moments of the run it holds the UI thread in a loop that handles only paints
// and sent messages, so the screen shows that moment and nothing moves on, until
// demo_capture has taken its picture:
//   start  the first tick of the dialog's start timer (1000), before the run begins;
//   half   the bar's position reaching half of its range's upper bound;
//   total  the bar's position reaching the upper bound.
// While it holds, the worker that set the position waits in its send, and the timer tick
// waits in the queue. The program itself is not changed in any way.
#include <windows.h>
#include <commctrl.h>
#include "demo_capture_names.h"

namespace {

const UINT_PTR kStartTimer = 1000;  // the dialog's timer that starts the update
const int kBarId = 1000;            // the progress bar in the dialog

bool g_bStartTaken = false, g_bHalfTaken = false, g_bTotalTaken = false;

// Handles paints and sent messages only: timers, input and posted messages stay queued.
void PumpPaints(DWORD dwMillis) {
    const DWORD dwStart = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
        const DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= dwMillis) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, dwMillis - dwSpent, QS_PAINT | QS_SENDMESSAGE);
    }
}

// Lets the window finish painting, tells demo_capture which moment the screen shows, and
// keeps painting until the picture is taken (or a minute has passed).
void HoldForPicture(HWND hTop, LPCWSTR pszMoment) {
    HANDLE hReady = OpenEventW(EVENT_MODIFY_STATE, FALSE, pszMoment);
    HANDLE hDone = OpenEventW(SYNCHRONIZE, FALSE, kDoneEvent);
    if (!hReady || !hDone) {
        if (hReady) CloseHandle(hReady);
        if (hDone) CloseHandle(hDone);
        return;
    }
    RedrawWindow(hTop, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPaints(300);
    SetEvent(hReady);
    const DWORD dwStart = GetTickCount();
    while (WaitForSingleObject(hDone, 0) == WAIT_TIMEOUT && GetTickCount() - dwStart < 60000) PumpPaints(20);
    CloseHandle(hReady);
    CloseHandle(hDone);
}

bool IsBar(HWND hWnd) {
    wchar_t szClass[32] = L"";
    GetClassNameW(hWnd, szClass, 32);
    return GetDlgCtrlID(hWnd) == kBarId && !lstrcmpiW(szClass, PROGRESS_CLASSW);
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK CaptureGetMessageHook(int nCode, WPARAM wParam, LPARAM lParam) {
    const MSG *pMsg = reinterpret_cast<const MSG *>(lParam);
    if (nCode == HC_ACTION && wParam == PM_REMOVE && !g_bStartTaken && pMsg->message == WM_TIMER &&
        pMsg->wParam == kStartTimer && GetDlgItem(pMsg->hwnd, kBarId)) {
        g_bStartTaken = true;
        HoldForPicture(pMsg->hwnd, kStartEvent);
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK CaptureCallWndRetHook(int nCode, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT *pMsg = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
    if (nCode == HC_ACTION && pMsg->message == PBM_SETPOS && IsBar(pMsg->hwnd)) {
        const int nUpper = int(SendMessageW(pMsg->hwnd, PBM_GETRANGE, FALSE, 0));
        const int nPos = int(pMsg->wParam);
        if (nUpper > 0 && nPos >= nUpper && !g_bTotalTaken) {
            g_bHalfTaken = g_bTotalTaken = true;
            HoldForPicture(GetAncestor(pMsg->hwnd, GA_ROOT), kTotalEvent);
        } else if (nUpper > 0 && 2 * nPos >= nUpper && !g_bHalfTaken) {
            g_bHalfTaken = true;
            HoldForPicture(GetAncestor(pMsg->hwnd, GA_ROOT), kHalfEvent);
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
