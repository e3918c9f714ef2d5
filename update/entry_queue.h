// The entries a copy or delete walk has listed and not yet stepped, in listing order. The
// walk fills the slot at the back and hands it out; the I/O threads do the entries' file
// work, several at a time, and the walk sends each entry's progress step, on its own
// thread, once that entry and every one before it are done. So the bar and a power cut see
// what a walk doing its work itself would show: step k only after entry k is in place.
// A queue that is not open (the build without I/O threads, or threads the platform would
// not start) has the walk do each entry's work itself when it hands the entry out.
#pragma once
#include <windows.h>
#include "update/entry_work.h"

class CUpdaterDlg;

// The I/O threads the queue starts (update/io_threads.cpp; 0 in the build without them).
int IoThreadCount();

class CEntryQueue {
public:
    explicit CEntryQueue(CUpdaterDlg &dlg) : m_dlg(dlg) {}
    ~CEntryQueue() { Close(); }
    CEntryQueue(const CEntryQueue &) = delete;
    CEntryQueue &operator=(const CEntryQueue &) = delete;

    // Allocates the slots and buffers and starts the threads, once, before the walks; FALSE
    // when there are to be none.
    BOOL Open();
    // Drains the queue and ends the threads: none runs once this returns.
    void Close();
    BOOL IsOpen() const { return m_pPool != nullptr; }

    struct Pool;   // the slots, buffers and threads (update/entry_queue.cpp)

    // The slot for the next entry, cleared (kNone); waits while the queue is full.
    EntrySlot &Back();
    // Hands the back slot out, then sends the steps of the entries done at the front. A copy
    // onto a target that an entry still in the queue works on waits for that entry first.
    void Push();
    // Waits until no entry in the queue works on pszTarget (in any letter case), stepping.
    void WaitForTarget(LPCWSTR pszTarget);
    // Waits until every entry is done, and sends their steps.
    void Drain();

private:
    void StepFront(long nUntil);   // sends the steps of the entries before nUntil, waiting for each
    void Step(EntrySlot &entry);

    CUpdaterDlg &m_dlg;         // the run whose steps the entries are
    Pool *m_pPool = nullptr;    // slots, buffers and threads while open
    EntrySlot m_inline = {};    // the one slot of a queue that is not open
};
