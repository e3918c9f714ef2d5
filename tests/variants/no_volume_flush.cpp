// A device whose file system driver lacks the volume's flush: every CeFsIoControlW answers
// ERROR_NOT_SUPPORTED, as a driver does for a control code it does not implement (or the error
// the test sets, as a driver that fails the flush). Linked in
// place of platform/desktop/seam_fs_io_control.cpp.
#include "platform/device_calls.h"
#include "tests/variants/failing_calls.h"

BOOL CeFsIoControlW(LPCWSTR pszDir, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    const std::lock_guard<std::mutex> hold(g_failing.lock);
    ++g_failing.volumeFlushCalls;
    g_failing.lastFlushRoot = pszDir ? pszDir : L"<null>";
    SetLastError(g_failing.flushError);
    return FALSE;
}
