#include "update/run/update_run.h"
#include <cstdio>
#include <new>
#include "platform/ansi_text.h"
#include "platform/keep_awake.h"
#include "platform/heap_array.h"
#include "update/manifest/card_admission.h"
#include "update/run/device_paths.h"
#include "update/storage/file_system.h"
#include "update/storage/file_reading.h"
#include "update/run/keep_source.h"
#include "update/run/launch_program.h"
#include "update/rules/marker_rules.h"
#include "update/rules/name_rule.h"
#include "update/walks/tree_walks.h"
#include "update/manifest/whole_card.h"
#include "platform/bounded_text.h"

namespace {

// The image files in the card's root, removed once the update is in.
const char *const kImageFiles[] = {"Data.fai", "nk.rom", "tcBoot.rom"};

// A job path as the wide string the platform calls take, in a buffer of the run's space (a
// job's path always fits).
LPCWSTR Wide(WCHAR (&sz)[kWidePath], LPCSTR pszAnsi) {
    AnsiToWide(sz, kWidePath, pszAnsi);
    return sz;
}

// Appends a job to the plan: false when the plan cannot hold it. Each job's record (1 KiB)
// is made in this frame, once, and not in the run's, which would hold one for each job it
// appends.
bool AppendJob(CJobList &jobs, BOOL bFolder, BOOL bDelete, LPCSTR pszSource, LPCSTR pszTarget) {
    return jobs.push_back(MakeJob(bFolder, bDelete, pszSource, pszTarget));
}

// The same folder of the flash store, whatever the letter case of its name: two targets the
// marker rules planned, each the flash store, "/" and a folder name they took. Uses both of
// the space's job paths.
bool SameFolder(RunSpace &space, LPCSTR pszA, LPCSTR pszB) {
    return PathsMatch(Wide(space.szSource, pszA), Wide(space.szTarget, pszB));
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
// stays and is copied. So are the nLeft markers that the scan left on the card for later,
// until the card is counted. A folder that an earlier marker deleted already gives no steps. False when
// a walk lists more entries than a walk may (update/walks/walk_space.h): the card, or a
// folder it deletes, leads back into itself, and the card is not taken.
bool PlanSteps(const CJobList &jobs, int nLeft, RunSpace &space, CUpdateRun::JobRecord *steps) {
    int nConsumedMarkers = nLeft;
    for (const UPDATE_JOB &job : jobs)
        if (ConsumesMarker(job)) ++nConsumedMarkers;

    // The copies are counted first: their count clears the left-over temporaries out of the
    // folders they write into (only a whole card is counted), which the deletions' counts
    // would otherwise count as entries.
    for (size_t i = 0; i < jobs.size(); ++i) steps[i] = {0, false};
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (!jobs[i].bFolder || jobs[i].bDelete) continue;
        const int nCounted = CountStepsClearingTemporaries(space.walk, Walk::kCopy, Wide(space.szSource, jobs[i].szSource),
                                                           Wide(space.szTarget, jobs[i].szTarget));
        if (nCounted == kTooManyEntries) return false;
        steps[i].nSteps = nCounted - nConsumedMarkers;
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        const UPDATE_JOB &job = jobs[i];
        int nCounted = 0;
        if (!job.bFolder) {
            steps[i].nSteps = 1;
        } else if (!job.bDelete) {
            continue;   // counted above
        } else if (!g_bUndelete && !IsMarkerDeletion(job)) {
            nCounted = CountStepsClearingTemporaries(space.walk, Walk::kDeletion, Wide(space.szTarget, job.szTarget));
            steps[i].nSteps = nCounted - nConsumedMarkers;
        } else if (!g_bUndelete) {
            bool bDeletedBefore = false;
            for (size_t k = 0; k < i && !bDeletedBefore; ++k)
                bDeletedBefore = IsMarkerDeletion(jobs[k]) &&
                                 SameFolder(space, jobs[k].szTarget, job.szTarget);
            if (!bDeletedBefore) steps[i].nSteps = nCounted = CountStepsClearingTemporaries(space.walk, Walk::kDeletion, Wide(space.szTarget, job.szTarget));
        }
        if (nCounted == kTooManyEntries) return false;
    }
    return true;
}

} // namespace

CUpdateRun::CUpdateRun(IRunScreen &screen, CJobList &jobs, int &nTotal, int &nCount)
    : m_screen(screen), m_jobs(jobs), m_nTotal(nTotal), m_nCount(nCount), m_record(L"" FLASH_FOLDER),
      m_changed(L"" FLASH_FOLDER), m_entries(*this, m_room, &m_record) {}

CUpdateRun::~CUpdateRun() {
    m_entries.Close();
    m_record.Close();
}

bool CUpdateRun::Prepare() {
    if (!m_pSpace) m_pSpace.reset(new (std::nothrow) RunSpace);
    if (!m_entries.IsReady()) m_entries.Open();
    return m_record.Prepare() && m_pSpace && m_entries.IsReady();
}

int CUpdateRun::Run() {
    CEntryQueue::ThreadsWanted();   // a build that asks for too many ends here, before any change
    ResetIdleTimer();               // and again while it works (platform/keep_awake.h)
    // Replacements that a power cut interrupted are finished or undone first, card or no
    // card, before a kept marker's deletion is tried again or anything else changes.
    m_facts.Start(L"" CARD_FOLDER, L"" FLASH_FOLDER);
    if (m_record.Prepare()) RecoverReplacements(m_record);
    // A device short of memory for what the run works in ends the run here, before the scan
    // consumes any marker: as a card that is not whole ends it, with nothing changed.
    if (!Prepare()) {
        m_facts.Reason("the device had no memory for the run");
        m_facts.Ended(false, 0, 0, 0, false);
        return Finish(nullptr);
    }
    RunSpace &space = *m_pSpace;
    char szCard[kAnsiPath], szFlash[kAnsiPath], szImage[kAnsiPath];

    // The keep-source test: the marker only has to open.
    FormatInto(szCard, "%s", KEEP_SOURCE_FILE);
    if (FILE *pMarker = std::fopen(szCard, "r")) {
        std::fclose(pMarker);
        g_bUndelete = 1;
    }

    // The plan: marker deletions first, then the five fixed jobs. A card with a manifest is
    // applied only when it is whole, and its markers are the manifest's: until then, nothing
    // is planned or consumed. A device built with its maker's key takes only a signed
    // manifest: a card without one is not whole.
    FormatInto(szCard, "%s", CARD_FOLDER);
    FormatInto(szFlash, "%s", FLASH_FOLDER);
    LPCWSTR pszCard = Wide(space.szCard, szCard);
    CCardAdmission admission(L"" FLASH_FOLDER);
    const bool bManifest = admission.IsKeyed() || HasManifest(pszCard);
    const bool bSignature = HasSignature(pszCard);
    space.szManifest[0] = L'\0';
    const bool bListed = bManifest && ManifestPathIn(pszCard, space.szManifest) &&
                         admission.ReadManifest(m_manifest, pszCard, space.szManifest) &&
                         CompareCard(m_manifest, pszCard, g_bUndelete, false, &m_facts, &admission) == 0;
    if (admission.WentInBefore()) m_facts.WentInBefore();
    m_facts.NoteManifest(bManifest ? space.szManifest : L"", m_manifest, bListed);
    // A card without a manifest keeps its markers until it is counted too: a card that is not
    // taken then keeps them all.
    int nLeft = 0;
    if (bListed) PlanMarkerJobs(szCard, szFlash, nLeft);
    else if (!bManifest) ScanMarkers(szCard, szFlash, ScanMode::kPlanOnly, nLeft);
    if (m_bPlanFits && !AppendJob(m_jobs, TRUE, FALSE, szCard, szFlash)) m_bPlanFits = false;
    if (m_bPlanFits && !AppendJob(m_jobs, TRUE, TRUE, nullptr, szCard)) m_bPlanFits = false;
    for (const char *pszImage : kImageFiles)
        if (m_bPlanFits && FormatInto(szImage, "/SDMMC/%s", pszImage) && !AppendJob(m_jobs, FALSE, TRUE, nullptr, szImage))
            m_bPlanFits = false;
    // Memory the device does not have for the plan, its records or the card's check makes
    // the card one that is not whole: nothing on either side changes.
    const size_t nJobs = m_jobs.size();
    const HeapArray<JobRecord> planned = NewHeapArray<JobRecord>(nJobs);
    if (!planned) m_bPlanFits = false;
    if (!m_bPlanFits) m_facts.Reason("the device had no memory to plan the card");
    bool bWhole = m_bPlanFits && (!bManifest || bListed);
    // An old version that the start could not put back keeps the record: nothing else
    // changes until a start finishes it.
    if (bWhole && m_record.Unfinished()) {
        m_facts.Reason("an old version an interrupted update set aside could not be put back");
        bWhole = false;
    }

    // Count before anything runs, once: the positions of a run in which nothing fails are
    // then exactly 1, 2, ..., m_nTotal, and the bar ends full. A card that is not whole is
    // not walked at all: it changes nothing, and its folders (a forger's, or a damaged FAT's
    // that lead back into themselves) get no walk to keep busy. One whose count meets the
    // most entries a walk may list is taken as one that is not whole: nothing changes on
    // either side, and the bar ends at its start.
    if (planned && bWhole) {
        bWhole = PlanSteps(m_jobs, nLeft, space, planned.get());
        if (!bWhole) m_facts.Reason("the card holds more entries than a walk lists (a folder that leads back into itself?)");
        for (size_t i = 0; i < nJobs && bWhole; ++i) m_nTotal += planned[i].nSteps;
    }
    // A card without a manifest, once counted, is applied: the markers the scan consumes go.
    if (!bManifest && bWhole) ScanMarkers(szCard, szFlash, ScanMode::kConsumeOnly, nLeft);
    // Each file the manifest lists is read, and its digest checked, before anything changes:
    // one step each.
    const int nChecks = bManifest && bWhole ? CountListedFiles() : 0;
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
    // can lose the flash store's last changes while the card's removals stay done. The flash
    // store's volume is flushed whole (update/storage/unflushed_changes.h), which puts every
    // folder's names on the medium, plain FAT's too. On the card, the markers' removal is
    // on the medium before any of the card's content goes, so that no later run deletes a
    // flash folder again with nothing left to copy into it.
    // A card with a manifest that is not whole, or holds any file other than it was made, is
    // not applied at all: the card stays byte for byte, the sequence as it was, the bar stops
    // where the check stopped, and the run ends as every run does. A keyed device records the
    // card's sequence after the check and before its first change, so that no older card goes
    // in over it, and records each marker's consumption before the marker goes, so that only
    // this card's interrupted update is excused the markers it lacks.
    const bool bChecked = bWhole && (nChecks == 0 || CheckListedFiles(pszCard));
    const bool bApply = bChecked && admission.RecordSequence(m_manifest, m_record);
    m_facts.Decided(bApply, bChecked);
    if (bManifest && bApply && admission.RecordScan(m_record)) ConsumeScanMarkers(szCard, szFlash);
    m_pManifest = bManifest ? &m_manifest : nullptr;
    bool bKeepCard = false;
    for (size_t i = 0; i < nJobs && bApply; ++i) {
        const UPDATE_JOB &job = m_jobs[i];   // the plan no longer grows
        if (IsMarkerDeletion(job)) {
            m_pChanged = &m_changed;
            // A cut in an earlier run's deletion can leave the folder there but empty, which
            // the walk lists as nothing: the marker's folder goes all the same.
            LPCWSTR pszTarget = Wide(space.szTarget, job.szTarget);
            if (DeleteFolder(pszTarget) == 0 && FsRemoveFolder(pszTarget)) m_changed.NoteFolderRemoved();
            m_pChanged = nullptr;
            // The delete marker that planned this deletion is consumed only now, and only when
            // the deletion left nothing that a later one could take. A file the platform would
            // not remove (another program holds it open) would otherwise stay under the new
            // content for good: the marker stays for the next run to delete again, and the
            // whole card with it, though the copy still brings the card's files in. Each
            // marker is judged on its own folder.
            if (ConsumesMarker(job) && DeletionLeftRemovable(space.walk, pszTarget)) {
                bKeepCard = true;
                planned[i].bMarkerKept = true;
            } else if (ConsumesMarker(job) && m_changed.FlushAll()) {
                LPCWSTR pszMarker = Wide(space.szSource, job.szSource);
                if (!bManifest || admission.RecordConsumed(m_manifest, pszMarker, m_record)) FsRemoveFile(pszMarker);
            }
        } else if (job.bFolder && job.bDelete) {
            // The flash store holds the whole update, on the medium: a keyed device records that
            // this card went in, and takes it no more.
            if (!bKeepCard && bManifest && !admission.RecordFinished(m_record)) bKeepCard = true;
            // The manifest goes first, on the medium with the markers' removal: a deletion cut
            // short leaves a card without one (its files verified already), never a card
            // that lacks what its manifest lists and is refused for ever.
            if (!bKeepCard && !g_bUndelete && bManifest) {
                if (!FsRemoveFile(space.szManifest)) bKeepCard = true;
                Step(nullptr);
                if (bSignature) {
                    if (!bKeepCard && !RemoveSignature(pszCard)) bKeepCard = true;
                    Step(nullptr);
                }
            }
            if (!bKeepCard && !g_bUndelete && !FsFlushVolume(pszCard)) bKeepCard = true;
            if (!bKeepCard) DeleteFolder(Wide(space.szTarget, job.szTarget));
        } else if (job.bFolder) {
            // A listing that lists fewer entries than the plan counted (a card pulled, or
            // read wrong) left some of the card behind.
            CopyOutcome outcome;
            const int nBefore = m_nCount;
            m_pChanged = &m_changed;
            CopyFolder(Wide(space.szSource, job.szSource), Wide(space.szTarget, job.szTarget), outcome);
            m_pChanged = nullptr;
            m_pManifest = nullptr;
            if (m_nCount - nBefore < planned[i].nSteps) outcome.bFailed = true;
            bKeepCard = bKeepCard || outcome.bFailed || (!g_bUndelete && !m_changed.FlushAll());
        } else {
            if (!g_bUndelete) FsRemoveFile(Wide(space.szTarget, job.szTarget));
            Step(nullptr);
        }
    }

    // In keep-source mode the copy takes the card's markers too; those copies go at the run's
    // end (Finish): no content it changed.
    const int nMarkerCopies = !bApply || !g_bUndelete ? 0
                                                      : (WhatIsAt(L"" CARD_FOLDER "/update") == PathHolds::kFile) +
                                                            (WhatIsAt(L"" KEEP_SOURCE_FILE) == PathHolds::kFile);
    m_facts.Ended(bKeepCard, m_changed.FoldersRemoved(), m_changed.FoldersMade(), nMarkerCopies, g_bUndelete);
    return Finish(planned.get());
}

// The run's end, whatever it applied: the card folder back (empty), the marker copies out of
// the flash store, the follow-on program started, and the dialog ended. A marker kept for the
// next run was copied with the card's top folder: that copy is no content of the flash store.
int CUpdateRun::Finish(const JobRecord *pPlanned) {
    m_entries.Close();   // no I/O thread outlives the walks
    // The result record, under the record of replacements, and its copy on the card, last
    // there: after the card folder's deletion.
    WriteResultRecords(m_facts, L"" FLASH_FOLDER, L"" CARD_ROOT, &m_record);
    m_record.Close();    // every replacement done and on the medium: the record goes
    m_pManifest = nullptr;
    m_screen.ShowLastStep(m_nCount < m_nTotal ? m_nCount : m_nTotal);
    for (size_t i = 0; i < m_jobs.size() && pPlanned; ++i) {
        RunSpace &space = *m_pSpace;
        if (pPlanned[i].bMarkerKept && JoinPath(space.szTarget, kWidePath, L"" FLASH_FOLDER, LastNameOf(Wide(space.szSource, m_jobs[i].szSource))))
            FsRemoveFile(space.szTarget);
    }
    m_jobs.clear();
    FsMakeFolder(L"" CARD_FOLDER);
    FsRemoveFile(L"" FLASH_UPDATE_COPY);
    FsRemoveFile(L"" FLASH_UNDELETE_COPY);
    LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    m_screen.EndFromWorker();
    return 0;
}
