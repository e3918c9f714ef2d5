// A device short of threads: the worker's start fails (CreateThread's NULL) as often as
// g_failing.workerStartFailures says, then starts it as the program does. Linked in place of
// app/seam_start_worker.cpp.
#include "app/updater_dialog.h"
#include "tests/variants/failing_calls.h"

HANDLE CUpdaterDlg::StartWorker() {
    g_failing.workerStarts.push_back(GetTickCount());
    if (g_failing.workerStartFailures != 0) {
        if (g_failing.workerStartFailures > 0) --g_failing.workerStartFailures;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateThread(nullptr, 0, UpdateThreadProc, this, 0, nullptr);
}
