// The desktop's SystemIdleTimerReset (platform/device_calls.h): the desktop has no idle
// timer that suspends it; the stand-in counts the calls, for the tests to read.
#pragma once
#include <windows.h>

LONG DesktopIdleTimerResets();   // calls so far in this process
