#include "update/walks/entry_queue.h"
#include <cwchar>
#include <new>
#include "platform/locks.h"
#include "platform/thread_body.h"
#include "update/rules/name_rule.h"

namespace {

// The look-ahead: entries listed beyond the one whose step is due next. Enough to keep
// every thread busy while the front entry is a large file.
constexpr long kSlots = 32;

} // namespace

// Entry n of the queue lives in slots[n % kSlots] from its listing until its step.
//
// The numbers, and who may touch what:
//   head   the next entry to step. Written by the walk only, under the lock; the walk reads
//          it without the lock (it is its only writer), the threads under it.
//   tail   the next entry to list. The same as head.
//   take   where a thread starts looking for work: every entry before it was taken, or
//          needed no work. Read and written by the threads only, under the lock.
//   bDone  an entry's work is finished, or it had none. Written under the lock: by the walk
//          when it lists the entry, by the thread that worked it when it finishes.
//   bStop  the threads are to end. Written by the walk under the lock, read by the threads.
// head <= tail always; take may fall behind head, since an entry with no work is done when
// it is listed and the walk steps past it while the threads sleep. A slot before head may
// already hold a later entry, so a thread looks for work from max(take, head) only, and
// takes the first entry not done there: each entry with work is taken exactly once, by one
// thread, and its slot is not refilled before its step, which waits for it to be done.
// A slot's content is the walk's from Back() until Push() and after the step; in between a
// thread that took it may write its outcome (bFailed), and the walk reads only what the
// thread never writes (work, the paths).
//
// Waking: workReady is a manual-reset event, set under the lock whenever an entry with work
// is listed or bStop is set, and reset under the lock only by a thread that found nothing to
// take; a Set is never lost, and the stop wakes every thread. bWorkSignalled mirrors its
// state (both change under the lock only), so a Set or Reset that would change nothing is
// not made: each is a call into the kernel. slotDone is an auto-reset event only the walk
// waits on: the walk says under the lock that it is about to wait (bWalkWaits), and the
// thread that next finishes an entry sets the event once; the walk looks at bDone again
// after each wake.
struct CEntryQueue::Pool {
    EntrySlot slots[kSlots];
    bool bDone[kSlots];             // the slot's work is finished (or it had none)
    long head = 0;                  // the next entry to step
    long take = 0;                  // where a thread looks for work first
    long tail = 0;                  // the next slot to fill
    bool bStop = false;             // the threads are to end
    bool bWorkSignalled = false;    // workReady is set
    bool bWalkWaits = false;        // the walk waits on slotDone
    CCriticalSection lock;          // guards the above (the slots' content excepted)
    CEvent workReady{true};         // an entry with work was listed, or bStop set
    CEvent slotDone{false};         // an entry's work finished
    int nThreads = 0;
    HANDLE threads[kMaxIoThreads];
    struct Start {
        Pool *pPool;
        IEntryHandler *pHandler;
        CopyWorkspace space;        // the thread's buffer, its temporary, the run's room
    } starts[kMaxIoThreads];
    alignas(4096) BYTE chunks[kMaxIoThreads][kCopyChunk];   // a copy buffer per thread
};

// The one slot of a queue that is not open, and the copy buffer of the thread that walks.
struct CEntryQueue::Alone {
    EntrySlot slot;
    alignas(16) BYTE chunk[kCopyChunk];
};

static DWORD WINAPI IoThreadProc(LPVOID pParam);

int CEntryQueue::ThreadsWanted() {
    const int nWanted = IoThreadCount();
    if (nWanted <= kMaxIoThreads) return nWanted;
    // The device has no console: the debugger's output is where a build's own fault is told.
    WCHAR szWhy[96];
    if (_snwprintf(szWhy, 95, L"Tessivard: this build asks for %d I/O threads; at most %d can write at once\n",
                   nWanted, kMaxIoThreads) > 0) {
        szWhy[95] = L'\0';
        OutputDebugStringW(szWhy);
    }
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

BOOL CEntryQueue::Open(int nThreads) {
    if (m_pPool) return TRUE;
    if (nThreads > kMaxIoThreads) nThreads = kMaxIoThreads;
    Pool *pPool = nThreads > 0 ? new (std::nothrow) Pool : nullptr;
    if (pPool) {
        if (!pPool->workReady.IsValid() || !pPool->slotDone.IsValid()) nThreads = 0;
        // Each thread takes the program's stack size, as the worker does (the device's
        // default): what it runs, an entry's file work, fits well within it.
        for (int i = 0; i < nThreads; ++i) {
            pPool->starts[i] = {pPool, &m_handler, CopyWorkspace{pPool->chunks[i], kCopyChunk, i, &m_room, m_pRecord}};
            HANDLE h = CreateThread(nullptr, 0, IoThreadProc, &pPool->starts[i], 0, nullptr);
            if (!h) break;
            pPool->threads[pPool->nThreads++] = h;
        }
        if (pPool->nThreads > 0) {
            m_pPool = pPool;
            return TRUE;
        }
        delete pPool;
    }
    if (!m_pAlone) m_pAlone = new (std::nothrow) Alone;
    return FALSE;
}

void CEntryQueue::Close() {
    delete m_pAlone;
    m_pAlone = nullptr;
    Pool *pPool = m_pPool;
    if (!pPool) return;
    Drain();
    {
        CCriticalSectionLock lock(pPool->lock);
        pPool->bStop = true;
        pPool->workReady.Set();
        pPool->bWorkSignalled = true;
    }
    // One thread at a time: the device waits for one object, or any of several, never all.
    for (int i = 0; i < pPool->nThreads; ++i) {
        WaitForSingleObject(pPool->threads[i], INFINITE);
        CloseHandle(pPool->threads[i]);
    }
    m_pPool = nullptr;
    delete pPool;
}

EntrySlot &CEntryQueue::Back() {
    EntrySlot *pSlot = m_pAlone ? &m_pAlone->slot : nullptr;
    if (Pool *pPool = m_pPool) {
        if (pPool->tail - pPool->head == kSlots) StepFront(pPool->head + 1);
        pSlot = &pPool->slots[pPool->tail % kSlots];
    }
    pSlot->work = EntryWork::kNone;
    pSlot->szSource[0] = pSlot->szTarget[0] = L'\0';
    pSlot->pOutcome = nullptr;
    pSlot->bListed = false;
    pSlot->bFailed = false;
    pSlot->error = 0;
    pSlot->bAlreadyNew = false;
    return *pSlot;
}

void CEntryQueue::Push() {
    Pool *pPool = m_pPool;
    if (!pPool) {
        EntrySlot &slot = m_pAlone->slot;
        if (slot.work != EntryWork::kNone) m_handler.Work(slot, CopyWorkspace{m_pAlone->chunk, kCopyChunk, 0, &m_room, m_pRecord});
        Step(slot);
        return;
    }
    EntrySlot &slot = pPool->slots[pPool->tail % kSlots];
    if (slot.work == EntryWork::kCopy) WaitForTarget(slot.szTarget);
    {
        CCriticalSectionLock lock(pPool->lock);
        pPool->bDone[pPool->tail % kSlots] = slot.work == EntryWork::kNone;
        ++pPool->tail;
        if (slot.work != EntryWork::kNone && !pPool->bWorkSignalled) {
            pPool->workReady.Set();
            pPool->bWorkSignalled = true;
        }
    }
    // The steps already due, without waiting.
    for (;;) {
        bool bDue;
        {
            CCriticalSectionLock lock(pPool->lock);
            bDue = pPool->head < pPool->tail && pPool->bDone[pPool->head % kSlots];
        }
        if (!bDue) break;
        StepHead();
    }
}

void CEntryQueue::WaitForTarget(LPCWSTR pszTarget) {
    Pool *pPool = m_pPool;
    if (!pPool) return;
    long nUntil = pPool->head;
    for (long n = pPool->head; n < pPool->tail; ++n) {
        const EntrySlot &slot = pPool->slots[n % kSlots];
        if (slot.work != EntryWork::kNone && NamesMatch(slot.szTarget, pszTarget)) nUntil = n + 1;
    }
    StepFront(nUntil);
}

void CEntryQueue::Drain() {
    if (m_pPool) StepFront(m_pPool->tail);
}

void CEntryQueue::StepFront(long nUntil) {
    Pool *pPool = m_pPool;
    while (pPool->head < nUntil) {
        for (;;) {
            {
                CCriticalSectionLock lock(pPool->lock);
                if (pPool->bDone[pPool->head % kSlots]) break;
                pPool->bWalkWaits = true;
            }
            pPool->slotDone.Wait();
        }
        StepHead();
    }
}

// The front entry is done: its step, then its slot is free.
void CEntryQueue::StepHead() {
    Pool *pPool = m_pPool;
    Step(pPool->slots[pPool->head % kSlots]);
    CCriticalSectionLock lock(pPool->lock);
    ++pPool->head;
}

// The walk's thread: the failure reaches the copy's outcome, the step reaches the bar.
void CEntryQueue::Step(EntrySlot &entry) {
    if (entry.bFailed && entry.pOutcome) entry.pOutcome->bFailed = true;
    m_handler.Step(entry);
}

static DWORD WINAPI IoThreadWork(LPVOID pParam) {
    const CEntryQueue::Pool::Start &start = *static_cast<CEntryQueue::Pool::Start *>(pParam);
    CEntryQueue::Pool &pool = *start.pPool;
    for (;;) {
        long n = -1;
        {
            CCriticalSectionLock lock(pool.lock);
            if (pool.take < pool.head) pool.take = pool.head;
            while (pool.take < pool.tail && pool.bDone[pool.take % kSlots]) ++pool.take;
            if (pool.bStop) return 0;
            if (pool.take < pool.tail) n = pool.take++;
            else if (pool.bWorkSignalled) {
                pool.workReady.Reset();
                pool.bWorkSignalled = false;
            }
        }
        if (n < 0) {
            pool.workReady.Wait();
            start.pHandler->Woken();
            continue;
        }
        start.pHandler->Work(pool.slots[n % kSlots], start.space);
        CCriticalSectionLock lock(pool.lock);
        pool.bDone[n % kSlots] = true;
        if (pool.bWalkWaits) {
            pool.bWalkWaits = false;
            pool.slotDone.Set();
        }
    }
}

static DWORD WINAPI IoThreadProc(LPVOID pParam) { return RunThreadBody(ProgramThread::kIo, IoThreadWork, pParam); }
