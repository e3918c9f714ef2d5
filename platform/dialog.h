// CDialog: a modal dialog made from a template in the program's resources.
// The dialog procedure finds the object through DWLP_USER, set from WM_INITDIALOG.
#pragma once
#include <windows.h>
#include "platform/wnd.h"

class CDC;
class CDialog;

// The context of one data exchange: the dialog whose controls are bound.
class CDataExchange {
public:
    explicit CDataExchange(CDialog *pDlgWnd) : m_pDlgWnd(pDlgWnd) {}
    CDialog *m_pDlgWnd;
};

// Binds a control object to the template's control nIDC: the control window is subclassed,
// so the object's message map applies to it.
void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl);

class CDialog : public CWnd {
public:
    CDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
    ~CDialog() override = default;

    // Runs the dialog until EndDialog or a quit message; the window is destroyed on return.
    // -1, and no window, when the program holds no template of that id.
    INT_PTR DoModal();
    BOOL EndDialog(int nResult) { return ::EndDialog(m_hWnd, nResult); }

protected:
    virtual BOOL OnInitDialog();     // runs DoDataExchange
    virtual void DoDataExchange(CDataExchange *) {}
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    BOOL UpdateData();               // binds the controls (DoDataExchange)

    // In a dialog the default handling is the dialog manager's: the dialog procedure says
    // "not handled". Control-colour requests need the brush itself, which is the one the
    // default window handling gives (the dialog manager does no more for them).
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The base handling of a control-colour request (ON_WM_CTLCOLOR): the default brush,
    // with the default colours set on the control's device context.
    HBRUSH OnCtlColor(CDC *, CWnd *, UINT) { return HBRUSH(Default()); }

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &lResult) override;

    UINT m_nIDTemplate;          // the template id
    CWnd *m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
};
