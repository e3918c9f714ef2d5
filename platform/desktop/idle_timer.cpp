#include "platform/desktop/idle_timer.h"
#include "platform/device_calls.h"

namespace {
volatile LONG s_resets = 0;
}

void SystemIdleTimerReset() { InterlockedIncrement(&s_resets); }

LONG DesktopIdleTimerResets() { return s_resets; }
