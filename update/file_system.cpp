#include "update/file_system.h"
#include "update/cut_point.h"

BOOL FsMakeFolder(LPCWSTR pszFolder) {
    BOOL made = CreateDirectoryW(pszFolder, nullptr);
    AfterFileOperation();
    if (made) return TRUE;
    DWORD attributes = GetFileAttributesW(pszFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL FsRemoveFile(LPCWSTR pszFile) {
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
    HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    AfterFileOperation();
    return hFile;
}

BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData) {
    DWORD cbWritten = 0;
    BOOL written = WriteFile(hFile, pData, cbData, &cbWritten, nullptr);
    return written && cbWritten == cbData;
}

BOOL FsRename(LPCWSTR pszFrom, LPCWSTR pszTo) {
    BOOL renamed = MoveFileExW(pszFrom, pszTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    AfterFileOperation();
    return renamed;
}
