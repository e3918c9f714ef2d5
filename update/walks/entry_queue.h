// The entries a copy or delete walk has listed and not yet stepped, in listing order. The
// walk fills the slot at the back and hands it out; the I/O threads do the entries' file
// work, several at a time, and the walk sends each entry's progress step, on its own
// thread, once that entry and every one before it are done. So the bar and a power cut see
// what a walk doing its work itself would show: step k only after entry k is in place.
// A queue that is not open (the build without I/O threads, or threads the platform would
// not start) has the walk do each entry's work itself when it hands the entry out. Either
// way its slots and copy buffers are on the heap, allocated when it opens: the queue is part
// of the update dialog, which lives on the UI thread's stack of 64 KiB.
#pragma once
#include <windows.h>
#include "update/walks/entry_work.h"

class CRecoveryRecord;
class CRoomBudget;

// What the queue's entries are for: their file work, on an I/O thread (or on the walk's
// thread when the queue is not open), and their progress step, always on the walk's thread,
// in listing order, after the entry's work. The run is one; the queue's model test another.
class IEntryHandler {
public:
    virtual void Work(EntrySlot &entry, const CopyWorkspace &space) = 0;
    virtual void Step(EntrySlot &entry) = 0;
    // An I/O thread woke for work and has not yet taken the lock: nothing to do for the run.
    virtual void Woken() {}

protected:
    ~IEntryHandler() = default;
};

// The most I/O threads a queue starts (IoThreadCount, update/seams/seams.h, asks for how many):
// each writes its own temporary, and the worker, alone when there are none, the first.
constexpr int kMaxIoThreads = 2;
static_assert(kMaxIoThreads <= kTemporaries, "every I/O thread writes a temporary of its own");

// Copy buffers: 64 KiB reads and writes copy faster on the platform than larger ones.
constexpr DWORD kCopyChunk = 64 * 1024;

class CEntryQueue {
public:
    CEntryQueue(IEntryHandler &handler, CRoomBudget &room, CRecoveryRecord *pRecord = nullptr)
        : m_handler(handler), m_room(room), m_pRecord(pRecord) {}
    ~CEntryQueue() { Close(); }
    CEntryQueue(const CEntryQueue &) = delete;
    CEntryQueue &operator=(const CEntryQueue &) = delete;

    // The I/O threads the queue is to start. A build that asks for more than kMaxIoThreads
    // is wrong, not slow: the process ends here (exit code 3) and says so to the debugger.
    // The run asks before it changes anything.
    static int ThreadsWanted();
    // Allocates the slots and buffers and starts the threads (ThreadsWanted, or nThreads, at
    // most kMaxIoThreads), once, before the walks; FALSE when there are to be none. Then,
    // or when they cannot be had, the walk's own slot and copy buffer. Without memory even
    // for those, the queue is not ready, and takes no entry.
    BOOL Open() { return Open(ThreadsWanted()); }
    BOOL Open(int nThreads);
    // Drains the queue, ends the threads and frees what Open allocated: none runs once this
    // returns.
    void Close();
    BOOL IsOpen() const { return m_pPool != nullptr; }
    // Open gave it what it takes entries with: the threads' slots, or the walk's own.
    bool IsReady() const { return m_pPool || m_pAlone; }

    struct Pool;   // the slots, buffers and threads (update/walks/entry_queue.cpp)
    struct Alone;  // the walk's own slot and copy buffer, for a queue that is not open

    // The slot for the next entry, cleared (kNone); waits while the queue is full. Only a
    // queue that is ready takes entries.
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
    void StepHead();               // the step of the front entry, done, and its slot freed
    void Step(EntrySlot &entry);

    IEntryHandler &m_handler;   // the entries' work and steps: the run's
    CRoomBudget &m_room;        // the flash store's room, shared by every writer
    CRecoveryRecord *m_pRecord; // the flash store's record, shared by every writer
    Pool *m_pPool = nullptr;    // slots, buffers and threads while open
    Alone *m_pAlone = nullptr;  // the walk's slot and buffer while ready and not open
};
