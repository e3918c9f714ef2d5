// A device on battery suspends after its idle time without input (300 s by default, less
// where its maker sets less): the screen goes dark and a run stops halfway, the power still
// on. The run takes no input, so while it works it resets the device's idle timer itself
// (SystemIdleTimerReset, coredll): at most once every kAwakeEveryMs, called at every progress
// step and every chunk a copy or a digest reads, which come far more often than every 30 s.
#pragma once
#include <windows.h>

constexpr DWORD kAwakeEveryMs = 5000;
static_assert(kAwakeEveryMs <= 30000, "the idle timer is reset at least every 30 s while steps come");

// Whether a reset is due at the tick count dwNow after one at dwLast (tick counts wrap).
inline bool IdleResetDue(DWORD dwNow, DWORD dwLast) { return dwNow - dwLast >= kAwakeEveryMs; }

// Resets the idle timer now: a run's start.
void ResetIdleTimer();
// Resets the idle timer when a reset is due since the last one. Any thread.
void KeepDeviceAwake();
