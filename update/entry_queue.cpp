#include "update/entry_queue.h"
#include <new>
#include "app/updater_dialog.h"

namespace {

// Copy buffers: 64 KiB reads and writes copy faster on the platform than larger ones.
constexpr DWORD kChunk = 64 * 1024;
// The worker's own buffer, for the entries it works itself: no allocation per file.
alignas(4096) BYTE g_chunk[kChunk];

// The look-ahead: entries listed beyond the one whose step is due next. Enough to keep
// every thread busy while the front entry is a large file.
constexpr long kSlots = 32;

bool SameTarget(LPCWSTR pszA, LPCWSTR pszB) {
    return CompareStringOrdinal(pszA, -1, pszB, -1, TRUE) == CSTR_EQUAL;
}

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
    CRITICAL_SECTION lock;          // guards the above (the slots' content excepted)
    CONDITION_VARIABLE workReady;   // an entry was handed out, or bStop set
    CONDITION_VARIABLE slotDone;    // an entry's work finished
    int nThreads = 0;
    HANDLE threads[kTemporaries];
    struct Start {
        Pool *pPool;
        int nIndex;   // also the thread's temporary
    } starts[kTemporaries];
    alignas(4096) BYTE chunks[kTemporaries][kChunk];   // a copy buffer per thread
};

static DWORD WINAPI IoThreadProc(LPVOID pParam);

BOOL CEntryQueue::Open() {
    if (m_pPool) return TRUE;
    const int nWanted = IoThreadCount() < kTemporaries ? IoThreadCount() : kTemporaries;
    if (nWanted <= 0) return FALSE;
    Pool *pPool = new (std::nothrow) Pool;
    if (!pPool) return FALSE;
    InitializeCriticalSection(&pPool->lock);
    InitializeConditionVariable(&pPool->workReady);
    InitializeConditionVariable(&pPool->slotDone);
    for (int i = 0; i < nWanted; ++i) {
        pPool->starts[i] = {pPool, i};
        HANDLE h = CreateThread(nullptr, 256 * 1024, IoThreadProc, &pPool->starts[i], STACK_SIZE_PARAM_IS_A_RESERVATION,
                                nullptr);
        if (!h) break;
        pPool->threads[pPool->nThreads++] = h;
    }
    if (pPool->nThreads == 0) {
        DeleteCriticalSection(&pPool->lock);
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
    EnterCriticalSection(&pPool->lock);
    pPool->bStop = true;
    LeaveCriticalSection(&pPool->lock);
    WakeAllConditionVariable(&pPool->workReady);
    WaitForMultipleObjects(DWORD(pPool->nThreads), pPool->threads, TRUE, INFINITE);
    for (int i = 0; i < pPool->nThreads; ++i) CloseHandle(pPool->threads[i]);
    DeleteCriticalSection(&pPool->lock);
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
    pSlot->bFailed = false;
    return *pSlot;
}

void CEntryQueue::Push() {
    Pool *pPool = m_pPool;
    if (!pPool) {
        DoEntryWork(m_inline, CopyWorkspace{g_chunk, kChunk, 0});
        Step(m_inline);
        return;
    }
    EntrySlot &slot = pPool->slots[pPool->tail % kSlots];
    if (slot.work == EntryWork::kCopy) WaitForTarget(slot.szTarget);
    EnterCriticalSection(&pPool->lock);
    pPool->bDone[pPool->tail % kSlots] = slot.work == EntryWork::kNone;
    ++pPool->tail;
    LeaveCriticalSection(&pPool->lock);
    if (slot.work != EntryWork::kNone) WakeConditionVariable(&pPool->workReady);
    // The steps already due, without waiting.
    for (;;) {
        EnterCriticalSection(&pPool->lock);
        const bool bDue = pPool->head < pPool->tail && pPool->bDone[pPool->head % kSlots];
        LeaveCriticalSection(&pPool->lock);
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
        if (slot.work != EntryWork::kNone && SameTarget(slot.szTarget, pszTarget)) nUntil = n + 1;
    }
    StepFront(nUntil);
}

void CEntryQueue::Drain() {
    if (m_pPool) StepFront(m_pPool->tail);
}

void CEntryQueue::StepFront(long nUntil) {
    Pool *pPool = m_pPool;
    while (pPool->head < nUntil) {
        EnterCriticalSection(&pPool->lock);
        while (!pPool->bDone[pPool->head % kSlots]) SleepConditionVariableCS(&pPool->slotDone, &pPool->lock, INFINITE);
        LeaveCriticalSection(&pPool->lock);
        Step(pPool->slots[pPool->head % kSlots]);
        ++pPool->head;
    }
}

// The walk's thread: the failure reaches the copy's outcome, the step reaches the bar.
void CEntryQueue::Step(EntrySlot &entry) {
    if (entry.bFailed && entry.pOutcome) entry.pOutcome->bFailed = true;
    m_dlg.StepProgress(&entry);
}

static DWORD WINAPI IoThreadProc(LPVOID pParam) {
    const CEntryQueue::Pool::Start start = *static_cast<CEntryQueue::Pool::Start *>(pParam);
    CEntryQueue::Pool &pool = *start.pPool;
    const CopyWorkspace space{pool.chunks[start.nIndex], kChunk, start.nIndex};
    EnterCriticalSection(&pool.lock);
    for (;;) {
        while (pool.take < pool.tail && pool.bDone[pool.take % kSlots]) ++pool.take;
        if (pool.bStop) break;
        if (pool.take == pool.tail) {
            SleepConditionVariableCS(&pool.workReady, &pool.lock, INFINITE);
            continue;
        }
        const long n = pool.take++;
        LeaveCriticalSection(&pool.lock);
        DoEntryWork(pool.slots[n % kSlots], space);
        EnterCriticalSection(&pool.lock);
        pool.bDone[n % kSlots] = true;
        WakeConditionVariable(&pool.slotDone);
    }
    LeaveCriticalSection(&pool.lock);
    return 0;
}
