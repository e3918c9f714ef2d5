#include "update/cut_point.h"
#include "update/file_system.h"

// A file system commits the names it changed with the next flush of any file or folder on
// it: flushing the folder commits them without a file to hand.
BOOL FsFlushFolder(LPCWSTR pszFolder) {
    HANDLE hFolder = CreateFileW(pszFolder, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFolder == INVALID_HANDLE_VALUE) return FALSE;
    const BOOL flushed = FlushFileBuffers(hFolder);
    CloseHandle(hFolder);
    AfterFileOperation();
    return flushed;
}
