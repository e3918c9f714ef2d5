// One update run, once per process, on the worker thread: keep-source test, plan, count,
// execute, finish. It reports nothing and always runs to its end. The run works on the
// plan and the two progress counters that the update dialog holds (handed to it when it is
// made) and owns what the walks share while it lasts: the entry queue with the I/O threads
// and their workspaces, and the flash store's room.
#pragma once
#include <windows.h>
#include "update/changed_folders.h"
#include "update/entry_queue.h"
#include "update/job_list.h"
#include "update/manifest.h"
#include "update/room_budget.h"
#include "update/run_screen.h"

class CUpdateRun : private IEntryHandler {
public:
    CUpdateRun(IRunScreen &screen, CJobList &jobs, int &nTotal, int &nCount);
    CUpdateRun(const CUpdateRun &) = delete;
    CUpdateRun &operator=(const CUpdateRun &) = delete;

    // The whole update, ending with the screen's end; 0.
    int Run();

    // The marker scan (update/marker_scan.cpp): appends a folder-delete job to the plan for
    // every delete marker of the card folder that plans one; the number appended.
    int CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder);
    // The same scan for a card with a manifest: plans, consumes nothing, and tells how many
    // markers it left that the scan consumes; and their consumption, once the card is whole.
    int PlanMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, int &nLeft);
    void ConsumeScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder);
    // The copy and delete walks (update/tree_walks.cpp): 1 when the folder could be listed.
    int CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome);
    int DeleteFolder(LPCWSTR pszFolder);   // idle in keep-source mode

    // One entry done (pEntry: a walk's, with its work; nullptr: a file job's): counted, and
    // the bar moved.
    void Step(const EntrySlot *pEntry);

    int Total() const { return m_nTotal; }
    IRunScreen &Screen() const { return m_screen; }

private:
    // The queue's side (update/entry_queue.h): an entry's file work, and its step.
    void Work(EntrySlot &entry, const CopyWorkspace &space) override { DoEntryWork(entry, space); }
    void Step(EntrySlot &entry) override { Step(&entry); }

    enum class ScanMode { kPlanAndConsume, kPlanOnly, kConsumeOnly };
    int ScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, ScanMode mode, int &nLeft);
    // The files of the folders that delete markers replace (update/card_checks.cpp): how
    // many, and whether each holds what the manifest lists, one step each.
    int CountReplacedFiles() const;
    bool CheckReplacedFiles(LPCWSTR pszCard);

    IRunScreen &m_screen;              // where the bar and the end go
    CJobList &m_jobs;                  // the plan, in execution order
    bool m_bPlanFits = true;           // every job of the plan was appended
    int &m_nTotal;                     // progress steps planned
    int &m_nCount;                     // progress steps done
    CRoomBudget m_room;                // the flash store's room, for every writer of the run
    CEntryQueue m_entries;             // the walks' entries between their listing and their step
    CChangedFolders m_changed;         // the flash store's folders the walks changed, not yet flushed
    CChangedFolders *m_pChanged = nullptr;   // where the walk at work notes them: only a walk of the flash store
    CManifest m_manifest;              // the card's, once read whole
    const CManifest *m_pManifest = nullptr;  // the copy's digests: only a copy of a card with a manifest
};
