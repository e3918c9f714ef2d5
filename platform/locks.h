// Locks that release themselves: every way out of a guarded block leaves the lock, so no
// path pairs an enter with a leave by hand. One UI thread, the worker and the I/O threads
// share the run's queue and the flash store's room through these.
#pragma once
#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection &) = delete;
    CCriticalSection &operator=(const CCriticalSection &) = delete;
    CRITICAL_SECTION *Get() { return &m_cs; }

private:
    CRITICAL_SECTION m_cs;
};

// Holds the section for the guard's life.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection &cs) : m_cs(cs) { EnterCriticalSection(m_cs.Get()); }
    ~CCriticalSectionLock() { LeaveCriticalSection(m_cs.Get()); }
    CCriticalSectionLock(const CCriticalSectionLock &) = delete;
    CCriticalSectionLock &operator=(const CCriticalSectionLock &) = delete;
    // Leaves the section while it sleeps until the condition is woken, and holds it again after.
    void Wait(CONDITION_VARIABLE &condition) { SleepConditionVariableCS(&condition, m_cs.Get(), INFINITE); }

private:
    CCriticalSection &m_cs;
};

// Holds the SRW lock shared, or exclusive, for the guard's life.
template <bool bExclusive>
class CSrwGuard {
public:
    explicit CSrwGuard(SRWLOCK &lock) : m_lock(lock) {
        if constexpr (bExclusive) AcquireSRWLockExclusive(&m_lock);
        else AcquireSRWLockShared(&m_lock);
    }
    ~CSrwGuard() {
        if constexpr (bExclusive) ReleaseSRWLockExclusive(&m_lock);
        else ReleaseSRWLockShared(&m_lock);
    }
    CSrwGuard(const CSrwGuard &) = delete;
    CSrwGuard &operator=(const CSrwGuard &) = delete;

private:
    SRWLOCK &m_lock;
};
using CSharedLock = CSrwGuard<false>;
using CExclusiveLock = CSrwGuard<true>;
