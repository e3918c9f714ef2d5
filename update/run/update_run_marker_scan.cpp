// The marker scan: the top level of the card folder, read once before anything else runs.
// "update" is consumed; every "delete_NAME" plans the deletion of the flash store's
// sub-folder NAME and is consumed once that has run (update/rules/marker_rules.h).
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
#include "update/storage/file_system.h"
#include "update/run/keep_source.h"
#include "update/rules/marker_rules.h"
#include "update/run/update_run.h"

int CUpdateRun::CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    int nLeft = 0;
    return ScanMarkers(pszCardFolder, pszFlashFolder, ScanMode::kPlanAndConsume, nLeft);
}

// A card with a manifest: the scan decides first and consumes nothing until the card is
// found whole; then it lists again and consumes what it left.
int CUpdateRun::PlanMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, int &nLeft) {
    return ScanMarkers(pszCardFolder, pszFlashFolder, ScanMode::kPlanOnly, nLeft);
}

void CUpdateRun::ConsumeScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    int nLeft = 0;
    ScanMarkers(pszCardFolder, pszFlashFolder, ScanMode::kConsumeOnly, nLeft);
}

int CUpdateRun::ScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, ScanMode mode, int &nLeft) {
    nLeft = 0;
    if (!pszCardFolder || !*pszCardFolder || !pszFlashFolder || !*pszFlashFolder) return 0;

    char szCard[kAnsiPath], szPattern[kAnsiPath];
    WCHAR szWide[kAnsiPath];
    if (!FormatInto(szCard, "%s", pszCardFolder) || !FormatInto(szPattern, "%s/*.*", szCard) ||
        !AnsiToWide(szWide, kAnsiPath, szPattern))
        return 0;

    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First(szWide, &fd)) return 0;

    int nJobs = 0;
    MarkerEntry entry;
    do {
        ReadMarker(szCard, pszFlashFolder, fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, entry);
        if (WhenConsumed(entry.kind, g_bUndelete) == MarkerConsumption::kAtScan) {
            if (mode == ScanMode::kPlanOnly) ++nLeft;
            else if (AnsiToWide(szWide, kAnsiPath, entry.szCardPath)) FsRemoveFile(szWide);
        }
        if (entry.kind == MarkerKind::kPlansDeletion && mode != ScanMode::kConsumeOnly) {
            // The job keeps the marker's card path as its source: the run consumes it once the
            // deletion is on the medium.
            // A plan the device has no room for is not run: the scan stops there, and the run
            // ends as it ends for a card that is not whole.
            if (!m_jobs.push_back(MakeJob(TRUE, TRUE, entry.szCardPath, entry.szPlanned))) {
                m_bPlanFits = false;
                break;
            }
            ++nJobs;
        }
    } while (listing.Next(&fd));
    return nJobs;
}
