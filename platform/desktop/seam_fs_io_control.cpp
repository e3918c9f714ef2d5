// CeFsIoControlW on the desktop, which lacks it, as the device documents it
// (platform/device_calls.h). Of the file system's controls it knows one:
// - FSCTL_FLUSH_BUFFERS (alias FSSCTL_FLUSH_BUFFERS) puts every buffer of the file system
//   mounted at pszDir on the medium, names and contents alike. The desktop opens that
//   folder, the volume's root, and flushes it: under Wine the folder's fsync reaches the
//   file system, and the power-cut file system of the tests takes an fsync of its root folder
//   for the whole volume's flush, as the device's driver flushes the whole volume. The control
//   takes no buffers; *lpBytesReturned, when given, is 0.
// - Any other code is one the driver does not implement: ERROR_NOT_SUPPORTED, as the device
//   answers. No folder is opened for it.
// No path, an empty one, a root in any form but the documented one (volume_root.h), or an
// OVERLAPPED (the device takes none) is ERROR_INVALID_PARAMETER.
// A seam (update/seams/seams.h): a test build answers ERROR_NOT_SUPPORTED to every call, as a
// device whose driver lacks the control does.
#include "platform/device_calls.h"
#include "platform/desktop/volume_root.h"

BOOL CeFsIoControlW(LPCWSTR pszDir, DWORD dwIoctl, LPVOID, DWORD, LPVOID, DWORD, LPDWORD lpBytesReturned,
                    LPOVERLAPPED lpOverlapped) {
    if (!IsDocumentedVolumeRoot(pszDir) || lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwIoctl != FSCTL_FLUSH_BUFFERS) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (lpBytesReturned) *lpBytesReturned = 0;
    const HANDLE hRoot = CreateFileW(pszDir, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hRoot == INVALID_HANDLE_VALUE) return FALSE;   // the platform's error stands
    const BOOL flushed = FlushFileBuffers(hRoot);
    const DWORD error = GetLastError();
    CloseHandle(hRoot);
    if (!flushed) SetLastError(error);
    return flushed;
}
