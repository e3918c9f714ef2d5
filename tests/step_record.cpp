// Watches the steps of the runs a test program makes (linked in place of the program's
// step hook): every position sent, and the bar's last pixel when it reached its end.
#include "step_record.h"
#include "app/updater_dialog.h"
#include "update/step_hook.h"

StepRecord g_steps;

void AfterStep(CUpdaterDlg &dlg, int nPos) {
    g_steps.positions.push_back(nPos);
    if (nPos != dlg.m_nTotal) return;
    HWND hBar = dlg.m_progress.m_hWnd;
    RECT rc;
    GetClientRect(hBar, &rc);
    HDC hdc = GetDC(hBar);
    g_steps.crEndOfBar = GetPixel(hdc, rc.right - 1, rc.bottom / 2);
    ReleaseDC(hBar, hdc);
}

::testing::AssertionResult FillsTheBarOnce(const CUpdaterDlg &run) {
    const std::vector<int> &p = g_steps.positions;
    if (int(p.size()) != run.m_nTotal)
        return ::testing::AssertionFailure() << p.size() << " steps for a plan of " << run.m_nTotal;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i] != int(i) + 1) return ::testing::AssertionFailure() << "step " << i + 1 << " sent " << p[i];
    return ::testing::AssertionSuccess();
}
