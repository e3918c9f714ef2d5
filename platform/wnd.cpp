#include "platform/wnd.h"
#include <commctrl.h>
#include "platform/win_app.h"

CWnd::~CWnd() {
    if (m_bSubclassed && m_hWnd) RemoveWindowSubclass(m_hWnd, SubclassProc, 0);
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_hWnd) return FALSE;
    if (!SetWindowSubclass(hWnd, SubclassProc, 0, DWORD_PTR(this))) return FALSE;
    m_hWnd = hWnd;
    m_bSubclassed = TRUE;
    return TRUE;
}

LRESULT CWnd::Default() {
    if (!m_pCurrentMsg) return 0;
    return DefWindowProc(m_pCurrentMsg->message, m_pCurrentMsg->wParam, m_pCurrentMsg->lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_bSubclassed) return DefSubclassProc(m_hWnd, message, wParam, lParam);
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

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR dwRefData) {
    CWnd *pWnd = reinterpret_cast<CWnd *>(dwRefData);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hWnd, SubclassProc, 0);
        pWnd->m_hWnd = nullptr;
        pWnd->m_bSubclassed = FALSE;
        return DefSubclassProc(hWnd, message, wParam, lParam);
    }
    BOOL bHandled = FALSE;
    LRESULT lResult = pWnd->Dispatch(message, wParam, lParam, bHandled);
    return bHandled ? lResult : DefSubclassProc(hWnd, message, wParam, lParam);
}
