#include "update/storage/file_system.h"
#include "update/seams/seams.h"
#include "update/storage/file_reading.h"

BOOL FsMakeFolder(LPCWSTR pszFolder, bool *pbMade) {
    const BOOL made = CreateDirectoryW(pszFolder, nullptr);
    const DWORD error = GetLastError();
    AfterFileOperation({FileCall::kMakeFolder, pszFolder});
    if (pbMade) *pbMade = made;
    if (made || WhatIsAt(pszFolder) == PathHolds::kFolder) return TRUE;
    SetLastError(error);
    return FALSE;
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
    AfterFileOperation({FileCall::kRemoveFile, pszFile});
    return removed;
}

BOOL FsRemoveFolder(LPCWSTR pszFolder) {
    BOOL removed = RemoveDirectoryW(pszFolder);
    AfterFileOperation({FileCall::kRemoveFolder, pszFolder});
    return removed;
}

HANDLE FsCreateFile(LPCWSTR pszFile) {
    HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    AfterFileOperation({FileCall::kCreateFile, pszFile});
    return hFile;
}

HANDLE FsCreateNew(LPCWSTR pszFile) {
    HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    AfterFileOperation({FileCall::kCreateFile, pszFile});
    return hFile;
}

HANDLE FsOpenAlways(LPCWSTR pszFile, bool *pbMade, DWORD dwShare) {
    HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE, dwShare, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    *pbMade = hFile != INVALID_HANDLE_VALUE && GetLastError() != ERROR_ALREADY_EXISTS;
    if (*pbMade) AfterFileOperation({FileCall::kCreateFile, pszFile});
    return hFile;
}

BOOL FsTakeTimes(LPCWSTR pszFile, HANDLE hFrom) {
    FILETIME created, accessed, modified;
    if (!GetFileTime(hFrom, &created, &accessed, &modified)) return FALSE;
    const HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return FALSE;
    const BOOL ok = SetFileTime(hFile, &created, &accessed, &modified) && FsFlush(hFile);
    const DWORD error = GetLastError();
    CloseHandle(hFile);
    SetLastError(error);
    return ok;
}

BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData) {
    DWORD cbWritten = 0;
    if (!WriteFile(hFile, pData, cbData, &cbWritten, nullptr)) return FALSE;
    if (cbWritten == cbData) return TRUE;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL FsMove(LPCWSTR pszFrom, LPCWSTR pszTo) {
    BOOL moved = MoveFileW(pszFrom, pszTo);
    AfterFileOperation({FileCall::kMove, pszFrom, pszTo});
    return moved;
}
