// One update run, once per process, on the worker thread: keep-source test, plan, count,
// execute, finish. It reports nothing and always runs to its end. The run works on the
// plan and the two progress counters that the update dialog holds (handed to it when it is
// made) and owns what the walks share while it lasts: the entry queue with the I/O threads
// and their workspaces, the walks' levels and paths, and the flash store's room.
#pragma once
#include <windows.h>
#include <memory>
#include "update/storage/recovery_record.h"
#include "update/storage/unflushed_changes.h"
#include "update/walks/entry_queue.h"
#include "update/run/job_list.h"
#include "update/manifest/manifest.h"
#include "update/storage/room_budget.h"
#include "update/run/result_record.h"
#include "update/run/run_screen.h"
#include "update/walks/walk_space.h"

// What the run works in besides the queue, on the heap: the device gives the worker a stack
// of 64 KiB, and its compiler's exception handling fails on a frame larger than a page.
struct RunSpace {
    CWalkSpace walk;               // every walk's levels and paths, one walk at a time
    WCHAR szSource[kWidePath];     // a job's source, as the walks and the file calls take it
    WCHAR szTarget[kWidePath];     // a job's target
    WCHAR szCard[kWidePath];       // the card folder
    WCHAR szManifest[kWidePath];   // the card's manifest
};

class CUpdateRun : private IEntryHandler {
public:
    CUpdateRun(IRunScreen &screen, CJobList &jobs, int &nTotal, int &nCount);
    // A walk outside a run ends here as a run ends in Finish: its I/O threads done, then the
    // record of replacements under way removed (only a power cut leaves it).
    ~CUpdateRun();
    CUpdateRun(const CUpdateRun &) = delete;
    CUpdateRun &operator=(const CUpdateRun &) = delete;

    // The whole update, ending with the screen's end; 0.
    int Run();

    // Allocates what the run and its walks work in (RunSpace, and the queue's slots and copy
    // buffers: CEntryQueue::Open), once, before the run changes anything: a device short of
    // memory then ends the run as a card that is not whole ends it, with nothing changed. A
    // walk outside a run (CopyFolder, DeleteFolder) prepares for itself. False when the
    // memory is not there.
    bool Prepare();

    // The marker scan (update/run/update_run_marker_scan.cpp): appends a folder-delete job to the
    // plan for every delete marker of the card folder that plans one; the number appended.
    int CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder);
    // The same for a card with a manifest, from the manifest's markers once the card is found
    // whole: plans, consumes nothing, and tells how many markers still on the card it left
    // that the scan consumes; and their consumption, once every listed file has passed.
    int PlanMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, int &nLeft);
    void ConsumeScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder);
    // The copy and delete walks (update/run/update_run_walks.cpp, over the walks of
    // update/walks/tree_walks.h): 1 when the folder could be listed.
    int CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome);
    int DeleteFolder(LPCWSTR pszFolder);   // idle in keep-source mode

    // One entry done (pEntry: a walk's, with its work; nullptr: a file job's): counted, and
    // the bar moved (update/run/update_run_walks.cpp).
    void Step(const EntrySlot *pEntry);

    int Total() const { return m_nTotal; }

    // One record a job of the plan: its steps, and whether its marker is kept for the next run.
    struct JobRecord {
        int nSteps;
        bool bMarkerKept;
    };
    IRunScreen &Screen() const { return m_screen; }

private:
    // The queue's side (update/walks/entry_queue.h): an entry's file work, and its step.
    void Work(EntrySlot &entry, const CopyWorkspace &space) override { DoEntryWork(entry, space); }
    void Step(EntrySlot &entry) override { Step(&entry); }

    // The run's end, whatever it applied (update/run/update_run.cpp), with the plan's records
    // when it has them; 0.
    int Finish(const JobRecord *pPlanned);

    enum class ScanMode { kPlanAndConsume, kPlanOnly, kConsumeOnly };
    int ScanMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, ScanMode mode, int &nLeft);
    int ListedMarkers(LPCSTR pszCardFolder, LPCSTR pszFlashFolder, ScanMode mode, int &nLeft);
    bool TakeMarker(LPCSTR pszCard, LPCSTR pszFlash, LPCWSTR pszName, BOOL bFolder, ScanMode mode, int &nLeft, int &nJobs);
    // The files the manifest lists (update/run/update_run_listed_files.cpp): how many the run
    // reads before any change, and whether each holds what the manifest lists, one step each.
    int CountListedFiles() const;
    bool CheckListedFiles(LPCWSTR pszCard);

    IRunScreen &m_screen;              // where the bar and the end go
    CJobList &m_jobs;                  // the plan, in execution order
    bool m_bPlanFits = true;           // every job of the plan was appended
    int &m_nTotal;                     // progress steps planned
    int &m_nCount;                     // progress steps done
    CRoomBudget m_room;                // the flash store's room, for every writer of the run
    CRecoveryRecord m_record;          // the flash store's replacements under way
    CUnflushedChanges m_changed;       // the flash store's names the walks changed, not yet flushed
    CEntryQueue m_entries;             // the walks' entries between their listing and their step
    CUnflushedChanges *m_pChanged = nullptr;   // where the walk at work notes them: only a walk of the flash store
    CManifest m_manifest;              // the card's, once read whole
    const CManifest *m_pManifest = nullptr;  // the copy's digests: only a copy of a card with a manifest
    std::unique_ptr<RunSpace> m_pSpace;      // what the run works in, once prepared
    CRunFacts m_facts;                 // what the run did, for its result record
};
