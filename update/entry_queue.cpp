#include "update/entry_queue.h"
#include <cstdio>
#include <new>
#include "platform/locks.h"
#include "update/name_rule.h"
#include "update/update_run.h"

namespace {

// The look-ahead: entries listed beyond the one whose step is due next. Enough to keep
// every thread busy while the front entry is a large file.
constexpr long kSlots = 32;

} // namespace

// Slot n of the queue is slots[n % kSlots]; head <= take <= tail. The walk owns the slots
// from tail on (filling) and before head (stepped); a thread owns the slot it took until it
// marks it done.
struct CEntryQueue::Pool {
    EntrySlot slots[kSlots];
    bool bDone[kSlots];             // the slot's work is finished (or it had none)
    long head = 0;                  // the next entry to step
    long take = 0;                  // the next entry a thread may take
    long tail = 0;                  // the next slot to fill
    bool bStop = false;             // the threads are to end
    CCriticalSection lock;          // guards the above (the slots' content excepted)
    CONDITION_VARIABLE workReady = CONDITION_VARIABLE_INIT;   // an entry was handed out, or bStop set
    CONDITION_VARIABLE slotDone = CONDITION_VARIABLE_INIT;    // an entry's work finished
    int nThreads = 0;
    HANDLE threads[kMaxIoThreads];
    struct Start {
        Pool *pPool;
        CopyWorkspace space;        // the thread's buffer, its temporary, the run's room
    } starts[kMaxIoThreads];
    alignas(4096) BYTE chunks[kMaxIoThreads][kCopyChunk];   // a copy buffer per thread
};

static DWORD WINAPI IoThreadProc(LPVOID pParam);

int CEntryQueue::ThreadsWanted() {
    const int nWanted = IoThreadCount();
    if (nWanted <= kMaxIoThreads) return nWanted;
    std::fprintf(stderr, "Tessivard: this build asks for %d I/O threads; at most %d can write at once\n", nWanted,
                 kMaxIoThreads);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

BOOL CEntryQueue::Open() {
    if (m_pPool) return TRUE;
    const int nWanted = ThreadsWanted();
    if (nWanted <= 0) return FALSE;
    Pool *pPool = new (std::nothrow) Pool;
    if (!pPool) return FALSE;
    for (int i = 0; i < nWanted; ++i) {
        pPool->starts[i] = {pPool, CopyWorkspace{pPool->chunks[i], kCopyChunk, i, &m_room}};
        HANDLE h = CreateThread(nullptr, 256 * 1024, IoThreadProc, &pPool->starts[i], STACK_SIZE_PARAM_IS_A_RESERVATION,
                                nullptr);
        if (!h) break;
        pPool->threads[pPool->nThreads++] = h;
    }
    if (pPool->nThreads == 0) {
        delete pPool;
        return FALSE;
    }
    m_pPool = pPool;
    return TRUE;
}

void CEntryQueue::Close() {
    Pool *pPool = m_pPool;
    if (!pPool) return;
    Drain();
    {
        CCriticalSectionLock lock(pPool->lock);
        pPool->bStop = true;
    }
    WakeAllConditionVariable(&pPool->workReady);
    WaitForMultipleObjects(DWORD(pPool->nThreads), pPool->threads, TRUE, INFINITE);
    for (int i = 0; i < pPool->nThreads; ++i) CloseHandle(pPool->threads[i]);
    m_pPool = nullptr;
    delete pPool;
}

EntrySlot &CEntryQueue::Back() {
    EntrySlot *pSlot = &m_inline;
    if (Pool *pPool = m_pPool) {
        if (pPool->tail - pPool->head == kSlots) StepFront(pPool->head + 1);
        pSlot = &pPool->slots[pPool->tail % kSlots];
    }
    pSlot->work = EntryWork::kNone;
    pSlot->szSource[0] = pSlot->szTarget[0] = L'\0';
    pSlot->pOutcome = nullptr;
    pSlot->bListed = false;
    pSlot->bFailed = false;
    return *pSlot;
}

void CEntryQueue::Push() {
    Pool *pPool = m_pPool;
    if (!pPool) {
        DoEntryWork(m_inline, CopyWorkspace{m_chunk, kCopyChunk, 0, &m_room});
        Step(m_inline);
        return;
    }
    EntrySlot &slot = pPool->slots[pPool->tail % kSlots];
    if (slot.work == EntryWork::kCopy) WaitForTarget(slot.szTarget);
    {
        CCriticalSectionLock lock(pPool->lock);
        pPool->bDone[pPool->tail % kSlots] = slot.work == EntryWork::kNone;
        ++pPool->tail;
    }
    if (slot.work != EntryWork::kNone) WakeConditionVariable(&pPool->workReady);
    // The steps already due, without waiting.
    for (;;) {
        bool bDue;
        {
            CCriticalSectionLock lock(pPool->lock);
            bDue = pPool->head < pPool->tail && pPool->bDone[pPool->head % kSlots];
        }
        if (!bDue) break;
        Step(pPool->slots[pPool->head % kSlots]);
        ++pPool->head;
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
        {
            CCriticalSectionLock lock(pPool->lock);
            while (!pPool->bDone[pPool->head % kSlots]) lock.Wait(pPool->slotDone);
        }
        Step(pPool->slots[pPool->head % kSlots]);
        ++pPool->head;
    }
}

// The walk's thread: the failure reaches the copy's outcome, the step reaches the bar.
void CEntryQueue::Step(EntrySlot &entry) {
    if (entry.bFailed && entry.pOutcome) entry.pOutcome->bFailed = true;
    m_run.Step(&entry);
}

static DWORD WINAPI IoThreadProc(LPVOID pParam) {
    const CEntryQueue::Pool::Start &start = *static_cast<CEntryQueue::Pool::Start *>(pParam);
    CEntryQueue::Pool &pool = *start.pPool;
    for (;;) {
        long n;
        {
            CCriticalSectionLock lock(pool.lock);
            for (;;) {
                while (pool.take < pool.tail && pool.bDone[pool.take % kSlots]) ++pool.take;
                if (pool.bStop) return 0;
                if (pool.take < pool.tail) break;
                lock.Wait(pool.workReady);
            }
            n = pool.take++;
        }
        DoEntryWork(pool.slots[n % kSlots], start.space);
        CCriticalSectionLock lock(pool.lock);
        pool.bDone[n % kSlots] = true;
        WakeConditionVariable(&pool.slotDone);
    }
}
