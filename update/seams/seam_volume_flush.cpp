#include "update/seams/seams.h"
#include "platform/device_calls.h"
#include "platform/file_handle.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/volume_kind.h"

// The device flushes a whole file system by its root folder. A driver without the control
// code (ERROR_NOT_SUPPORTED) still commits a transaction-safe volume's changes with the next
// flush of any file on it: an empty file of the program's own at the volume's root, kept
// there (its removal would be one more change that nothing commits). A transaction-safe
// volume whose flush fails with any other error is committed the same way. On plain FAT
// such an error is the flush's failure: a file's flush commits none of its names there, so
// the replacement fails and the card is kept for the next start (README, "Replacing a file").
BOOL FsFlushVolume(LPCWSTR pszPath) {
    WCHAR szRoot[kVolumeRoot];
    if (!VolumeRootOf(pszPath, szRoot)) return FALSE;
    BOOL flushed = CeFsIoControlW(szRoot, FSCTL_FLUSH_BUFFERS, nullptr, 0, nullptr, 0, nullptr, nullptr);
    if (!flushed && (GetLastError() == ERROR_NOT_SUPPORTED || IsTransactionSafeVolume(szRoot))) {
        WCHAR szFile[kVolumeRoot + 32];
        bool bMade = false;
        // StepOnMedium takes no lock: two I/O threads may commit at once, each opening the file.
        CFileHandle file(JoinPath(szFile, kVolumeRoot + 32, szRoot, kFlushFileName)
                             ? FsOpenAlways(szFile, &bMade, FILE_SHARE_READ | FILE_SHARE_WRITE)
                             : INVALID_HANDLE_VALUE);
        flushed = file.IsOpen() && FlushFileBuffers(file.Get());
    }
    AfterFileOperation({FileCall::kFlushVolume, pszPath});
    return flushed;
}
