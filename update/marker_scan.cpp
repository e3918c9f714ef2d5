// The marker scan: the top level of the card folder, read once before anything else runs.
// "update" is consumed; every "delete_NAME" plans the deletion of the flash store's
// sub-folder NAME and is consumed once that has run (update/marker_rules.h).
#include "app/updater_dialog.h"
#include "platform/folder_listing.h"
#include "update/file_system.h"
#include "update/keep_source.h"
#include "update/marker_rules.h"

int CUpdaterDlg::CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    if (!pszCardFolder || !*pszCardFolder || !pszFlashFolder || !*pszFlashFolder) return 0;

    char szCard[kAnsiPath], szPattern[kAnsiPath];
    if (!FormatInto(szCard, "%s", pszCardFolder) || !FormatInto(szPattern, "%s/*.*", szCard)) return 0;

    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstEntry(CString(szPattern), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;

    int nJobs = 0;
    MarkerEntry entry;
    do {
        ReadMarker(szCard, pszFlashFolder, fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, entry);
        switch (entry.kind) {
        case MarkerKind::kUpdate:
        case MarkerKind::kPlansNothing:
            if (!g_bUndelete) FsRemoveFile(CString(entry.szCardPath));
            break;
        case MarkerKind::kPlansDeletion:
            // Consumed by the run right after the deletion (the job keeps the marker's card
            // path as its source): a power cut in between leaves the marker on the card, and
            // the next run deletes the folder again.
            m_jobs.push_back(MakeJob(TRUE, TRUE, entry.szCardPath, entry.szPlanned));
            ++nJobs;
            break;
        case MarkerKind::kNotAMarker:
        case MarkerKind::kUnaddressable:
            break;
        }
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return nJobs;
}
