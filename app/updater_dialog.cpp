#include "app/updater_dialog.h"
#include "platform/thread_body.h"
#include "update/run/device_paths.h"
#include "update/run/launch_program.h"

BEGIN_MESSAGE_MAP(CUpdaterDlg, CSkinDialog)
    ON_WM_TIMER()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CUpdaterDlg::CUpdaterDlg(CWnd *pParent)
    : CSkinDialog(IDD, pParent), m_hThread(INVALID_HANDLE_VALUE), m_nTotal(0), m_nCount(0), m_nStartFailures(0),
      m_bFinalSend(false),
      m_run(*this, m_jobs, m_nTotal, m_nCount), m_sentPicture(CBarPictures::kNoPicture) {}

void CUpdaterDlg::DoDataExchange(CDataExchange *pDX) { DDX_Control(pDX, IDC_PROGRESS, m_progress); }

BOOL CUpdaterDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    m_jobs.clear();
    SetWindowPos(HWND_TOPMOST, 0, 0, 800, 480, SWP_SHOWWINDOW);
    LoadBitmapResource(IDB_BACKGROUND);   // after the resize: the region is the window's size now
    m_progress.MoveWindow(50, 350, 700, 20, TRUE);
    SetTimer(TIMER_START, 100, nullptr);
    m_nTotal = 0;
    m_nCount = 0;
    SetupProgress(0, 0);
    m_progress.SetPos(m_nCount);
    return TRUE;
}

void CUpdaterDlg::SetupProgress(int nLower, int nUpper) {
    m_progress.ShowWindow(SW_HIDE);
    m_progress.Configure(nLower, nUpper, FALSE, 0x000000FF, 0x00FF0000, 0x00FFFFFF, 0x00000000);
    m_progress.ShowWindow(SW_SHOW);
    // The new range shows the empty bar, whatever was sent before it.
    m_sentPicture = CBarPictures::kNoPicture;
}

// The bar's position lags behind the steps while their picture stays: what the screen
// shows after each step is the picture of that step's position all the same.
void CUpdaterDlg::ShowStep(int nPos) {
    const BarPicture picture = m_progress.PictureAt(nPos);
    if (picture.SameAs(m_sentPicture)) return;
    SendPosition(nPos);
    m_sentPicture = picture;
}

void CUpdaterDlg::ShowLastStep(int nPos) {
    SendPosition(nPos);
    m_sentPicture = m_progress.PictureAt(nPos);
}

int CUpdaterDlg::CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    return m_run.CollectMarkerJobs(pszCardFolder, pszFlashFolder);
}

int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget) {
    CopyOutcome outcome;
    return m_run.CopyFolder(pszSource, pszTarget, outcome);
}

int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    return m_run.CopyFolder(pszSource, pszTarget, outcome);
}

int CUpdaterDlg::DeleteFolder(LPCWSTR pszFolder) { return m_run.DeleteFolder(pszFolder); }

// A worker the platform cannot start (short of memory or of threads) gets one more try at
// the next tick: the start timer runs on until a worker is there, so the retry needs nothing
// more from the platform. After that the run ends without one, as every run ends; waiting on
// would leave the topmost dialog over the device's screen for ever and the follow-on program
// never started.
void CUpdaterDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == TIMER_START) {
        if (const HANDLE hThread = StartWorker()) {
            KillTimer(TIMER_START);
            m_hThread = hThread;
        } else if (++m_nStartFailures >= kWorkerStartTries) {
            KillTimer(TIMER_START);
            EndWithoutWorker();
        }
    }
    Default();
}

void CUpdaterDlg::EndWithoutWorker() {
    LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    ShowWindow(SW_HIDE);
    SendMessage(WM_DESTROY, 0, 0);
}

// The worker ends here, terminated while it waits in its WM_DESTROY send at the end of the
// run; a WM_DESTROY from anywhere else (OK, Cancel) stops it wherever the update stands.
// Stopped anywhere else, the worker may have held a lock (the heap's, the C runtime's, a
// file system call's) that nothing will release: the process then ends on the spot, and
// runs nothing more that could wait for it.
// TerminateThread only starts the thread's end: the dialog goes on, and the process towards
// its exit, once the worker is gone (bounded, should the platform never report it).
void CUpdaterDlg::OnDestroy() {
    CSkinDialog::OnDestroy();
    if (m_hThread != INVALID_HANDLE_VALUE) {
        const bool bAtFinalSend = m_bFinalSend;
        TerminateThread(m_hThread, 0);
        if (!bAtFinalSend) TerminateProcess(GetCurrentProcess(), 0);
        WaitForSingleObject(m_hThread, kWorkerEndMs);
        CloseHandle(m_hThread);
        m_hThread = INVALID_HANDLE_VALUE;
    }
}

void CUpdaterDlg::EndFromWorker() {
    ShowWindow(SW_HIDE);
    // From here on the dialog may end the worker inside this send.
    m_bFinalSend = true;
    SendMessage(WM_DESTROY, 0, 0);
}

namespace {
DWORD WINAPI RunDialogUpdate(LPVOID pParam) { return DWORD(static_cast<CUpdaterDlg *>(pParam)->RunUpdate()); }
}

DWORD WINAPI UpdateThreadProc(LPVOID pParam) { return RunThreadBody(ProgramThread::kWorker, RunDialogUpdate, pParam); }
