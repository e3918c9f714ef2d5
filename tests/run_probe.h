// Runs the real update in-process, in the test's device root, and keeps what a person
// would have seen on the bar when the dialog went away.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "app/updater_dialog.h"
#include "update/keep_source.h"

class RunProbe : public CUpdaterDlg {
public:
    LRESULT barLow = -1, barHigh = -1, barPos = -1;   // the bar at the worker's WM_DESTROY

    // One whole run, as the program makes it. Keep-source mode starts off, as in a new process.
    void Run() {
        g_bUndelete = 0;
        AfxGetApp()->m_pMainWnd = this;
        DoModal();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    }

protected:
    void OnDestroy() {
        if (barHigh == -1) {
            HWND hBar = GetDlgItem(m_hWnd, IDC_PROGRESS);
            PBRANGE range = {};
            ::SendMessageW(hBar, PBM_GETRANGE, TRUE, LPARAM(&range));
            barLow = range.iLow;
            barHigh = range.iHigh;
            barPos = ::SendMessageW(hBar, PBM_GETPOS, 0, 0);
        }
        CUpdaterDlg::OnDestroy();
    }
    DECLARE_MESSAGE_MAP()
};

inline BEGIN_MESSAGE_MAP(RunProbe, CUpdaterDlg)
    ON_WM_DESTROY()
END_MESSAGE_MAP()
