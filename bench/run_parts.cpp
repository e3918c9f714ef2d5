// The parts of an update run, measured apart in one process, in the current folder (the
// device root): where a whole run of the program spends its time.
//   run_parts walks        the program's own count, copy and delete walks on the card
//                          folder and the flash store, in a run with no window: steps go
//                          nowhere
//   run_parts rawcopy KIB  the same copy done by a plain read/write loop with a KIB
//                          buffer straight into each target (no temporary, no flush),
//                          then the program's delete walk
//   run_parts steps N      the update dialog, whose worker takes N progress steps and
//                          does nothing else: the cost of moving the bar
//   run_parts sends N      the same, but each step sends the bar a message it ignores
//                          (WM_NULL) instead: the cost of one synchronous send alone
//   run_parts recover N    N starts' recovery on a flash store with nothing to recover
//                          (the record looked for in its two slots, none there)
// Prints "name value" lines; exit code 0 when the part ran.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>
#include "app/updater_dialog.h"
#include "platform/folder_listing.h"
#include "update/run/device_paths.h"
#include "update/run/keep_source.h"
#include "update/storage/recovery_record.h"
#include "update/walks/tree_walks.h"
#include "bench/clock.h"

namespace {

CWinApp theBenchApp;

const wchar_t kCard[] = L"" CARD_FOLDER;
const wchar_t kFlash[] = L"" FLASH_FOLDER;

// A run's screen with no window: the steps are counted and go nowhere.
class NoScreen : public IRunScreen {
public:
    void SetupProgress(int, int) override {}
    void ShowStep(int) override {}
    void ShowLastStep(int) override {}
    void EndFromWorker() override {}
};

// An update run of its own, outside any dialog.
struct BareRun {
    NoScreen screen;
    CJobList jobs;
    int nTotal = 0, nCount = 0;
    CUpdateRun run{screen, jobs, nTotal, nCount};
};

// --- walks ---------------------------------------------------------------------------

int Walks() {
    BareRun bare;
    g_bUndelete = 0;
    LONGLONG t = Now();
    // The run counts the card folder twice: for the copy and for the deletion.
    const auto space = std::make_unique<CWalkSpace>();
    const int nSteps = CountStepsClearingTemporaries(*space, Walk::kCopy, kCard) + CountStepsClearingTemporaries(*space, Walk::kDeletion, kCard);
    const double countMs = Millis(Now() - t);
    t = Now();
    CopyOutcome outcome;
    bare.run.CopyFolder(kCard, kFlash, outcome);
    const double copyMs = Millis(Now() - t);
    const int nCopySteps = bare.nCount;
    t = Now();
    bare.run.DeleteFolder(kCard);
    const double deleteMs = Millis(Now() - t);
    // What the steps cost here, where they reach no window.
    t = Now();
    for (int i = 0; i < bare.nCount; ++i) SendMessageW(nullptr, PBM_SETPOS, WPARAM(i), 0);
    const double noWindowMs = Millis(Now() - t);

    std::printf("counted_steps %d\n", nSteps);
    std::printf("steps %d\n", bare.nCount);
    std::printf("count_ms %.1f\n", countMs);
    std::printf("copy_ms %.1f\n", copyMs);
    std::printf("delete_ms %.1f\n", deleteMs);
    std::printf("steps_without_window_ms %.1f\n", noWindowMs);
    return nCopySteps > 0 && !outcome.bFailed ? 0 : 1;
}

// --- rawcopy -------------------------------------------------------------------------

// One file through a buffer: what CopyFileW does, without its other work.
bool CopyThroughBuffer(const std::wstring &source, const std::wstring &target, std::vector<char> &buffer) {
    HANDLE hIn = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hIn == INVALID_HANDLE_VALUE) return false;
    HANDLE hOut = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool bOk = hOut != INVALID_HANDLE_VALUE;
    DWORD cbRead = 0, cbWritten = 0;
    while (bOk && ReadFile(hIn, buffer.data(), DWORD(buffer.size()), &cbRead, nullptr) && cbRead)
        bOk = WriteFile(hOut, buffer.data(), cbRead, &cbWritten, nullptr) && cbWritten == cbRead;
    if (hOut != INVALID_HANDLE_VALUE) CloseHandle(hOut);
    CloseHandle(hIn);
    return bOk;
}

// The copy walk's shape (target folder first, then each entry; no dot folders), with the
// file copy above. The number of files that did not arrive.
int CopyTree(const std::wstring &source, const std::wstring &target, std::vector<char> &buffer) {
    CreateDirectoryW(target.c_str(), nullptr);
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First((source + L"\\*.*").c_str(), &fd)) return 0;
    int nFailed = 0;
    do {
        const std::wstring from = source + L"\\" + fd.cFileName, to = target + L"\\" + fd.cFileName;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            nFailed += CopyThroughBuffer(from, to, buffer) ? 0 : 1;
        else if (fd.cFileName[0] != L'.')
            nFailed += CopyTree(from, to, buffer);
    } while (listing.Next(&fd));
    return nFailed;
}

int RawCopy(int nKiB) {
    if (nKiB <= 0 || nKiB > 65536) {
        std::fprintf(stderr, "run_parts: a buffer of 1 to 65536 KiB\n");
        return 2;
    }
    std::vector<char> buffer(size_t(nKiB) * 1024);
    LONGLONG t = Now();
    const int nFailed = CopyTree(kCard, kFlash, buffer);
    const double copyMs = Millis(Now() - t);
    BareRun bare;
    g_bUndelete = 0;
    t = Now();
    bare.run.DeleteFolder(kCard);
    const double deleteMs = Millis(Now() - t);
    std::printf("buffer_kib %d\n", nKiB);
    std::printf("failed_files %d\n", nFailed);
    std::printf("copy_ms %.1f\n", copyMs);
    std::printf("delete_ms %.1f\n", deleteMs);
    return nFailed ? 1 : 0;
}

// --- steps ---------------------------------------------------------------------------

// The update dialog as the program shows it; only its worker is another one.
class StepsDialog : public CUpdaterDlg {
public:
    int m_nSteps = 0;          // steps the worker takes
    bool m_bIdleSends = false; // each step sends WM_NULL to the bar instead of moving it
    LONGLONG m_qwTicks = 0;    // the worker's time from the bar's set-up to its last step

protected:
    void OnTimer(UINT_PTR nIDEvent) {
        if (nIDEvent == TIMER_START) {
            KillTimer(TIMER_START);
            m_hThread = CreateThread(nullptr, 0, StepsProc, this, 0, nullptr);
        }
    }

    static DWORD WINAPI StepsProc(LPVOID pParam) {
        StepsDialog *pDlg = static_cast<StepsDialog *>(pParam);
        const LONGLONG t = Now();
        pDlg->m_nTotal = pDlg->m_nSteps;
        pDlg->SetupProgress(0, pDlg->m_nTotal);
        pDlg->m_progress.SetPos(0);
        for (int i = 0; i < pDlg->m_nSteps; ++i) {
            if (!pDlg->m_bIdleSends) {
                pDlg->m_run.Step(nullptr);
                continue;
            }
            ++pDlg->m_nCount;
            pDlg->m_progress.SendMessage(WM_NULL);
        }
        if (!pDlg->m_bIdleSends) pDlg->ShowLastStep(pDlg->m_nCount);
        pDlg->m_qwTicks = Now() - t;
        pDlg->EndFromWorker();   // ends as the run does: the dialog may end it in this send
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(StepsDialog, CUpdaterDlg)
    ON_WM_TIMER()
END_MESSAGE_MAP()

int Steps(int nSteps, bool bIdleSends) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    StepsDialog dlg;
    dlg.m_nSteps = nSteps;
    dlg.m_bIdleSends = bIdleSends;
    AfxGetApp()->m_pMainWnd = &dlg;
    dlg.DoModal();
    std::printf("steps %d\n", dlg.m_nCount);
    std::printf("steps_ms %.1f\n", Millis(dlg.m_qwTicks));
    std::printf("step_us %.1f\n", nSteps ? 1000.0 * Millis(dlg.m_qwTicks) / nSteps : 0.0);
    return dlg.m_nCount == nSteps ? 0 : 1;
}

// --- recover ---------------------------------------------------------------------------

// What every start pays before anything else when the last run ended whole.
int Recover(int nStarts) {
    if (nStarts <= 0) return 2;
    LONGLONG total = 0;
    for (int i = 0; i < nStarts; ++i) {
        const LONGLONG t = Now();
        CRecoveryRecord record(kFlash);
        if (!record.Prepare()) return 1;
        record.Recover();
        total += Now() - t;
    }
    std::printf("starts %d\n", nStarts);
    std::printf("recover_us %.1f\n", 1000.0 * Millis(total) / nStarts);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc >= 2 && !std::wcscmp(argv[1], L"walks")) return Walks();
    if (argc >= 3 && !std::wcscmp(argv[1], L"rawcopy")) return RawCopy(_wtoi(argv[2]));
    if (argc >= 3 && !std::wcscmp(argv[1], L"steps")) return Steps(_wtoi(argv[2]), false);
    if (argc >= 3 && !std::wcscmp(argv[1], L"sends")) return Steps(_wtoi(argv[2]), true);
    if (argc >= 3 && !std::wcscmp(argv[1], L"recover")) return Recover(_wtoi(argv[2]));
    std::fprintf(stderr, "usage: run_parts walks | rawcopy KIB | steps N | sends N | recover N\n");
    return 2;
}
