// The update run, once per process, on the worker thread: keep-source test, plan, count,
// execute, finish. It reports nothing and always runs to its end.
#include <cstdio>
#include "app/updater_dialog.h"
#include "update/device_paths.h"
#include "update/file_system.h"
#include "update/keep_source.h"
#include "update/launch_program.h"
#include "update/tree_walks.h"

namespace {

// The image files in the card's root, removed once the update is in.
const char *const kImageFiles[] = {"Data.fai", "nk.rom", "tcBoot.rom"};

// A job path as the wide string the platform calls take.
struct WidePath {
    WCHAR sz[kWidePath];
    explicit WidePath(LPCSTR pszAnsi) {
        CString str = pszAnsi;
        lstrcpynW(sz, str, kWidePath);
    }
};

} // namespace

int CUpdaterDlg::RunUpdate() {
    char szCard[kAnsiPath], szFlash[kAnsiPath], szImage[kAnsiPath];

    // The keep-source test: the marker only has to open.
    FormatInto(szCard, "%s", KEEP_SOURCE_FILE);
    if (FILE *pMarker = std::fopen(szCard, "r")) {
        std::fclose(pMarker);
        g_bUndelete = 1;
    }

    // The plan: marker deletions first, then the five fixed jobs.
    FormatInto(szCard, "%s", CARD_FOLDER);
    FormatInto(szFlash, "%s", FLASH_FOLDER);
    CollectMarkerJobs(szCard, szFlash);
    m_jobs.push_back(MakeJob(TRUE, FALSE, szCard, szFlash));
    m_jobs.push_back(MakeJob(TRUE, TRUE, nullptr, szCard));
    for (const char *pszImage : kImageFiles)
        if (FormatInto(szImage, "/SDMMC/%s", pszImage)) m_jobs.push_back(MakeJob(FALSE, TRUE, nullptr, szImage));

    // Count before anything runs: the card folder is counted twice, once for the copy,
    // once for its deletion, and every marked folder as it is before its deletion.
    const size_t nJobs = m_jobs.size();
    for (size_t i = 0; i < nJobs; ++i) {
        const UPDATE_JOB job = m_jobs[i];
        m_nTotal += job.bFolder ? SearchFilesDir(job.bDelete ? job.szTarget : job.szSource) : 1;
        // A delete marker still lies in the card folder while the plan is counted, so both
        // counts of the card folder, the copy's and the deletion's, took it in; it is
        // consumed before either walk meets it.
        if (job.bFolder && job.bDelete && job.szSource[0] && !g_bUndelete) m_nTotal -= 2;
    }

    // The bar's range.
    m_nCount = 0;
    SetupProgress(0, m_nTotal);
    m_progress.SetPos(m_nCount);

    // Execute in plan order. A copy that did not bring everything into the flash store
    // keeps its source: the card folder's deletion that follows it is skipped, so the
    // update stays on the card for another try.
    bool bKeepCard = false;
    for (size_t i = 0; i < nJobs; ++i) {
        const UPDATE_JOB job = m_jobs[i];
        if (job.bFolder && job.bDelete) {
            if (!bKeepCard) DeleteFolder(WidePath(job.szTarget).sz);
            // The delete marker that planned this deletion is consumed only now.
            if (job.szSource[0] && !g_bUndelete) FsRemoveFile(WidePath(job.szSource).sz);
        } else if (job.bFolder) {
            CopyOutcome outcome;
            CopyFolder(WidePath(job.szSource).sz, WidePath(job.szTarget).sz, outcome);
            bKeepCard = bKeepCard || outcome.bFailed;
        } else {
            if (!g_bUndelete) FsRemoveFile(WidePath(job.szTarget).sz);
            StepProgress();
        }
    }

    // Finish: the card folder back (empty), the marker copies out of the flash store, the
    // follow-on program started, and the dialog ended.
    m_jobs.clear();
    FsMakeFolder(WidePath(szCard).sz);
    FsRemoveFile(WidePath(FLASH_UPDATE_COPY).sz);
    FsRemoveFile(WidePath(FLASH_UNDELETE_COPY).sz);
    LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    EndFromWorker();
    return 0;
}
