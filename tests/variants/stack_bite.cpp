// A run that takes as much of the worker's stack as TESSIVARD_STACK_BITE asks, for the bite
// build (Tessivard_stack_bite.exe, with tests/variants/stack_guard.cpp), to show that the
// device's 64 KiB hold: "calls:N" goes N bytes deep in calls of 1 KiB frames, one below the
// other, as a walk that recursed once per level would; "frame:N" takes N bytes in one frame.
// Then it ends as a run does, with the follow-on program started. Linked in place of
// app/seam_run_update.cpp.
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include "app/updater_dialog.h"
#include "update/run/device_paths.h"
#include "update/run/launch_program.h"

namespace {

constexpr size_t kCallFrame = 1024;

// Each call keeps a frame of its own below the caller's, written so that it is not left out.
__attribute__((noinline)) size_t GoDown(size_t nCalls) {
    volatile BYTE frame[kCallFrame];
    frame[0] = BYTE(nCalls);
    frame[kCallFrame - 1] = BYTE(nCalls);
    const size_t nBelow = nCalls > 1 ? GoDown(nCalls - 1) : 0;
    return nBelow + frame[0] + frame[kCallFrame - 1];
}

// One frame of cb bytes, every page of it touched from the top down.
__attribute__((noinline)) size_t TakeFrame(size_t cb) {
    volatile BYTE *p = static_cast<volatile BYTE *>(alloca(cb));
    size_t sum = 0;
    for (size_t i = cb; i-- > 0;) {
        if (i % 4096 != 0 && i != cb - 1) continue;
        p[i] = BYTE(i);
        sum += p[i];
    }
    return sum;
}

} // namespace

volatile size_t g_stackBiteSink;

int CUpdaterDlg::RunUpdate() {
    const char *pszBite = std::getenv("TESSIVARD_STACK_BITE");
    if (pszBite && std::strncmp(pszBite, "calls:", 6) == 0) g_stackBiteSink = GoDown(std::strtoul(pszBite + 6, nullptr, 10) / kCallFrame);
    else if (pszBite && std::strncmp(pszBite, "frame:", 6) == 0) g_stackBiteSink = TakeFrame(std::strtoul(pszBite + 6, nullptr, 10));
    LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    EndFromWorker();
    return 0;
}
