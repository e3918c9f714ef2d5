// The lock the flash store's writers share (many beside their targets, or one alone), made of
// what the device has: several holders at once, one alone only once every other has left,
// and no holder coming in while one alone waits or holds it.
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include "platform/locks.h"

namespace {

struct Shared {
    CSharedExclusiveLock lock;
    std::atomic<int> nShared{0};      // holders in shared now
    std::atomic<int> nAlone{0};       // holders alone now
    std::atomic<int> nMostShared{0};  // the most shared holders seen at once
    std::atomic<long> nBroken{0};     // a holder alone beside any other holder
    std::atomic<bool> bStop{false};
};

DWORD WINAPI SharedHolder(LPVOID p) {
    Shared &s = *static_cast<Shared *>(p);
    while (!s.bStop) {
        CSharedLock hold(s.lock);
        const int n = ++s.nShared;
        int most = s.nMostShared;
        while (n > most && !s.nMostShared.compare_exchange_weak(most, n)) {}
        if (s.nAlone) ++s.nBroken;
        Sleep(0);
        --s.nShared;
    }
    return 0;
}

DWORD WINAPI HolderAlone(LPVOID p) {
    Shared &s = *static_cast<Shared *>(p);
    while (!s.bStop) {
        CExclusiveLock hold(s.lock);
        if (++s.nAlone != 1 || s.nShared) ++s.nBroken;
        Sleep(0);
        --s.nAlone;
    }
    return 0;
}

TEST(SharedExclusiveLock, HoldersShareItAndAHolderAloneIsAlone) {
    Shared s;
    ASSERT_TRUE(s.lock.IsValid());
    HANDLE threads[5];
    for (int i = 0; i < 3; ++i) threads[i] = CreateThread(nullptr, 0, SharedHolder, &s, 0, nullptr);
    for (int i = 3; i < 5; ++i) threads[i] = CreateThread(nullptr, 0, HolderAlone, &s, 0, nullptr);
    for (HANDLE h : threads) ASSERT_NE(h, nullptr);
    Sleep(1500);
    s.bStop = true;
    for (HANDLE h : threads) {
        EXPECT_EQ(WaitForSingleObject(h, 30000), WAIT_OBJECT_0) << "a holder never got the lock back";
        CloseHandle(h);
    }
    EXPECT_EQ(s.nBroken, 0);
    EXPECT_GE(s.nMostShared, 2) << "shared holders never held it at once";
}

// One waiting alone keeps a newcomer out, so a stream of shared holders cannot starve it.
TEST(SharedExclusiveLock, AHolderWaitingAloneKeepsNewHoldersOut) {
    CSharedExclusiveLock lock;
    lock.EnterShared();
    struct Waiter {
        CSharedExclusiveLock *pLock;
        std::atomic<bool> bIn{false};
    } alone{&lock}, newcomer{&lock};
    HANDLE hAlone = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto &w = *static_cast<Waiter *>(p);
            CExclusiveLock hold(*w.pLock);
            w.bIn = true;
            Sleep(100);
            return 0;
        },
        &alone, 0, nullptr);
    Sleep(100);   // the one alone waits for the shared holder now
    HANDLE hNewcomer = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto &w = *static_cast<Waiter *>(p);
            CSharedLock hold(*w.pLock);
            w.bIn = true;
            return 0;
        },
        &newcomer, 0, nullptr);
    Sleep(100);
    EXPECT_FALSE(alone.bIn);
    EXPECT_FALSE(newcomer.bIn) << "a shared holder came in past one waiting alone";
    lock.LeaveShared();
    EXPECT_EQ(WaitForSingleObject(hAlone, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(hNewcomer, 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(alone.bIn);
    EXPECT_TRUE(newcomer.bIn);
    CloseHandle(hAlone);
    CloseHandle(hNewcomer);
}

} // namespace
