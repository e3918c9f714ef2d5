#include "update/file_system.h"
#include "update/seams.h"
#include "update/paths.h"
#include <cwchar>

BOOL FsMakeFolder(LPCWSTR pszFolder, bool *pbMade) {
    BOOL made = CreateDirectoryW(pszFolder, nullptr);
    AfterFileOperation();
    if (pbMade) *pbMade = made;
    if (made) return TRUE;
    DWORD attributes = GetFileAttributesW(pszFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The device refuses to remove a read-only file: the bit goes first. Its other attributes
// stay, and the device takes FILE_ATTRIBUTE_NORMAL only alone.
BOOL FsRemoveFile(LPCWSTR pszFile) {
    const DWORD attributes = GetFileAttributesW(pszFile);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == FILE_ATTRIBUTE_READONLY) {
        const DWORD rest = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(pszFile, rest ? rest : FILE_ATTRIBUTE_NORMAL);
    }
    BOOL removed = DeleteFileW(pszFile);
    AfterFileOperation();
    return removed;
}

BOOL FsRemoveFolder(LPCWSTR pszFolder) {
    BOOL removed = RemoveDirectoryW(pszFolder);
    AfterFileOperation();
    return removed;
}

HANDLE FsCreateFile(LPCWSTR pszFile) {
    HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    AfterFileOperation();
    return hFile;
}

BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData) {
    DWORD cbWritten = 0;
    if (!WriteFile(hFile, pData, cbData, &cbWritten, nullptr)) return FALSE;
    if (cbWritten == cbData) return TRUE;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL FsRename(HANDLE hFile, LPCWSTR pszTo) {
    // The request holds the new name in place of its one-character array.
    union {
        FILE_RENAME_INFO info;
        BYTE bytes[sizeof(FILE_RENAME_INFO) + kWidePath * sizeof(WCHAR)];
    } request = {};
    const size_t cchTo = wcslen(pszTo);
    if (cchTo >= kWidePath) return FALSE;
    request.info.ReplaceIfExists = TRUE;
    request.info.FileNameLength = DWORD(cchTo * sizeof(WCHAR));
    wmemcpy(request.info.FileName, pszTo, cchTo + 1);
    BOOL renamed = SetFileInformationByHandle(hFile, FileRenameInfo, &request, sizeof request);
    AfterFileOperation();
    return renamed;
}
