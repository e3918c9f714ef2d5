#include "platform/desktop/folder_names_flush.h"

BOOL FlushFolderNames(LPCWSTR pszFolder) {
    const HANDLE hFolder = CreateFileW(pszFolder, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFolder == INVALID_HANDLE_VALUE) return FALSE;   // the platform's error stands
    const BOOL flushed = FlushFileBuffers(hFolder);
    const DWORD error = GetLastError();
    CloseHandle(hFolder);
    if (!flushed) SetLastError(error);
    return flushed;
}
