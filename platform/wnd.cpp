#include "platform/wnd.h"
#include "platform/win_app.h"

CWnd::~CWnd() {
    if (m_pfnSuper && m_hWnd) Unsubclass();
}

// The object rides in the window's user-data word, and the window procedure is replaced
// directly: each message then finds its object with no lookup outside the process.
// (comctl32's subclass chain reads a window property at every level, and under Wine every
// property read is a round trip to the wineserver: three for each message the bar gets.)
BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_hWnd) return FALSE;
    // The word must be free: a window whose creator keeps something there is not taken.
    if (GetWindowLongPtrW(hWnd, GWLP_USERDATA) != 0) return FALSE;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, LONG_PTR(this));
    const WNDPROC pfnSuper = WNDPROC(SetWindowLongPtrW(hWnd, GWLP_WNDPROC, LONG_PTR(&CWnd::SubclassProc)));
    if (!pfnSuper) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        return FALSE;
    }
    m_pfnSuper = pfnSuper;
    m_hWnd = hWnd;
    return TRUE;
}

// Gives the window its own procedure back, unless something subclassed it after us. That
// procedure then stays and still calls ours, which, with no object left, can only hand the
// messages to the default procedure: an object must not end before its window while
// another procedure sits over it (the program's objects end after their windows).
void CWnd::Unsubclass() {
    if (GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == LONG_PTR(&CWnd::SubclassProc))
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, LONG_PTR(m_pfnSuper));
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
}

LRESULT CWnd::Default() {
    if (!m_pCurrentMsg) return 0;
    return DefWindowProc(m_pCurrentMsg->message, m_pCurrentMsg->wParam, m_pCurrentMsg->lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM, LPARAM, LRESULT &lResult) {
    if (message == WM_DESTROY) {
        OnDestroy();
        lResult = 0;
        return TRUE;
    }
    return FALSE;
}

void CWnd::OnDestroy() {
    CWinApp *pApp = AfxGetApp();
    if (pApp && pApp->m_pMainWnd == this) {
        pApp->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
    Default();
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, BOOL &bHandled) {
    CurrentMessage current = {message, wParam, lParam, FALSE};
    CurrentMessage *pPrevious = m_pCurrentMsg;
    m_pCurrentMsg = &current;
    LRESULT lResult = 0;
    bHandled = OnWndMsg(message, wParam, lParam, lResult) && !current.bNotHandled;
    m_pCurrentMsg = pPrevious;
    return lResult;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd *pWnd = reinterpret_cast<CWnd *>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!pWnd || pWnd->m_hWnd != hWnd) return ::DefWindowProcW(hWnd, message, wParam, lParam);
    const WNDPROC pfnSuper = pWnd->m_pfnSuper;
    if (message == WM_NCDESTROY) {
        pWnd->Unsubclass();
        return CallWindowProcW(pfnSuper, hWnd, message, wParam, lParam);
    }
    BOOL bHandled = FALSE;
    LRESULT lResult = pWnd->Dispatch(message, wParam, lParam, bHandled);
    return bHandled ? lResult : CallWindowProcW(pfnSuper, hWnd, message, wParam, lParam);
}
