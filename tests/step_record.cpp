// Watches the steps of the runs a test program makes (linked in place of the program's
// step hook): every position sent, the bar's last pixel when it reached its end, and for
// each walk's entry, that its work was done when its step came: the copy in the target's
// place, the removed file gone.
#include "step_record.h"
#include "app/updater_dialog.h"
#include "device_files.h"
#include "ui/progress/gradient_bands.h"
#include "update/seams/seams.h"

StepRecord g_steps;

namespace {

void CheckInPlace(const EntrySlot &entry) {
    if (entry.work == EntryWork::kNone) return;
    if (entry.work == EntryWork::kVerify) return g_steps.verified.push_back(entry.szSource);
    if (entry.work == EntryWork::kRemove && std::wstring(entry.szTarget).rfind(L"/SDMMC/", 0) == 0 &&
        (Exists(L"/SDMMC/ResidentFlash/~tessivard-manifest") || Exists(L"/SDMMC/ResidentFlash/~tessivard-signature")))
        ++g_steps.removedBesideManifest;
    g_steps.worked.push_back(entry.work == EntryWork::kCopy ? entry.szSource : entry.szTarget);
    if (entry.bFailed) return;
    const bool bInPlace = entry.work == EntryWork::kCopy ? Content(entry.szTarget) == Content(entry.szSource)
                                                         : !Exists(entry.szTarget);
    if (!bInPlace)
        g_steps.misplaced.push_back("step " + std::to_string(g_steps.positions.size()) + ": " +
                                    (entry.work == EntryWork::kCopy ? "not yet copied: " : "not yet removed: ") +
                                    std::to_string(g_steps.worked.size()));
}

// The bar's pixel at x on its middle line, as the screen shows it now.
COLORREF BarPixel(HWND hBar, int x) {
    RECT rc;
    GetClientRect(hBar, &rc);
    HDC hdc = GetDC(hBar);
    const COLORREF cr = GetPixel(hdc, x, rc.bottom / 2);
    ReleaseDC(hBar, hdc);
    return cr;
}

// The update dialog's bar, red to blue over black on a range from 0: at nPos its coloured
// part ends at the far edge of the last band shown, and black follows, or it is all the
// button face at 0.
void CheckPicture(HWND hBar, int nPos, int nTotal) {
    RECT rc;
    GetClientRect(hBar, &rc);
    const int nExtent = rc.right;
    const float fBand = BandSize(nExtent, 255);
    const int nShown = nPos > 0 ? BandsShown(FillLimit(nPos, 0, nTotal, nExtent), fBand, 255, nExtent) : 0;
    const int nEdge = nShown > 0 ? BandEdge(nShown, fBand, 255, nExtent) : 0;
    const COLORREF crLast = BarPixel(hBar, nEdge > 0 ? nEdge - 1 : 0);
    const bool bRight = nEdge > 0 ? crLast == BandColour(RGB(255, 0, 0), RGB(0, 0, 255), 255, nShown - 1) &&
                                        (nEdge == nExtent || BarPixel(hBar, nEdge) == RGB(0, 0, 0))
                                  : crLast == GetSysColor(COLOR_BTNFACE);
    if (!bRight)
        g_steps.wrongPictures.push_back("step " + std::to_string(g_steps.positions.size()) + ", position " +
                                        std::to_string(nPos) + ": the bar's colours end at the wrong pixel");
}

} // namespace

void AfterStep(const CUpdateRun &run, int nPos, const EntrySlot *pEntry) {
    g_steps.positions.push_back(nPos);
    if (pEntry) CheckInPlace(*pEntry);
    // The test programs' runs show their steps on an update dialog.
    const CUpdaterDlg *pDlg = dynamic_cast<const CUpdaterDlg *>(&run.Screen());
    if (!pDlg) return;
    HWND hBar = pDlg->m_progress.m_hWnd;
    if (g_steps.readPictures) CheckPicture(hBar, nPos, run.Total());
    if (nPos != run.Total()) return;
    RECT rc;
    GetClientRect(hBar, &rc);
    g_steps.crEndOfBar = BarPixel(hBar, rc.right - 1);
}

::testing::AssertionResult FillsTheBarOnce(const CUpdaterDlg &run) {
    const std::vector<int> &p = g_steps.positions;
    if (int(p.size()) != run.m_nTotal)
        return ::testing::AssertionFailure() << p.size() << " steps for a plan of " << run.m_nTotal;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i] != int(i) + 1) return ::testing::AssertionFailure() << "step " << i + 1 << " sent " << p[i];
    if (!g_steps.misplaced.empty()) return ::testing::AssertionFailure() << g_steps.misplaced.front();
    return ::testing::AssertionSuccess();
}
