#include "platform/keep_awake.h"
#include "platform/device_calls.h"

namespace {
volatile LONG s_lastReset = 0;   // the tick count of the last reset
} // namespace

void ResetIdleTimer() {
    InterlockedExchange(&s_lastReset, LONG(GetTickCount()));
    SystemIdleTimerReset();
}

void KeepDeviceAwake() {
    const DWORD dwNow = GetTickCount();
    const LONG last = s_lastReset;
    if (!IdleResetDue(dwNow, DWORD(last))) return;
    // Of the threads that find a reset due at once, one makes it.
    if (InterlockedCompareExchange(&s_lastReset, LONG(dwNow), last) != last) return;
    SystemIdleTimerReset();
}
