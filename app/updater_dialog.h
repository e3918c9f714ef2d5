// The update dialog: the program's only window, full-screen and topmost, with one progress
// bar. 100 ms after it opens it starts the worker that runs the update (update/run/update_run.h)
// on the plan and counters it holds, once more a tick later should the platform not start
// it; the bar and the end of the run are the dialog's, and the worker's WM_DESTROY at the
// end of the run ends the dialog and with it the application.
#pragma once
#include <atomic>
#include "platform/afxwin.h"
#include "res/resource.h"
#include "ui/skin/skin_dialog.h"
#include "ui/progress/gradient_progress.h"
#include "update/run/run_screen.h"
#include "update/run/job_list.h"
#include "update/run/update_run.h"

class CUpdaterDlg : public CSkinDialog, public IRunScreen {
public:
    explicit CUpdaterDlg(CWnd *pParent = nullptr);
    ~CUpdaterDlg() override = default;

    enum { IDD = IDD_UPDATER_DIALOG };
    static constexpr UINT_PTR TIMER_START = 1000;   // starts the worker; stops once it has
    static constexpr int kWorkerStartTries = 2;     // ticks that try to start the worker before the run ends without one
    static constexpr DWORD kWorkerEndMs = 5000;     // the longest wait for a terminated worker's end

    CGradientProgressCtrl m_progress;  // the bar, control IDC_PROGRESS of the template
    CJobList m_jobs;                 // the update plan, in execution order
    HANDLE m_hThread;                // the worker; INVALID_HANDLE_VALUE (-1) while there is none
    int m_nTotal;                    // progress steps planned for the run
    int m_nCount;                    // progress steps done
    int m_nStartFailures;            // ticks whose start of the worker failed
    std::atomic<bool> m_bFinalSend;  // the worker has reached its closing WM_DESTROY send

    // Hides the bar, gives it the range and its colours, and shows it again.
    void SetupProgress(int nLower, int nUpper) override;
    // The bar at a step's position: sent only when its picture differs from the one sent
    // last, as each send is a round trip to the UI thread that the worker waits for.
    void ShowStep(int nPos) override;
    // The bar at the last position the run reached: always sent, so that the control holds it.
    void ShowLastStep(int nPos) override;
    // The worker's end: hides the dialog and sends it WM_DESTROY, in which the dialog ends
    // the worker. The worker holds nothing (no handle, no lock) when it calls this.
    void EndFromWorker() override;

    // The update itself, on the worker thread: the run's (update/run/update_run.h). RunUpdate
    // is a seam (app/seam_run_update.cpp).
    int RunUpdate();
    int CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder);
    int CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget);
    int CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome);
    int DeleteFolder(LPCWSTR pszFolder);

protected:
    CUpdateRun m_run;                // the update, on the plan and counters above
    // Starts the worker thread on RunUpdate: its handle, or nullptr when the platform could
    // not start one. A seam (app/seam_start_worker.cpp).
    HANDLE StartWorker();
    // The run's end without a worker: nothing on the card or in the flash store changed, the
    // follow-on program started, the dialog hidden and ended as the worker ends it.
    void EndWithoutWorker();
    BarPicture m_sentPicture;        // the bar's picture at the position sent last (worker)
    // Gives the bar the position: one synchronous send. A seam (app/seam_send_position.cpp).
    void SendPosition(int nPos);
    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();

    DECLARE_MESSAGE_MAP()
};

// The worker thread's entry: runs the update of the dialog it is given.
DWORD WINAPI UpdateThreadProc(LPVOID pParam);
