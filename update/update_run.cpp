#include "update/update_run.h"
#include <cstdio>
#include "platform/ansi_text.h"
#include "platform/heap_array.h"
#include "update/card_admission.h"
#include "update/device_paths.h"
#include "update/file_system.h"
#include "update/keep_source.h"
#include "update/launch_program.h"
#include "update/marker_rules.h"
#include "update/name_rule.h"
#include "update/tree_walks.h"
#include "update/whole_card.h"
#include "platform/bounded_text.h"

namespace {

// The image files in the card's root, removed once the update is in.
const char *const kImageFiles[] = {"Data.fai", "nk.rom", "tcBoot.rom"};

// A job path as the wide string the platform calls take (a job's path always fits).
struct WidePath {
    WCHAR sz[kWidePath];
    explicit WidePath(LPCSTR pszAnsi) { AnsiToWide(sz, kWidePath, pszAnsi); }
};

// The same folder of the flash store, whatever the letter case of its name: two targets the
// marker rules planned, each the flash store, "/" and a folder name they took.
bool SameFolder(LPCSTR pszA, LPCSTR pszB) {
    const WidePath a(pszA), b(pszB);
    return PathsMatch(a.sz, b.sz);
}

// A folder deletion that a delete marker planned: the job holds the marker's card path.
bool IsMarkerDeletion(const UPDATE_JOB &job) { return job.bFolder && job.bDelete && job.szSource[0]; }

// The marker of such a deletion is consumed after it, in normal mode.
bool ConsumesMarker(const UPDATE_JOB &job) {
    return IsMarkerDeletion(job) &&
           WhenConsumed(MarkerKind::kPlansDeletion, g_bUndelete) == MarkerConsumption::kAfterItsDeletion;
}

// The steps the execution pass takes when nothing fails, job by job: a deletion that does
// nothing (keep-source mode) takes none, a file job one, a walk one per entry it visits.
// A delete marker still lies in the card folder while the plan is made, but in normal mode
// it is consumed before the copy and the card's deletion meet it; in keep-source mode it
// stays and is copied. So are the nLeft markers that the scan of a card with a manifest
// left for later. A folder that an earlier marker deleted already gives no steps.
// One record a job of the plan: its steps, and whether its marker is kept for the next run.
struct JobRecord {
    int nSteps;
    bool bMarkerKept;
};

void PlanSteps(const CJobList &jobs, int nLeft, bool bClearTemporaries, JobRecord *steps) {
    int nConsumedMarkers = nLeft;
    for (const UPDATE_JOB &job : jobs)
        if (ConsumesMarker(job)) ++nConsumedMarkers;

    // The copies are counted first: their count clears the left-over temporaries out of the
    // folders they write into (bClearTemporaries: a card that is not whole changes nothing),
    // which the deletions' counts would otherwise count as entries.
    for (size_t i = 0; i < jobs.size(); ++i) steps[i] = {0, false};
    for (size_t i = 0; i < jobs.size(); ++i)
        if (jobs[i].bFolder && !jobs[i].bDelete)
            steps[i].nSteps = CountWalkSteps(Walk::kCopy, WidePath(jobs[i].szSource).sz,
                                      bClearTemporaries ? WidePath(jobs[i].szTarget).sz : nullptr) -
                       nConsumedMarkers;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const UPDATE_JOB &job = jobs[i];
        if (!job.bFolder) {
            steps[i].nSteps = 1;
        } else if (!job.bDelete) {
            continue;   // counted above
        } else if (!g_bUndelete && !IsMarkerDeletion(job)) {
            steps[i].nSteps = CountWalkSteps(Walk::kDeletion, WidePath(job.szTarget).sz) - nConsumedMarkers;
        } else if (!g_bUndelete) {
            bool bDeletedBefore = false;
            for (size_t k = 0; k < i && !bDeletedBefore; ++k)
                bDeletedBefore = IsMarkerDeletion(jobs[k]) &&
                                 SameFolder(jobs[k].szTarget, job.szTarget);
            if (!bDeletedBefore) steps[i].nSteps = CountWalkSteps(Walk::kDeletion, WidePath(job.szTarget).sz);
        }
    }
}

} // namespace

CUpdateRun::CUpdateRun(IRunScreen &screen, CJobList &jobs, int &nTotal, int &nCount)
    : m_screen(screen), m_jobs(jobs), m_nTotal(nTotal), m_nCount(nCount), m_entries(*this, m_room) {}

int CUpdateRun::Run() {
    CEntryQueue::ThreadsWanted();   // a build that asks for too many ends here, before any change
    char szCard[kAnsiPath], szFlash[kAnsiPath], szImage[kAnsiPath];

    // The keep-source test: the marker only has to open.
    FormatInto(szCard, "%s", KEEP_SOURCE_FILE);
    if (FILE *pMarker = std::fopen(szCard, "r")) {
        std::fclose(pMarker);
        g_bUndelete = 1;
    }

    // The plan: marker deletions first, then the five fixed jobs. A card with a manifest is
    // applied only when it is whole: until then, its scan consumes nothing. A device built
    // with its maker's key takes only a signed manifest: a card without one is not whole.
    FormatInto(szCard, "%s", CARD_FOLDER);
    FormatInto(szFlash, "%s", FLASH_FOLDER);
    const WidePath card(szCard);
    const CCardAdmission admission(L"" FLASH_FOLDER);
    const bool bManifest = admission.IsKeyed() || HasManifest(card.sz);
    const bool bSignature = HasSignature(card.sz);
    int nLeft = 0;
    if (bManifest) PlanMarkerJobs(szCard, szFlash, nLeft);
    else CollectMarkerJobs(szCard, szFlash);
    WCHAR szManifest[kWidePath] = L"";
    if (m_bPlanFits && !m_jobs.push_back(MakeJob(TRUE, FALSE, szCard, szFlash))) m_bPlanFits = false;
    if (m_bPlanFits && !m_jobs.push_back(MakeJob(TRUE, TRUE, nullptr, szCard))) m_bPlanFits = false;
    for (const char *pszImage : kImageFiles)
        if (m_bPlanFits && FormatInto(szImage, "/SDMMC/%s", pszImage) &&
            !m_jobs.push_back(MakeJob(FALSE, TRUE, nullptr, szImage)))
            m_bPlanFits = false;
    // Memory the device does not have for the plan, its records or the card's check makes
    // the card one that is not whole: nothing on either side changes.
    const size_t nJobs = m_jobs.size();
    const HeapArray<JobRecord> planned = NewHeapArray<JobRecord>(nJobs);
    if (!planned) m_bPlanFits = false;
    const bool bWhole = m_bPlanFits &&
                        (!bManifest || (ManifestPathIn(card.sz, szManifest) &&
                                        admission.ReadManifest(m_manifest, card.sz, szManifest) &&
                                        CompareCard(m_manifest, card.sz, g_bUndelete, false, nullptr) == 0));

    // Count before anything runs, once: the positions of a run in which nothing fails are
    // then exactly 1, 2, ..., m_nTotal, and the bar ends full.
    if (planned) {
        PlanSteps(m_jobs, nLeft, bWhole, planned.get());
        for (size_t i = 0; i < nJobs; ++i) m_nTotal += planned[i].nSteps;
    }
    // Each file of a folder that a delete marker replaces is read, and its digest checked,
    // before the folder goes: one step each.
    const int nChecks = bManifest && bWhole && !g_bUndelete ? CountReplacedFiles() : 0;
    m_nTotal += nChecks;

    // The bar's range.
    m_nCount = 0;
    m_screen.SetupProgress(0, m_nTotal);
    m_screen.ShowStep(m_nCount);

    // Execute in plan order. A copy that did not bring everything into the flash store
    // keeps its source: the card folder's deletion that follows it is skipped, so the
    // update stays on the card for another try.
    // Nothing on the card that the flash store's new state replaces goes before that state
    // is on the medium: the card and the flash store are two file systems, and a power cut
    // can lose the flash store's last changes while the card's removals stay done. Each
    // folder of the flash store keeps its own entries (update/changed_folders.h): every one
    // the flash jobs changed is flushed, deepest first. On the card, the markers' removal is
    // on the medium before any of the card's content goes, so that no later run deletes a
    // flash folder again with nothing left to copy into it.
    // A card with a manifest that is not whole, or holds a file of a replaced folder other
    // than it was made, is not applied at all: the card stays byte for byte, the bar stops
    // where the check stopped, and the run ends as every run does. A keyed device records the
    // card's sequence before its first change, so that no older card goes in over it.
    m_entries.Open();
    const bool bApply = bWhole && (nChecks == 0 || CheckReplacedFiles(card.sz)) && admission.RecordSequence(m_manifest);
    if (bManifest && bApply) ConsumeScanMarkers(szCard, szFlash);
    m_pManifest = bManifest ? &m_manifest : nullptr;
    bool bKeepCard = false;
    for (size_t i = 0; i < nJobs && bApply; ++i) {
        const UPDATE_JOB job = m_jobs[i];
        if (IsMarkerDeletion(job)) {
            m_pChanged = &m_changed;
            // A cut in an earlier run's deletion can leave the folder there but empty, which
            // the walk lists as nothing: the marker's folder goes all the same.
            const WidePath target(job.szTarget);
            if (DeleteFolder(target.sz) == 0 && FsRemoveFolder(target.sz)) m_changed.AddParentOf(target.sz);
            m_pChanged = nullptr;
            // The delete marker that planned this deletion is consumed only now, and only when
            // the deletion left nothing that a later one could take. A file the platform would
            // not remove (another program holds it open) would otherwise stay under the new
            // content for good: the marker stays for the next run to delete again, and the
            // whole card with it, though the copy still brings the card's files in. Each
            // marker is judged on its own folder.
            if (ConsumesMarker(job) && DeletionLeftRemovable(target.sz)) {
                bKeepCard = true;
                planned[i].bMarkerKept = true;
            } else if (ConsumesMarker(job) && m_changed.FlushAll()) FsRemoveFile(WidePath(job.szSource).sz);
        } else if (job.bFolder && job.bDelete) {
            // The manifest goes first, on the medium with the markers' removal: a deletion cut
            // short leaves a card without one (its files verified already), never a card
            // that lacks what its manifest lists and is refused for ever.
            if (!bKeepCard && !g_bUndelete && bManifest) {
                if (!FsRemoveFile(szManifest)) bKeepCard = true;
                Step(nullptr);
                if (bSignature) {
                    if (!bKeepCard && !RemoveSignature(card.sz)) bKeepCard = true;
                    Step(nullptr);
                }
            }
            if (!bKeepCard && !g_bUndelete && !FsFlushFolder(card.sz)) bKeepCard = true;
            if (!bKeepCard) DeleteFolder(WidePath(job.szTarget).sz);
        } else if (job.bFolder) {
            // A listing that lists fewer entries than the plan counted (a card pulled, or
            // read wrong) left some of the card behind.
            CopyOutcome outcome;
            const int nBefore = m_nCount;
            m_pChanged = &m_changed;
            CopyFolder(WidePath(job.szSource).sz, WidePath(job.szTarget).sz, outcome);
            m_pChanged = nullptr;
            m_pManifest = nullptr;
            if (m_nCount - nBefore < planned[i].nSteps) outcome.bFailed = true;
            bKeepCard = bKeepCard || outcome.bFailed || (!g_bUndelete && !m_changed.FlushAll());
        } else {
            if (!g_bUndelete) FsRemoveFile(WidePath(job.szTarget).sz);
            Step(nullptr);
        }
    }

    m_entries.Close();   // no I/O thread outlives the walks
    m_pManifest = nullptr;
    m_screen.ShowLastStep(m_nCount < m_nTotal ? m_nCount : m_nTotal);

    // Finish: the card folder back (empty), the marker copies out of the flash store, the
    // follow-on program started, and the dialog ended. A marker kept for the next run was
    // copied with the card's top folder: that copy is no content of the flash store.
    for (size_t i = 0; i < nJobs && planned; ++i) {
        WCHAR szCopy[kWidePath];
        if (planned[i].bMarkerKept &&
            JoinPath(szCopy, kWidePath, WidePath(szFlash).sz, LastNameOf(WidePath(m_jobs[i].szSource).sz)))
            FsRemoveFile(szCopy);
    }
    m_jobs.clear();
    FsMakeFolder(WidePath(szCard).sz);
    FsRemoveFile(WidePath(FLASH_UPDATE_COPY).sz);
    FsRemoveFile(WidePath(FLASH_UNDELETE_COPY).sz);
    LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    m_screen.EndFromWorker();
    return 0;
}
