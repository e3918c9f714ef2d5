// The update run, once per process, on the worker thread: keep-source test, plan, count,
// execute, finish. It reports nothing and always runs to its end.
#include <cstdio>
#include <cstring>
#include "app/updater_dialog.h"
#include "update/device_paths.h"
#include "update/file_ops.h"
#include "update/keep_source.h"
#include "update/launch_program.h"
#include "update/tree_walks.h"

namespace {

// The image files in the card's root, removed once the update is in.
const char *const kImageFiles[] = {"Data.fai", "nk.rom", "tcBoot.rom"};

UPDATE_JOB FolderJob(LPCSTR pszSource, LPCSTR pszTarget, BOOL bDelete) {
    UPDATE_JOB job;
    std::memset(&job, 0, sizeof job);
    job.bFolder = 1;
    job.bDelete = bDelete;
    if (pszSource) std::snprintf(job.szSource, sizeof job.szSource, "%s", pszSource);
    std::snprintf(job.szTarget, sizeof job.szTarget, "%s", pszTarget);
    return job;
}

UPDATE_JOB ImageFileJob(LPCSTR pszName) {
    UPDATE_JOB job;
    std::memset(&job, 0, sizeof job);
    job.bDelete = 1;
    std::snprintf(job.szTarget, sizeof job.szTarget, "/SDMMC/%s", pszName);
    return job;
}

// A job path as the wide string the platform calls take (at least 256 characters).
struct WidePath {
    WCHAR sz[MAX_PATH * 4];
    explicit WidePath(LPCSTR pszAnsi) {
        CString str = pszAnsi;
        lstrcpynW(sz, str, MAX_PATH * 4);
    }
};

} // namespace

int CUpdaterDlg::RunUpdate() {
    char szCard[256], szFlash[256];

    // 1. Keep-source test: the marker only has to open.
    std::memset(szCard, 0, sizeof szCard);
    std::snprintf(szCard, sizeof szCard, "%s", KEEP_SOURCE_FILE);
    if (FILE *pMarker = std::fopen(szCard, "r")) {
        std::fclose(pMarker);
        g_bUndelete = 1;
    }

    // 2-4. The plan: marker deletions first, then the five fixed jobs.
    std::memset(szCard, 0, sizeof szCard);
    std::memset(szFlash, 0, sizeof szFlash);
    std::snprintf(szCard, sizeof szCard, "%s", CARD_FOLDER);
    std::snprintf(szFlash, sizeof szFlash, "%s", FLASH_FOLDER);
    CollectMarkerJobs(szCard, szFlash);
    m_jobs.push_back(FolderJob(szCard, szFlash, FALSE));
    m_jobs.push_back(FolderJob(nullptr, szCard, TRUE));
    for (const char *pszImage : kImageFiles) m_jobs.push_back(ImageFileJob(pszImage));

    // 5-6. Count before anything runs: the card folder is counted twice, once for the copy,
    // once for its deletion, and every marked folder as it is before its deletion.
    // A delete marker still lies in the card folder now, but is consumed before the copy and
    // the card's deletion take it into account: it is not counted for either.
    const size_t nJobs = m_jobs.size();
    for (size_t i = 0; i < nJobs; ++i) {
        const UPDATE_JOB job = m_jobs[i];
        m_nTotal += job.bFolder ? SearchFilesDir(job.bDelete ? job.szTarget : job.szSource) : 1;
        if (job.bFolder && job.bDelete && job.szSource[0] && !g_bUndelete) m_nTotal -= 2;
    }

    // 7. The bar's range.
    m_nCount = 0;
    SetupProgress(0, m_nTotal);
    m_progress.SetPos(m_nCount);

    // 8. Execute in plan order. A copy that did not bring everything into the flash store
    // leaves its source where it is: the card folder is then not deleted, so the update
    // stays on the card for another try.
    char szFailedCopy[512] = {};
    for (size_t i = 0; i < nJobs; ++i) {
        const UPDATE_JOB job = m_jobs[i];
        if (job.bFolder && job.bDelete) {
            if (!szFailedCopy[0] || std::strcmp(szFailedCopy, job.szTarget) != 0)
                DeleteFolder(WidePath(job.szTarget).sz);
            // The delete marker that planned this deletion is consumed only now.
            if (job.szSource[0] && !g_bUndelete) RemoveFile(WidePath(job.szSource).sz);
        } else if (job.bFolder) {
            m_bCopyFailed = FALSE;
            CopyFolder(WidePath(job.szSource).sz, WidePath(job.szTarget).sz);
            if (m_bCopyFailed) std::memcpy(szFailedCopy, job.szSource, sizeof szFailedCopy);
        } else {
            if (!g_bUndelete) RemoveFile(WidePath(job.szTarget).sz);
            StepProgress();
        }
    }

    // 9-15. Finish: the card folder back (empty), the marker copies out of the flash
    // store, the follow-on program started, and the dialog ended.
    m_jobs.clear();
    MakeFolder(WidePath(szCard).sz);
    RemoveFile(WidePath(FLASH_UPDATE_COPY).sz);
    RemoveFile(WidePath(FLASH_UNDELETE_COPY).sz);
    LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    ShowWindow(SW_HIDE);
    // From here on the worker holds nothing: the dialog may end it inside this send.
    m_bFinalSend = TRUE;
    SendMessage(WM_DESTROY, 0, 0);
    return 0;
}
