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
    explicit CEvent(bool bManualReset, bool bSignalled = false)
        : m_h(CreateEventW(nullptr, bManualReset, bSignalled, nullptr)) {}
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

// Many holders at once, or one alone, from two critical sections and an event (the device
// has no slim reader/writer lock): a holder alone takes the gate, which keeps new holders
// out, then waits until the last shared holder has left. The event is set only for a holder
// alone that waits, by the shared holder that leaves last, so an uncontended lock costs no
// call into the kernel beyond the sections. Neither kind of holder may ask for the other
// kind while it holds the lock.
class CSharedExclusiveLock {
public:
    CSharedExclusiveLock() = default;
    CSharedExclusiveLock(const CSharedExclusiveLock &) = delete;
    CSharedExclusiveLock &operator=(const CSharedExclusiveLock &) = delete;
    bool IsValid() const { return m_noneShared.IsValid(); }

    void EnterShared() {
        CCriticalSectionLock gate(m_gate);
        CCriticalSectionLock count(m_count);
        ++m_nShared;
    }
    void LeaveShared() {
        CCriticalSectionLock count(m_count);
        if (--m_nShared == 0 && m_bAloneWaits) {
            m_bAloneWaits = false;
            m_noneShared.Set();
        }
    }
    void EnterExclusive() {
        EnterCriticalSection(m_gate.Get());   // left in LeaveExclusive
        {
            CCriticalSectionLock count(m_count);
            if (m_nShared == 0) return;
            m_bAloneWaits = true;
        }
        m_noneShared.Wait();
    }
    void LeaveExclusive() { LeaveCriticalSection(m_gate.Get()); }

private:
    CCriticalSection m_gate;       // held by a holder alone, and briefly by each one coming in shared
    CCriticalSection m_count;      // guards m_nShared and m_bAloneWaits
    CEvent m_noneShared{false};    // auto-reset: set once for the holder alone that waits
    long m_nShared = 0;            // the shared holders
    bool m_bAloneWaits = false;    // a holder alone waits for the shared holders to leave
};

// Holds the lock shared, or alone, for the guard's life.
template <bool bExclusive>
class CSharedExclusiveGuard {
public:
    explicit CSharedExclusiveGuard(CSharedExclusiveLock &lock) : m_lock(lock) {
        if constexpr (bExclusive) m_lock.EnterExclusive();
        else m_lock.EnterShared();
    }
    ~CSharedExclusiveGuard() {
        if constexpr (bExclusive) m_lock.LeaveExclusive();
        else m_lock.LeaveShared();
    }
    CSharedExclusiveGuard(const CSharedExclusiveGuard &) = delete;
    CSharedExclusiveGuard &operator=(const CSharedExclusiveGuard &) = delete;

private:
    CSharedExclusiveLock &m_lock;
};
using CSharedLock = CSharedExclusiveGuard<false>;
using CExclusiveLock = CSharedExclusiveGuard<true>;
