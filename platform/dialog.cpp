#include "platform/dialog.h"
#include "platform/win_app.h"

namespace {
bool IsCtlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }
}

void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl) {
    if (rControl.m_hWnd) return;   // bound already
    rControl.SubclassWindow(GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC));
}

CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

// The device makes a modal dialog from a template in memory only (DialogBoxIndirectParamW):
// the template is the program's resource, found and held here. A template that is not
// there fails as the dialog call does, with -1.
INT_PTR CDialog::DoModal() {
    LPCWSTR name = MAKEINTRESOURCEW(m_nIDTemplate);
    const HINSTANCE hInstance = AfxFindResourceHandle(name, RT_DIALOG);
    const HRSRC hResource = FindResourceW(hInstance, name, RT_DIALOG);
    const HGLOBAL hTemplate = hResource ? LoadResource(hInstance, hResource) : nullptr;
    const auto *pTemplate = hTemplate ? static_cast<LPCDLGTEMPLATEW>(LockResource(hTemplate)) : nullptr;
    if (!pTemplate) return -1;
    return DialogBoxIndirectParamW(hInstance, pTemplate, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, DialogProc,
                                   LPARAM(this));
}

BOOL CDialog::OnInitDialog() {
    UpdateData();
    return TRUE;
}

BOOL CDialog::UpdateData() {
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsCtlColor(message)) return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
    if (m_pCurrentMsg) m_pCurrentMsg->bNotHandled = TRUE;
    return 0;
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &lResult) {
    if (message == WM_INITDIALOG) {
        lResult = OnInitDialog();
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, lResult);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog *pDlg;
    if (message == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog *>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pDlg->m_hWnd = hWnd;
    } else {
        pDlg = reinterpret_cast<CDialog *>(GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (!pDlg) return FALSE;

    BOOL bHandled = FALSE;
    LRESULT lResult = pDlg->Dispatch(message, wParam, lParam, bHandled);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDlg->m_hWnd = nullptr;
    }
    if (!bHandled) return FALSE;
    // These return their value directly; everything else through DWLP_MSGRESULT.
    if (message == WM_INITDIALOG || IsCtlColor(message) || message == WM_COMPAREITEM ||
        message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON)
        return INT_PTR(lResult);
    SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}
