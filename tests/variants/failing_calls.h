// What the failing builds of the platform's calls saw (tests/variants/no_volume_info.cpp,
// no_volume_flush.cpp, no_dibitmap.cpp, worker_start_fails.cpp), and how often the worker's
// start fails.
#pragma once
#include <windows.h>
#include <mutex>
#include <string>
#include <vector>

struct FailingCalls {
    std::mutex lock;                  // guards the volume's fields: the run's writers read the room at once
    int volumeInfoCalls = 0;          // CeGetVolumeInfoW calls, every one failed unless describedFlags
    std::wstring lastVolumeRoot;      // the root path the last of them named
    DWORD describedFlags = MAXDWORD;  // MAXDWORD: fail; else describe the volume with these dwFlags
    int volumeFlushCalls = 0;         // CeFsIoControlW calls, every one failed with flushError
    DWORD flushError = ERROR_NOT_SUPPORTED;
    std::wstring lastFlushRoot;       // the folder the last of them named
    int dibitmapCalls = 0;            // SHLoadDIBitmap calls, every one failed (UI thread)
    int workerStartFailures = 0;      // the worker's starts still to fail, -1 every one (UI thread)
    std::vector<DWORD> workerStarts;  // the tick count of each try, failed or not (UI thread)
};
extern FailingCalls g_failing;
