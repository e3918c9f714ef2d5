#include "update/seams.h"
#include "platform/file_handle.h"

// A file system commits the names it changed with the next flush of any file or folder on
// it: flushing the folder commits them without a file to hand.
BOOL FsFlushFolder(LPCWSTR pszFolder) {
    CFileHandle folder(CreateFileW(pszFolder, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.IsOpen()) return FALSE;
    const BOOL flushed = FlushFileBuffers(folder.Get());
    folder.Close();
    AfterFileOperation();
    return flushed;
}
