// The marker scan: the top level of the card folder, read once before anything else runs.
// "update" is consumed; every "delete_NAME" plans the deletion of the flash store's
// sub-folder NAME and is consumed once that has run (update/rules/marker_rules.h).
#include <cwchar>
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/run/keep_source.h"
#include "update/rules/marker_rules.h"
#include "update/run/update_run.h"
#include "update/walks/walk_space.h"

int CUpdateRun::CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    int nLeft = 0;
    return ScanMarkers(pszCardFolder, pszFlashFolder, ScanMode::kPlanAndConsume, nLeft);
}

// A card with a manifest: its markers are the manifest's, found whole on the card, never those
// of a listing made before that check, which a card that changes between reads (an SD card
// emulator does) can show otherwise. Nothing is consumed until every listed file has passed.
int CUpdateRun::PlanMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, int &nLeft) {
    return ListedMarkers(pszCardFolder, pszFlashFolder, ScanMode::kPlanOnly, nLeft);
}

void CUpdateRun::ConsumeScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    int nLeft = 0;
    ListedMarkers(pszCardFolder, pszFlashFolder, ScanMode::kConsumeOnly, nLeft);
}

int CUpdateRun::ListedMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, ScanMode mode, int &nLeft) {
    nLeft = 0;
    int nJobs = 0;
    for (size_t i = 0; i < m_manifest.Count(); ++i) {
        const ManifestEntry &listed = m_manifest.Entry(i);
        LPCWSTR pszName = m_manifest.PathOf(listed);
        if (!listed.bFolder && !wcschr(pszName, L'\\') &&
            !TakeMarker(pszCardFolder, pszFlashFolder, pszName, FALSE, mode, nLeft, nJobs))
            break;
    }
    return nJobs;
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

    // A top level that never ends (a damaged FAT's) stops the scan where a walk stops: the
    // count that follows meets the same bound and takes nothing of the card.
    int nJobs = 0;
    CListedEntries listed;
    do {
        if (!listed.Take()) break;
        if (!TakeMarker(szCard, pszFlashFolder, fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, mode,
                        nLeft, nJobs))
            break;
    } while (listing.Next(&fd));
    return nJobs;
}

// A marker the scan consumes is left for later when planning only, and counted only while the
// card still holds it (a manifest lists it even after an interrupted run consumed it).
bool CUpdateRun::TakeMarker(LPCSTR pszCard, LPCSTR pszFlash, LPCWSTR pszName, BOOL bFolder, ScanMode mode, int &nLeft,
                            int &nJobs) {
    MarkerEntry entry;
    WCHAR szWide[kAnsiPath];
    ReadMarker(pszCard, pszFlash, pszName, bFolder, entry);
    if (WhenConsumed(entry.kind, g_bUndelete) == MarkerConsumption::kAtScan && AnsiToWide(szWide, kAnsiPath, entry.szCardPath)) {
        if (mode != ScanMode::kPlanOnly) FsRemoveFile(szWide);
        else if (WhatIsAt(szWide) == PathHolds::kFile) ++nLeft;
    }
    if (entry.kind != MarkerKind::kPlansDeletion || mode == ScanMode::kConsumeOnly) return true;
    // The job keeps the marker's card path as its source: the run consumes it once the
    // deletion is on the medium.
    // A plan the device has no room for is not run: the scan stops there, and the run
    // ends as it ends for a card that is not whole.
    if (!m_jobs.push_back(MakeJob(TRUE, TRUE, entry.szCardPath, entry.szPlanned))) {
        m_bPlanFits = false;
        return false;
    }
    ++nJobs;
    return true;
}
