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

private:
    CCriticalSection &m_cs;
};

// An event the device's kernel keeps: manual-reset stays signalled until reset, so one Set
// wakes every waiter (a broadcast); auto-reset wakes one waiter and resets itself, and a Set
// with nobody waiting stays until the next wait. The owner of the only handle.
class CEvent {
public:
    explicit CEvent(bool bManualReset) : m_h(CreateEventW(nullptr, bManualReset, FALSE, nullptr)) {}
    ~CEvent() {
        if (m_h) CloseHandle(m_h);
    }
    CEvent(const CEvent &) = delete;
    CEvent &operator=(const CEvent &) = delete;
    bool IsValid() const { return m_h != nullptr; }
    void Set() { SetEvent(m_h); }
    void Reset() { ResetEvent(m_h); }
    void Wait() { WaitForSingleObject(m_h, INFINITE); }

private:
    HANDLE m_h;
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
