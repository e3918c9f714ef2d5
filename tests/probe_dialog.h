// The update dialog with a test's hooks: a look right after its initialisation (optionally
// ending it there, before its worker could start), a count of its WM_DESTROYs, and the
// platform control's range and position as a person saw them when the dialog went away.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include "app/updater_dialog.h"
#include "step_record.h"
#include "test_support.h"
#include "update/run/keep_source.h"

class ProbeDlg : public CUpdaterDlg {
public:
    std::function<void(ProbeDlg &)> afterInit;       // runs at the end of the initialisation
    bool endAfterInit = false;                        // then ends the dialog: no worker starts
    int destroys = 0;                                 // WM_DESTROYs the dialog got
    LRESULT barLow = -1, barHigh = -1, barPos = -1;   // the platform control at the first one
    bool readPictures = false;                        // the step record reads the bar at every step

    // Runs the dialog as the program does, as its main window; keep-source mode starts off,
    // as in a new process. Returns DoModal's result.
    INT_PTR Run() {
        g_bUndelete = 0;
        g_steps.Clear();
        g_steps.readPictures = readPictures;
        AfxGetApp()->m_pMainWnd = this;
        const INT_PTR result = DoModal();
        RemoveQuitMessages();
        return result;
    }

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CUpdaterDlg::OnInitDialog();
        if (endAfterInit) KillTimer(TIMER_START);
        if (afterInit) afterInit(*this);
        if (endAfterInit) EndDialog(IDOK);
        return result;
    }
    void OnDestroy() {
        if (++destroys == 1) {
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

inline BEGIN_MESSAGE_MAP(ProbeDlg, CUpdaterDlg)
    ON_WM_DESTROY()
END_MESSAGE_MAP()
