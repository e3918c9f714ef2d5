#include "update/storage/file_reading.h"
#include "platform/keep_awake.h"
#include "platform/file_handle.h"
#include "platform/folder_listing.h"
#include "platform/heap_array.h"
#include "update/seams/seams.h"
#include "update/storage/paths.h"

PathHolds WhatIsAt(LPCWSTR pszPath) {
    const DWORD attributes = GetFileAttributesW(pszPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathHolds::kNothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathHolds::kFolder : PathHolds::kFile;
}

// The pattern is on the heap: a path the PC resolved does not fit a frame of the device's.
BOOL IsEmptyFolder(LPCWSTR pszFolder) {
    const HeapArray<WCHAR> pattern = NewHeapArray<WCHAR>(kResolvedPath);
    if (!pattern || !JoinPath(pattern.get(), kResolvedPath, pszFolder, L"*.*")) return FALSE;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    return !listing.First(pattern.get(), &fd);
}

BOOL ReadUpTo(HANDLE hFile, void *pBuffer, size_t cbBuffer, size_t &cbRead) {
    BYTE *const pBytes = static_cast<BYTE *>(pBuffer);
    cbRead = 0;
    while (cbRead < cbBuffer) {
        const size_t cbWanted = cbBuffer - cbRead;
        DWORD got = 0;
        if (!ReadFile(hFile, pBytes + cbRead, cbWanted > MAXDWORD ? MAXDWORD : DWORD(cbWanted), &got, nullptr))
            return FALSE;
        if (got == 0) break;
        cbRead += got;
    }
    return TRUE;
}

BOOL ReadFileStart(LPCWSTR pszFile, void *pBuffer, size_t cbBuffer, size_t &cbRead) {
    cbRead = 0;
    CFileHandle file(OpenToRead(pszFile));
    if (!file.IsOpen()) return FALSE;   // the platform's error stands
    if (ReadUpTo(file.Get(), pBuffer, cbBuffer, cbRead)) return TRUE;
    const DWORD error = GetLastError();
    file.Close();
    SetLastError(error);
    return FALSE;
}

bool HashRest(HANDLE hFile, BYTE *pChunk, DWORD cbChunk, Digest &digest) {
    CSha256 hash;
    for (;;) {
        DWORD got = 0;
        KeepDeviceAwake();
        if (!FsRead(hFile, pChunk, cbChunk, &got)) return false;
        if (got == 0) break;
        hash.Add(pChunk, got);
    }
    hash.Finish(digest);
    return true;
}
